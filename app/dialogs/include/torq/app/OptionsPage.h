// The Options tab's content: the emulator's reload options, the verify error list, the
// information line limit, the target reset level and pulse, and the about labels, bound to the
// workbench's options and option fields. The three numeric fields filter their keys, correct an
// empty or zero value at once and apply their leave rule when the focus moves on.
#pragma once

#include <QWidget>

#include "torq/devlib/Options.h"

class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace torq {
class Workbench;
}  // namespace torq

namespace torq::app {

class FileChooser;

class OptionsPage final : public QWidget {
    Q_OBJECT
  public:
    OptionsPage(Workbench& bench, FileChooser& files, QWidget* parent = nullptr);

    // The controls show the workbench's options (after loading them, a tab change, a leave check).
    void SyncFromModel();
    // The about labels show the software version, the firmware version and the library date.
    void RefreshAboutLabels();

    // The send-to shortcut, the file associations and the maker's link live here; hidden in this
    // release, filled by the desktop integration.
    QWidget* DesktopIntegrationArea() const { return desktop_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    struct NumericField {
        QLineEdit* edit;
        const NumericFieldRule* rule;
        std::string* text;  // the workbench's option field text
    };
    QLineEdit* MakeNumericField(const char* name, const NumericFieldRule& rule, std::string& text);
    void NumericEdited(const NumericField& field);
    void NumericLeft(const NumericField& field);
    void ApplyEnabling();
    void ChooseLogFile();

    Workbench& bench_;
    FileChooser& files_;
    QCheckBox* watchAutoReload_;
    QCheckBox* watchAutoProcedure_;
    QCheckBox* verifyErrorsList_;
    QLineEdit* verifyErrorsListEdit_;
    QCheckBox* infoMessageLimit_;
    QLineEdit* infoMessageLimitEdit_;
    QRadioButton* limitSaveFile_;
    QRadioButton* limitClearContent_;
    QLineEdit* limitSaveFileEdit_;
    QPushButton* limitSaveFileButton_;
    QRadioButton* resetNormHigh_;
    QRadioButton* resetNormLow_;
    QLineEdit* resetTimeEdit_;
    QGroupBox* erase_;
    QLabel* softwareVersion_;
    QLabel* firmwareVersion_;
    QLabel* libraryDate_;
    QWidget* desktop_;
    std::vector<NumericField> numeric_;
    bool syncing_ = false;
};

}  // namespace torq::app

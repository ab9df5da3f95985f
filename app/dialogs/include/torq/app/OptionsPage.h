// The Options tab's content: the emulator's reload options, the verify error list, the
// information line limit, the target reset level and pulse, the about labels, bound to the
// options model; and the desktop group (the "SendTo" entry, the file
// associations, the maker's link), bound to the desktop integration. The three numeric fields
// filter their keys, correct an empty or zero value at once and apply their leave rule when the
// focus moves on.
#pragma once

#include <QWidget>
#include <functional>
#include <memory>

#include "torq/app/DesktopSeams.h"
#include "torq/devlib/Options.h"
#include "torq/workflow/OptionsModel.h"

class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTreeWidget;

namespace torq {
class FileAssociations;
class SendToEntry;
}  // namespace torq

namespace torq::app {

class FileChooser;

class OptionsPage final : public QWidget {
    Q_OBJECT
  public:
    // The desktop group works on `desktop`'s folders (DesktopSeams::System() for the user's own).
    OptionsPage(OptionsModel& model, FileChooser& files, const DesktopSeams& desktop,
                QWidget* parent = nullptr);
    ~OptionsPage() override;

    // The controls show the model's options (after loading them, a tab change, a leave check).
    void SyncFromModel();
    // The about labels show the software version, the firmware version and the library date.
    void RefreshAboutLabels();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    struct NumericField {
        QLineEdit* edit;
        OptionField field;
    };
    QLineEdit* MakeNumericField(const char* name, OptionField field);
    void NumericEdited(const NumericField& field);
    void NumericLeft(const NumericField& field);
    // An option the operator changed: given to the model (which stores it), unless the
    // controls are only being set from the options.
    void Edit(const std::function<void(Options&)>& change);
    void ApplyEnabling();
    void ChooseLogFile();
    QWidget* BuildDesktopGroup();
    QGroupBox* BuildRecordGroup();
    void SendToClicked(bool checked);
    void ExtensionEdited();
    void ShowAssociationControls();
    void ListAssociations();
    void AddAssociation();
    void RemoveAssociation();
    void OpenMakerAddress();

    OptionsModel& model_;
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
    QCheckBox* recordStopsRun_ = nullptr;
    QLineEdit* station_ = nullptr;
    QSpinBox* recordMaxDays_ = nullptr;
    QSpinBox* recordMaxMiB_ = nullptr;
    QLabel* softwareVersion_;
    QLabel* firmwareVersion_;
    QLabel* libraryDate_;
    QWidget* desktop_;
    std::unique_ptr<SendToEntry> sendToEntry_;
    std::unique_ptr<FileAssociations> associations_;
    LinkOpener& links_;
    QCheckBox* sendTo_ = nullptr;
    QLineEdit* extensionEdit_ = nullptr;
    QLineEdit* descriptionEdit_ = nullptr;
    QTreeWidget* associationList_ = nullptr;
    QPushButton* addAssociation_ = nullptr;
    QPushButton* removeAssociation_ = nullptr;
    std::vector<NumericField> numeric_;
    bool syncing_ = false;
};

}  // namespace torq::app

// "Save File": a range of the buffer file written in one of the six formats, over the buffer
// library's writers and its checks. It opens on the editor's selection when there is one; a
// refused save keeps the dialog open with its name, range and format, to be put right.
#pragma once

#include <QDialog>
#include <filesystem>
#include <functional>

#include "torq/buffer/Save.h"
#include "torq/editor/EditorSession.h"

class QButtonGroup;
class QLineEdit;

namespace torq::editor::qt {

// The browse button's choice of file types: all files, binary, Intel HEX, then the other
// formats by their usual extensions.
QString SaveBrowseFilter();

class SaveFileDialog final : public QDialog {
    Q_OBJECT
  public:
    explicit SaveFileDialog(EditorSession& session, QWidget* parent = nullptr);

    // Asks for the output path ("Browse"); an empty answer keeps the field as it is. A file
    // dialog by default; tests and scripts put their own here.
    std::function<QString(QWidget* parent, const QString& filter)> chooseFile;

    SaveDialogValues Values() const;
    SaveOutcome LastOutcome() const { return outcome_; }

  private:
    void Apply();

    EditorSession& session_;
    QLineEdit* name_;
    QLineEdit* start_;
    QLineEdit* end_;
    QButtonGroup* formats_;
    SaveOutcome outcome_ = SaveOutcome::Refused;
};

}  // namespace torq::editor::qt

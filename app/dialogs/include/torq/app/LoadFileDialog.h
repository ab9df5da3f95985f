// "Load File": the source file, its format, the source range, the destination address and the
// fill of unused bytes, bound to the load model's dialog state. OK runs the model's load; the
// dialog stays open when the load asks for a correction.
#pragma once

#include <QDialog>
#include <filesystem>
#include <optional>

#include "torq/buffer/Load.h"
#include "torq/workflow/LoadModel.h"

class QButtonGroup;
class QCheckBox;
class QLabel;
class QLineEdit;

namespace torq::app {

class LoadFileDialog final : public QDialog {
    Q_OBJECT
  public:
    // `progress` (may be null) shows the decoders' progress: the window's ProgressWindow.
    LoadFileDialog(LoadModel& model, ProgressSink* progress, QWidget* parent = nullptr);

    // A socket's Browse after the operator chose `file`: the dialog is prepared with its defaults
    // and shown modally. Returns the outcome of the load OK ran, or nothing on Cancel.
    std::optional<LoadOutcome> Open(int unit, int socket, const std::filesystem::path& file);

    // Shows the model's load dialog state in the controls.
    void SyncFromState();

    // The last load OK ran (also while the dialog stays open for a correction).
    const std::optional<LoadOutcome>& LastOutcome() const { return outcome_; }

  private:
    void Ok();
    void FormatChosen(int index);
    void ApplyEnabling();
    void AddressEdited(QLineEdit* field, LoadField which);

    LoadModel& model_;
    ProgressSink* progress_;
    QLineEdit* filePath_;
    QLabel* fileSize_;
    QButtonGroup* formats_;
    QLineEdit* sourceStart_;
    QLineEdit* sourceEnd_;
    QLineEdit* destination_;
    QLabel* deviceSize_;
    QCheckBox* fillUnused_;
    QLineEdit* fillValue_;
    std::optional<LoadOutcome> outcome_;
    bool syncing_ = false;
};

}  // namespace torq::app

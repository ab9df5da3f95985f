// "Save File": a range of the buffer file written in one of the six formats, over the buffer
// library's writers and its checks.
#pragma once

#include <QDialog>
#include <filesystem>
#include <functional>

#include "torq/buffer/Save.h"

class QButtonGroup;
class QLineEdit;

namespace torq::editor::qt {

// The browse button's choice of file types.
inline constexpr const char* kSaveBrowseFilter = "All File (*);;Binary (*.bin);;Hex (*.hex)";

class TSaveFileDialog final : public QDialog {
    Q_OBJECT
  public:
    TSaveFileDialog(std::filesystem::path bufferFile, std::uint64_t deviceSize, Operator& op,
                    QWidget* parent = nullptr);

    // Asks for the output path ("Browse"); an empty answer keeps the field as it is. A file
    // dialog by default; tests and scripts put their own here.
    std::function<QString(QWidget* parent, const QString& filter)> chooseFile;

    SaveDialogValues Values() const;
    SaveOutcome LastOutcome() const { return outcome_; }

  private:
    void Apply();

    std::filesystem::path bufferFile_;
    std::uint64_t deviceSize_;
    Operator& op_;
    QLineEdit* name_;
    QLineEdit* start_;
    QLineEdit* end_;
    QButtonGroup* formats_;
    SaveOutcome outcome_ = SaveOutcome::Refused;
};

}  // namespace torq::editor::qt

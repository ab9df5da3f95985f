// One socket of a unit ("Unit1_Socket1_Panel"): the enable box, the work file with its browse
// button, the checksum, the offset and the status lamp. Files dropped on it are reported with
// the panel's name.
#pragma once

#include <QFrame>
#include <filesystem>
#include <optional>

#include "torq/workflow/IndicatorBoard.h"
#include "torq/workflow/Units.h"

class QCheckBox;
class QMimeData;
class QLineEdit;
class QPushButton;

namespace torq::app {

class Lamp;

// The first local file of a drag, if any.
std::optional<std::filesystem::path> FirstDroppedFile(const QMimeData* data);

class SocketPanel final : public QFrame {
    Q_OBJECT
  public:
    SocketPanel(int unit, int socket, const IndicatorBoard& board, QWidget* parent);

    // Shows the socket's fields.
    void Show(const SocketState& state);
    void SetChecksumLook(ChecksumLook look);
    // A run is under way: nothing here may change.
    void SetLocked(bool locked);
    // A gang's unit shows only its enable box, checksum and lamp: its file is unit 1's.
    void SetCompact(bool compact);

    QCheckBox* EnableBox() const { return enable_; }
    QLineEdit* WorkFileField() const { return workFile_; }
    QPushButton* BrowseButton() const { return browse_; }
    QLineEdit* ChecksumField() const { return sum_; }
    QLineEdit* OffsetField() const { return offset_; }

  signals:
    void EnableClicked(int unit, int socket, bool checked);
    void BrowseClicked(int unit, int socket);
    void FileDropped(int unit, int socket, const QString& file);

  protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    int unit_;
    int socket_;
    QWidget* offsetCaption_ = nullptr;
    QCheckBox* enable_;
    QLineEdit* workFile_;
    QPushButton* browse_;
    QLineEdit* sum_;
    QLineEdit* offset_;
    Lamp* lamp_;
};

}  // namespace torq::app

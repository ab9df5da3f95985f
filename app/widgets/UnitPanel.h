// One programmer unit ("Unit1_Panel"): the vendor and type boxes, the order (identify) button,
// the progress bar with the step and its bytes, and the two sockets. Built four times.
#pragma once

#include <QFrame>
#include <array>
#include <string>
#include <vector>

#include "torq/workflow/IndicatorBoard.h"
#include "torq/workflow/Units.h"

class QCheckBox;
class QComboBox;
class QHBoxLayout;
class QSpacerItem;
class QVBoxLayout;
class QLabel;
class QProgressBar;

namespace torq::app {

class SocketPanel;
class Tile;

class UnitPanel final : public QFrame {
    Q_OBJECT
  public:
    UnitPanel(int unit, const IndicatorBoard& board, QWidget* parent);

    int Unit() const { return unit_; }
    SocketPanel* Socket(int socket) const {
        return sockets_.at(static_cast<std::size_t>(socket - 1));
    }
    QComboBox* VendorBox() const { return vendor_; }
    QComboBox* TypeBox() const { return type_; }
    Tile* OrderButton() const { return order_; }
    QProgressBar* ProgressBar() const { return progress_; }

    // The selection and both sockets as the workflow holds them. A unit that mirrors unit 1 (a
    // gang's) shows unit 1's choice without letting it be changed here.
    void Show(const std::vector<std::string>& vendors, const std::vector<std::string>& types,
              const UnitState& state, bool mirrorsUnit1);
    void SetProgress(int value);
    // The text on the bar: empty for the percentage alone, else what is under way.
    void SetProgressText(const QString& text);
    void SetLocked(bool locked);

  signals:
    void VendorChosen(int unit, const QString& vendor);
    void TypeChosen(int unit, const QString& type);
    // A file dropped on a socket, or on the unit outside its sockets (socket 0).
    void FileDropped(int unit, int socket, const QString& file);

  protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    void UpdateEnabled();
    // A gang's unit in one row: its selection, its socket 1 (enable box, checksum, lamp) and its
    // bar beside the title; else the bar and the sockets below it.
    void Arrange(bool compact);

    int unit_;
    bool locked_ = false;
    bool mirrorsUnit1_ = false;
    QComboBox* vendor_;
    QComboBox* type_;
    Tile* order_ = nullptr;
    QProgressBar* progress_;
    QVBoxLayout* column_ = nullptr;
    QHBoxLayout* header_ = nullptr;
    QSpacerItem* headerStretch_ = nullptr;
    std::array<SocketPanel*, kSocketsPerUnit> sockets_{};
};

}  // namespace torq::app

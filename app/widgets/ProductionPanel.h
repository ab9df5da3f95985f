// The Programmer tab's production group ("Production_GroupBox"): passed, failed and yield since
// the window started and for the current lot, one line per unit when more than one programmer
// is present plus the totals; the lot and serial the next records take; Reset counters (asked
// first) and the button that opens the production log.
#pragma once

#include <QGroupBox>
#include <array>

#include "torq/workflow/ControlNames.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace torq {
class Workbench;
}

namespace torq::app {

class ProductionPanel final : public QGroupBox {
    Q_OBJECT
  public:
    ProductionPanel(Workbench& bench, QWidget* parent);
    // The counters and fields again from the workbench (after a run, a reset, a lot change).
    void Refresh();
    // During a run the fields and the reset wait.
    void SetLocked(bool locked);

  signals:
    void LogRequested();

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void ResetCounters();
    struct Line {
        QLabel* name;
        std::array<QLabel*, 6> cells;  // passed, failed, yield since start; the same for the lot
    };
    Workbench& bench_;
    std::array<Line, kUnitCount + 1> lines_{};  // the units, then the totals
    QLabel* lotHeader_ = nullptr;
    QLineEdit* lot_ = nullptr;
    QLineEdit* serial_ = nullptr;
    QPushButton* reset_ = nullptr;
    QPushButton* log_ = nullptr;
};

}  // namespace torq::app

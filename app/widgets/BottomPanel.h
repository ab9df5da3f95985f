// The bottom panel ("Bottom_Panel"): the function buttons (Read, Edit, Detect IC, Execute All;
// Save and Option exist hidden), the Stop button shown while a run is under way, and the status
// panel with the verdict.
#pragma once

#include <QPushButton>
#include <QWidget>
#include <map>

#include "torq/workflow/IndicatorBoard.h"

namespace torq::app {

class StatusPanel;
class Tile;

class BottomPanel final : public QWidget {
    Q_OBJECT
  public:
    BottomPanel(const IndicatorBoard& board, QWidget* parent);
    Tile* Button(FunctionButton button) const;
    const std::map<FunctionButton, Tile*>& Buttons() const { return buttons_; }
    StatusPanel* Status() const { return status_; }
    QPushButton* StopButton() const { return stop_; }

  signals:
    void FunctionClicked(torq::FunctionButton button);
    void StopClicked();

  private:
    std::map<FunctionButton, Tile*> buttons_;
    QPushButton* stop_ = nullptr;
    StatusPanel* status_ = nullptr;
};

}  // namespace torq::app

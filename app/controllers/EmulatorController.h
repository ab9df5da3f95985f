// The step check boxes of both bars (the Emulator's Watch box among them) and the target-board
// box: their states come from the options, a click goes back to the workbench. The watch timer's
// ticks are forwarded here, outside of any other action.
#pragma once

#include <QObject>
#include <vector>

namespace torq {
class Workbench;
}

namespace torq::app {

class ActionGate;
class StepBar;

class EmulatorController final : public QObject {
    Q_OBJECT
  public:
    EmulatorController(Workbench& bench, ActionGate& gate, std::vector<StepBar*> bars,
                       QObject* parent);

    // The boxes as the options say (after loading them and at every tab change).
    void Refresh();
    // WatchFile_TimerTimer: a tick while no other action is under way.
    void WatchTick();

  private:
    Workbench& bench_;
    ActionGate& gate_;
    std::vector<StepBar*> bars_;
};

}  // namespace torq::app

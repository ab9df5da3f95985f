// The step tiles and the function buttons: their mouse reactions come from the indicator board,
// their clicks start the sequencer (or Detect IC) through the action gate. As the sequencer's
// observer it locks the window for a run and shows the step, its bytes and the percentage on the
// progress bar and under the status word.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <vector>

#include "torq/workflow/Sequencer.h"

namespace torq {
class Workbench;
}

namespace torq::app {

class ActionGate;
class BottomPanel;
class StatusPanel;
class StepBar;
class Tile;
class UnitPanel;

class SequencerController final : public QObject, private SequencerObserver {
    Q_OBJECT
  public:
    SequencerController(Workbench& bench, ActionGate& gate, std::vector<StepBar*> bars,
                        BottomPanel& bottom, UnitPanel& unit1, QObject* parent);
    ~SequencerController() override;

    // Which tiles a click would act on now (programmers present, the right tab).
    void UpdateUsable();
    void SetLocked(bool locked);
    // The line under the status word, for the image the status panel shows.
    void UpdateStatusDetail();
    // The start-up has run (before it, no programmer means "not looked for yet").
    void SetStarted(bool started);

  private:
    void RunStarted() override;
    void RunEnded(const RunResult& result) override;
    void StepStarted(Operation operation) override;
    void StepProgress(Operation operation, std::uint64_t done, std::uint64_t total) override;
    void StepEnded(Operation operation, bool pass) override;

    void Wire(Tile* tile, const std::string& clickLabel);
    void Start(const QString& title, const std::function<void()>& run);
    void ShowStep(const QString& text);

    Workbench& bench_;
    ActionGate& gate_;
    std::vector<StepBar*> bars_;
    BottomPanel& bottom_;
    UnitPanel& unit1_;
    StatusPanel* status_;
    std::vector<Tile*> tiles_;
    QString runTitle_;     // what the last click ran ("Execute All", "Erase" ...)
    QString stepText_;     // the step under way, with its bytes
    QString lastRun_;      // how the last run ended, for the status line; empty when none did
    QString lastVerdict_;  // "FAIL at Program", "PASS", "STOPPED"; empty without a verdict
    QElapsedTimer runClock_;
    qint64 lastProgressMs_ = -1;
    bool started_ = false;
};

}  // namespace torq::app

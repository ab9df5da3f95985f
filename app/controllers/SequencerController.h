// The step tiles and the function buttons: their mouse reactions come from the indicator board,
// their clicks start the sequencer (or Detect IC) through the action gate. As the sequencer's
// observer it locks the window for a run, shows the Stop button (and takes Esc) while it runs,
// and shows each unit's step with the step's own progress on its bar and under the status word.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <array>
#include <map>
#include <string>
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
                        BottomPanel& bottom, std::array<UnitPanel*, kUnitCount> units,
                        QWidget* window);
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
    void UnitStepStarted(int unit, Operation operation) override;
    void UnitStepProgress(int unit, Operation operation, std::uint64_t done,
                          std::uint64_t total) override;
    void UnitStepEnded(int unit, Operation operation, bool pass) override;
    void UnitEnded(int unit, const RunResult& result) override;

    void Wire(Tile* tile, const std::string& clickLabel);
    void Start(const QString& title, const std::function<void()>& run);
    void ShowStep(const QString& text);
    // The text on a unit's bar, kept so that the running erase's clock can redraw it.
    void ShowUnitStep(int unit, const QString& text);
    // What a step has done: its bytes (or blocks) and its own percentage; for an erase that reports
    // nothing until it ends (a whole-chip erase), the time it has taken so far.
    QString StepText(int unit, Operation operation, std::uint64_t done, std::uint64_t total);
    void TickStepClocks();
    void StartUnitStep(int unit, Operation operation);
    void ProgressUnitStep(int unit, Operation operation, std::uint64_t done, std::uint64_t total);
    void EndUnitStep(int unit, bool pass);
    std::string DeviceKey() const;
    void RequestStop();

    Workbench& bench_;
    ActionGate& gate_;
    std::vector<StepBar*> bars_;
    BottomPanel& bottom_;
    std::array<UnitPanel*, kUnitCount> units_;
    StatusPanel* status_;
    std::vector<Tile*> tiles_;
    QString runTitle_;     // what the last click ran ("Execute All", "Erase" ...)
    QString stepText_;     // the step under way, with its bytes
    QString lastRun_;      // how the last run ended, for the status line; empty when none did
    QString lastVerdict_;  // "FAIL at Program", "PASS", "STOPPED"; empty without a verdict
    QElapsedTimer runClock_;
    qint64 lastProgressMs_ = -1;
    struct UnitStep {
        std::optional<Operation> operation;
        qint64 startedMs = 0;
        bool reported = false;  // the step has said how far it has come
        qint64 lastTextMs = -1;
    };
    std::array<UnitStep, kUnitCount> unitSteps_{};
    // How long the last passed erase of each device took (by vendor and type), the time a running
    // erase that reports nothing is shown against.
    std::map<std::string, qint64> lastEraseMs_;
    QTimer stepClock_;  // redraws the elapsed time of steps that report nothing
    bool gangRun_ = false;
    bool started_ = false;
};

}  // namespace torq::app

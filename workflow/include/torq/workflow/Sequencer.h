// The operation sequencer: what a run plan does on the socket. It decides which device
// operations run, in which order, what the operator is asked when the chip is not the selected
// device, and how progress, time, lamps and verdicts are shown; each device operation writes its
// own result line. Everything runs on the caller's thread; the operations let the window process
// its messages while they poll, so a run refuses to start while device work is under way.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "torq/devlib/DeviceRecord.h"
#include "torq/devlib/InformationLog.h"
#include "torq/devlib/ProgramDirectory.h"
#include "torq/devlib/Seams.h"
#include "torq/link/DeviceOperations.h"
#include "torq/link/Programmer.h"
#include "torq/workflow/ControlNames.h"
#include "torq/workflow/DeviceSession.h"
#include "torq/workflow/DeviceWork.h"
#include "torq/workflow/IndicatorBoard.h"
#include "torq/workflow/Recording.h"
#include "torq/workflow/RunPlan.h"
#include "torq/workflow/StepTable.h"
#include "torq/workflow/Timer.h"
#include "torq/workflow/Units.h"

namespace torq {

inline constexpr std::string_view kOpenFailedMessage =
    "Please turn on programmers or check the USB connection !";
inline constexpr std::string_view kSelectSocketMessage = "Please select a socket to work !";
// Execute All with every step box of the tab cleared: nothing would be done.
inline constexpr std::string_view kSelectStepMessage =
    "Please check a step to run (Erase, Check, Program, Verify or Protect) !";
inline constexpr std::string_view kConfirmDeviceIdQuestion =
    "Press [Yes] : Run automatically detect the device ID and directly apply. \n"
    "Press [Retry] : To re-confirm on the socket of device ID. \n"
    "Press [Cancel] : Skip the processed device.";
// A device changed at the identity question with no work file to load again for it.
inline constexpr std::string_view kNoImageForNewDeviceLine =
    "Error : There is no image to program for the new device (no work file to load again), the "
    "run stops !";

// Program and Verify need the operator's image in the buffer: an empty buffer (emptied when the
// window closed) holds none, and one shorter than the device has lost part of it. Either would
// program too little and verify an erased chip as matching.
inline constexpr std::string_view kNoImageLoadedLine =
    "Error : No image is loaded : the buffer is empty, load a file first !";
// "Error : The buffer holds 4096 bytes, the device 131072 : it is damaged, load the file again !"
std::string DamagedBufferLine(std::uint64_t length, std::uint64_t deviceSize);

// What a run works with besides its plan and its context: the program's log, operator, clock,
// indicator board and units, the device session (the selected device with its files and parameter
// values, the programmer link), the watch timer (paused during a run) and the device work a run
// holds. The workbench builds it in one place.
struct RunServices {
    InformationLog& log;
    Operator& op;
    const Clock& clock;
    IndicatorBoard& board;
    Units& units;
    // The device, its files and the programmer link the run works with.
    DeviceSession& session;
    Timer& watchTimer;
    DeviceWork& work;
};

class Sequencer : private ProgressSink {
  public:
    Sequencer(RunServices services, RunContext& context);
    ~Sequencer() override;
    Sequencer(const Sequencer&) = delete;
    Sequencer& operator=(const Sequencer&) = delete;

    // Each socket of an Execute All writes its production record through it (none: no
    // records).
    void SetRecorder(RunRecorder* recorder) { recorder_ = recorder; }
    // What the last run that started was (its result goes to RunContext::RunEnded).
    RunKind LastRunKind() const { return lastKind_; }
    void AddObserver(SequencerObserver* observer);
    void RemoveObserver(SequencerObserver* observer);
    // A run is under way (device work of other kinds is the DeviceWork's).
    bool Busy() const { return running_; }
    // Ends the run under way before its next block of data or step, on every unit (the Stop
    // button, the command-line watch on an interrupt): the step under way ends with its
    // "Stopped" line, the steps not yet run are skipped and the verdict is STOPPED. Any thread
    // may ask.
    void RequestStop() { stopRequested_ = true; }
    bool StopRequested() const { return stopRequested_; }

    // Runs the plan: nothing (a result that did not run) while device work is under way or
    // without a programmer. The context's RunEnded follows every run that started.
    RunResult Run(const RunPlan& plan);

  private:
    class RunScope;
    class UnitWorker;
    class GangTally;
    void RunSteps(const RunPlan& plan, RunResult& result);
    // The units whose socket 1 takes part in an Execute All, when any but unit 1 does; empty
    // when unit 1 alone (or none) takes part.
    std::vector<int> GangUnits(const RunPlan& plan) const;
    void RunGang(const RunPlan& plan, RunResult& result, const std::vector<int>& units);
    // A gang unit's step began or ended: the tile and the observers (on the starting thread).
    void GangStepStarted(int unit, const StepRow& row);
    void GangStepEnded(int unit, const StepRow& row, bool pass, bool stopped);
    void RunRead(const RunPlan& plan, RunResult& result);
    void RunSingle(const RunPlan& plan, RunResult& result);
    // Read ID, and on a mismatch Yes (detect and apply), Retry or Cancel until there is a match
    // or Cancel. True when the socket goes ahead. A Yes that changed the device with no work
    // file to load again leaves no image: the socket then fails without running a step that
    // needs one.
    bool ConfirmDeviceId(const RunPlan& plan);
    bool RunOperation(Operation operation, const RunPlan& plan);
    // A Read or single step of unit 1 on a worker with a handle of its own (RunPlan::onWorker):
    // its lines and progress come to this thread as queued events while it waits.
    bool RunOperationOnWorker(Operation operation, const RunPlan& plan, PageValues& readBack);
    void ShowVerdict(RunResult& result, bool socketResult, bool showLamp = true);
    // The socket was skipped at the identity question: the run was not done.
    void ShowStopped(const RunResult& result);
    // "Finished with total time" with the run's elapsed time, which the result keeps.
    void LogFinished(RunResult& result, std::uint32_t startTick);
    // The start every run shares: the programmer opened with the device's image (the operator is
    // told when it cannot be) and the target-board mode sent. False: nothing more runs.
    bool OpenProgrammer(const RunPlan& plan, RunResult& result);
    // Unit 1's programmer opened with the device's image and the target-board mode sent, on a
    // worker for a plan that asks for one.
    bool OpenUnit1(const RunPlan& plan);
    // A socket's start: the identity check (a skip when it ends without a match), then the
    // Wait status and the bar at 0. False when the socket is skipped.
    bool StartSocket(const RunPlan& plan, RunResult& result, bool confirmIdentity);
    // Whether a socket takes part, as the plan says.
    bool TakesPart(const RunPlan& plan, int socketIndex) const;
    // The target reset line to its idle level, without a pulse.
    void SetIdleLevel(const RunPlan& plan);
    // "Please select a socket to work !" when no socket was run or skipped.
    void WarnWhenNoSocketRan(const RunResult& result);
    // Program and Verify without the operator's image (a device change that left none, an empty
    // or shortened buffer): the line, and no operation.
    bool RefuseWithoutImage(Operation operation);
    // Why the buffer holds no whole image (the log line and a few words for the verdict), or
    // nothing when it does. A buffer that cannot be read is left to the operation to report.
    struct ImageProblem {
        std::string line;
        std::string words;
    };
    std::optional<ImageProblem> BufferImageProblem() const;
    // At an Execute All's start: the record's basis taken, or the run refused (false, the
    // operator told) when no record can be written and that stops runs.
    bool PrepareRecords(const RunPlan& plan);
    // A socket's record with what the run shares and the unit's programmer.
    ProductionRecord SocketRecord(int unit, const ProgrammerUnit* programmer) const;
    // Writes it (`verified`: the chip matched the image, the IC checksum is the file's); false
    // when it could not be written and that fails the socket (its line then in `log`). Any
    // thread.
    bool WriteRecord(ProductionRecord& record, InformationLog& log, bool verified) const;
    // The checksum of the whole buffer file; none when it is empty or cannot be read.
    std::optional<std::uint32_t> BufferChecksum() const;
    // ProgressSink: the operations' bytes, within the step's share of the progress bar.
    void Progress(std::uint64_t done, std::uint64_t total) override;

    RunServices s_;
    RunContext& context_;
    std::vector<SequencerObserver*> observers_;
    bool running_ = false;
    std::atomic<bool> stopRequested_ = false;
    bool imageLost_ = false;  // the identity question's Yes changed the device, nothing to load
    std::optional<Operation> currentOperation_;
    RunKind lastKind_ = RunKind::Steps;
    RunRecorder* recorder_ = nullptr;
    std::optional<RecordBasis> basis_;  // this run writes records
    std::string chipId_;                // what the last identity check read
    bool operationStopped_ = false;     // the last operation ended at the operator's stop
    // The buffer's checksum after a read on a worker, taken there.
    std::optional<std::uint32_t> readChecksum_;
    GangTally* gangTally_ = nullptr;  // the gang run under way
    Bar gangBar_ = Bar::Programmer;
    int gangUnits_ = 0;
    bool unit1Alone_ = false;  // the gang run is unit 1's alone (RunPlan::onWorker)
    int stepBase_ = 0;
    int stepShare_ = 0;
};

}  // namespace torq

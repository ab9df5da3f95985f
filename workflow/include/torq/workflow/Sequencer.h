// The operation sequencer: what a press of Execute All, Read, Edit or a step tile does on the
// socket. It decides which device operations run, in which order, what the operator is asked
// when the chip is not the selected device, and how progress, time, lamps and verdicts are shown;
// each device operation writes its own result line. Everything runs on the caller's thread; the
// operations let the window process its messages while they poll, so a run refuses to start
// while another one is under way.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "torq/devlib/InformationLog.h"
#include "torq/devlib/Seams.h"
#include "torq/workflow/ControlNames.h"

namespace torq {

class Workbench;

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

// One device operation as a run step.
enum class Operation { Erase, BlankCheck, Program, Verify, Protect, Unprotect, Read, Reset };
// "Erase", "Blank Check", "Program", "Verify", "Protect", "Unprotect", "Read", "Reset".
std::string_view OperationLogName(Operation operation);

// A row of a step bar: which check box enables it, its log name, tile, operation and the
// progress it adds.
struct StepRow {
    Step step;
    Operation operation;
    int increment;
};
// The steps Execute All runs on a tab, in order (Emulator: Erase, Program, Verify, Reset;
// Programmer: Erase, Check, Program, Verify, Protect).
std::span<const StepRow> StepRowsOf(Bar bar);

// How a run ended, as the status panel shows it: Stopped when the run was not done (the chip
// was not confirmed at the identity question), None when no socket was run or skipped.
enum class Verdict { None, Pass, Fail, Stopped };

// How a click ended.
struct RunResult {
    bool ran = false;      // false: no programmer, wrong tab, busy, or the programmer did not open
    int processed = 0;     // sockets that passed the identity check and were run
    int passed = 0;        // of those, the ones whose run ended with success
    int skipped = 0;       // sockets the operator skipped at the identity prompt
    bool stopped = false;  // a stop request ended the run between steps
    // The step whose failure ended the run; none when it passed or failed outside a step.
    std::optional<Operation> failedStep;
    // Why a run failed before any step, in a few words ("no image for the new device").
    std::string failure;
    // The run's time, the one figure of "Finished with total time"; none when no socket ran.
    std::optional<std::uint32_t> elapsedMs;
    bool Pass() const { return ran && processed > 0 && processed == passed; }
    Verdict Outcome() const;
};

// "PASS", "FAIL", "STOPPED"; empty for None.
std::string_view VerdictWord(Verdict verdict);

// The log line that ends a run once its verdict is known, so that a saved log tells PASS from
// FAIL: "Result : PASS", "Result : FAIL [Program]", "Result : STOPPED [...]".
std::string VerdictLine(const RunResult& result);

// What the window shows of a run besides the indicator board: that a run is under way (controls
// that cannot be used look disabled), the step with its bytes done of total, and how it ended.
class SequencerObserver {
  public:
    virtual ~SequencerObserver() = default;
    virtual void RunStarted() {}
    virtual void RunEnded(const RunResult& /*result*/) {}
    virtual void StepStarted(Operation /*operation*/) {}
    virtual void StepProgress(Operation /*operation*/, std::uint64_t /*done*/,
                              std::uint64_t /*total*/) {}
    virtual void StepEnded(Operation /*operation*/, bool /*pass*/) {}
};

class Sequencer : private ProgressSink {
  public:
    explicit Sequencer(Workbench& bench);
    ~Sequencer() override;

    void SetObserver(SequencerObserver* observer) { observer_ = observer; }
    // A run is under way: a second click, a watch tick, a drop or a re-enumeration waits.
    bool Busy() const { return busy_; }
    // The command-line tool may leave the identity check out (--skip-id); the window never does.
    void SetIdentityCheck(bool check) { identityCheck_ = check; }
    // Ends the run under way between two steps (the command-line watch on an interrupt): the steps
    // not yet run are skipped and the verdict is Fail.
    void RequestStop() { stopRequested_ = true; }

    // Function_ExecuteAllMouseACTFilter_LabelClick: every checked step of the current tab.
    RunResult ExecuteAll();
    // Function_ReadMouseACTFilter_LabelClick: the chip into the buffer, with its checksum lines.
    RunResult Read();
    // Function_EditMouseACTFilter_LabelClick: the hex editor over the buffer.
    void Edit();
    // The step tiles (Programmer Erase, Check, Program, Verify, Protect; Emulator Verify): one
    // operation with its identity check, lamp, verdict and time. Emulator Reset is ResetTile.
    RunResult SingleStep(Bar bar, Step step);
    // Emulator_ResetMouseACTFilter_LabelClick: a target reset pulse, without the identity check.
    RunResult ResetTile();
    // One operation as the step tiles run it, for operations without a tile on the current tab
    // (the command line's unprotect, or a tile's operation from another tab).
    RunResult SingleOperation(Operation operation);

    // ConfirmDeviceId: Read ID, and on a mismatch Yes (detect and apply), Retry or Cancel until
    // there is a match or Cancel. True when the socket goes ahead. A Yes that changed the device
    // with no work file to load again leaves no image: the socket then fails without running a
    // step that needs one.
    bool ConfirmDeviceId();

  private:
    class RunScope;
    bool RunOperation(Operation operation);
    RunResult RunSingle(Operation operation, std::optional<std::pair<Bar, Step>> tile);
    void ShowVerdict(RunResult& result, bool socketResult, bool showLamp = true);
    // The socket was skipped at the identity question: the run was not done.
    void ShowStopped(const RunResult& result);
    // "Finished with total time" with the run's elapsed time, which the result keeps.
    void LogFinished(RunResult& result, std::uint32_t startTick);
    bool OperationTab() const;
    // The start every run shares: the programmer opened with the device's image (the operator is
    // told when it cannot be) and the target-board mode sent. False: nothing more runs.
    bool OpenProgrammer(RunResult& result);
    // A socket's start: the identity check (a skip when it ends without a match), then the
    // Wait status and the bar at 0. False when the socket is skipped.
    bool StartSocket(RunResult& result, bool confirmIdentity);
    // The target reset line to its idle level, without a pulse.
    void SetIdleLevel();
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
    // ProgressSink: the operations' bytes, within the step's share of the progress bar.
    void Progress(std::uint64_t done, std::uint64_t total) override;

    Workbench& bench_;
    SequencerObserver* observer_ = nullptr;
    bool busy_ = false;
    bool identityCheck_ = true;
    bool stopRequested_ = false;
    bool imageLost_ = false;  // the identity question's Yes changed the device, nothing to load
    std::optional<Operation> currentOperation_;
    int stepBase_ = 0;
    int stepShare_ = 0;
};

}  // namespace torq

// What a run is asked to do and how it ended, and what it asks of the program beyond the
// programmer and the indicator board. The window builds its plans from the tab, the step boxes
// and the socket boxes; the command-line tool and the benchmarks build theirs from their
// arguments.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "torq/link/DeviceOperations.h"
#include "torq/workflow/ControlNames.h"
#include "torq/workflow/StepTable.h"

namespace torq {

enum class RunKind {
    Steps,   // Execute All: the plan's steps of its bar, in the bar's order
    Read,    // the chip into the buffer, with its checksum lines
    Single,  // one operation as a step tile runs it
};

struct RunPlan {
    RunKind kind = RunKind::Steps;
    Bar bar = Bar::Programmer;
    // Steps: the steps of the bar that run. Those left out still take their share of the bar.
    std::vector<Step> steps;
    // Single: the operation, and the tile of `bar` that shows it (none for an operation without
    // a tile on the bar, such as the command line's unprotect).
    Operation operation = Operation::Erase;
    std::optional<Step> tile;
    // The sockets that take part. From the boxes (the window), each socket's box is read as its
    // turn comes, and the reset checks unit 1 socket 1's box first; otherwise `sockets` lists
    // them by SocketIndex. Execute All runs socket 1 of every unit that takes part, each unit on
    // a worker of its own when any unit but unit 1 does (a gang run); the other runs, unit 1's.
    bool socketsFromBoxes = true;
    std::vector<int> sockets;
    // The chip's ID read first, and on a mismatch the operator asked (Yes, Retry or Cancel).
    bool identityCheck = true;
    // Execute All of unit 1 alone runs on a worker as a gang run does (the window's, so that its
    // thread never waits on USB); else on the caller's thread.
    bool onWorker = false;
    // The emulator is powered by the target board.
    bool targetBoardSupply = false;
    // From the options.
    VerifyListing verifyListing;
    std::uint16_t resetPulseMs = 500;
    int resetIdleLevel = 1;  // the target reset line's level between pulses

    bool Runs(Step step) const;
};

// How a run ended, as the status panel shows it: Stopped when the run was not done (the chip
// was not confirmed at the identity question, or the operator stopped it before it ended), None
// when no socket was run or skipped.
enum class Verdict { None, Pass, Fail, Stopped };

struct RunResult {
    bool ran = false;      // false: no programmer, wrong tab, busy, or the programmer did not open
    int processed = 0;     // sockets that passed the identity check and were run
    int passed = 0;        // of those, the ones whose run ended with success
    int skipped = 0;       // sockets the operator skipped at the identity prompt
    bool stopped = false;  // a stop request ended the run before its last step
    // The step whose failure ended the run; none when it passed or failed outside a step.
    std::optional<Operation> failedStep;
    // Why a run failed before any step, in a few words ("no image for the new device").
    std::string failure;
    // The run's time, the one figure of "Finished with total time"; none when no socket ran.
    std::optional<std::uint32_t> elapsedMs;
    // A gang run: each unit's own result (its unit number and how its socket ended), in unit
    // order; empty for a run of unit 1 alone.
    struct UnitOutcome;
    std::vector<UnitOutcome> units;
    bool Pass() const { return ran && processed > 0 && processed == passed && !stopped; }
    Verdict Outcome() const;
};

struct RunResult::UnitOutcome {
    int unit = 1;
    RunResult result;
};

// "PASS", "FAIL", "STOPPED"; empty for None.
std::string_view VerdictWord(Verdict verdict);

// The log line that ends a run once its verdict is known, so that a saved log tells PASS from
// FAIL: "Result : PASS", "Result : FAIL [Program]", "Result : STOPPED [...]"; a gang run's names
// its failed units: "Result : FAIL [Unit 2 : Verify, Unit 4 : Erase]".
std::string VerdictLine(const RunResult& result);
// What went wrong in a few words, for a verdict: the failed step's log name, the failure, or
// empty.
std::string FailureWords(const RunResult& result);

// What applying the chip's device at the identity question's Yes left.
enum class DeviceAtYes {
    NotApplied,  // none was found, or it could not be selected: the question is asked again
    ImageKept,   // the chip is the selected device, or the work file was loaded again for it
    ImageLost,   // the device changed with no work file to load again
};

// The effects of a run beyond the programmer and the indicator board.
class RunContext {
  public:
    virtual ~RunContext() = default;
    // The identity question's Yes: the chip's device found (timed, with its log line) and
    // applied to unit 1, keeping the operator's image when it can.
    virtual DeviceAtYes ApplyChipDevice(bool targetBoardSupply) = 0;
    // The reset involves no flash: unit 1 socket 1's box is checked before it.
    virtual void CheckFirstSocket() = 0;
    // A socket's chip matched the buffer: its checksum warning is over.
    virtual void VerifyPassed(int socketIndex) = 0;
    // A read put the chip into the buffer: socket 1 of unit 1 shows it with its checksum.
    virtual void ReadIntoBuffer(const std::string& checksumText) = 0;
    // The chip's parameter values came with a read.
    virtual void PageValuesRead(const PageValues& values) = 0;
    // The run has ended and nothing of it is under way any more: what had to wait for it (a
    // device change, the USB events) may go now.
    virtual void RunEnded(const RunResult& result) = 0;
};

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
    // A gang run's units, each as its worker reports it (on the thread that started the run).
    virtual void UnitStepStarted(int /*unit*/, Operation /*operation*/) {}
    virtual void UnitStepProgress(int /*unit*/, Operation /*operation*/, std::uint64_t /*done*/,
                                  std::uint64_t /*total*/) {}
    virtual void UnitStepEnded(int /*unit*/, Operation /*operation*/, bool /*pass*/) {}
    virtual void UnitEnded(int /*unit*/, const RunResult& /*result*/) {}
};

}  // namespace torq

#include "torq/workflow/Sequencer.h"

#include <algorithm>
#include <array>

#include "torq/buffer/BufferFile.h"
#include "torq/link/Identification.h"
#include "torq/workflow/TimeText.h"
#include "torq/workflow/Workbench.h"

namespace torq {

namespace {

constexpr int kSocketStartAdvance = 5;   // before the start tick
constexpr int kSocketTimedAdvance = 10;  // after it
constexpr int kSocketEndAdvance = 5;     // before EndRun
constexpr int kSingleStepAdvance = 40;   // a step tile before its operation
constexpr int kReadEndAdvance = 10;      // a read after its operation
constexpr int kProgressMaximum = 100;
constexpr std::uint8_t kVerdictPass = 0x01;  // SetLamp's index byte after a pass
constexpr std::uint8_t kVerdictFail = 0x00;
constexpr std::uint16_t kResetPulseFlag = 0x0100;

constexpr std::array<StepRow, 4> kEmulatorSteps{{
    {Step::Erase, Operation::Erase, 30},
    {Step::Program, Operation::Program, 25},
    {Step::Verify, Operation::Verify, 15},
    {Step::Reset, Operation::Reset, 0},
}};
constexpr std::array<StepRow, 5> kProgrammerSteps{{
    {Step::Erase, Operation::Erase, 30},
    {Step::Check, Operation::BlankCheck, 10},
    {Step::Program, Operation::Program, 25},
    {Step::Verify, Operation::Verify, 15},
    {Step::Protect, Operation::Protect, 0},
}};

// The operation behind each step tile.
std::optional<Operation> TileOperation(Bar bar, Step step) {
    if (bar == Bar::Emulator) {
        if (step == Step::Verify)
            return Operation::Verify;
        if (step == Step::Reset)
            return Operation::Reset;
        return std::nullopt;
    }
    for (const StepRow& row : kProgrammerSteps) {
        if (row.step == step)
            return row.operation;
    }
    return std::nullopt;
}

}  // namespace

std::string_view OperationLogName(Operation operation) {
    switch (operation) {
        case Operation::Erase:
            return "Erase";
        case Operation::BlankCheck:
            return "Blank Check";
        case Operation::Program:
            return "Program";
        case Operation::Verify:
            return "Verify";
        case Operation::Protect:
            return "Protect";
        case Operation::Unprotect:
            return "Unprotect";
        case Operation::Read:
            return "Read";
        case Operation::Reset:
            return "Reset";
    }
    return {};
}

std::string DamagedBufferLine(std::uint64_t length, std::uint64_t deviceSize) {
    return "Error : The buffer holds " + std::to_string(length) + " bytes, the device " +
           std::to_string(deviceSize) + " : it is damaged, load the file again !";
}

std::span<const StepRow> StepRowsOf(Bar bar) {
    if (bar == Bar::Emulator)
        return kEmulatorSteps;
    return kProgrammerSteps;
}

Verdict RunResult::Outcome() const {
    if (!ran)
        return Verdict::None;
    if (processed > 0)
        return processed == passed ? Verdict::Pass : Verdict::Fail;
    return skipped > 0 ? Verdict::Stopped : Verdict::None;
}

std::string_view VerdictWord(Verdict verdict) {
    switch (verdict) {
        case Verdict::Pass:
            return "PASS";
        case Verdict::Fail:
            return "FAIL";
        case Verdict::Stopped:
            return "STOPPED";
        case Verdict::None:
            break;
    }
    return {};
}

std::string VerdictLine(const RunResult& result) {
    const Verdict verdict = result.Outcome();
    if (verdict == Verdict::None)
        return {};
    std::string line = std::string(kVerdictPrefix) + std::string(VerdictWord(verdict));
    if (verdict == Verdict::Fail && result.failedStep)
        line += " [" + std::string(OperationLogName(*result.failedStep)) + "]";
    else if (verdict == Verdict::Fail && !result.failure.empty())
        line += " [" + result.failure + "]";
    if (verdict == Verdict::Stopped)
        line += " [not done: the chip in the socket was not confirmed]";
    return line;
}

// One click that runs device work: the busy state (a second click, a watch tick or a drop in the
// meantime is refused), the observer, the watch timer paused and given back on every way out,
// and afterwards the device changes that had to wait for the run.
class Sequencer::RunScope {
  public:
    RunScope(Sequencer& sequencer, const RunResult& result)
        : sequencer_(sequencer), result_(result), pause_(sequencer.bench_.WatchTimer()) {
        sequencer_.busy_ = true;
        sequencer_.stopRequested_ = false;
        if (sequencer_.observer_ != nullptr)
            sequencer_.observer_->RunStarted();
    }
    ~RunScope() {
        sequencer_.busy_ = false;
        sequencer_.currentOperation_.reset();
        if (sequencer_.observer_ != nullptr)
            sequencer_.observer_->RunEnded(result_);
        sequencer_.bench_.RunDeferredDeviceChanges();
        sequencer_.bench_.ProcessUsbEvents();
    }
    RunScope(const RunScope&) = delete;
    RunScope& operator=(const RunScope&) = delete;

  private:
    Sequencer& sequencer_;
    const RunResult& result_;
    TimerPause pause_;
};

Sequencer::Sequencer(Workbench& bench) : bench_(bench) {}

Sequencer::~Sequencer() = default;

bool Sequencer::ConfirmDeviceId() {
    imageLost_ = false;
    if (!identityCheck_)
        return true;
    Programmer& link = bench_.Link();
    if (ReadId(link, bench_.Record()))
        return true;
    for (;;) {
        const Answer answer = bench_.Asker().Ask(Severity::Question, kConfirmDeviceIdQuestion,
                                                 Buttons::YesRetryCancel);
        if (answer == Answer::Retry) {
            if (ReadId(link, bench_.Record()))
                return true;
            continue;
        }
        if (answer != Answer::Yes)
            return false;
        const DetectionResult result = bench_.DetectForUnit1();
        if (!result.found)
            continue;
        // The found device keeps the operator's image: the work file is loaded again into its
        // buffer; with nothing to load, the steps that need an image do not run.
        const AppliedDevice applied = bench_.ApplyDetectedDevice(result);
        if (applied == AppliedDevice::Refused)
            continue;
        imageLost_ = applied == AppliedDevice::Cleared;
        // Detection left its own image in the programmer; the steps need the found device's.
        link.OpenProgrammer(bench_.Record().driverImagePath, 0);
        return true;
    }
}

std::optional<Sequencer::ImageProblem> Sequencer::BufferImageProblem() const {
    const std::optional<std::uint64_t> length = BufferFile::In(bench_.Directories()).Length();
    if (!length)
        return std::nullopt;
    if (*length == 0)
        return ImageProblem{std::string(kNoImageLoadedLine), "no image loaded"};
    // Longer is allowed: the editor's block tools may write beyond the device's last address.
    const std::uint64_t deviceSize = bench_.Record().deviceSize;
    if (*length < deviceSize)
        return ImageProblem{DamagedBufferLine(*length, deviceSize), "damaged buffer"};
    return std::nullopt;
}

bool Sequencer::RefuseWithoutImage(Operation operation) {
    if (operation != Operation::Program && operation != Operation::Verify)
        return false;
    if (imageLost_) {
        bench_.Log().WriteInfoLine(kNoImageForNewDeviceLine);
        return true;
    }
    if (const auto problem = BufferImageProblem()) {
        bench_.Log().WriteInfoLine(problem->line);
        return true;
    }
    return false;
}

void Sequencer::Progress(std::uint64_t done, std::uint64_t total) {
    if (total == 0 || !currentOperation_)
        return;
    const std::uint64_t share = static_cast<std::uint64_t>(stepShare_) * std::min(done, total);
    bench_.Board().SetProgress(1, stepBase_ + static_cast<int>(share / total));
    if (observer_ != nullptr)
        observer_->StepProgress(*currentOperation_, done, total);
}

bool Sequencer::RunOperation(Operation operation) {
    Workbench& b = bench_;
    DeviceOperations& ops = b.Operations();
    const DeviceRecord& record = b.Record();
    currentOperation_ = operation;
    if (observer_ != nullptr)
        observer_->StepStarted(operation);
    ops.SetProgressSink(this);
    bool pass = false;
    switch (operation) {
        case Operation::Erase:
            pass = ops.EraseDevice(record, b.CurrentPageValues());
            break;
        case Operation::BlankCheck:
            pass = ops.BlankCheck(record, b.CurrentPageValues());
            break;
        case Operation::Program:
            pass = ops.ProgramDevice(record, b.CurrentPageValues());
            break;
        case Operation::Verify:
            pass = ops.VerifyDevice(record, b.VerifyListingOption());
            break;
        case Operation::Protect:
            pass = ops.ProtectDevice(record, ProtectDirection::Protect, b.CurrentPageValues());
            break;
        case Operation::Unprotect:
            pass = ops.ProtectDevice(record, ProtectDirection::Unprotect, b.CurrentPageValues());
            break;
        case Operation::Read: {
            PageValues readBack;
            pass = ops.ReadDevice(record, &readBack);
            if (pass && readBack.Exists())
                b.StorePageValues(readBack);
            break;
        }
        case Operation::Reset:
            pass = ops.TargetReset(
                static_cast<std::uint16_t>(kResetPulseFlag | b.Settings().ResetIdleLevel()),
                b.ResetPulseMs());
            break;
    }
    ops.SetProgressSink(nullptr);
    if (observer_ != nullptr)
        observer_->StepEnded(operation, pass);
    currentOperation_.reset();
    return pass;
}

// The end of a socket's run: the lamp, the bar at its maximum, the status image and the verdict
// signal to the programmer.
void Sequencer::ShowVerdict(RunResult& result, bool socketResult, bool showLamp) {
    IndicatorBoard& board = bench_.Board();
    if (socketResult)
        ++result.passed;
    if (showLamp || !socketResult)
        board.ShowLamp(1, 1, socketResult ? LampImage::Green : LampImage::Red);
    board.SetProgress(1, kProgressMaximum);
    const bool pass = result.processed == result.passed;
    board.ShowStatus(pass ? StatusImage::Pass : StatusImage::Fail);
    bench_.Link().Channel().SetLamp(1, pass ? kVerdictPass : kVerdictFail);
    bench_.Log().WriteInfoLine(VerdictLine(result));
}

void Sequencer::ShowStopped(const RunResult& result) {
    bench_.Board().ShowStatus(StatusImage::Stopped);
    // The programmer's own lamp must not go on showing the verdict of the chip before.
    bench_.Link().Channel().SetLamp(1, kVerdictFail);
    bench_.Log().WriteInfoLine(VerdictLine(result));
}

void Sequencer::LogFinished(RunResult& result, std::uint32_t startTick) {
    const std::uint32_t elapsed = TicksBetween(startTick, bench_.Ticks().TickMs());
    result.elapsedMs = elapsed;
    bench_.Log().WriteInfoLine(FinishedLine(elapsed));
}

bool Sequencer::OperationTab() const {
    const int tab = bench_.TabIndex();
    return tab == kEmulatorTabIndex || tab == kProgrammerTabIndex;
}

bool Sequencer::OpenProgrammer(RunResult& result) {
    Programmer& link = bench_.Link();
    if (!link.OpenProgrammer(bench_.Record().driverImagePath, 0)) {
        bench_.Asker().Tell(Severity::Error, kOpenFailedMessage);
        return false;
    }
    result.ran = true;
    link.SendTargetBoardMode(bench_.TargetBoardSuppliesEmulator());
    return true;
}

bool Sequencer::StartSocket(RunResult& result, bool confirmIdentity) {
    if (confirmIdentity && !ConfirmDeviceId()) {
        ++result.skipped;
        ShowStopped(result);
        return false;
    }
    ++result.processed;
    IndicatorBoard& board = bench_.Board();
    board.ShowStatus(StatusImage::Wait);
    board.SetProgress(1, 0);
    return true;
}

void Sequencer::SetIdleLevel() {
    bench_.Operations().TargetReset(static_cast<std::uint16_t>(bench_.Settings().ResetIdleLevel()),
                                    0);
}

void Sequencer::WarnWhenNoSocketRan(const RunResult& result) {
    if (result.ran && result.processed == 0 && result.skipped == 0)
        bench_.Asker().Tell(Severity::Warning, kSelectSocketMessage);
}

RunResult Sequencer::ExecuteAll() {
    Workbench& b = bench_;
    if (b.Busy() || b.ProgrammerCount() == 0 || !OperationTab())
        return {};
    IndicatorBoard& board = b.Board();
    board.ResetIndicators(true, b.ProgrammerCount());
    const Bar bar = b.TabIndex() == kEmulatorTabIndex ? Bar::Emulator : Bar::Programmer;
    const auto rows = StepRowsOf(bar);
    if (std::none_of(rows.begin(), rows.end(),
                     [&](const StepRow& row) { return b.StepChecked(bar, row.step); })) {
        // Nothing would be done: no run, and no verdict that could read as a pass.
        b.Asker().Tell(Severity::Warning, kSelectStepMessage);
        return {};
    }
    RunResult result;
    const RunScope scope(*this, result);
    if (!OpenProgrammer(result))
        return result;
    // Only unit 1, socket 1 takes part in this release; the other boxes are passed over.
    if (b.UnitStates().Socket(1, 1).enabled && StartSocket(result, true)) {
        SetIdleLevel();
        board.ShowLamp(1, 1, LampImage::Yellow);
        board.AdvanceProgress(1, kSocketStartAdvance);
        const std::uint32_t start = b.Ticks().TickMs();
        board.AdvanceProgress(1, kSocketTimedAdvance);
        // After a device change with nothing to load, no step runs: erasing and programming an
        // empty buffer would end on a pass for a chip without the operator's image.
        bool socketResult = true;
        if (imageLost_) {
            b.Log().WriteInfoLine(kNoImageForNewDeviceLine);
            result.failure = "no image for the new device";
            socketResult = false;
        } else if (std::any_of(rows.begin(), rows.end(), [&](const StepRow& row) {
                       return b.StepChecked(bar, row.step) &&
                              (row.operation == Operation::Program ||
                               row.operation == Operation::Verify);
                   })) {
            // Nothing is erased for a program or verify that cannot be done.
            if (const auto problem = BufferImageProblem()) {
                b.Log().WriteInfoLine(problem->line);
                result.failure = problem->words;
                socketResult = false;
            }
        }
        for (const StepRow& row : StepRowsOf(bar)) {
            stepBase_ = board.Progress(1);
            stepShare_ = row.increment;
            if (b.StepChecked(bar, row.step) && socketResult) {
                if (stopRequested_) {
                    // The run was asked to stop: the steps still to come are not run.
                    result.stopped = true;
                    socketResult = false;
                } else {
                    const std::string name(OperationLogName(row.operation));
                    board.ShowTile(bar, row.step, TileImage::Light);
                    b.Log().WriteInfoLine("Start [" + name + "]");
                    socketResult = RunOperation(row.operation) && socketResult;
                    if (socketResult) {
                        board.ShowTile(bar, row.step, TileImage::Pass);
                    } else {
                        result.failedStep = row.operation;
                        if (row.step != Step::Reset)  // the Reset tile has no Fail image
                            board.ShowTile(bar, row.step, TileImage::Fail);
                    }
                    if (socketResult && row.operation == Operation::Verify)
                        b.UnitStates().ClearChecksumWarning(1, 1);
                    b.Log().WriteInfoLine("End [" + name + "]");
                }
            }
            board.SetProgress(1, stepBase_ + row.increment);
        }
        LogFinished(result, start);
        board.AdvanceProgress(1, kSocketEndAdvance);
        b.Link().Channel().EndRun();
        ShowVerdict(result, socketResult);
    }
    WarnWhenNoSocketRan(result);
    return result;
}

RunResult Sequencer::Read() {
    Workbench& b = bench_;
    if (b.Busy() || b.ProgrammerCount() == 0 || !OperationTab())
        return {};
    IndicatorBoard& board = b.Board();
    RunResult result;
    const RunScope scope(*this, result);
    if (!OpenProgrammer(result))
        return result;
    if (b.UnitStates().Socket(1, 1).enabled && StartSocket(result, true)) {
        SetIdleLevel();
        board.ShowLamp(1, 1, LampImage::Yellow);
        board.AdvanceProgress(1, kSocketStartAdvance);
        board.AdvanceProgress(1, kSocketTimedAdvance);
        const std::uint32_t start = b.Ticks().TickMs();
        stepBase_ = board.Progress(1);
        stepShare_ = kReadEndAdvance;
        bool socketResult = RunOperation(Operation::Read);
        LogFinished(result, start);
        board.SetProgress(1, stepBase_ + kReadEndAdvance);
        b.Link().Channel().EndRun();
        std::optional<std::uint32_t> sum;
        if (socketResult) {
            // The checksum of what the read left in the buffer; a buffer that cannot be read
            // back has no checksum to show, and the read has not given the operator an image.
            const auto buffer = b.Directories().BufferFile();
            const std::uint64_t length = BufferFile(buffer).Length().value_or(0);
            if (length > 0)
                sum = Checksum(buffer, length - 1, kErasedByte);
            if (!sum) {
                b.Log().WriteInfoLine(BufferFileErrorLine(buffer, BufferAccess::Read));
                socketResult = false;
            }
        }
        if (socketResult) {
            // The green lamp first: the new work-file text then resets it, as a new file does.
            board.ShowLamp(1, 1, LampImage::Green);
            const std::string text = ChecksumText(*sum);
            b.Log().WriteInfoLine("File checksum=0x" + text);
            b.Log().WriteInfoLine("IC checksum=0x" + text);
            b.ShowDataFromBuffer(text);
        } else {
            result.failedStep = Operation::Read;
        }
        ShowVerdict(result, socketResult, false);
    }
    WarnWhenNoSocketRan(result);
    return result;
}

void Sequencer::Edit() {
    Workbench& b = bench_;
    const int tab = b.TabIndex();
    if (b.Busy() || b.ProgrammerCount() == 0 ||
        (tab != kEmulatorTabIndex && tab != kProgrammerTabIndex)) {
        return;
    }
    // Afterwards the watch runs exactly when "Watch" is checked, whatever the timer did before.
    const bool watchChecked = b.Settings().emulatorWatch;
    b.WatchTimer().Stop();
    busy_ = true;
    b.Host().ShowEditor(b.Record().deviceSize);
    busy_ = false;
    b.WatchTimer().SetEnabled(watchChecked);
    b.RunDeferredDeviceChanges();
}

RunResult Sequencer::SingleStep(Bar bar, Step step) {
    const auto operation = TileOperation(bar, step);
    if (!operation)
        return {};  // the Watch, Load File, Erase and Program tiles of the Emulator bar do nothing
    if (*operation == Operation::Reset)
        return ResetTile();
    return RunSingle(*operation, std::pair(bar, step));
}

RunResult Sequencer::SingleOperation(Operation operation) {
    if (operation == Operation::Reset)
        return ResetTile();
    if (operation == Operation::Read)
        return Read();
    return RunSingle(operation, std::nullopt);
}

RunResult Sequencer::RunSingle(Operation operation, std::optional<std::pair<Bar, Step>> tile) {
    Workbench& b = bench_;
    if (b.Busy() || b.ProgrammerCount() == 0)
        return {};
    IndicatorBoard& board = b.Board();
    board.ResetIndicators(true, b.ProgrammerCount());
    RunResult result;
    const RunScope scope(*this, result);
    if (!OpenProgrammer(result))
        return result;
    // The reset involves no flash: no identity check, and socket 1 of unit 1 always takes part.
    const bool reset = operation == Operation::Reset;
    if (reset)
        b.UnitStates().SetEnabled(1, 1, true);
    for (int index = 0; index < kSocketCount; ++index) {
        // A step tile serves unit 1, socket 1; the reset tile every checked box (all indicators
        // are unit 1 socket 1's).
        if ((!reset && index != 0) || !b.UnitStates().SocketAt(index).enabled ||
            !StartSocket(result, !reset)) {
            continue;
        }
        board.ShowLamp(1, 1, LampImage::Yellow);
        board.AdvanceProgress(1, kSingleStepAdvance);
        const std::uint32_t start = b.Ticks().TickMs();
        stepBase_ = board.Progress(1);
        stepShare_ = kProgressMaximum - stepBase_;
        if (tile)
            board.ShowTile(tile->first, tile->second, TileImage::Light);
        const bool pass = !RefuseWithoutImage(operation) && RunOperation(operation);
        if (!pass)
            result.failedStep = operation;
        // A failed reset leaves its tile on Light: it has no Fail image.
        if (tile && (pass || !reset))
            board.ShowTile(tile->first, tile->second, pass ? TileImage::Pass : TileImage::Fail);
        if (pass && operation == Operation::Verify)
            b.UnitStates().ClearChecksumWarning(1, 1);
        board.SetProgress(1, kProgressMaximum);
        LogFinished(result, start);
        b.Link().Channel().EndRun();
        ShowVerdict(result, pass);
    }
    if (!reset)
        WarnWhenNoSocketRan(result);
    return result;
}

RunResult Sequencer::ResetTile() {
    return RunSingle(Operation::Reset, std::pair(Bar::Emulator, Step::Reset));
}

}  // namespace torq

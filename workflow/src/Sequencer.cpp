#include "torq/workflow/Sequencer.h"

#include <algorithm>
#include <array>

#include "SequencerParts.h"
#include "torq/buffer/BufferFile.h"
#include "torq/link/Identification.h"
#include "torq/workflow/TimeText.h"

namespace torq {

std::string DamagedBufferLine(std::uint64_t length, std::uint64_t deviceSize) {
    return "Error : The buffer holds " + std::to_string(length) + " bytes, the device " +
           std::to_string(deviceSize) + " : it is damaged, load the file again !";
}

bool RunPlan::Runs(Step step) const {
    return std::find(steps.begin(), steps.end(), step) != steps.end();
}

Verdict RunResult::Outcome() const {
    if (!ran)
        return Verdict::None;
    // A run the operator stopped is not done, whatever its steps so far said.
    if (stopped)
        return Verdict::Stopped;
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

std::string FailureWords(const RunResult& result) {
    if (result.failedStep)
        return std::string(OperationLogName(*result.failedStep));
    return result.failure;
}

std::string VerdictLine(const RunResult& result) {
    const Verdict verdict = result.Outcome();
    if (verdict == Verdict::None)
        return {};
    std::string line = std::string(kVerdictPrefix) + std::string(VerdictWord(verdict));
    if (verdict == Verdict::Fail && result.units.size() > 1) {
        std::string failed;
        for (const RunResult::UnitOutcome& unit : result.units) {
            if (unit.result.Outcome() == Verdict::Pass)
                continue;
            const std::string words = FailureWords(unit.result);
            failed += (failed.empty() ? "" : ", ") + std::string("Unit ") +
                      std::to_string(unit.unit) + (words.empty() ? "" : " : " + words);
        }
        line += " [" + failed + "]";
    } else if (verdict == Verdict::Fail && !FailureWords(result).empty()) {
        line += " [" + FailureWords(result) + "]";
    }
    if (verdict == Verdict::Stopped) {
        line += result.stopped ? " [not done: the operator stopped the run]"
                               : " [not done: the chip in the socket was not confirmed]";
    }
    return line;
}

// One run under way: the device work held (a second click, a watch tick or a drop in the
// meantime is refused), the stop request forgotten and the observers told of its start and end.
class Sequencer::RunScope {
  public:
    RunScope(Sequencer& sequencer, const RunResult& result)
        : sequencer_(sequencer), result_(result), work_(sequencer.s_.work) {
        sequencer_.running_ = true;
        sequencer_.stopRequested_ = false;
        for (SequencerObserver* observer : sequencer_.observers_)
            observer->RunStarted();
    }
    ~RunScope() {
        sequencer_.running_ = false;
        sequencer_.currentOperation_.reset();
        for (SequencerObserver* observer : sequencer_.observers_)
            observer->RunEnded(result_);
    }
    RunScope(const RunScope&) = delete;
    RunScope& operator=(const RunScope&) = delete;

  private:
    Sequencer& sequencer_;
    const RunResult& result_;
    DeviceWork::Guard work_;
};

Sequencer::Sequencer(RunServices services, RunContext& context) : s_(services), context_(context) {}

Sequencer::~Sequencer() = default;

void Sequencer::AddObserver(SequencerObserver* observer) {
    if (observer != nullptr &&
        std::find(observers_.begin(), observers_.end(), observer) == observers_.end())
        observers_.push_back(observer);
}

void Sequencer::RemoveObserver(SequencerObserver* observer) {
    observers_.erase(std::remove(observers_.begin(), observers_.end(), observer), observers_.end());
}

bool Sequencer::ConfirmDeviceId(const RunPlan& plan) {
    imageLost_ = false;
    chipId_.clear();
    if (!plan.identityCheck)
        return true;
    const auto chipMatches = [&] {
        bool match = false;
        if (plan.onWorker && s_.session.OnUnit1Worker([&](DeviceSession::Unit1Worker& worker) {
                match = ReadId(worker.link, s_.session.Record(), &chipId_);
            })) {
            return match;
        }
        return ReadId(s_.session.Link(), s_.session.Record(), &chipId_);
    };
    if (chipMatches())
        return true;
    for (;;) {
        const Answer answer =
            s_.op.Ask(Severity::Question, kConfirmDeviceIdQuestion, Buttons::YesRetryCancel);
        if (answer == Answer::Retry) {
            if (chipMatches())
                return true;
            continue;
        }
        if (answer != Answer::Yes)
            return false;
        // The found device keeps the operator's image: the work file is loaded again into its
        // buffer; with nothing to load, the steps that need an image do not run.
        const DeviceAtYes applied = context_.ApplyChipDevice(plan.targetBoardSupply);
        if (applied == DeviceAtYes::NotApplied)
            continue;
        imageLost_ = applied == DeviceAtYes::ImageLost;
        // Detection left its own image in the programmer; the steps need the found device's.
        OpenUnit1(plan);
        return true;
    }
}

std::optional<Sequencer::ImageProblem> Sequencer::BufferImageProblem() const {
    const std::optional<std::uint64_t> length = BufferFile::In(s_.session.Directories()).Length();
    if (!length)
        return std::nullopt;
    if (*length == 0)
        return ImageProblem{std::string(kNoImageLoadedLine), "no image loaded"};
    // Longer is allowed: the editor's block tools may write beyond the device's last address.
    const std::uint64_t deviceSize = s_.session.Record().deviceSize;
    if (*length < deviceSize)
        return ImageProblem{DamagedBufferLine(*length, deviceSize), "damaged buffer"};
    return std::nullopt;
}

std::optional<std::uint32_t> Sequencer::BufferChecksum() const {
    const auto buffer = s_.session.Directories().BufferFile();
    const std::uint64_t length = BufferFile(buffer).Length().value_or(0);
    if (length == 0)
        return std::nullopt;
    return Checksum(buffer, length - 1, kErasedByte);
}

bool Sequencer::RefuseWithoutImage(Operation operation) {
    if (operation != Operation::Program && operation != Operation::Verify)
        return false;
    if (imageLost_) {
        s_.log.WriteInfoLine(kNoImageForNewDeviceLine);
        return true;
    }
    if (const auto problem = BufferImageProblem()) {
        s_.log.WriteInfoLine(problem->line);
        return true;
    }
    return false;
}

void Sequencer::Progress(std::uint64_t done, std::uint64_t total) {
    if (total == 0 || !currentOperation_)
        return;
    const std::uint64_t share = static_cast<std::uint64_t>(stepShare_) * std::min(done, total);
    s_.board.SetProgress(1, stepBase_ + static_cast<int>(share / total));
    for (SequencerObserver* observer : observers_)
        observer->StepProgress(*currentOperation_, done, total);
}

bool RunDeviceOperation(DeviceOperations& ops, Operation operation, const DeviceRecord& record,
                        const PageValues& values, const RunPlan& plan, PageValues* readBack) {
    switch (operation) {
        case Operation::Erase:
            return ops.EraseDevice(record, values);
        case Operation::BlankCheck:
            return ops.BlankCheck(record, values);
        case Operation::Program:
            return ops.ProgramDevice(record, values);
        case Operation::Verify:
            return ops.VerifyDevice(record, plan.verifyListing);
        case Operation::Protect:
            return ops.ProtectDevice(record, ProtectDirection::Protect, values);
        case Operation::Unprotect:
            return ops.ProtectDevice(record, ProtectDirection::Unprotect, values);
        case Operation::Read:
            return ops.ReadDevice(record, readBack);
        case Operation::Reset:
            return ops.TargetReset(
                static_cast<std::uint16_t>(kResetPulseFlag | plan.resetIdleLevel),
                plan.resetPulseMs);
    }
    return false;
}

bool Sequencer::RunOperation(Operation operation, const RunPlan& plan) {
    DeviceOperations& ops = s_.session.Operations();
    const DeviceRecord& record = s_.session.Record();
    currentOperation_ = operation;
    operationStopped_ = false;
    readChecksum_.reset();
    for (SequencerObserver* observer : observers_)
        observer->StepStarted(operation);
    PageValues readBack;
    bool pass = false;
    if (plan.onWorker) {
        pass = RunOperationOnWorker(operation, plan, readBack);
    } else {
        ops.SetProgressSink(this);
        ops.SetStopRequest(&stopRequested_);
        pass = RunDeviceOperation(ops, operation, record, s_.session.Values(), plan, &readBack);
        operationStopped_ = ops.TakeStopped();
        ops.SetStopRequest(nullptr);
        ops.SetProgressSink(nullptr);
    }
    if (pass && operation == Operation::Read && readBack.Exists())
        context_.PageValuesRead(readBack);
    for (SequencerObserver* observer : observers_)
        observer->StepEnded(operation, pass);
    currentOperation_.reset();
    return pass;
}

// The end of a socket's run: the lamp, the bar at its maximum, the status image and the verdict
// signal to the programmer.
void Sequencer::ShowVerdict(RunResult& result, bool socketResult, bool showLamp) {
    IndicatorBoard& board = s_.board;
    if (socketResult)
        ++result.passed;
    if (showLamp || !socketResult)
        board.ShowLamp(1, 1, socketResult ? LampImage::Green : LampImage::Red);
    board.SetProgress(1, kProgressMaximum);
    const bool pass = result.processed == result.passed;
    board.ShowStatus(result.stopped ? StatusImage::Stopped
                     : pass         ? StatusImage::Pass
                                    : StatusImage::Fail);
    s_.session.Link().Channel().SetLamp(1, pass ? kVerdictPass : kVerdictFail);
    s_.log.WriteInfoLine(VerdictLine(result));
}

void Sequencer::ShowStopped(const RunResult& result) {
    s_.board.ShowStatus(StatusImage::Stopped);
    // The programmer's own lamp must not go on showing the verdict of the chip before.
    s_.session.Link().Channel().SetLamp(1, kVerdictFail);
    s_.log.WriteInfoLine(VerdictLine(result));
}

void Sequencer::LogFinished(RunResult& result, std::uint32_t startTick) {
    const std::uint32_t elapsed = TicksBetween(startTick, s_.clock.TickMs());
    result.elapsedMs = elapsed;
    s_.log.WriteInfoLine(FinishedLine(elapsed));
}

bool Sequencer::OpenUnit1(const RunPlan& plan) {
    const auto open = [&](Programmer& link) {
        const bool opened = link.OpenProgrammer(s_.session.Record().driverImagePath, 0);
        if (opened)
            link.SendTargetBoardMode(plan.targetBoardSupply);
        return opened;
    };
    bool opened = false;
    if (plan.onWorker && s_.session.OnUnit1Worker([&](DeviceSession::Unit1Worker& worker) {
            opened = open(worker.link);
        })) {
        return opened;
    }
    return open(s_.session.Link());
}

bool Sequencer::OpenProgrammer(const RunPlan& plan, RunResult& result) {
    if (!OpenUnit1(plan)) {
        s_.op.Tell(Severity::Error, kOpenFailedMessage);
        return false;
    }
    result.ran = true;
    return true;
}

bool Sequencer::StartSocket(const RunPlan& plan, RunResult& result, bool confirmIdentity) {
    if (confirmIdentity && !ConfirmDeviceId(plan)) {
        ++result.skipped;
        ShowStopped(result);
        return false;
    }
    ++result.processed;
    s_.board.ShowStatus(StatusImage::Wait);
    s_.board.SetProgress(1, 0);
    return true;
}

bool Sequencer::TakesPart(const RunPlan& plan, int socketIndex) const {
    if (plan.socketsFromBoxes)
        return s_.units.SocketAt(socketIndex).enabled;
    return std::find(plan.sockets.begin(), plan.sockets.end(), socketIndex) != plan.sockets.end();
}

void Sequencer::SetIdleLevel(const RunPlan& plan) {
    s_.session.Operations().TargetReset(static_cast<std::uint16_t>(plan.resetIdleLevel), 0);
}

void Sequencer::WarnWhenNoSocketRan(const RunResult& result) {
    if (result.ran && result.processed == 0 && result.skipped == 0)
        s_.op.Tell(Severity::Warning, kSelectSocketMessage);
}

RunResult Sequencer::Run(const RunPlan& plan) {
    if (s_.work.Busy() || s_.session.Link().ProgrammerCount() == 0)
        return {};
    if (plan.kind != RunKind::Read)
        s_.board.ResetIndicators(true, s_.session.Link().ProgrammerCount());
    if (plan.kind == RunKind::Steps) {
        const auto rows = StepRowsOf(plan.bar);
        if (std::none_of(rows.begin(), rows.end(),
                         [&](const StepRow& row) { return plan.Runs(row.step); })) {
            // Nothing would be done: no run, and no verdict that could read as a pass.
            s_.op.Tell(Severity::Warning, kSelectStepMessage);
            return {};
        }
    }
    if (!PrepareRecords(plan))
        return {};
    lastKind_ = plan.kind;
    RunResult result;
    {
        // The watch timer stays paused until what waited for the run has been done.
        const TimerPause pause(s_.watchTimer);
        {
            const RunScope scope(*this, result);
            const std::vector<int> gang =
                plan.kind == RunKind::Steps ? GangUnits(plan) : std::vector<int>{};
            if (!gang.empty()) {
                RunGang(plan, result, gang);
            } else if (OpenProgrammer(plan, result)) {
                switch (plan.kind) {
                    case RunKind::Steps:
                        RunSteps(plan, result);
                        break;
                    case RunKind::Read:
                        RunRead(plan, result);
                        break;
                    case RunKind::Single:
                        RunSingle(plan, result);
                        break;
                }
            }
        }
        context_.RunEnded(result);
    }
    return result;
}

void Sequencer::RunSteps(const RunPlan& plan, RunResult& result) {
    IndicatorBoard& board = s_.board;
    const Bar bar = plan.bar;
    const auto rows = StepRowsOf(bar);
    const ProgrammerUnit* programmer =
        s_.session.Link().Units().empty() ? nullptr : &s_.session.Link().Units().front();
    // Only unit 1, socket 1 takes part in this release; the other boxes are passed over.
    const bool takesPart = TakesPart(plan, 0);
    if (takesPart && !StartSocket(plan, result, true)) {
        // Skipped at the identity question: the chip is not done, and its record says so.
        ProductionRecord record = SocketRecord(1, programmer);
        record.failingLine = "not done: the chip in the socket was not confirmed";
        record.verdict = RecordVerdict(false, true);
        WriteRecord(record, s_.log, false);
    } else if (takesPart) {
        ProductionRecord record = SocketRecord(1, programmer);
        SetIdleLevel(plan);
        board.ShowLamp(1, 1, LampImage::Yellow);
        board.AdvanceProgress(1, kSocketStartAdvance);
        const std::uint32_t start = s_.clock.TickMs();
        board.AdvanceProgress(1, kSocketTimedAdvance);
        // After a device change with nothing to load, no step runs: erasing and programming an
        // empty buffer would end on a pass for a chip without the operator's image.
        bool socketResult = true;
        if (imageLost_) {
            s_.log.WriteInfoLine(kNoImageForNewDeviceLine);
            result.failure = "no image for the new device";
            record.failingLine = kNoImageForNewDeviceLine;
            socketResult = false;
        } else if (std::any_of(rows.begin(), rows.end(), [&](const StepRow& row) {
                       return plan.Runs(row.step) && (*row.operation == Operation::Program ||
                                                      *row.operation == Operation::Verify);
                   })) {
            // Nothing is erased for a program or verify that cannot be done.
            if (const auto problem = BufferImageProblem()) {
                s_.log.WriteInfoLine(problem->line);
                result.failure = problem->words;
                record.failingLine = problem->line;
                socketResult = false;
            }
        }
        for (const StepRow& row : rows) {
            stepBase_ = board.Progress(1);
            stepShare_ = row.share;
            if (plan.Runs(row.step) && socketResult) {
                if (stopRequested_) {
                    // The run was asked to stop: the steps still to come are not run.
                    result.stopped = true;
                    socketResult = false;
                } else {
                    const std::string name(OperationLogName(*row.operation));
                    board.ShowTile(bar, row.step, TileImage::Light);
                    s_.log.WriteInfoLine("Start [" + name + "]");
                    const std::uint32_t stepStart = s_.clock.TickMs();
                    {
                        const StepLines lines(s_.log);
                        socketResult = RunOperation(*row.operation, plan) && socketResult;
                        if (!socketResult && !operationStopped_) {
                            record.failingStep = name;
                            record.failingLine = lines.Why();
                        }
                    }
                    record.steps.push_back(StepOutcome(*row.operation, socketResult,
                                                       operationStopped_,
                                                       TicksBetween(stepStart, s_.clock.TickMs())));
                    if (socketResult) {
                        board.ShowTile(bar, row.step, TileImage::Pass);
                    } else if (operationStopped_) {
                        // Stopped between two blocks: neither passed nor failed.
                        result.stopped = true;
                        board.ShowTile(bar, row.step, TileImage::Norm);
                    } else {
                        result.failedStep = row.operation;
                        if (row.step != Step::Reset)  // the Reset tile has no Fail image
                            board.ShowTile(bar, row.step, TileImage::Fail);
                    }
                    if (socketResult && row.operation == Operation::Verify)
                        context_.VerifyPassed(0);
                    s_.log.WriteInfoLine("End [" + name + "]");
                }
            }
            board.SetProgress(1, stepBase_ + row.share);
        }
        LogFinished(result, start);
        board.AdvanceProgress(1, kSocketEndAdvance);
        s_.session.Link().Channel().EndRun();
        // The record is on the disk before the verdict is shown.
        record.durationMs = result.elapsedMs.value_or(0);
        record.verdict = RecordVerdict(socketResult, result.stopped);
        if (!WriteRecord(record, s_.log, socketResult && plan.Runs(Step::Verify))) {
            socketResult = false;
            result.failure = "production record not written";
        }
        ShowVerdict(result, socketResult);
    }
    WarnWhenNoSocketRan(result);
}

bool Sequencer::PrepareRecords(const RunPlan& plan) {
    basis_.reset();
    if (plan.kind != RunKind::Steps || recorder_ == nullptr)
        return true;
    RecordBasis basis;
    std::string reason;
    if (recorder_->Prepare(basis, &reason)) {
        basis_ = std::move(basis);
        return true;
    }
    if (recorder_->StopWhenNotWritten()) {
        s_.op.Tell(Severity::Error, RecordRefusedMessage(reason));
        return false;
    }
    s_.log.WriteInfoLine(RecordNotWrittenLine(reason, false));
    return true;
}

ProductionRecord Sequencer::SocketRecord(int unit, const ProgrammerUnit* programmer) const {
    ProductionRecord record;
    record.unit = unit;
    if (programmer != nullptr) {
        record.programmerPath = programmer->path;
        record.firmware = programmer->firmwareVersion;
    }
    record.chipId = chipId_;
    return record;
}

bool Sequencer::WriteRecord(ProductionRecord& record, InformationLog& log, bool verified) const {
    if (!basis_)
        return true;
    record.station = basis_->station;
    record.vendor = basis_->vendor;
    record.type = basis_->type;
    record.workFile = basis_->workFile;
    record.fileChecksum = basis_->fileChecksum;
    // A verify that passed: the chip holds the image, its checksum is the file's.
    if (verified)
        record.icChecksum = basis_->fileChecksum;
    record.lot = basis_->lot;
    std::string reason;
    if (recorder_->Write(record, &reason))
        return true;
    const bool stops = recorder_->StopWhenNotWritten();
    log.WriteInfoLine(RecordNotWrittenLine(reason, stops));
    return !stops;
}

void Sequencer::RunRead(const RunPlan& plan, RunResult& result) {
    IndicatorBoard& board = s_.board;
    if (TakesPart(plan, 0) && StartSocket(plan, result, true)) {
        SetIdleLevel(plan);
        board.ShowLamp(1, 1, LampImage::Yellow);
        board.AdvanceProgress(1, kSocketStartAdvance);
        board.AdvanceProgress(1, kSocketTimedAdvance);
        const std::uint32_t start = s_.clock.TickMs();
        stepBase_ = board.Progress(1);
        stepShare_ = kReadEndAdvance;
        bool socketResult = RunOperation(Operation::Read, plan);
        LogFinished(result, start);
        board.SetProgress(1, stepBase_ + kReadEndAdvance);
        s_.session.Link().Channel().EndRun();
        std::optional<std::uint32_t> sum;
        if (socketResult) {
            // The checksum of what the read left in the buffer (a worker's read has taken it
            // already); a buffer that cannot be read back has no checksum to show, and the read
            // has not given the operator an image.
            sum = readChecksum_ ? *readChecksum_ : BufferChecksum();
            if (!sum) {
                s_.log.WriteInfoLine(
                    BufferFileErrorLine(s_.session.Directories().BufferFile(), BufferAccess::Read));
                socketResult = false;
            }
        }
        if (socketResult) {
            // The green lamp first: the new work-file text then resets it, as a new file does.
            board.ShowLamp(1, 1, LampImage::Green);
            const std::string text = ChecksumText(*sum);
            s_.log.WriteInfoLine("File checksum=0x" + text);
            s_.log.WriteInfoLine("IC checksum=0x" + text);
            context_.ReadIntoBuffer(text);
        } else if (operationStopped_) {
            result.stopped = true;
        } else {
            result.failedStep = Operation::Read;
        }
        ShowVerdict(result, socketResult, false);
    }
    WarnWhenNoSocketRan(result);
}

void Sequencer::RunSingle(const RunPlan& plan, RunResult& result) {
    IndicatorBoard& board = s_.board;
    const Operation operation = plan.operation;
    // The reset involves no flash: no identity check, and socket 1 of unit 1 always takes part.
    const bool reset = operation == Operation::Reset;
    if (reset && plan.socketsFromBoxes)
        context_.CheckFirstSocket();
    for (int index = 0; index < kSocketCount; ++index) {
        // A step tile serves unit 1, socket 1; the reset tile every checked box (all indicators
        // are unit 1 socket 1's).
        if ((!reset && index != 0) || !TakesPart(plan, index) ||
            !StartSocket(plan, result, !reset)) {
            continue;
        }
        board.ShowLamp(1, 1, LampImage::Yellow);
        board.AdvanceProgress(1, kSingleStepAdvance);
        const std::uint32_t start = s_.clock.TickMs();
        stepBase_ = board.Progress(1);
        stepShare_ = kProgressMaximum - stepBase_;
        if (plan.tile)
            board.ShowTile(plan.bar, *plan.tile, TileImage::Light);
        operationStopped_ = false;  // a refusal runs no operation
        const bool pass = !RefuseWithoutImage(operation) && RunOperation(operation, plan);
        if (operationStopped_)
            result.stopped = true;
        else if (!pass)
            result.failedStep = operation;
        // A failed reset leaves its tile on Light: it has no Fail image.
        if (plan.tile && (pass || !reset)) {
            board.ShowTile(plan.bar, *plan.tile,
                           pass                ? TileImage::Pass
                           : operationStopped_ ? TileImage::Norm
                                               : TileImage::Fail);
        }
        if (pass && operation == Operation::Verify)
            context_.VerifyPassed(0);
        board.SetProgress(1, kProgressMaximum);
        LogFinished(result, start);
        s_.session.Link().Channel().EndRun();
        ShowVerdict(result, pass);
    }
    if (!reset)
        WarnWhenNoSocketRan(result);
}

}  // namespace torq

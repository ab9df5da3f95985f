// The gang run: Execute All on several programmer units at once. Each unit's worker thread owns a
// USB handle of its own with its programmer link and device operations; what it has to show
// (log lines, lamps, its progress bar, the step tiles) and what it has to ask goes to the thread
// that started the run as queued events, run there in the order each worker posted them. That
// thread owns the board, the log, the operator and the observers, and processes the window's
// messages while it waits for the events.
#include <algorithm>
#include <functional>
#include <map>
#include <thread>

#include "SequencerParts.h"
#include "WorkerEvents.h"
#include "torq/buffer/BufferFile.h"
#include "torq/link/Identification.h"
#include "torq/workflow/Sequencer.h"
#include "torq/workflow/TimeText.h"

namespace torq {

namespace {

using worker::EventQueue;
using worker::ForwardedLines;
using worker::ForwardedOperator;
using worker::kEventBudget;
using worker::kEventWait;
using worker::NoPump;

// A chip in another unit's socket that is not the selected device: no question is asked for it.
constexpr std::string_view kUnitChipMismatchLine =
    "Error : The chip in this unit's socket is not the selected device, the unit stops !";
constexpr std::string_view kUnitOpenFailedLine =
    "Error : This unit's programmer cannot be opened, please check its USB connection !";

std::string UnitPrefix(int unit) {
    return "Unit " + std::to_string(unit) + " : ";
}

}  // namespace

// Where the step tiles stand: a tile is lit while any unit is in its step; it ends Pass when
// every unit that ran passed it, Fail when any failed it.
class Sequencer::GangTally {
  public:
    void Started(Step step) { ++tally_[step].inside; }
    // A step stopped between two blocks neither passed nor failed.
    void Ended(Step step, bool pass, bool stopped) {
        Count& count = tally_[step];
        --count.inside;
        if (!stopped)
            ++(pass ? count.passed : count.failed);
    }
    // The tile's image once no unit is in the step; none while one is.
    std::optional<TileImage> Image(Step step, int units) const {
        const auto it = tally_.find(step);
        if (it == tally_.end() || it->second.inside > 0)
            return std::nullopt;
        if (it->second.failed > 0)
            return step == Step::Reset ? TileImage::Light : TileImage::Fail;
        if (it->second.passed == units)
            return TileImage::Pass;
        return std::nullopt;
    }
    std::vector<Step> Steps() const {
        std::vector<Step> steps;
        for (const auto& [step, count] : tally_)
            steps.push_back(step);
        return steps;
    }

  private:
    struct Count {
        int inside = 0, passed = 0, failed = 0;
    };
    std::map<Step, Count> tally_;
};

// One unit's run on its own thread. Everything it changes on the board, the log, the observers
// and the run context goes through the queue.
class Sequencer::UnitWorker final : private ProgressSink {
  public:
    struct Start {
        int unit = 1;
        ProgrammerUnit programmer;
        // Unit 1 was opened and its chip confirmed on the starting thread (the identity question
        // is the operator's); the other units open and check their own.
        bool opened = false;
        std::string chipId;  // what unit 1's identity check read
        bool imageLost = false;
        std::optional<std::string> imageProblemLine;
        std::string imageProblemWords;
    };

    UnitWorker(Sequencer& sequencer, const RunPlan& plan, EventQueue& queue, Start start,
               std::unique_ptr<UsbDevice> usb, bool prefixLines)
        : seq_(sequencer),
          plan_(plan),
          queue_(queue),
          start_(std::move(start)),
          usb_(std::move(usb)),
          log_(sequencer.s_.clock),
          lines_(queue, sequencer.s_.log),
          op_(queue, sequencer.s_.op),
          link_(*usb_, log_, op_, pump_),
          ops_(link_, sequencer.s_.session.Directories(), sequencer.s_.clock),
          record_(sequencer.SocketRecord(start_.unit, &start_.programmer)) {
        if (prefixLines)
            log_.SetLinePrefix(UnitPrefix(start_.unit));
        log_.Subscribe(&lines_);
        ops_.SetStopRequest(&sequencer.stopRequested_);
    }
    ~UnitWorker() override { log_.Unsubscribe(&lines_); }
    UnitWorker(const UnitWorker&) = delete;
    UnitWorker& operator=(const UnitWorker&) = delete;

    // Runs on the worker's thread; `ended` is posted last, with the unit's result.
    void Run(const std::function<void(int, const RunResult&)>& ended) {
        RunResult result;
        result.ran = true;
        RunSocket(result);
        queue_.Post([ended, unit = start_.unit, result] { ended(unit, result); });
    }

    // One operation of unit 1, opened already on the starting thread (a Read or a single step);
    // its progress within `share` of the bar from `base`. Runs on the worker's thread; `stopped`
    // tells whether it ended at the operator's stop.
    bool RunOne(Operation operation, int base, int share, PageValues& readBack, bool& stopped) {
        RunResult result;
        if (!Open(result))
            return false;
        progress_ = base;
        stepBase_ = base;
        stepShare_ = share;
        currentOperation_ = operation;
        ops_.SetProgressSink(this);
        const bool pass = RunDeviceOperation(ops_, operation, seq_.s_.session.Record(),
                                             seq_.s_.session.Values(), plan_, &readBack);
        stopped = ops_.TakeStopped();
        ops_.SetProgressSink(nullptr);
        currentOperation_.reset();
        return pass;
    }

  private:
    void Post(std::function<void()> task) { queue_.Post(std::move(task)); }
    IndicatorBoard& Board() { return seq_.s_.board; }

    void SetProgress(int value) {
        progress_ = std::clamp(value, 0, kProgressMaximum);
        Post([this, value = progress_] { Board().SetProgress(start_.unit, value); });
    }
    void ShowLamp(LampImage image) {
        Post([this, image] { Board().ShowLamp(start_.unit, 1, image); });
    }

    bool Open(RunResult& result) {
        const DeviceRecord& record = seq_.s_.session.Record();
        if (!link_.AdoptUnit(start_.programmer)) {
            log_.WriteInfoLine(kUnitOpenFailedLine);
            record_.failingLine = kUnitOpenFailedLine;
            result.failure = "programmer not found";
            return false;
        }
        if (start_.opened) {
            record_.chipId = start_.chipId;
            return link_.SelectUnit(0) || Refuse(result);
        }
        if (!link_.OpenProgrammer(record.driverImagePath, 0))
            return Refuse(result);
        link_.SendTargetBoardMode(plan_.targetBoardSupply);
        if (plan_.identityCheck && !ReadId(link_, record, &record_.chipId)) {
            log_.WriteInfoLine(kUnitChipMismatchLine);
            record_.failingLine = kUnitChipMismatchLine;
            result.failure = "not the selected device";
            return false;
        }
        return true;
    }
    bool Refuse(RunResult& result) {
        log_.WriteInfoLine(kUnitOpenFailedLine);
        record_.failingLine = kUnitOpenFailedLine;
        result.failure = "programmer not opened";
        return false;
    }

    void RunSocket(RunResult& result) {
        ++result.processed;
        SetProgress(0);
        if (!Open(result)) {
            Finish(result, false, false);
            return;
        }
        const Bar bar = plan_.bar;
        const auto rows = StepRowsOf(bar);
        ops_.TargetReset(static_cast<std::uint16_t>(plan_.resetIdleLevel), 0);
        ShowLamp(LampImage::Yellow);
        SetProgress(progress_ + kSocketStartAdvance);
        const std::uint32_t startTick = seq_.s_.clock.TickMs();
        SetProgress(progress_ + kSocketTimedAdvance);
        bool socketResult = true;
        if (start_.imageLost) {
            log_.WriteInfoLine(kNoImageForNewDeviceLine);
            record_.failingLine = kNoImageForNewDeviceLine;
            result.failure = "no image for the new device";
            socketResult = false;
        } else if (start_.imageProblemLine) {
            log_.WriteInfoLine(*start_.imageProblemLine);
            record_.failingLine = *start_.imageProblemLine;
            result.failure = start_.imageProblemWords;
            socketResult = false;
        }
        for (const StepRow& row : rows) {
            const int base = progress_;
            if (plan_.Runs(row.step) && socketResult) {
                if (seq_.stopRequested_) {
                    result.stopped = true;
                    socketResult = false;
                } else {
                    socketResult = RunStep(row, base, result);
                }
            }
            SetProgress(base + row.share);
        }
        const std::uint32_t elapsed = TicksBetween(startTick, seq_.s_.clock.TickMs());
        result.elapsedMs = elapsed;
        log_.WriteInfoLine(FinishedLine(elapsed));
        SetProgress(progress_ + kSocketEndAdvance);
        link_.Channel().EndRun();
        Finish(result, socketResult, true);
    }

    bool RunStep(const StepRow& row, int base, RunResult& result) {
        const Operation operation = *row.operation;
        const std::string name(OperationLogName(operation));
        Post([this, row] { seq_.GangStepStarted(start_.unit, row); });
        log_.WriteInfoLine("Start [" + name + "]");
        stepBase_ = base;
        stepShare_ = row.share;
        currentOperation_ = operation;
        ops_.SetProgressSink(this);
        const std::uint32_t stepStart = seq_.s_.clock.TickMs();
        const StepLines lines(log_);
        const bool pass = RunDeviceOperation(ops_, operation, seq_.s_.session.Record(),
                                             seq_.s_.session.Values(), plan_, nullptr);
        const bool stopped = ops_.TakeStopped();
        ops_.SetProgressSink(nullptr);
        currentOperation_.reset();
        record_.steps.push_back(
            StepOutcome(operation, pass, stopped, TicksBetween(stepStart, seq_.s_.clock.TickMs())));
        if (stopped) {
            result.stopped = true;
        } else if (!pass) {
            result.failedStep = operation;
            record_.failingStep = name;
            record_.failingLine = lines.Why();
        }
        Post([this, row, pass, stopped] {
            seq_.GangStepEnded(start_.unit, row, pass, stopped);
            if (pass && *row.operation == Operation::Verify)
                seq_.context_.VerifyPassed(SocketIndex(start_.unit, 1));
        });
        log_.WriteInfoLine("End [" + name + "]");
        return pass;
    }

    // The unit's verdict: its record written first, then its lamp, its bar full, the
    // programmer's own lamp and its line.
    void Finish(RunResult& result, bool socketResult, bool signalProgrammer) {
        record_.durationMs = result.elapsedMs.value_or(0);
        record_.verdict = RecordVerdict(socketResult, result.stopped);
        if (!seq_.WriteRecord(record_, log_, socketResult && plan_.Runs(Step::Verify))) {
            socketResult = false;
            result.failure = "production record not written";
        }
        if (socketResult)
            ++result.passed;
        ShowLamp(socketResult ? LampImage::Green : LampImage::Red);
        SetProgress(kProgressMaximum);
        if (signalProgrammer)
            link_.Channel().SetLamp(1, socketResult ? kVerdictPass : kVerdictFail);
        log_.WriteInfoLine(VerdictLine(result));
    }

    // The operation's bytes within the step's share of the bar; only a change of the bar or of
    // the step's own percentage is posted, so a long step posts a few hundred events at most.
    void Progress(std::uint64_t done, std::uint64_t total) override {
        if (total == 0 || !currentOperation_)
            return;
        done = std::min(done, total);
        const int value = stepBase_ + static_cast<int>(stepShare_ * done / total);
        const int permille = static_cast<int>(1000 * done / total);
        if (value == progress_ && permille == lastPermille_)
            return;
        lastPermille_ = permille;
        progress_ = value;
        Post([this, value, operation = *currentOperation_, done, total] {
            Board().SetProgress(start_.unit, value);
            for (SequencerObserver* observer : seq_.observers_) {
                if (seq_.unit1Alone_)
                    observer->StepProgress(operation, done, total);
                else
                    observer->UnitStepProgress(start_.unit, operation, done, total);
            }
        });
    }

    Sequencer& seq_;
    const RunPlan& plan_;
    EventQueue& queue_;
    Start start_;
    std::unique_ptr<UsbDevice> usb_;
    InformationLog log_;
    ForwardedLines lines_;
    ForwardedOperator op_;
    NoPump pump_;
    Programmer link_;
    DeviceOperations ops_;
    ProductionRecord record_;  // the unit's production record, written when it ends
    int progress_ = 0;         // the unit's bar as this worker set it last
    int stepBase_ = 0;
    int stepShare_ = 0;
    int lastPermille_ = -1;
    std::optional<Operation> currentOperation_;
};

std::vector<int> Sequencer::GangUnits(const RunPlan& plan) const {
    std::vector<int> units;
    const int count = std::min(s_.session.Link().ProgrammerCount(), kUnitCount);
    for (int unit = 1; unit <= count; ++unit) {
        if (TakesPart(plan, SocketIndex(unit, 1)))
            units.push_back(unit);
    }
    if (units.size() == 1 && units.front() == 1 && !plan.onWorker)
        units.clear();
    return units;
}

void Sequencer::GangStepStarted(int unit, const StepRow& row) {
    gangTally_->Started(row.step);
    s_.board.ShowTile(gangBar_, row.step, TileImage::Light);
    for (SequencerObserver* observer : observers_) {
        if (unit1Alone_)
            observer->StepStarted(*row.operation);
        else
            observer->UnitStepStarted(unit, *row.operation);
    }
}

void Sequencer::GangStepEnded(int unit, const StepRow& row, bool pass, bool stopped) {
    gangTally_->Ended(row.step, pass, stopped);
    if (const auto image = gangTally_->Image(row.step, gangUnits_))
        s_.board.ShowTile(gangBar_, row.step, *image);
    for (SequencerObserver* observer : observers_) {
        if (unit1Alone_)
            observer->StepEnded(*row.operation, pass);
        else
            observer->UnitStepEnded(unit, *row.operation, pass);
    }
}

bool Sequencer::RunOperationOnWorker(Operation operation, const RunPlan& plan,
                                     PageValues& readBack) {
    Programmer& mainLink = s_.session.Link();
    UnitWorker::Start start;
    start.opened = true;
    if (!mainLink.Units().empty())
        start.programmer = mainLink.Units().front();
    std::unique_ptr<UsbDevice> usb = s_.session.Usb().NewHandle();
    if (!usb) {
        s_.log.WriteInfoLine(kUnitOpenFailedLine);
        return false;
    }
    // The worker opens unit 1's programmer on its own handle; this one is opened again after.
    s_.session.Usb().Close();
    EventQueue queue;
    bool pass = false;
    {
        unit1Alone_ = true;
        UnitWorker worker(*this, plan, queue, std::move(start), std::move(usb), false);
        worker::RunWhileServing(queue, mainLink.MessagePump(), [&] {
            pass = worker.RunOne(operation, stepBase_, stepShare_, readBack, operationStopped_);
            // A whole chip's checksum takes a while: here, not on the starting thread.
            if (pass && operation == Operation::Read)
                readChecksum_ = BufferChecksum();
        });
        unit1Alone_ = false;
    }
    mainLink.SelectUnit(0);
    return pass;
}

void Sequencer::RunGang(const RunPlan& plan, RunResult& result, const std::vector<int>& units) {
    result.ran = true;
    // Unit 1 alone on its worker: the lines, questions, observer calls and result of a run on
    // this thread.
    unit1Alone_ = units.size() == 1 && units.front() == 1;
    Programmer& mainLink = s_.session.Link();
    const std::vector<ProgrammerUnit> registered = mainLink.Units();
    const bool prefixLines = units.size() > 1;
    std::vector<UnitWorker::Start> starts;
    for (const int unit : units) {
        UnitWorker::Start start;
        start.unit = unit;
        if (static_cast<std::size_t>(unit) <= registered.size())
            start.programmer = registered[static_cast<std::size_t>(unit - 1)];
        starts.push_back(std::move(start));
    }
    // Unit 1 keeps the identity question, asked here before any unit starts: a Yes may change
    // the device that every unit then works with.
    std::vector<RunResult::UnitOutcome> outcomes;
    imageLost_ = false;
    if (units.front() == 1) {
        UnitWorker::Start& first = starts.front();
        if (prefixLines)
            s_.log.SetLinePrefix(UnitPrefix(1));
        const bool opened = OpenUnit1(plan);
        if (!opened && unit1Alone_) {
            s_.op.Tell(Severity::Error, kOpenFailedMessage);
            result.ran = false;
            return;
        }
        const bool confirmed = !opened || ConfirmDeviceId(plan);
        // Skipped at the question: unit 1 is not done, and its record says so.
        const auto recordSkipped = [&] {
            ProductionRecord record = SocketRecord(1, &first.programmer);
            record.failingLine = "not done: the chip in the socket was not confirmed";
            record.verdict = RecordVerdict(false, true);
            WriteRecord(record, s_.log, false);
        };
        if (!confirmed && unit1Alone_) {
            s_.log.SetLinePrefix({});
            ++result.skipped;
            ShowStopped(result);
            recordSkipped();
            return;
        }
        if (!confirmed) {
            // The other units go on.
            recordSkipped();
            RunResult skipped;
            skipped.ran = true;
            skipped.skipped = 1;
            s_.board.ShowLamp(1, 1, LampImage::Gray);
            outcomes.push_back({1, skipped});
            starts.erase(starts.begin());
        } else {
            first.opened = opened;
            first.chipId = chipId_;
            if (opened) {
                // The found device may be another now.
                first.programmer = mainLink.Units().front();
            }
        }
        s_.log.SetLinePrefix({});
        // The worker opens unit 1's programmer on its own handle.
        s_.session.Usb().Close();
    }

    // Every unit's Program and Verify need the one image in the buffer (as unit 1's question
    // left it: a device changed at its Yes with nothing to load again left none).
    const auto rows = StepRowsOf(plan.bar);
    std::optional<ImageProblem> problem;
    if (std::any_of(rows.begin(), rows.end(), [&](const StepRow& row) {
            return plan.Runs(row.step) &&
                   (*row.operation == Operation::Program || *row.operation == Operation::Verify);
        })) {
        problem = BufferImageProblem();
    }
    for (UnitWorker::Start& start : starts) {
        start.imageLost = imageLost_;
        if (problem) {
            start.imageProblemLine = problem->line;
            start.imageProblemWords = problem->words;
        }
    }

    s_.board.ShowStatus(StatusImage::Wait);
    for (const UnitWorker::Start& start : starts)
        s_.board.SetProgress(start.unit, 0);
    const std::uint32_t startTick = s_.clock.TickMs();

    EventQueue queue;
    std::vector<std::unique_ptr<UnitWorker>> workers;
    for (UnitWorker::Start& start : starts) {
        std::unique_ptr<UsbDevice> usb = s_.session.Usb().NewHandle();
        if (!usb) {
            s_.log.WriteInfoLine((prefixLines ? UnitPrefix(start.unit) : std::string()) +
                                 std::string(kUnitOpenFailedLine));
            RunResult failed;
            failed.ran = true;
            failed.processed = 1;
            failed.failure = "no USB handle";
            outcomes.push_back({start.unit, failed});
            continue;
        }
        workers.push_back(std::make_unique<UnitWorker>(*this, plan, queue, std::move(start),
                                                       std::move(usb), prefixLines));
    }
    GangTally tally;
    gangTally_ = &tally;
    gangBar_ = plan.bar;
    gangUnits_ = static_cast<int>(workers.size());
    std::size_t ended = 0;
    const auto unitEnded = [&](int unit, const RunResult& unitResult) {
        ++ended;
        outcomes.push_back({unit, unitResult});
        if (!unit1Alone_) {
            for (SequencerObserver* observer : observers_)
                observer->UnitEnded(unit, unitResult);
        }
    };
    Pump& pump = mainLink.MessagePump();
    {
        std::vector<std::jthread> threads;
        for (auto& worker : workers)
            threads.emplace_back([&worker = *worker, &unitEnded] { worker.Run(unitEnded); });
        while (ended < workers.size()) {
            queue.RunPending(kEventWait, kEventBudget);
            pump.ProcessPendingMessages();
        }
    }
    while (queue.RunPending(std::chrono::milliseconds(0), kEventBudget))
        pump.ProcessPendingMessages();
    // The workers' handles are closed; unit 1's programmer is the open one again, as after a run
    // on this thread (the unit mode and lamp of a new work file go to it).
    workers.clear();
    mainLink.SelectUnit(0);
    // Tiles of steps a unit never reached (it failed or stopped before): not every unit passed.
    for (const Step step : tally.Steps()) {
        if (!tally.Image(step, gangUnits_))
            s_.board.ShowTile(plan.bar, step, TileImage::Norm);
    }
    gangTally_ = nullptr;

    std::sort(outcomes.begin(), outcomes.end(),
              [](const auto& a, const auto& b) { return a.unit < b.unit; });
    for (const RunResult::UnitOutcome& outcome : outcomes) {
        result.processed += outcome.result.processed;
        result.passed += outcome.result.passed;
        result.skipped += outcome.result.skipped;
        result.stopped = result.stopped || outcome.result.stopped;
        if (!result.failedStep && outcome.result.failedStep)
            result.failedStep = outcome.result.failedStep;
        if (result.failure.empty())
            result.failure = outcome.result.failure;
    }
    result.units = std::move(outcomes);
    result.elapsedMs = TicksBetween(startTick, s_.clock.TickMs());
    if (result.units.size() == 1)
        result.elapsedMs = result.units.front().result.elapsedMs;
    if (unit1Alone_)
        result.units.clear();  // a run of unit 1 alone, as on this thread
    if (prefixLines) {
        // One line per unit, then the total.
        for (const RunResult::UnitOutcome& outcome : result.units) {
            std::string line = "Summary : " + UnitPrefix(outcome.unit) +
                               std::string(VerdictWord(outcome.result.Outcome()));
            const std::string words = FailureWords(outcome.result);
            if (outcome.result.Outcome() == Verdict::Fail && !words.empty())
                line += " [" + words + "]";
            if (outcome.result.elapsedMs)
                line += " in " + GeneralSecondsText(*outcome.result.elapsedMs) +
                        std::string(kSecondsSuffix);
            s_.log.WriteInfoLine(line);
        }
        s_.log.WriteInfoLine("Summary : " + std::to_string(result.passed) + " of " +
                             std::to_string(result.units.size()) + " units passed");
        s_.log.WriteInfoLine(FinishedLine(*result.elapsedMs));
        s_.log.WriteInfoLine(VerdictLine(result));
    }
    const Verdict verdict = result.Outcome();
    s_.board.ShowStatus(verdict == Verdict::Pass   ? StatusImage::Pass
                        : verdict == Verdict::Fail ? StatusImage::Fail
                                                   : StatusImage::Stopped);
}

}  // namespace torq

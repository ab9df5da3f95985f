// watch: the emulator's loop without a window, for build farms. The file is loaded and written
// into the emulator once at the start; then every change of it (an editor's save in place or by
// rename) reloads it and runs the Emulator steps: erase, program, verify and the target reset as
// the options say. A file is acted on only once it has stopped changing for one watch tick, so a
// build still writing it is not programmed half written. A file that cannot be loaded (empty, not
// a file, bigger than the chip without --yes) fails its cycle and programs nothing: the chip is
// never written from the image before the change. A file that disappears is waited for. An
// interrupt ends the loop cleanly before the next block of data (a whole-chip erase runs to its
// end).
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <iostream>
#include <optional>
#include <system_error>
#include <thread>

#include "CliContext.h"
#include "TerminalProgress.h"
#include "torq/workflow/ControlNames.h"
#include "torq/workflow/EmulatorWatch.h"
#include "torq/workflow/FileStamp.h"
#include "torq/workflow/Sequencer.h"

namespace torq::cli {

namespace {

volatile std::sig_atomic_t interrupted = 0;

extern "C" void OnInterrupt(int) {
    interrupted = 1;
}

constexpr auto kWatchInterval = std::chrono::milliseconds(300);
// The line limit of the log, applied as often as the window applies it, so a loop that runs for
// weeks keeps only the lines the options allow (every line has been printed already).
constexpr auto kLineLimitInterval = std::chrono::milliseconds(500);

// Counts the runs and says how each ended; the bar on a terminal as every run shows it.
class CycleReport final : public SequencerObserver {
  public:
    explicit CycleReport(bool terminal) : terminal_(terminal) {}
    void StepProgress(Operation operation, std::uint64_t done, std::uint64_t total) override {
        if (terminal_)
            bar_.StepProgress(operation, done, total);
    }
    void StepEnded(Operation operation, bool pass) override { bar_.StepEnded(operation, pass); }
    void RunEnded(const RunResult& result) override {
        ++cycles;
        const bool pass = result.Pass();
        failures += pass ? 0 : 1;
        PrintUnitVerdicts(result, std::cout);
        std::cout << "Cycle " << cycles << ": " << (pass ? "Pass" : "Fail") << '\n' << std::flush;
    }
    // A cycle whose file could not be loaded: nothing was run.
    void LoadFailed(const std::string& reason) {
        ++cycles;
        ++failures;
        std::cout << "Cycle " << cycles << ": Fail (not loaded: " << reason << ")\n" << std::flush;
    }
    int cycles = 0;
    int failures = 0;

  private:
    bool terminal_;
    TerminalProgress bar_;
};

struct WatchOptions {
    std::string file;
    bool skipId = false;
    bool noVerify = false;
    bool noReset = false;
    std::string units;
    AnswerFlags answers;
    RecordFlags record;
};

// Why a load was refused, with the flags that answer a question the command line could not ask.
std::string RefusalText(CliContext& context, const std::string& reason) {
    const bool unanswered = context.op.unanswered;
    context.op.unanswered = false;
    return unanswered ? reason + "; add --yes or --no" : reason;
}

int Watch(CliContext& context, const WatchOptions& options) {
    // Made absolute once: the watch must keep naming the same file. A relative name cannot be
    // resolved when the current folder has been deleted.
    std::error_code error;
    const std::filesystem::path file = std::filesystem::absolute(options.file, error);
    if (error) {
        return Fail(kFailed, "cannot resolve " + options.file +
                                 " against the current folder: " + error.message());
    }
    if (const int code = LockHome(context, HomeAccess::Exclusive); code != kSuccess)
        return code;
    if (const int code = OpenBench(context, Needs::Programmer); code != kSuccess)
        return code;
    Workbench& bench = *context.bench;
    if (bench.ProgrammerCount() == 0)
        return Fail(kFailed, "no programmer connected");
    ApplyAnswerFlags(context, options.answers);
    ApplyRecordFlags(bench, options.record);
    CycleReport report(::isatty(STDERR_FILENO) != 0);
    bench.Runs().AddObserver(&report);
    // Each cycle runs the Emulator steps: erase and program, verify and the target reset unless
    // left out.
    RunPlan plan = bench.PlanWithOptions(Bar::Emulator);
    plan.kind = RunKind::Steps;
    plan.identityCheck = !options.skipId;
    if (const int code = ChooseUnits(bench, options.units, plan); code != kSuccess) {
        bench.Runs().RemoveObserver(&report);
        return code;
    }
    plan.steps = {Step::Erase, Step::Program};
    if (!options.noVerify)
        plan.steps.push_back(Step::Verify);
    if (!options.noReset)
        plan.steps.push_back(Step::Reset);
    // "Watch" checked: a new work file is stamped as it is loaded, so only a later change of it
    // starts a cycle.
    bench.SetRunOptions([](Options& settings) { settings.emulatorWatch = true; });

    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);
    // An interrupt during a run lets the step under way finish, then ends the run.
    context.pump.hook = [&bench] {
        if (interrupted)
            bench.Runs().RequestStop();
    };

    // The first load and run, once the file is there and has stopped changing for a tick (a build
    // may still be writing it). From then on the watch follows it: it acts on a change once the
    // file has settled, and waits for a file that disappears. A first load that fails is tried
    // again at the file's next change.
    bool started = false;
    bool announced = false;
    SettleCheck arrival;
    std::optional<FileStamp> refused;
    auto lineLimitDue = std::chrono::steady_clock::now() + kLineLimitInterval;
    while (!interrupted) {
        if (std::chrono::steady_clock::now() >= lineLimitDue) {
            // Every line has been printed: the limit holds even when they cannot be saved.
            if (bench.InfoMessageLimitTimerWanted())
                bench.InfoMessageLimitTick(UnsavedLines::Drop);
            lineLimitDue = std::chrono::steady_clock::now() + kLineLimitInterval;
        }
        if (started) {
            const WatchTickResult tick = bench.WatchTick(plan);
            if (tick.end == WatchTickEnd::ReloadFailed)
                report.LoadFailed(RefusalText(context, tick.reason));
        } else {
            const FileStamp now = ReadFileStamp(file);
            if (arrival.Settled(now) && (!refused || now.ChangedFrom(*refused))) {
                // The watch takes its stamp before the load.
                if (const auto refusal = bench.LoadIntoUnit1(file)) {
                    refused = now;
                    report.LoadFailed(RefusalText(context, *refusal));
                } else {
                    started = true;
                    bench.Runs().Run(plan);
                    continue;
                }
            }
            if (now.Missing() && !announced) {
                bench.Log().WriteInfoLine(WaitingForFileLine(file));
                announced = true;
            }
        }
        std::this_thread::sleep_for(kWatchInterval);
    }
    bench.Runs().RemoveObserver(&report);
    bench.Log().WriteInfoLine("Watch ended after " + std::to_string(report.cycles) + " cycle(s), " +
                              std::to_string(report.failures) + " failed");
    return kSuccess;
}

}  // namespace

void AddWatchCommand(CLI::App& app, CliContext& context, int& exitCode) {
    static WatchOptions options;
    auto* watch = app.add_subcommand(
        "watch", "Emulator loop: program FILE, then reload and program it at every change");
    watch->add_option("FILE", options.file, "The firmware image to watch")->required();
    watch->add_flag("--skip-id", options.skipId, "Do not check the chip's ID first");
    watch->add_flag("--no-verify", options.noVerify, "Leave out the Verify step");
    watch->add_flag("--no-reset", options.noReset, "Leave out the target reset");
    watch->add_option("--units", options.units,
                      "Comma-separated unit numbers that take part (default: every unit found)");
    AddAnswerFlags(watch, options.answers);
    AddRecordFlags(watch, options.record);
    watch->callback([&] { exitCode = Watch(context, options); });
}

}  // namespace torq::cli

// Execute All as the window runs it, on a simulated chip in real-time mode (bus and chip busy
// times as on hardware): the total time against the modelled hardware time (the bus time and the
// chip's own busy time of its page programs and erases), and the longest stretch in which the run
// gave the window no turn to process its messages (pump calls and progress reports), against the
// goal of 50 ms, below which the window never looks frozen.
//   torq-run-bench LIBRARY_DIR [CHIP [OPTIONS]]    (default W25Q128FV, 16 MiB)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "BenchSupport.h"
#include "torq/sim/SimulateOption.h"
#include "torq/sim/SimulatedProgrammer.h"
#include "torq/workflow/Sequencer.h"
#include "torq/workflow/Workbench.h"

using namespace torq;
namespace fs = std::filesystem;
using Steady = std::chrono::steady_clock;

namespace {

constexpr double kLongestGapGoalMs = 50;

// Each turn the window would get: a pump call or a progress report. Remembers the longest gap.
struct Turns final : Pump, SequencerObserver {
    void ProcessPendingMessages() override { Turn(); }
    void StepProgress(Operation, std::uint64_t, std::uint64_t) override { Turn(); }
    void StepStarted(Operation operation) override {
        Turn();
        step = operation;
        stepStart = Steady::now();
    }
    void StepEnded(Operation operation, bool pass) override {
        Turn();
        std::printf("  %-12s %s %8.2f s\n", std::string(OperationLogName(operation)).c_str(),
                    pass ? "Pass" : "Fail",
                    std::chrono::duration<double>(Steady::now() - stepStart).count());
    }
    void Turn() {
        const auto now = Steady::now();
        if (running) {
            const double gap = std::chrono::duration<double, std::milli>(now - last).count();
            if (gap > longest) {
                longest = gap;
                longestStep = step;
            }
        }
        last = now;
        ++turns;
    }
    bool running = false;
    Steady::time_point last, stepStart;
    double longest = 0;
    Operation step = Operation::Erase, longestStep = Operation::Erase;
    long turns = 0;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s LIBRARY_DIR [CHIP [SIMULATE_OPTIONS]]\n", argv[0]);
        return 2;
    }
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const std::string chip = argc > 2 ? argv[2] : "W25Q128FV";
    const std::string extra = argc > 3 ? std::string(",") + argv[3] : std::string();
    const fs::path home = benchkit::MakeBenchHome(argv[1], "torq-run-bench", chip);
    sim::SimulateParse parsed = sim::ParseSimulateOption(chip + ",realtime=1" + extra);
    if (!parsed.programmer) {
        std::fprintf(stderr, "%s\n", parsed.error.c_str());
        return 2;
    }
    sim::SimulatedProgrammer& simulator = *parsed.programmer;
    Turns turns;
    benchkit::BenchSeams seams;
    const std::unique_ptr<Workbench> opened =
        benchkit::OpenBenchWorkbench(home, std::move(parsed.programmer), turns, seams);
    if (!opened)
        return 2;
    Workbench& bench = *opened;
    benchkit::WriteRandomBuffer(bench, 3);
    bench.Runs().AddObserver(&turns);
    // Execute All of the Programmer tab as the options check its steps.
    RunPlan plan = bench.PlanWithOptions(Bar::Programmer);
    for (const StepRow& row : StepRowsOf(Bar::Programmer)) {
        if (bench.StepChecked(Bar::Programmer, row.step))
            plan.steps.push_back(row.step);
    }
    std::printf("Execute All on a simulated %s in real-time mode (%llu bytes)\n", chip.c_str(),
                static_cast<unsigned long long>(bench.Record().deviceSize));
    const double modelledBefore = simulator.ModelledMicroseconds();
    const sim::SpiChip* spi = simulator.Chip();
    const sim::SimTime busyBefore = spi != nullptr ? spi->BusyTotal() : sim::SimTime{0};
    const auto start = Steady::now();
    turns.running = true;
    turns.last = start;
    const RunResult result = bench.Runs().Run(plan);
    turns.running = false;
    const double seconds = std::chrono::duration<double>(Steady::now() - start).count();
    const double busSeconds = (simulator.ModelledMicroseconds() - modelledBefore) / 1e6;
    const double busySeconds =
        spi != nullptr ? std::chrono::duration<double>(spi->BusyTotal() - busyBefore).count() : 0;
    const double hardwareSeconds = busSeconds + busySeconds;
    std::printf("verdict: %s\n", result.Pass() ? "Pass" : "Fail");
    // The two overlap where the host polls a chip that is still busy, so their sum is the
    // longest the hardware could take.
    std::printf(
        "modelled hardware time: %.2f s (bus %.2f s + chip busy %.2f s in page programs "
        "and erases, which overlap while the host polls)\n",
        hardwareSeconds, busSeconds, busySeconds);
    std::printf("total: %.2f s, %.2f s (%+.1f %%) beside the modelled hardware time\n", seconds,
                seconds - hardwareSeconds,
                hardwareSeconds > 0 ? 100 * (seconds - hardwareSeconds) / hardwareSeconds : 0.0);
    std::printf("window turns: %ld; longest stretch without one: %.1f ms (during %s)\n",
                turns.turns, turns.longest,
                std::string(OperationLogName(turns.longestStep)).c_str());
    std::printf("longest-stretch goal of %.0f ms: %s\n", kLongestGapGoalMs,
                turns.longest <= kLongestGapGoalMs ? "met" : "NOT met");
    fs::remove_all(home);
    return result.Pass() ? 0 : 1;
}

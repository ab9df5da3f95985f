// Execute All of a whole-chip image on N simulated programmers at once, in real-time mode (each
// chip busy for its typical times, every transfer taking its time on the one shared USB 2.0 bus):
// the wall time and the chips per hour, the bus time the simulator modelled for all units, the
// gaps between the starting thread's turns (the window's event loop during a run: it waits at
// most a few milliseconds for the workers' events, then processes its messages), and the
// process's peak memory (the simulated chips keep their content in files). One unit count per
// process, so that the peak memory is its own.
//   torq-gang-bench LIBRARY_DIR UNITS [CHIP]     (default W25Q128FV, 16 MiB)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "torq/sim/SimulateOption.h"
#include "torq/sim/SimulatedProgrammer.h"
#include "torq/workflow/Sequencer.h"
#include "torq/workflow/Workbench.h"

using namespace torq;
namespace fs = std::filesystem;
using Steady = std::chrono::steady_clock;

namespace {

// The starting thread's turns while a run is under way: the gaps between them, and the last log
// line before the longest.
struct Turns final : Pump {
    void ProcessPendingMessages() override {
        const auto now = Steady::now();
        if (running) {
            const double gap = std::chrono::duration<double, std::milli>(now - last).count();
            gaps.push_back(gap);
            if (gap > longest) {
                longest = gap;
                longestAfter = lastLine;
            }
        }
        if (log != nullptr && !log->Lines().empty())
            lastLine = log->Lines().back();
        last = now;
    }
    bool running = false;
    Steady::time_point last;
    std::vector<double> gaps;
    double longest = 0;
    const InformationLog* log = nullptr;
    std::string lastLine, longestAfter;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s LIBRARY_DIR UNITS [CHIP]\n", argv[0]);
        return 2;
    }
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const int units = std::atoi(argv[2]);
    const std::string chip = argc > 3 ? argv[3] : "W25Q128FV";
    if (units < 1 || units > kUnitCount) {
        std::fprintf(stderr, "UNITS: 1 to %d\n", kUnitCount);
        return 2;
    }
    const fs::path home = benchkit::MakeBenchHome(argv[1], "torq-gang-bench", chip);
    // The simulated chips keep their content in files, so that the peak memory is the program's
    // own, not the simulated hardware's.
    sim::SimulateParse parsed = sim::ParseSimulateOptions(
        {chip + "*" + std::to_string(units) + ",realtime=1,file=" + (home / "chip.bin").string()});
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
    if (bench.ProgrammerCount() != units) {
        std::fprintf(stderr, "%d programmers found, not %d\n", bench.ProgrammerCount(), units);
        return 2;
    }
    benchkit::WriteRandomBuffer(bench, 3);
    RunPlan plan = bench.PlanWithOptions(Bar::Programmer);
    plan.steps = {Step::Erase, Step::Check, Step::Program, Step::Verify};
    plan.sockets.clear();
    for (int unit = 1; unit <= units; ++unit)
        plan.sockets.push_back(SocketIndex(unit, 1));
    std::printf(
        "Execute All (erase, blank check, program, verify) of %s (%llu bytes) on %d "
        "unit(s), real-time mode\n",
        chip.c_str(), static_cast<unsigned long long>(bench.Record().deviceSize), units);
    turns.log = &bench.Log();
    const double modelledBefore = simulator.ModelledMicroseconds();
    const auto start = Steady::now();
    turns.running = true;
    turns.last = start;
    const RunResult result = bench.Runs().Run(plan);
    turns.running = false;
    const double seconds = std::chrono::duration<double>(Steady::now() - start).count();
    const double busSeconds = (simulator.ModelledMicroseconds() - modelledBefore) / 1e6;
    int passed = 0;
    if (result.units.empty()) {
        passed = result.Pass() ? 1 : 0;
    } else {
        for (const auto& unit : result.units)
            passed += unit.result.Outcome() == Verdict::Pass ? 1 : 0;
    }
    std::vector<double> gaps = turns.gaps;
    std::sort(gaps.begin(), gaps.end());
    const auto percentile = [&](double p) {
        return gaps.empty() ? 0.0
                            : gaps[std::min(gaps.size() - 1,
                                            static_cast<std::size_t>(p * (gaps.size() - 1)))];
    };
    std::printf("verdict: %s (%d of %d units passed)\n", result.Pass() ? "Pass" : "Fail", passed,
                units);
    std::printf("wall time: %.2f s; chips per hour: %.0f\n", seconds,
                seconds > 0 ? passed * 3600.0 / seconds : 0.0);
    std::printf("modelled bus time of all units on the one bus: %.2f s\n", busSeconds);
    std::printf(
        "starting thread's turns: %zu; gap median %.2f ms, 99.9th percentile %.2f ms, "
        "longest %.2f ms\n",
        gaps.size(), percentile(0.5), percentile(0.999), gaps.empty() ? 0.0 : gaps.back());
    std::printf("the longest gap began after: %s\n", turns.longestAfter.c_str());
    std::printf("peak memory: %ld KiB\n", benchkit::PeakRssKiB());
    fs::remove_all(home);
    return result.Pass() ? 0 : 1;
}

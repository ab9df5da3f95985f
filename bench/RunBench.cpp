// Execute All as the window runs it, on a simulated chip in real-time mode (bus and chip busy
// times as on hardware): the total time against the modelled bus time, and the longest stretch in
// which the run gave the window no turn to process its messages (pump calls and progress reports).
//   torq-run-bench LIBRARY_DIR [CHIP [OPTIONS]]    (default W25Q128FV, 16 MiB)
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "torq/sim/SimulateOption.h"
#include "torq/sim/SimulatedProgrammer.h"
#include "torq/workflow/Sequencer.h"
#include "torq/workflow/Workbench.h"

using namespace torq;
namespace fs = std::filesystem;
using Steady = std::chrono::steady_clock;

namespace {

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

struct NoHost final : WorkbenchHost {};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s LIBRARY_DIR [CHIP [SIMULATE_OPTIONS]]\n", argv[0]);
        return 2;
    }
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const std::string chip = argc > 2 ? argv[2] : "W25Q128FV";
    const std::string extra = argc > 3 ? std::string(",") + argv[3] : std::string();
    const fs::path home =
        fs::temp_directory_path() / ("torq-run-bench-" + std::to_string(::getpid()));
    fs::create_directories(home);
    fs::copy(argv[1], home, fs::copy_options::recursive);
    {
        std::ofstream history(home / "History.ini");
        history << "[Device1]\nVendor=Winbond\nType=" << chip << "\n";
    }
    sim::SimulateParse parsed = sim::ParseSimulateOption(chip + ",realtime=1" + extra);
    if (!parsed.programmer) {
        std::fprintf(stderr, "%s\n", parsed.error.c_str());
        return 2;
    }
    sim::SimulatedProgrammer& simulator = *parsed.programmer;
    FixedOperator op{Answer::Cancel};
    Turns turns;
    ManualTimer watch, flash;
    NoHost host;
    Workbench bench(ProgramDirectory::Portable(home),
                    WorkbenchSeams{op, turns, SystemClock::Instance(), watch, flash,
                                   std::move(parsed.programmer)},
                    host);
    std::string problem;
    if (!bench.OpenForCommand(false, &problem)) {
        std::fprintf(stderr, "%s\n", problem.c_str());
        return 2;
    }
    bench.ShowTab(kProgrammerTabIndex);
    bench.EnumerateProgrammers(false);
    bench.SetSocketEnabled(1, 1, true);
    {
        std::vector<char> image(bench.Record().deviceSize);
        std::mt19937 random(3);
        for (auto& b : image)
            b = static_cast<char>(random());
        std::ofstream(bench.Directories().BufferFile(), std::ios::binary)
            .write(image.data(), static_cast<std::streamsize>(image.size()));
    }
    bench.Runs().SetObserver(&turns);
    std::printf("Execute All on a simulated %s in real-time mode (%llu bytes)\n", chip.c_str(),
                static_cast<unsigned long long>(bench.Record().deviceSize));
    const double modelledBefore = simulator.ModelledMicroseconds();
    const auto start = Steady::now();
    turns.running = true;
    turns.last = start;
    const RunResult result = bench.Runs().ExecuteAll();
    turns.running = false;
    const double seconds = std::chrono::duration<double>(Steady::now() - start).count();
    const double busSeconds = (simulator.ModelledMicroseconds() - modelledBefore) / 1e6;
    std::printf("verdict: %s\n", result.Pass() ? "Pass" : "Fail");
    std::printf("total: %.2f s (bus time modelled: %.2f s; the rest is the chip's busy time)\n",
                seconds, busSeconds);
    std::printf("window turns: %ld; longest stretch without one: %.1f ms (during %s)\n",
                turns.turns, turns.longest,
                std::string(OperationLogName(turns.longestStep)).c_str());
    fs::remove_all(home);
    return result.Pass() ? 0 : 1;
}

// Reliability figures on the simulated programmer:
//  1. a fault injected into every transfer of erase, blank check, program, verify, read and a
//     whole Execute All in turn (lost, acted on but reported failed, timed out, plug pulled): how
//     many runs, hangs and wrong Pass verdicts (a Pass whose effect is not on the chip or in the
//     buffer). A crash ends the program, so finishing is the proof there was none;
//  2. the peak memory of 200 Execute All cycles back to back, sampled as they run.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "torq/devlib/DeviceLibrary.h"
#include "torq/sim/ChipCatalog.h"
#include "torq/sim/SimulatedProgrammer.h"
#include "torq/sim/SpiChip.h"
#include "torq/workflow/Sequencer.h"
#include "torq/workflow/Workbench.h"

using namespace torq;
namespace fs = std::filesystem;

namespace {

constexpr const char* kChip = "W25X10";  // 128 KiB keeps one sweep short
constexpr double kHangSeconds = 10.0;

std::vector<std::uint8_t> RandomBytes(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<std::uint8_t> bytes(size);
    for (auto& b : bytes)
        b = static_cast<std::uint8_t>(random());
    return bytes;
}

void WriteFile(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::uint8_t> ReadFileBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

long RssKiB() {
    std::ifstream status("/proc/self/status");
    std::string key;
    long value = 0;
    while (status >> key) {
        if (key == "VmRSS:") {
            status >> value;
            return value;
        }
        status.ignore(256, '\n');
    }
    return 0;
}

struct NoHost final : WorkbenchHost {};

// One workbench on a simulated programmer in a home holding the library, unit 1 on kChip.
struct Bench {
    explicit Bench(const fs::path& library, const fs::path& home) {
        if (!fs::exists(home / "Select.ini")) {
            fs::create_directories(home);
            fs::copy(library, home, fs::copy_options::recursive);
            std::ofstream history(home / "History.ini");
            history << "[Device1]\nVendor=Winbond\nType=" << kChip << "\n";
        }
        sim::ProgrammerSetup setup;
        setup.chip = *sim::FindChip(kChip);
        auto usb = std::make_unique<sim::SimulatedProgrammer>(setup);
        simulator = usb.get();
        bench = std::make_unique<Workbench>(
            ProgramDirectory::Portable(home),
            WorkbenchSeams{op, pump, SystemClock::Instance(), watch, flash, std::move(usb)}, host);
        std::string problem;
        // The pauses between failed opens are the hardware's; here they only lengthen the sweep.
        bench->Link().SetPause([](std::uint32_t) {});
        bench->OpenForCommand(false, &problem);
        bench->EnumerateProgrammers(false);
    }
    // One operation as a step tile runs it (Read with its checksum lines).
    RunResult Single(Operation operation) {
        RunPlan plan = bench->PlanWithOptions(Bar::Programmer);
        plan.kind = operation == Operation::Read ? RunKind::Read : RunKind::Single;
        plan.operation = operation;
        return bench->Runs().Run(plan);
    }
    // Execute All of the Programmer tab as the options check its steps.
    RunResult ExecuteAll() {
        RunPlan plan = bench->PlanWithOptions(Bar::Programmer);
        for (const StepRow& row : StepRowsOf(Bar::Programmer)) {
            if (bench->StepChecked(Bar::Programmer, row.step))
                plan.steps.push_back(row.step);
        }
        return bench->Runs().Run(plan);
    }
    sim::SpiChip& Chip() { return *simulator->Chip(); }

    FixedOperator op{Answer::Cancel};
    Pump pump;
    ManualTimer watch, flash;
    NoHost host;
    sim::SimulatedProgrammer* simulator = nullptr;
    std::unique_ptr<Workbench> bench;
};

struct Case {
    const char* name;
    // Sets the chip and the buffer up, runs the operation, and says whether it passed.
    std::function<bool(Bench&)> run;
    // After a Pass: is its effect really there?
    std::function<bool(Bench&)> effectHolds;
};

struct Tally {
    int runs = 0, hangs = 0, wrongPasses = 0, passes = 0;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s LIBRARY_DIR [CYCLES]\n", argv[0]);
        return 2;
    }
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const fs::path library = argv[1];
    const int cycles = argc > 2 ? std::atoi(argv[2]) : 200;
    const fs::path home =
        fs::temp_directory_path() / ("torq-reliability-" + std::to_string(::getpid()));
    const std::size_t size = sim::FindChip(kChip)->size;
    const auto image = RandomBytes(size, 1);
    const auto other = RandomBytes(size, 2);

    const auto chipHolds = [&](Bench& b, const std::vector<std::uint8_t>& bytes) {
        return b.Chip().Memory().ReadRange(0, size) == bytes;
    };
    const auto fill = [&](Bench& b, const std::vector<std::uint8_t>& bytes) {
        b.Chip().Memory().Write(0, bytes);
    };
    const auto buffer = [&](Bench& b) { return b.bench->Directories().BufferFile(); };

    const std::vector<Case> cases = {
        {"erase",
         [&](Bench& b) {
             fill(b, image);
             return b.Single(Operation::Erase).Pass();
         },
         [&](Bench& b) { return chipHolds(b, std::vector<std::uint8_t>(size, 0xFF)); }},
        {"blank",  // the chip holds data: a Pass is always wrong
         [&](Bench& b) {
             fill(b, image);
             return b.Single(Operation::BlankCheck).Pass();
         },
         [&](Bench&) { return false; }},
        {"program",
         [&](Bench& b) {
             WriteFile(buffer(b), image);
             return b.Single(Operation::Program).Pass();
         },
         [&](Bench& b) { return chipHolds(b, image); }},
        {"verify",  // the chip differs from the buffer: a Pass is always wrong
         [&](Bench& b) {
             fill(b, other);
             WriteFile(buffer(b), image);
             return b.Single(Operation::Verify).Pass();
         },
         [&](Bench&) { return false; }},
        {"read",
         [&](Bench& b) {
             fill(b, image);
             WriteFile(buffer(b), other);
             return b.Single(Operation::Read).Pass();
         },
         [&](Bench& b) { return ReadFileBytes(buffer(b)) == image; }},
        {"run",  // Execute All: erase, blank, program, verify, protect
         [&](Bench& b) {
             fill(b, other);
             WriteFile(buffer(b), image);
             return b.ExecuteAll().Pass();
         },
         [&](Bench& b) { return chipHolds(b, image); }},
    };
    const std::pair<sim::FaultEffect, const char*> effects[] = {
        {sim::FaultEffect::Fail, "lost"},
        {sim::FaultEffect::FailAfterData, "failed after data"},
        {sim::FaultEffect::Timeout, "timed out"},
        {sim::FaultEffect::Unplug, "unplugged"},
    };

    std::printf("Fault injection over every transfer (%s, %zu bytes)\n", kChip, size);
    std::printf("%-8s %10s %7s %7s %8s %11s\n", "", "transfers", "runs", "hangs", "passes",
                "wrong Pass");
    Tally total;
    for (const Case& c : cases) {
        std::uint64_t transfers = 0;
        {
            Bench clean(library, home);
            const std::uint64_t before = clean.simulator->Transfers();
            // Blank check and verify are set up to fail; the others must pass without faults.
            if (c.run(clean) != c.effectHolds(clean)) {
                std::printf("%-8s the run without faults did not end as it should\n", c.name);
                continue;
            }
            transfers = clean.simulator->Transfers() - before;
        }
        Tally tally;
        for (const auto& [effect, effectName] : effects) {
            for (std::uint64_t nth = 1; nth <= transfers; ++nth) {
                Bench b(library, home);
                b.simulator->FailTransfer(b.simulator->Transfers() + nth, effect);
                const auto start = std::chrono::steady_clock::now();
                const bool pass = c.run(b);
                const double seconds =
                    std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
                b.simulator->ClearFaults();
                ++tally.runs;
                tally.hangs += seconds > kHangSeconds;
                if (pass) {
                    ++tally.passes;
                    if (!c.effectHolds(b)) {
                        ++tally.wrongPasses;
                        std::printf("  wrong Pass: %s, transfer %llu %s\n", c.name,
                                    static_cast<unsigned long long>(nth), effectName);
                    }
                }
            }
        }
        std::printf("%-8s %10llu %7d %7d %8d %11d\n", c.name,
                    static_cast<unsigned long long>(transfers), tally.runs, tally.hangs,
                    tally.passes, tally.wrongPasses);
        total.runs += tally.runs;
        total.hangs += tally.hangs;
        total.passes += tally.passes;
        total.wrongPasses += tally.wrongPasses;
    }
    std::printf("%-8s %10s %7d %7d %8d %11d\n", "all", "", total.runs, total.hangs, total.passes,
                total.wrongPasses);

    std::printf("\nPeak memory over %d Execute All cycles (%s)\n", cycles, kChip);
    {
        Bench b(library, home);
        WriteFile(buffer(b), image);
        for (int i = 1; i <= cycles; ++i) {
            if (!b.ExecuteAll().Pass()) {
                std::printf("cycle %d failed\n", i);
                break;
            }
            // The window's line-limit timer, which keeps the log within its line limit.
            b.bench->InfoMessageLimitTick();
            if (i == 1 || i % 50 == 0)
                std::printf("  after cycle %3d: RSS %6ld KiB, peak %6ld KiB\n", i, RssKiB(),
                            benchkit::PeakRssKiB());
        }
    }
    fs::remove_all(home);
    return total.wrongPasses == 0 && total.hangs == 0 ? 0 : 1;
}

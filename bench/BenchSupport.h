// What the benchmarks share: a scratch home with the library and a chosen chip, a workbench on a
// simulated programmer, a random whole-chip image written in blocks, and the process's peak
// memory.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "torq/workflow/Workbench.h"

namespace torq::benchkit {

// A new folder in the temporary folder ("NAME-PID") holding a copy of the library and a
// History.ini that selects Winbond CHIP for unit 1.
inline std::filesystem::path MakeBenchHome(const std::filesystem::path& library,
                                           const std::string& name, const std::string& chip) {
    namespace fs = std::filesystem;
    const fs::path home = fs::temp_directory_path() / (name + "-" + std::to_string(::getpid()));
    fs::create_directories(home);
    fs::copy(library, home, fs::copy_options::recursive);
    std::ofstream history(home / "History.ini");
    history << "[Device1]\nVendor=Winbond\nType=" << chip << "\n";
    return home;
}

// What a benchmark's workbench runs with besides its pump.
struct BenchSeams {
    FixedOperator op{Answer::Cancel};
    ManualTimer watch, flash;
    struct NoHost final : WorkbenchHost {
    } host;
};

// A workbench on the home's device with the programmers found; null with the reason printed.
inline std::unique_ptr<Workbench> OpenBenchWorkbench(const std::filesystem::path& home,
                                                     std::unique_ptr<UsbDevice> usb, Pump& pump,
                                                     BenchSeams& seams) {
    auto bench =
        std::make_unique<Workbench>(ProgramDirectory::Portable(home),
                                    WorkbenchSeams{seams.op, pump, SystemClock::Instance(),
                                                   seams.watch, seams.flash, std::move(usb)},
                                    seams.host);
    std::string problem;
    if (!bench->OpenForCommand(false, &problem)) {
        std::fprintf(stderr, "%s\n", problem.c_str());
        return nullptr;
    }
    bench->EnumerateProgrammers(false);
    return bench;
}

// Random bytes (from `seed`) the size of the selected device into the buffer, in blocks: a
// 16 MiB image is never held whole.
inline void WriteRandomBuffer(const Workbench& bench, unsigned seed) {
    std::ofstream buffer(bench.Directories().BufferFile(), std::ios::binary);
    std::mt19937 random(seed);
    std::vector<char> block(65536);
    for (std::uint64_t done = 0; done < bench.Record().deviceSize; done += block.size()) {
        for (char& c : block)
            c = static_cast<char>(random());
        const std::uint64_t left = bench.Record().deviceSize - done;
        buffer.write(block.data(),
                     static_cast<std::streamsize>(std::min<std::uint64_t>(left, block.size())));
    }
}

// The process's peak resident memory in KiB (VmHWM), 0 when it cannot be read.
inline long PeakRssKiB() {
    std::ifstream status("/proc/self/status");
    std::string key;
    long value = 0;
    while (status >> key) {
        if (key == "VmHWM:") {
            status >> value;
            return value;
        }
        status.ignore(256, '\n');
    }
    return 0;
}

}  // namespace torq::benchkit

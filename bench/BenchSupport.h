// What the benchmarks share: a scratch home with the library and a chosen chip, and the
// process's peak memory.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace torq::bench {

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

}  // namespace torq::bench

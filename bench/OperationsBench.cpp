// Device operations on the simulated programmer: wall time of each operation for a 16 MiB
// 25-series chip (latency model off), the USB transfers per MiB, and the bus time the same
// traffic would take with a USB 2.0 latency model.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "torq/devlib/DeviceLibrary.h"
#include "torq/devlib/InformationLog.h"
#include "torq/link/DeviceOperations.h"
#include "torq/link/Programmer.h"
#include "torq/sim/ChipCatalog.h"
#include "torq/sim/SimulatedProgrammer.h"

using namespace torq;

namespace {

struct Counts {
    std::uint64_t control = 0, bulk = 0;
};

Counts Count(const std::vector<sim::SimTransfer>& log) {
    Counts c;
    for (const auto& t : log) {
        if (t.kind == sim::TransferKind::ControlIn || t.kind == sim::TransferKind::ControlOut) {
            ++c.control;
        } else {
            ++c.bulk;
        }
    }
    return c;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s LIBRARY_DIR [CHIP_TYPE]\n", argv[0]);
        return 2;
    }
    const std::string type = argc > 2 ? argv[2] : "W25Q128FV";
    const auto home =
        std::filesystem::temp_directory_path() / ("torq-ops-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(home);
    std::filesystem::copy(argv[1], home, std::filesystem::copy_options::recursive);
    const ProgramDirectory dirs = ProgramDirectory::Portable(home);
    const DeviceLibrary library(dirs);
    FixedOperator op;
    const DeviceRecord record = LoadDeviceRecord(library.DeviceFileOf("Winbond", type), dirs,
                                                 DeviceRecord{}, "Winbond", type, op);
    std::vector<char> image(record.deviceSize);
    std::mt19937 random(1);
    for (auto& b : image)
        b = static_cast<char>(random());
    std::ofstream(dirs.BufferFile(), std::ios::binary)
        .write(image.data(), static_cast<std::streamsize>(image.size()));

    sim::ProgrammerSetup setup;
    setup.chip = *sim::FindChip(type);
    sim::SimulatedProgrammer usb(setup);
    usb.EnableLog(true);  // the transfer counts come from the log
    InformationLog log;
    Pump pump;
    Programmer programmer(usb, log, op, pump);
    programmer.EnumerateProgrammers(record.driverImagePath, 0);
    DeviceOperations ops(programmer, dirs);
    const double mib = static_cast<double>(record.deviceSize) / (1024.0 * 1024.0);

    std::printf("%s, %.0f MiB, simulated programmer, latency model off\n", type.c_str(), mib);
    std::printf("%-12s %9s %14s %14s %18s\n", "operation", "seconds", "control/MiB", "bulk/MiB",
                "USB 2.0 model (s)");
    const auto measure = [&](const char* name, auto&& operation) {
        usb.ClearLog();
        usb.SetLatency({});
        const auto start = std::chrono::steady_clock::now();
        const bool ok = operation();
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const Counts counts = Count(usb.Log());
        // A high-speed bus: about 125 us per control round trip, 60 us per bulk transfer plus
        // 25 ns per byte (about 40 MB/s of payload).
        double modelled = 0;
        for (const auto& t : usb.Log()) {
            const bool control =
                t.kind == sim::TransferKind::ControlIn || t.kind == sim::TransferKind::ControlOut;
            modelled += control ? 125.0 : 60.0 + 0.025 * static_cast<double>(t.length);
        }
        std::printf("%-12s %9.3f %14.1f %14.1f %18.2f%s\n", name, seconds,
                    static_cast<double>(counts.control) / mib,
                    static_cast<double>(counts.bulk) / mib, modelled / 1e6, ok ? "" : "  FAILED");
        return seconds;
    };
    double cycle = 0;
    cycle += measure("erase", [&] { return ops.EraseDevice(record, PageValues{}); });
    cycle += measure("blank check", [&] { return ops.BlankCheck(record); });
    cycle += measure("program", [&] { return ops.ProgramDevice(record, PageValues{}); });
    cycle += measure("verify", [&] { return ops.VerifyDevice(record, {}); });
    const double read = measure("read", [&] { return ops.ReadDevice(record); });
    std::printf("write cycle (erase+blank+program+verify): %.3f s; read: %.3f s\n", cycle, read);
    std::filesystem::remove_all(home);
    return 0;
}

// Fixtures of the link and simulator tests: driver images, a small detection library, a
// simulated programmer wired to a Programmer, and compact views of the transfer log.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "torq/link/Programmer.h"
#include "torq/sim/ChipCatalog.h"
#include "torq/sim/SimulatedProgrammer.h"

namespace torq::test {

// One Intel HEX record with a correct checksum.
inline std::string HexRecord(std::uint16_t address, std::uint8_t type,
                             const std::vector<std::uint8_t>& data) {
    std::uint8_t sum =
        static_cast<std::uint8_t>(data.size() + (address >> 8) + (address & 0xFF) + type);
    char text[16];
    std::snprintf(text, sizeof text, ":%02X%04X%02X", static_cast<unsigned>(data.size()), address,
                  type);
    std::string line = text;
    for (std::uint8_t b : data) {
        std::snprintf(text, sizeof text, "%02X", b);
        line += text;
        sum = static_cast<std::uint8_t>(sum + b);
    }
    std::snprintf(text, sizeof text, "%02X", static_cast<std::uint8_t>(-sum));
    return line + text + "\r\n";
}

// A driver image of our own format: a code stub at 0 and the descriptor at 0x1F00.
inline std::string DriverImageText(std::uint8_t family, std::uint16_t millivolts,
                                   std::uint16_t pageSize) {
    const std::vector<std::uint8_t> descriptor{'T',
                                               'Q',
                                               'D',
                                               'I',
                                               1,
                                               family,
                                               static_cast<std::uint8_t>(millivolts >> 8),
                                               static_cast<std::uint8_t>(millivolts),
                                               static_cast<std::uint8_t>(pageSize >> 8),
                                               static_cast<std::uint8_t>(pageSize),
                                               0,
                                               0,
                                               0,
                                               0,
                                               0,
                                               0};
    return HexRecord(0x0000, 0, {0x80, 0xFE}) + HexRecord(0x1F00, 0, descriptor) +
           HexRecord(0, 1, {});
}

// The three detection images under Drv/FLASH and a 3.3 V 25-series device image.
inline void WriteDriverImages(const TempDir& home) {
    home.Write("Drv/FLASH/SPI_25_18V.drv", DriverImageText(25, 1800, 256));
    home.Write("Drv/FLASH/SPI_25_25V.drv", DriverImageText(25, 2500, 256));
    home.Write("Drv/FLASH/SPI_25.drv", DriverImageText(25, 3300, 256));
    home.Write("Drv/SPI_25_33V.drv", DriverImageText(25, 3300, 256));
    home.Write("Drv/SPI_45_33V_264.drv", DriverImageText(45, 3300, 264));
}

inline sim::ProgrammerSetup SetupWith(const std::string& chip) {
    sim::ProgrammerSetup setup;
    if (const auto* spec = sim::FindChip(chip))
        setup.chip = *spec;
    return setup;
}

// A Programmer over a simulated programmer, logging with a fixed clock, never pausing.
struct SimulatedLink {
    explicit SimulatedLink(sim::ProgrammerSetup setup = SetupWith("W25Q128FV"))
        : sim(std::move(setup)), programmer(sim, log, op, pump) {
        sim.EnableLog(true);  // these tests read the transfers
        programmer.SetPause([this](std::uint32_t ms) { pauses.push_back(ms); });
    }
    // Enumerates with an image and forgets the traffic so far.
    EnumerationResult Enumerate(const std::filesystem::path& image, int resetLevel = 0) {
        const auto result = programmer.EnumerateProgrammers(image, resetLevel);
        sim.ClearLog();
        return result;
    }
    sim::SimulatedProgrammer sim;
    FixedClock clock;
    InformationLog log{clock};
    ScriptedOperator op;
    Pump pump;
    Programmer programmer;
    std::vector<std::uint32_t> pauses;
};

// "out 90 0051 0000", "in E0 0000 0000 2", "bulk-out 64", "bulk-in 512"; failed transfers end
// in " fail".
inline std::string Describe(const sim::SimTransfer& t) {
    char text[64];
    switch (t.kind) {
        case sim::TransferKind::ControlOut:
            std::snprintf(text, sizeof text, "out %02X %04X %04X", t.request, t.value, t.index);
            break;
        case sim::TransferKind::ControlIn:
            std::snprintf(text, sizeof text, "in %02X %04X %04X %u", t.request, t.value, t.index,
                          t.length);
            break;
        case sim::TransferKind::BulkOut:
            std::snprintf(text, sizeof text, "bulk-out %u", t.length);
            break;
        case sim::TransferKind::BulkIn:
            std::snprintf(text, sizeof text, "bulk-in %u", t.length);
            break;
    }
    return std::string(text) + (t.ok ? "" : " fail");
}

inline std::vector<std::string> Describe(const std::vector<sim::SimTransfer>& log) {
    std::vector<std::string> lines;
    for (const auto& t : log)
        lines.push_back(Describe(t));
    return lines;
}

// The log lines without their time stamps.
inline std::vector<std::string> Messages(const InformationLog& log) {
    std::vector<std::string> lines;
    for (const auto& line : log.Lines()) {
        const auto at = line.find(" : ");
        lines.push_back(at == std::string::npos || at != 19 ? line : line.substr(at + 3));
    }
    return lines;
}

}  // namespace torq::test

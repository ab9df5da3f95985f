// Chip identification: the identification exchange, Read ID against the selected device, and
// the automatic search of the device library for the chip in the socket.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "torq/devlib/DeviceLibrary.h"
#include "torq/devlib/DeviceRecord.h"
#include "torq/link/Programmer.h"

namespace torq {

inline constexpr std::size_t kIdAnswerLength = 512;
using IdAnswer = std::array<std::uint8_t, kIdAnswerLength>;

// The identification commands of the device record's id_mode selector: the opcode and where
// the first ID byte sits in the answer (0xAB is followed by three dummy bytes).
struct IdCommand {
    std::uint8_t opcode;
    std::uint8_t firstIdByte;
};
std::optional<IdCommand> IdCommandOf(std::uint8_t selector);

// What the identification exchange does when a step fails.
enum class ExchangeFailure {
    Report,  // stop there and write the communication failure line
    Ignore,  // make every remaining transfer all the same and report nothing; a failed answer
             // reads as zeros (the status read-back after a read does not look at the results)
};

// The identification exchange: StartOperation 0x51, the echo poll, the opcode script, the
// block poll and the 512-byte answer. True when every step succeeded.
bool IdentificationExchange(Programmer& programmer, std::uint8_t opcode, IdAnswer& answer,
                            ExchangeFailure onFailure = ExchangeFailure::Report);

// The ID text of Read ID: `count` answer bytes from `first`, first byte most significant,
// masked, in upper-case hexadecimal with at least 2 x count digits. Empty when the count gives
// no number (0, or more than 8 bytes).
std::string IdText(const IdAnswer& answer, std::size_t first, std::size_t count,
                   std::uint32_t mask);

// Checks that the chip in the socket is the selected device; writes "Read ID : [0x...] Pass"
// or "... Fail". False also on a communication failure or an unknown selector (no line).
// `idText` gets the ID read ("EF3011"), also when it does not match.
bool ReadId(Programmer& programmer, const DeviceRecord& device, std::string* idText = nullptr);

// The three detection levels in the order they are tried, with their fixed images.
struct DetectionLevelImage {
    DetectionLevel level;
    const char* image;  // below the "Drv" folder
    const char* name;
};
inline constexpr std::array<DetectionLevelImage, 3> kDetectionLevels{{
    {DetectionLevel::V18, "FLASH\\SPI_25_18V.drv", "1.8 V"},
    {DetectionLevel::V25, "FLASH\\SPI_25_25V.drv", "2.5 V"},
    {DetectionLevel::V33, "FLASH\\SPI_25.drv", "3.3 V"},
}};

struct DetectionResult {
    bool found = false;
    std::string idText = "00000000";
    std::string vendor = "NULL";
    std::string type = "NULL";
    std::optional<DetectionLevel> level;  // where the chip answered
    bool communicationFailed = false;     // the failure line was written
};

// Whether a library device whose ID matches the chip may be taken (the caller can select it).
// A device refused here counts as no match, and the search goes on with the next one; it is asked
// at most once per device and detection.
using DetectionFilter = std::function<bool(const std::string& vendor, const std::string& type)>;

// Searches the library for the device whose ID the chip gives: levels 1.8, 2.5, 3.3 V (each
// when enabled and its image exists), Read_ID entries in key order, vendors and types in file
// order; the first match that `accept` takes (any match without one) wins.
DetectionResult AutoDetectDevice(Programmer& programmer, const DeviceLibrary& library,
                                 bool targetBoardSuppliesEmulator,
                                 const DetectionFilter& accept = {});

// "1.234": elapsed milliseconds as seconds with three decimals.
std::string SecondsText(std::uint32_t milliseconds);
// The line the Detect IC button writes: found or not found, with "Total Time : 1.234 Sec.".
std::string DetectionLine(const DetectionResult& result, std::uint32_t elapsedMs);

}  // namespace torq

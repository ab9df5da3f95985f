// The description of the selected device, read from its device file.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "torq/devlib/ProgramDirectory.h"
#include "torq/devlib/Seams.h"

namespace torq {

inline constexpr std::string_view kDeviceFileSection = "TORQ-SPI_ExternValue";
inline constexpr std::string_view kLibraryWrongMessage = "The device library is wrong !";
inline constexpr int kStatusRegisterOpcodeSlots = 17;
// Page and component counts of a page file beyond this are treated as garbage, so a hostile
// file cannot make a device load run for minutes: at most this many pages, components of one
// page, choices of one radio group or lines of one explanation box...
inline constexpr int kPageFileCountLimit = 1024;
// ...at most this many components on all pages together (the rest are left out, and Menu.ini
// gets no keys for them)...
inline constexpr int kPageFileComponentLimit = 4096;
// ...and at most this many radio choices and explanation lines on all pages together.
inline constexpr int kPageFileItemLimit = 16384;

// Addresses in command scripts are three bytes, so no byte of a device may lie at 2^24 or above:
// the 25-series program blocks and the DataFlash page commands would wrap round to the start of
// the chip. This also bounds the buffer file, which is DeviceSize long.
inline constexpr std::uint64_t kScriptAddressLimit = std::uint64_t{1} << 24;
// The page program block is 320 bytes: 6 command bytes before the page and 1 after it.
inline constexpr std::int32_t kPageProgramPageLimit = 313;
// The DataFlash page block is Page_Size + 64 bytes: 4 command bytes before the page and its
// spare bytes, 6 after them.
inline constexpr std::int32_t kDataFlashSpareLimit = 54;
// The ID compared by Read ID is a number of at most 8 bytes.
inline constexpr int kIdByteLimit = 8;

struct DeviceRecord {
    std::string brand;
    std::string name;
    std::string userWav;
    std::filesystem::path driverImagePath;  // empty when the image named by UserWav is missing
    std::string fpgaFile;
    std::string menu;
    std::filesystem::path menuFilePath;     // empty when the device file names no page file
    std::filesystem::path sectorTablePath;  // AT26 devices; kept from the previous device otherwise
    std::uint32_t manCode = 0;
    std::uint32_t devCode = 0;
    std::uint32_t extIdCode1 = 0;
    std::uint32_t extIdCode2 = 0;
    std::string maxAddressHi = "0x00";
    std::string maxAddressLow = "0x00";
    std::int32_t blockCount = 0;
    std::int32_t pageOfBlock = 0;
    std::int32_t pageSize = 256;
    std::int32_t pageSpareSize = 0;
    std::int32_t blockSize = 0;
    std::string icSize;
    std::uint8_t vccPin1 = 0, vccPin2 = 0, gndPin1 = 0, gndPin2 = 0;
    std::uint16_t vio = 300;
    std::uint16_t readVcc = 300, readVpp = 300, readVhh = 300;
    std::uint16_t eraseVcc = 300, eraseVpp = 300, eraseVhh = 300;
    std::uint16_t programVcc = 300, programVpp = 300, programVhh = 300;
    std::uint16_t protectVcc = 300, protectVpp = 300, protectVhh = 300;
    std::uint16_t idVcc = 300, idVpp = 300, idVhh = 300;
    std::int32_t readMode = 0;
    std::int32_t eraseMode = 0;
    std::int32_t blankMode = 0;
    std::int32_t progMode = 0;
    std::int32_t verifyMode = 0;
    std::int32_t protMode = 0;
    std::int32_t testMode = 0;
    std::int32_t idMode = 0;
    std::int32_t unprotectMode = 0;
    std::int32_t paraMode = 0;
    std::int32_t programPulse = 0, erasePulse = 0, protectPulse = 0, unprotectPulse = 0;
    std::string programPulseUnit = "uS";
    std::string erasePulseUnit = "mS";
    std::string protectPulseUnit = "uS";
    std::string unprotectPulseUnit = "uS";
    std::int32_t programTimes = 1, eraseTimes = 1, protectTimes = 1, unprotectTimes = 1;
    std::uint8_t programRetry = 3, eraseRetry = 3, protectRetry = 3, unprotectRetry = 3;
    std::uint8_t optionFuseType = 0;
    std::uint8_t readStatusRegister = 0;  // count N of status-register read opcodes
    std::array<std::uint8_t, kStatusRegisterOpcodeSlots> readStatusRegisterOpcodes{
        5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5};
    std::uint64_t deviceSize = 0;  // bytes; the highest buffer address is deviceSize - 1
    std::string readProblem;       // why the device file was not read whole; empty when it was

    std::uint8_t IdByteCount() const { return static_cast<std::uint8_t>(idMode & 0xFF); }
    std::uint8_t IdSelector() const { return static_cast<std::uint8_t>((idMode >> 8) & 0xFF); }
    std::uint8_t EraseSelector() const {
        return static_cast<std::uint8_t>((eraseMode >> 8) & 0xFF);
    }
    std::uint8_t ProgramVariant() const { return static_cast<std::uint8_t>(progMode & 0xFF); }
};

// The IC size from the two address texts: the high text followed by the low text less its first
// two characters, read as a 64-bit number (decimal, or hexadecimal after "0x"). 0 when unreadable
// or beyond 64 bits.
std::uint64_t DeviceSizeFromAddressTexts(std::string_view high, std::string_view low);

// True when a driver image is of the DataFlash (45-series) family: its file name holds "_45".
bool IsDataFlashImage(const std::filesystem::path& driverImage);

// Why the device operations cannot work with a record, as a sentence for the operator; nothing
// when they can. Only what the operations depend on is checked: the device file read whole, a
// size within the three-byte addresses, an ID length Read ID can compare, a page that fits the
// 25-series page program block, and for DataFlash devices a power-of-two page whose spare bytes
// fit the page block, and blocks and pages that make up exactly the device size.
std::optional<std::string> CheckDeviceRecord(const DeviceRecord& record);
// The size part of that check alone (a size of 0, or one beyond the three-byte addresses): a
// device that fails it cannot even have a buffer, so choosing it is refused.
std::optional<std::string> CheckDeviceSize(const DeviceRecord& record);

// What a device load noticed that the window reacts to.
struct DeviceLoadNotes {
    bool libraryWrong = false;  // a warning was shown; the window focuses the unit-1 vendor box
    std::optional<std::string> unusable;  // CheckDeviceRecord's reason, when there is one
};

// Reads a device file into a new record. `previous` supplies the sector table path that a non-AT26
// device keeps, `unitVendor`/`unitType` the defaults of BRAND and NAME. Missing driver image or
// sector table: the "device library is wrong" warning through the operator, the path left empty,
// loading continues. A driver image, page file or sector table named by a path that leads out of
// the library folder is not used: the same warning, followed by a line naming the file and key.
// Afterwards Menu.ini is refilled from the page file's defaults.
DeviceRecord LoadDeviceRecord(const std::filesystem::path& deviceFile, const ProgramDirectory& dirs,
                              const DeviceRecord& previous, std::string_view unitVendor,
                              std::string_view unitType, Operator& op,
                              DeviceLoadNotes* notes = nullptr);

// The same without touching Menu.ini, for looking a device up.
DeviceRecord ReadDeviceRecord(const std::filesystem::path& deviceFile, const ProgramDirectory& dirs,
                              const DeviceRecord& previous, std::string_view unitVendor,
                              std::string_view unitType, Operator& op,
                              DeviceLoadNotes* notes = nullptr);

// Deletes Menu.ini and copies into it the default value of every component of the page file
// (within the page file limits above). False when Menu.ini could not be written.
bool RefreshMenuIni(const std::filesystem::path& pageFile, const std::filesystem::path& menuIni);

}  // namespace torq

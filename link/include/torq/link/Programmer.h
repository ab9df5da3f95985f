// Programmer discovery and firmware: which USB device is the programmer, loading driver images
// into its microcontroller, restarting it, and the target-board mode of the emulator.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "torq/devlib/InformationLog.h"
#include "torq/devlib/Seams.h"
#include "torq/link/CommandChannel.h"
#include "torq/usb/UsbDevice.h"

namespace torq {

inline constexpr std::uint16_t kProgrammerVendorId = 0x4D51;
inline constexpr std::uint16_t kProgrammerProductId = 0x0309;
inline constexpr std::string_view kProgrammerManufacturer = "NOVU";
inline constexpr std::string_view kProgrammerProduct = "TORQ-SPI";
inline constexpr std::string_view kNoUsbDevicesMessage = "No USB Devices connected.";
inline constexpr std::string_view kNoFirmwareVersion = "None";
inline constexpr int kOpenAttempts = 4;
inline constexpr std::uint32_t kOpenRetryPauseMs = 100;
// Driver images load into the microcontroller's internal memory below this address, in
// writes of fewer than this many bytes.
inline constexpr std::uint32_t kDriverImageLimit = 0x2000;
inline constexpr std::uint32_t kDriverImageChunk = 4096;
// An image file is a text of at most that much memory; a larger file is not an image at all and is
// not read.
inline constexpr std::uint64_t kDriverImageFileLimit = 1 << 20;
// Programmers registered by one enumeration at most: the window has four unit panels.
inline constexpr int kMaxProgrammers = 4;

// Exact identity check: IDs and case-sensitive strings.
bool IsProgrammerIdentity(const UsbIdentity& identity);
// The text shown for a firmware version answer: the bytes up to the first zero when they
// contain "." and start with a digit, else "None".
std::string FirmwareVersionText(std::span<const std::uint8_t> answer);

// One RamWrite of a driver-image download.
struct ImageChunk {
    std::uint16_t address = 0;
    std::vector<std::uint8_t> bytes;
};
// The writes a driver image's text becomes: data records only, below 0x2000, contiguous
// records joined until 4096 bytes have been counted. Record checksums are not checked.
std::vector<ImageChunk> DriverImageChunks(const std::vector<std::string>& lines);

// Bus paths in the order of the cabling: bus number first, then each port number as a number
// ("1-2" before "1-10", "1-2" before "1-2.1"). An empty path (not known) sorts last.
bool PathBefore(std::string_view a, std::string_view b);

// A registered programmer, as the enumeration found it.
struct ProgrammerUnit {
    int device = 0;    // its device number (UnitMap's entry)
    std::string path;  // where it sits on the bus; empty when not known
    UsbIdentity identity;
    bool imageLoaded = false;  // the selected device's driver image was loaded into it
    std::string firmwareVersion{kNoFirmwareVersion};
};
// "ready", or what kept the unit from being ready at enumeration.
std::string UnitStateText(const ProgrammerUnit& unit);

struct EnumerationResult {
    int programmers = 0;        // registered (0 to kMaxProgrammers)
    bool downloaded = false;    // the selected device's image was loaded
    bool imageMissing = false;  // the warning was shown: the window closes, the program ends
    std::string firmwareVersion{kNoFirmwareVersion};
};

// The program's one connection to its programmers: the USB device object, the command channel,
// UnitMap and ProgrammerCount, and the firmware version text. Reports through the log, asks
// through the operator, never throws.
class Programmer {
  public:
    Programmer(UsbDevice& usb, InformationLog& log, Operator& op, Pump& pump);
    ~Programmer();
    Programmer(const Programmer&) = delete;
    Programmer& operator=(const Programmer&) = delete;

    UsbDevice& Usb() { return *usb_; }
    CommandChannel& Channel() { return channel_; }
    InformationLog& Log() { return *log_; }
    Operator& Asker() { return *op_; }
    Pump& MessagePump() { return *pump_; }

    int ProgrammerCount() const { return channel_.ProgrammerCount(); }
    const std::vector<std::uint8_t>& UnitMap() const { return unitMap_; }
    // The registered programmers by unit (unit 1 first), as the last enumeration found them.
    const std::vector<ProgrammerUnit>& Units() const { return units_; }
    // Unit 1's version; "None" until an enumeration has read a version.
    const std::string& FirmwareVersion() const { return firmwareVersion_; }

    // The pause between open attempts (tests replace the real sleep).
    void SetPause(std::function<void(std::uint32_t milliseconds)> pause) {
        pause_ = std::move(pause);
    }

    // Finds the programmers among the USB devices (up to kMaxProgrammers, numbered as units in
    // the order of their bus paths, so a unit keeps its number while the cabling stays), loads
    // the selected device's driver image into each, sets the unit mode and the reset idle level
    // (1 normal low, 0 normal high) and reads each one's firmware version. Unit 1's device is
    // the one left open. `imageOrigin` names the image when there is no path to quote (the device
    // record refused or could not find it): the device file and key it comes from.
    EnumerationResult EnumerateProgrammers(const std::filesystem::path& selectedDriverImage,
                                           int resetIdleLevel, std::string_view imageOrigin = {});
    // Opens the programmer of a unit (with retries) and loads the driver image into it.
    bool OpenProgrammer(const std::filesystem::path& driverImage, int unitIndex);
    // Makes this link drive one registered unit alone (a gang run's worker, on a USB handle of its
    // own): its unit 1 becomes that unit, found on this handle by its bus path (by its device
    // number when the path is not known). False when the unit is not there.
    bool AdoptUnit(const ProgrammerUnit& unit);
    // Opens a registered unit's device for a request of its own, without retries or a driver
    // image. False for an index past ProgrammerCount or a device that does not open.
    bool SelectUnit(int unitIndex);
    // Loads a driver image into the open device and starts it. False when the file cannot be
    // read or is larger than kDriverImageFileLimit (a line is logged) or no device is open.
    bool DownloadDriverImage(const std::filesystem::path& driverImage);
    // Holds (true) or releases (false) the microcontroller. With no device open nothing is
    // sent, the operator is told "No USB Devices connected." and the result is false: the
    // running operation must stop.
    bool RestartFirmware(bool hold);
    // Hold, then release: the first step of every device operation.
    bool Restart() { return RestartFirmware(true) && RestartFirmware(false); }
    // Tells the emulator whether the target board supplies it; firmware before 1.03 is not told.
    bool SendTargetBoardMode(bool targetBoardSuppliesEmulator);

    // "Error : Please check the status of communication devices !", time-stamped.
    void ReportCommunicationFailure();

  private:
    bool OpenWithRetries(int deviceNumber);

    UsbDevice* usb_;
    InformationLog* log_;
    Operator* op_;
    Pump* pump_;
    CommandChannel channel_;
    std::vector<std::uint8_t> unitMap_;
    std::vector<ProgrammerUnit> units_;
    std::string firmwareVersion_{kNoFirmwareVersion};
    std::function<void(std::uint32_t)> pause_;
};

}  // namespace torq

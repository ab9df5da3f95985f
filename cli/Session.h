// What the commands that talk to the programmer share: unit 1's device, the USB layer of the
// run (the simulated programmer with --simulate, else libusb) and an enumerated programmer.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "CliContext.h"
#include "torq/devlib/DeviceLibrary.h"
#include "torq/devlib/DeviceRecord.h"
#include "torq/devlib/Options.h"
#include "torq/link/Programmer.h"
#include "torq/usb/UsbDevice.h"

namespace torq::cli {

inline constexpr std::string_view kUnit1Section = "Device1";

struct Selection {
    std::string vendor;
    std::string type;
};

// The library's own spelling of a vendor and type given in any letter case.
std::optional<Selection> FindType(const DeviceLibrary& library, std::string_view vendor,
                                  std::string_view type);

// What every link command needs: a checked library, the selected device, a programmer.
struct Session {
    std::optional<DeviceLibrary> library;
    Selection selection;
    DeviceRecord record;
    Options options;
    Pump pump;
    std::unique_ptr<UsbDevice> usb;
    std::unique_ptr<Programmer> programmer;
    EnumerationResult enumeration;
};

// Returns 0 when the session is ready, else the exit code (the message is printed).
// `windowDefault`: without a selection, use the first type of the first vendor, as the window
// starts with (for the commands that only need some image to enumerate with).
int OpenSession(CliContext& context, Session& session, bool windowDefault);

}  // namespace torq::cli

// The device selected for unit 1, as History.ini records it: what the buffer commands work on.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "CliContext.h"

namespace torq::cli {

inline constexpr std::string_view kNoDeviceSelectedMessage =
    "no device selected: run 'torq-spi-cli select VENDOR TYPE' first";

struct DeviceSelection {
    std::string vendor;
    std::string type;
    std::uint64_t deviceSize = 0;
    std::string error;  // empty when a device is selected
};

// Reads Vendor and Type of section Device1 and the device file the library names for them.
DeviceSelection SelectedDevice(const CliContext& context);

}  // namespace torq::cli

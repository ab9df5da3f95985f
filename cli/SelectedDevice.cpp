#include "SelectedDevice.h"

#include <system_error>

#include "torq/devlib/DeviceLibrary.h"
#include "torq/devlib/DeviceRecord.h"
#include "torq/devlib/Ini.h"

namespace torq::cli {

DeviceSelection SelectedDevice(const CliContext& context) {
    const ProgramDirectory dirs = context.Directories();
    DeviceSelection selection;
    const IniFile history(dirs.HistoryIni());
    selection.vendor = history.ReadString("Device1", "Vendor");
    selection.type = history.ReadString("Device1", "Type");
    if (selection.vendor.empty() || selection.type.empty()) {
        selection.error = kNoDeviceSelectedMessage;
        return selection;
    }
    const DeviceLibrary library(dirs);
    const auto file = library.DeviceFileOf(selection.vendor, selection.type);
    std::error_code error;
    if (!library.IdentityOk() || !std::filesystem::is_regular_file(file, error)) {
        selection.error = "the selected device " + selection.vendor + " " + selection.type +
                          " is not in the device library";
        return selection;
    }
    // Only the size matters here: a missing driver image is no concern of the buffer.
    FixedOperator silent;
    selection.deviceSize =
        ReadDeviceRecord(file, dirs, DeviceRecord{}, selection.vendor, selection.type, silent)
            .deviceSize;
    if (selection.deviceSize == 0) {
        selection.error = "the selected device " + selection.vendor + " " + selection.type +
                          " has no size in its device file";
    }
    return selection;
}

}  // namespace torq::cli

#include "Session.h"

#include <iostream>
#include <system_error>

#include "SelectedDevice.h"
#include "torq/devlib/Text.h"
#include "torq/link/LibusbDevice.h"
#include "torq/sim/SimulateOption.h"

namespace torq::cli {

namespace {

// The USB layer of this run: the simulated programmer with --simulate, else libusb (which
// finds nothing when no programmer is attached).
std::unique_ptr<UsbDevice> MakeUsb(const CliContext& context, std::string& error) {
    if (!context.simulate.empty()) {
        sim::SimulateParse parsed = sim::ParseSimulateOption(context.simulate);
        if (!parsed.programmer)
            error = "--simulate: " + parsed.error;
        return std::move(parsed.programmer);
    }
    std::unique_ptr<LibusbApi> api = CreateSystemLibusb();
    if (!api)
        std::cerr << "warning: libusb cannot be initialised; no programmer can be found\n";
    return std::make_unique<LibusbDevice>(std::move(api));
}

// The device of unit 1: the one `select` remembered, or, for the commands that only need some
// image to enumerate with, the first type of the first vendor, as the window starts with.
std::optional<Selection> DeviceOfUnit1(CliContext& context, const DeviceLibrary& library,
                                       bool windowDefault, std::string& error) {
    const DeviceSelection selected = SelectedDevice(context);
    if (!selected.vendor.empty() && !selected.type.empty())
        return Selection{selected.vendor, selected.type};
    if (!windowDefault) {
        error = selected.error;
        return std::nullopt;
    }
    const auto vendors = library.Vendors().names;
    const auto types =
        vendors.empty() ? std::vector<std::string>{} : library.TypesOf(vendors.front()).names;
    if (types.empty()) {
        error = "the device library lists no device";
        return std::nullopt;
    }
    return Selection{vendors.front(), types.front()};
}

}  // namespace

// The library's own spelling of a vendor and type given in any letter case.
std::optional<Selection> FindType(const DeviceLibrary& library, std::string_view vendor,
                                  std::string_view type) {
    for (const auto& v : library.Vendors().names) {
        if (!EqualsIgnoringCase(v, vendor))
            continue;
        for (const auto& t : library.TypesOf(v).names) {
            if (EqualsIgnoringCase(t, type))
                return Selection{v, t};
        }
    }
    return std::nullopt;
}

// Returns 0 when the session is ready, else the exit code (the message is printed).
int OpenSession(CliContext& context, Session& session, bool windowDefault) {
    session.library.emplace(context.Directories());
    const DeviceLibrary& library = *session.library;
    if (!library.IdentityOk()) {
        return Fail(kBadUsage, std::string(kLibraryIncorrectMessage) + " (" +
                                   library.Directories().SelectIni().string() + ")");
    }
    std::string problem;
    const auto selection = DeviceOfUnit1(context, library, windowDefault, problem);
    if (!selection)
        return Fail(kFailed, problem);
    session.selection = *selection;
    const auto file = library.DeviceFileOf(selection->vendor, selection->type);
    std::error_code error;
    if (!std::filesystem::is_regular_file(file, error)) {
        return Fail(kBadUsage,
                    "Error : SelectINI->[" + selection->vendor + "]->" + selection->type);
    }
    session.record = ReadDeviceRecord(file, library.Directories(), DeviceRecord{},
                                      selection->vendor, selection->type, context.op);
    session.usb = MakeUsb(context, problem);
    if (!session.usb)
        return Fail(kBadUsage, problem);
    session.programmer =
        std::make_unique<Programmer>(*session.usb, context.log, context.op, session.pump);
    session.options = LoadOptions(library.Directories().HistoryIni());
    session.enumeration = session.programmer->EnumerateProgrammers(
        session.record.driverImagePath, session.options.ResetIdleLevel());
    if (session.enumeration.imageMissing)
        return kFailed;  // the warning has been printed
    return kSuccess;
}

}  // namespace torq::cli

// programmers, select, id, detect: the programmer link from the command line.
#include <iostream>

#include "CliContext.h"
#include "torq/devlib/Text.h"
#include "torq/link/Identification.h"
#include "torq/workflow/DeviceSession.h"

namespace torq::cli {

namespace {

// One identity line per unit, unit 1's firmware version (the window's About label), then one
// line per unit with where it sits, its own version and its state.
int ShowProgrammers(CliContext& context) {
    if (const int code = OpenSession(context, Needs::ProgrammerAnyDevice); code != kSuccess)
        return code;
    DeviceSession& session = *context.session;
    Programmer& programmer = session.Link();
    std::cout << "Programmers: " << programmer.ProgrammerCount() << '\n';
    const std::vector<ProgrammerUnit>& units = programmer.Units();
    for (std::size_t i = 0; i < units.size(); ++i) {
        const UsbIdentity& identity = units[i].identity;
        std::cout << "Unit " << i + 1 << ": " << HexText(identity.vendorId, 4) << ':'
                  << HexText(identity.productId, 4) << ' ' << identity.manufacturer << ' '
                  << identity.product << ", serial "
                  << (identity.serialNumber.empty() ? "none" : identity.serialNumber) << ", device "
                  << units[i].device << '\n';
    }
    std::cout << "Firmware: " << programmer.FirmwareVersion() << '\n';
    for (std::size_t i = 0; i < units.size(); ++i) {
        std::cout << "Unit " << i + 1 << " at "
                  << (units[i].path.empty() ? "an unknown path" : units[i].path) << ": firmware "
                  << units[i].firmwareVersion << ", " << UnitStateText(units[i]) << '\n';
    }
    return programmer.ProgrammerCount() > 0 ? kSuccess : kFailed;
}

int Select(CliContext& context, const std::string& vendor, const std::string& type) {
    if (const int code = LockHome(context, HomeAccess::Exclusive); code != kSuccess)
        return code;
    if (const int code = OpenSession(context, Needs::Library); code != kSuccess)
        return code;
    DeviceSession& session = *context.session;
    if (!session.Directories().EnsureDataFolder())
        return Fail(kFailed, "cannot create " + session.Directories().DataFolder().string());
    // A name the library does not have is bad usage; a device that cannot be selected fails.
    if (!session.DeviceNamed(vendor, type))
        return Fail(kBadUsage, "no type '" + type + "' of vendor '" + vendor + "' in the library");
    std::string problem;
    StageNotes notes;
    if (!session.SelectAndRemember(vendor, type, &problem, &notes))
        return Fail(notes.deviceFileMissing ? kBadUsage : kFailed, problem);
    std::cout << "Selected: " << session.Vendor() << " -> " << session.Type() << '\n';
    return kSuccess;
}

int NoProgrammer() {
    return Fail(kFailed, "no programmer connected");
}

int ReadIdCommand(CliContext& context) {
    if (const int code = OpenSession(context, Needs::Programmer); code != kSuccess)
        return code;
    DeviceSession& session = *context.session;
    std::cout << "Device: " << session.Vendor() << " -> " << session.Type() << '\n';
    if (session.ProgrammerCount() == 0)
        return NoProgrammer();
    // The command line works the Programmer side: the programmer powers the chip.
    return session.ReadChipId(false) ? kSuccess : kFailed;
}

int Detect(CliContext& context) {
    if (const int code = OpenSession(context, Needs::ProgrammerAnyDevice); code != kSuccess)
        return code;
    DeviceSession& session = *context.session;
    if (session.ProgrammerCount() == 0)
        return NoProgrammer();
    // The search alone, on the Programmer side: the selected device stays as it is.
    const DetectionResult result = session.Detect(DetectionRequest{});
    if (result.found && result.level) {
        for (const auto& level : kDetectionLevels) {
            if (level.level == *result.level)
                std::cout << "Detected at " << level.name << '\n';
        }
    }
    return result.found ? kSuccess : kFailed;
}

}  // namespace

void AddLinkCommands(CLI::App& app, CliContext& context, int& exitCode) {
    auto* programmers = app.add_subcommand(
        "programmers", "Find the programmers: count, identity, path, firmware version, state");
    programmers->callback([&] { exitCode = ShowProgrammers(context); });

    auto* select =
        app.add_subcommand("select", "Remember the device of unit 1 (History.ini, Device1)");
    static std::string vendor, type;
    select->add_option("VENDOR", vendor)->required();
    select->add_option("TYPE", type)->required();
    select->callback([&] { exitCode = Select(context, vendor, type); });

    auto* id = app.add_subcommand(
        "id", "Read ID: check that the chip in the socket is the selected device");
    id->callback([&] { exitCode = ReadIdCommand(context); });

    auto* detect = app.add_subcommand("detect", "Find the library device whose ID the chip gives");
    detect->callback([&] { exitCode = Detect(context); });
}

}  // namespace torq::cli

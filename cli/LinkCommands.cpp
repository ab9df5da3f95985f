// programmers, select, id, detect: the programmer link from the command line.
#include <iostream>

#include "CliContext.h"
#include "torq/devlib/Text.h"
#include "torq/link/Identification.h"

namespace torq::cli {

namespace {

int ShowProgrammers(CliContext& context) {
    if (const int code = OpenBench(context, Needs::ProgrammerAnyDevice); code != kSuccess)
        return code;
    Workbench& bench = *context.bench;
    Programmer& programmer = bench.Link();
    std::cout << "Programmers: " << programmer.ProgrammerCount() << '\n';
    if (programmer.ProgrammerCount() > 0) {
        bench.Usb().Open(programmer.UnitMap()[0]);
        const UsbIdentity identity = bench.Usb().Identity();
        std::cout << "Unit 1: " << HexText(identity.vendorId, 4) << ':'
                  << HexText(identity.productId, 4) << ' ' << identity.manufacturer << ' '
                  << identity.product << ", serial "
                  << (identity.serialNumber.empty() ? "none" : identity.serialNumber) << ", device "
                  << int{programmer.UnitMap()[0]} << '\n';
    }
    std::cout << "Firmware: " << programmer.FirmwareVersion() << '\n';
    return programmer.ProgrammerCount() > 0 ? kSuccess : kFailed;
}

int Select(CliContext& context, const std::string& vendor, const std::string& type) {
    if (const int code = LockHome(context, HomeAccess::Exclusive); code != kSuccess)
        return code;
    if (const int code = OpenBench(context, Needs::Library); code != kSuccess)
        return code;
    if (!context.bench->Directories().EnsureDataFolder()) {
        return Fail(kFailed, "cannot create " + context.bench->Directories().DataFolder().string());
    }
    // A name the library does not have is bad usage; a device that cannot be selected fails.
    const DeviceLibrary& library = *context.bench->Library();
    bool known = false;
    for (const auto& v : library.Vendors().names) {
        if (!EqualsIgnoringCase(v, vendor))
            continue;
        for (const auto& t : library.TypesOf(v).names)
            known = known || EqualsIgnoringCase(t, type);
    }
    if (!known)
        return Fail(kBadUsage, "no type '" + type + "' of vendor '" + vendor + "' in the library");
    std::string problem;
    if (!context.bench->SelectForCommand(vendor, type, &problem))
        return Fail(context.host.ended ? kBadUsage : kFailed, problem);
    const UnitState& unit = context.bench->UnitStates().Unit(1);
    std::cout << "Selected: " << unit.vendor << " -> " << unit.type << '\n';
    return kSuccess;
}

int NoProgrammer() {
    return Fail(kFailed, "no programmer connected");
}

int ReadIdCommand(CliContext& context) {
    if (const int code = OpenBench(context, Needs::Programmer); code != kSuccess)
        return code;
    Workbench& bench = *context.bench;
    std::cout << "Device: " << bench.UnitStates().Unit(1).vendor << " -> "
              << bench.UnitStates().Unit(1).type << '\n';
    if (bench.ProgrammerCount() == 0)
        return NoProgrammer();
    return bench.ReadChipId() ? kSuccess : kFailed;
}

int Detect(CliContext& context) {
    if (const int code = OpenBench(context, Needs::ProgrammerAnyDevice); code != kSuccess)
        return code;
    Workbench& bench = *context.bench;
    if (bench.ProgrammerCount() == 0)
        return NoProgrammer();
    const DetectionResult result = bench.DetectAndLog();
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
    auto* programmers =
        app.add_subcommand("programmers", "Find the programmer: count, identity, firmware version");
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

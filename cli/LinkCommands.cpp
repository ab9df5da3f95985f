// programmers, select, id, detect: the programmer link from the command line.
#include <iostream>
#include <memory>
#include <optional>
#include <system_error>

#include "CliContext.h"
#include "SelectedDevice.h"
#include "torq/BufferFile.h"
#include "torq/DeviceLibrary.h"
#include "torq/DeviceRecord.h"
#include "torq/Identification.h"
#include "torq/Ini.h"
#include "torq/LibusbDevice.h"
#include "torq/Options.h"
#include "torq/Programmer.h"
#include "torq/Text.h"
#include "torq/sim/SimulateOption.h"

namespace torq::cli {

namespace {

constexpr std::string_view kUnit1Section = "Device1";

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

struct Selection {
    std::string vendor;
    std::string type;
};

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

// What every link command needs: a checked library, the selected device, a programmer.
struct Session {
    std::optional<DeviceLibrary> library;
    Selection selection;
    DeviceRecord record;
    Pump pump;
    std::unique_ptr<UsbDevice> usb;
    std::unique_ptr<Programmer> programmer;
    EnumerationResult enumeration;
};

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
    const Options options = LoadOptions(library.Directories().HistoryIni());
    session.enumeration = session.programmer->EnumerateProgrammers(session.record.driverImagePath,
                                                                   options.ResetIdleLevel());
    if (session.enumeration.imageMissing)
        return kFailed;  // the warning has been printed
    return kSuccess;
}

int ShowProgrammers(CliContext& context) {
    Session session;
    if (const int code = OpenSession(context, session, true); code != kSuccess)
        return code;
    Programmer& programmer = *session.programmer;
    std::cout << "Programmers: " << programmer.ProgrammerCount() << '\n';
    if (programmer.ProgrammerCount() > 0) {
        session.usb->Open(programmer.UnitMap()[0]);
        const UsbIdentity identity = session.usb->Identity();
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
    const DeviceLibrary library(context.Directories());
    if (!library.IdentityOk())
        return Fail(kBadUsage, kLibraryIncorrectMessage);
    const auto found = FindType(library, vendor, type);
    if (!found)
        return Fail(kBadUsage, "no type '" + type + "' of vendor '" + vendor + "' in the library");
    const auto file = library.DeviceFileOf(found->vendor, found->type);
    std::error_code error;
    if (!std::filesystem::is_regular_file(file, error)) {
        return Fail(kBadUsage, "Error : SelectINI->[" + found->vendor + "]->" + found->type);
    }
    if (!library.Directories().EnsureDataFolder()) {
        return Fail(kFailed, "cannot create " + library.Directories().DataFolder().string());
    }
    // As choosing a type in the window: the library warnings, Menu.ini reset to the device's
    // defaults, and the buffer re-created at the device's size, erased.
    const DeviceRecord record = LoadDeviceRecord(file, library.Directories(), DeviceRecord{},
                                                 found->vendor, found->type, context.op);
    if (!InitialiseBuffer(BufferFile::In(library.Directories()), record.deviceSize)) {
        return Fail(kFailed,
                    "cannot create the buffer " + library.Directories().BufferFile().string());
    }
    IniFile history(library.Directories().HistoryIni());
    history.WriteString(kUnit1Section, "Vendor", found->vendor);
    history.WriteString(kUnit1Section, "Type", found->type);
    if (!history.Save())
        return Fail(kFailed, "cannot write " + history.Path().string());
    std::cout << "Selected: " << found->vendor << " -> " << found->type << '\n';
    return kSuccess;
}

int NoProgrammer() {
    return Fail(kFailed, "no programmer connected");
}

int ReadIdCommand(CliContext& context) {
    Session session;
    if (const int code = OpenSession(context, session, false); code != kSuccess)
        return code;
    std::cout << "Device: " << session.selection.vendor << " -> " << session.selection.type << '\n';
    Programmer& programmer = *session.programmer;
    if (programmer.ProgrammerCount() == 0)
        return NoProgrammer();
    if (!programmer.OpenProgrammer(session.record.driverImagePath, 0)) {
        return Fail(kFailed, "the programmer cannot be opened");
    }
    programmer.SendTargetBoardMode(false);
    return ReadId(programmer, session.record) ? kSuccess : kFailed;
}

int Detect(CliContext& context) {
    Session session;
    if (const int code = OpenSession(context, session, true); code != kSuccess)
        return code;
    Programmer& programmer = *session.programmer;
    if (programmer.ProgrammerCount() == 0)
        return NoProgrammer();
    const Clock& clock = SystemClock::Instance();
    const std::uint32_t start = clock.TickMs();
    const DetectionResult result = AutoDetectDevice(programmer, *session.library, false);
    const std::uint32_t elapsed = TicksBetween(start, clock.TickMs());
    context.log.WriteInfoLine(DetectionLine(result, elapsed), true);
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

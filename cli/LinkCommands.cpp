// programmers, select, id, detect: the programmer link from the command line.
#include <iostream>
#include <memory>
#include <optional>
#include <system_error>

#include "CliContext.h"
#include "SelectedDevice.h"
#include "Session.h"
#include "torq/buffer/BufferFile.h"
#include "torq/devlib/DeviceLibrary.h"
#include "torq/devlib/DeviceRecord.h"
#include "torq/devlib/Ini.h"
#include "torq/devlib/Options.h"
#include "torq/devlib/Text.h"
#include "torq/link/Identification.h"
#include "torq/link/LibusbDevice.h"
#include "torq/link/Programmer.h"
#include "torq/sim/SimulateOption.h"

namespace torq::cli {

namespace {

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
    if (const int code = LockHome(context, "select"); code != kSuccess)
        return code;
    std::string problem;
    // As choosing a type in the window: the library warnings, the buffer re-created at the
    // device's size, erased, and Menu.ini reset to the device's defaults. The buffer comes first
    // and replaces the old one only when complete, so a select that fails changes nothing.
    const ProgramDirectory& dirs = library.Directories();
    const DeviceRecord record =
        ReadDeviceRecord(file, dirs, DeviceRecord{}, found->vendor, found->type, context.op);
    if (!InitialiseBuffer(BufferFile::In(dirs), record.deviceSize, &problem))
        return Fail(kFailed, problem);
    RefreshMenuIni(record.menuFilePath, dirs.MenuIni());
    IniFile history(dirs.HistoryIni());
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

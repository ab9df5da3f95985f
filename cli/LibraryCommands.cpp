// library, device: what the device library holds.
#include <cinttypes>
#include <cstdio>
#include <iostream>
#include <system_error>

#include "CliContext.h"
#include "torq/devlib/DeviceLibrary.h"
#include "torq/devlib/DeviceRecord.h"
#include "torq/devlib/Text.h"

namespace torq::cli {

namespace {

int ShowLibrary(CliContext& context) {
    const DeviceLibrary library(context.Directories());
    if (!library.IdentityOk()) {
        return Fail(kBadUsage, std::string(kLibraryIncorrectMessage) + " (" +
                                   library.Directories().SelectIni().string() + ")");
    }
    std::cout << "Library: " << library.Directories().SelectIni().string() << '\n';
    std::cout << "Identity: " << library.Type() << '\n';
    std::cout << "Date: " << library.DateText() << '\n';
    const NameList vendors = library.Vendors();
    for (const auto& error : vendors.errors)
        std::cerr << error << '\n';
    std::cout << "Vendors: " << vendors.names.size() << '\n';
    for (const auto& vendor : vendors.names) {
        const NameList types = library.TypesOf(vendor);
        for (const auto& error : types.errors)
            std::cerr << error << '\n';
        std::cout << vendor << ':';
        for (const auto& type : types.names)
            std::cout << ' ' << type;
        std::cout << '\n';
    }
    return kSuccess;
}

void PrintRecord(const DeviceRecord& r) {
    const auto text = [](const char* key, const std::string& value) {
        std::cout << key << " = " << value << '\n';
    };
    const auto number = [](const char* key, std::int64_t value) {
        std::cout << key << " = " << value << '\n';
    };
    const auto hex32 = [](const char* key, std::uint32_t value) {
        std::cout << key << " = 0x" << HexText(value, 8) << '\n';
    };
    text("BRAND", r.brand);
    text("NAME", r.name);
    text("UserWav", r.userWav);
    text("DriverImagePath", r.driverImagePath.string());
    text("FPGAFile", r.fpgaFile);
    text("Menu", r.menu);
    text("MenuFilePath", r.menuFilePath.string());
    text("SectorTablePath", r.sectorTablePath.string());
    hex32("ManCode", r.manCode);
    hex32("DevCode", r.devCode);
    hex32("ExtIDCode1", r.extIdCode1);
    hex32("ExtIDCode2", r.extIdCode2);
    text("max_address_Hi", r.maxAddressHi);
    text("max_address_Low", r.maxAddressLow);
    number("BlockCount", r.blockCount);
    number("PageOfBlock", r.pageOfBlock);
    number("Page_Size", r.pageSize);
    number("PageSpareSize", r.pageSpareSize);
    number("BlockSize", r.blockSize);
    text("ICSIZE", r.icSize);
    number("Vcc_pin1", r.vccPin1);
    number("Vcc_pin2", r.vccPin2);
    number("Gnd_pin1", r.gndPin1);
    number("Gnd_pin2", r.gndPin2);
    number("VIO", r.vio);
    number("read_vcc", r.readVcc);
    number("read_vpp", r.readVpp);
    number("read_vhh", r.readVhh);
    number("erase_vcc", r.eraseVcc);
    number("erase_vpp", r.eraseVpp);
    number("erase_vhh", r.eraseVhh);
    number("program_vcc", r.programVcc);
    number("program_vpp", r.programVpp);
    number("program_vhh", r.programVhh);
    number("protect_vcc", r.protectVcc);
    number("protect_vpp", r.protectVpp);
    number("protect_vhh", r.protectVhh);
    number("id_vcc", r.idVcc);
    number("id_vpp", r.idVpp);
    number("id_vhh", r.idVhh);
    hex32("read_mode", static_cast<std::uint32_t>(r.readMode));
    hex32("erase_mode", static_cast<std::uint32_t>(r.eraseMode));
    hex32("blank_mode", static_cast<std::uint32_t>(r.blankMode));
    hex32("prog_mode", static_cast<std::uint32_t>(r.progMode));
    hex32("verify_mode", static_cast<std::uint32_t>(r.verifyMode));
    hex32("prot_mode", static_cast<std::uint32_t>(r.protMode));
    hex32("test_mode", static_cast<std::uint32_t>(r.testMode));
    hex32("id_mode", static_cast<std::uint32_t>(r.idMode));
    hex32("unprotect_mode", static_cast<std::uint32_t>(r.unprotectMode));
    hex32("para_mode", static_cast<std::uint32_t>(r.paraMode));
    number("program_pulse", r.programPulse);
    number("erase_pulse", r.erasePulse);
    number("protect_pulse", r.protectPulse);
    number("unprotect_pulse", r.unprotectPulse);
    text("program_pulse_unit", r.programPulseUnit);
    text("erase_pulse_unit", r.erasePulseUnit);
    text("protect_pulse_unit", r.protectPulseUnit);
    text("unprotect_pulse_unit", r.unprotectPulseUnit);
    number("program_times", r.programTimes);
    number("erase_times", r.eraseTimes);
    number("protect_times", r.protectTimes);
    number("unprotect_times", r.unprotectTimes);
    number("program_retry", r.programRetry);
    number("erase_retry", r.eraseRetry);
    number("protect_retry", r.protectRetry);
    number("unprotect_retry", r.unprotectRetry);
    number("OPTION_FUSE_TYPE", r.optionFuseType);
    number("Read_Status_Register", r.readStatusRegister);
    for (int i = 0; i < kStatusRegisterOpcodeSlots; ++i) {
        std::cout << "Read_Status_Register_" << (i + 1) << " = 0x"
                  << HexText(r.readStatusRegisterOpcodes[static_cast<std::size_t>(i)], 2) << '\n';
    }
    std::cout << "DeviceSize = " << r.deviceSize << " (0x" << HexText(r.deviceSize) << ")\n";
}

int ShowDevice(CliContext& context, const std::string& vendor, const std::string& type) {
    const DeviceLibrary library(context.Directories());
    if (!library.IdentityOk())
        return Fail(kBadUsage, kLibraryIncorrectMessage);
    if (!library.TypeNamed(vendor, type))
        return Fail(kBadUsage, "no type '" + type + "' of vendor '" + vendor + "' in the library");
    const auto file = library.DeviceFileOf(vendor, type);
    std::error_code error;
    if (!std::filesystem::is_regular_file(file, error)) {
        return Fail(kBadUsage, "Error : SelectINI->[" + vendor + "]->" + type);
    }
    const DeviceRecord record =
        ReadDeviceRecord(file, library.Directories(), DeviceRecord{}, vendor, type, context.op);
    std::cout << "DeviceFile = " << file.string() << '\n';
    PrintRecord(record);
    return kSuccess;
}

}  // namespace

void AddLibraryCommands(CLI::App& app, CliContext& context, int& exitCode) {
    auto* library =
        app.add_subcommand("library", "Print the library identity, date, vendors and types");
    library->callback([&] { exitCode = ShowLibrary(context); });

    auto* device = app.add_subcommand("device", "Print the device record of one type");
    static std::string vendor, type;
    device->add_option("VENDOR", vendor)->required();
    device->add_option("TYPE", type)->required();
    device->callback([&] { exitCode = ShowDevice(context, vendor, type); });
}

}  // namespace torq::cli

#include "torq/devlib/DeviceRecord.h"

#include <algorithm>
#include <string>
#include <system_error>

#include "torq/devlib/Ini.h"
#include "torq/devlib/ParameterPages.h"
#include "torq/devlib/SectorTable.h"
#include "torq/devlib/Text.h"

namespace torq {

namespace fs = std::filesystem;

std::uint64_t DeviceSizeFromAddressTexts(std::string_view high, std::string_view low) {
    std::string joined(high);
    if (low.size() > 2)
        joined.append(low.substr(2));
    return ParseUnsigned64(joined).value_or(0);
}

namespace {

bool FileExists(const fs::path& path) {
    std::error_code error;
    return !path.empty() && fs::is_regular_file(path, error);
}

class FieldReader {
  public:
    explicit FieldReader(const IniFile& ini) : ini_(ini) {}
    std::string Text(std::string_view key, std::string_view fallback) const {
        return ini_.ReadString(kDeviceFileSection, key, fallback);
    }
    std::int32_t Int(std::string_view key, std::int32_t fallback) const {
        return ini_.ReadInteger(kDeviceFileSection, key, fallback);
    }
    std::uint32_t U32(std::string_view key, std::int32_t fallback = 0) const {
        return static_cast<std::uint32_t>(Int(key, fallback));
    }
    std::uint16_t U16(std::string_view key, std::int32_t fallback) const {
        return static_cast<std::uint16_t>(Int(key, fallback));
    }
    std::uint8_t U8(std::string_view key, std::int32_t fallback) const {
        return static_cast<std::uint8_t>(Int(key, fallback));
    }

  private:
    const IniFile& ini_;
};

}  // namespace

DeviceRecord ReadDeviceRecord(const fs::path& deviceFile, const ProgramDirectory& dirs,
                              const DeviceRecord& previous, std::string_view unitVendor,
                              std::string_view unitType, Operator& op, DeviceLoadNotes* notes) {
    const IniFile ini(deviceFile);
    const FieldReader f(ini);
    DeviceRecord r;
    const auto warnLibraryWrong = [&] {
        op.Tell(Severity::Warning, kLibraryWrongMessage);
        if (notes != nullptr)
            notes->libraryWrong = true;
    };

    r.brand = f.Text("BRAND", unitVendor);
    r.name = f.Text("NAME", unitType);

    r.userWav = f.Text("UserWav", "");
    r.driverImagePath = dirs.DriverImage(r.userWav);
    if (r.userWav.empty() || !FileExists(r.driverImagePath)) {
        r.driverImagePath.clear();
        warnLibraryWrong();
    }

    r.fpgaFile = f.Text("FPGAFile", "");
    r.menu = f.Text("Menu", "");
    r.menuFilePath = r.menu.empty() ? fs::path() : dirs.LibraryFile(r.menu);

    r.sectorTablePath = previous.sectorTablePath;
    if (IsPerSectorProtected(r.name)) {
        const std::string table = f.Text("Sector_table", "");
        r.sectorTablePath = table.empty() ? fs::path() : dirs.LibraryFile(table);
        if (!FileExists(r.sectorTablePath)) {
            r.sectorTablePath.clear();
            warnLibraryWrong();
        }
    }

    r.manCode = f.U32("ManCode");
    r.devCode = f.U32("DevCode");
    r.extIdCode1 = f.U32("ExtIDCode1");
    r.extIdCode2 = f.U32("ExtIDCode2");
    r.maxAddressHi = f.Text("max_address_Hi", "0x00");
    r.maxAddressLow = f.Text("max_address_Low", "0x00");
    r.blockCount = f.Int("BlockCount", 0);
    r.pageOfBlock = f.Int("PageOfBlock", 0);
    r.pageSize = f.Int("Page_Size", 256);
    r.pageSpareSize = f.Int("PageSpareSize", 0);
    r.blockSize = f.Int("BlockSize", 0);
    r.icSize = f.Text("ICSIZE", "");
    r.vccPin1 = f.U8("Vcc_pin1", 0);
    r.vccPin2 = f.U8("Vcc_pin2", 0);
    r.gndPin1 = f.U8("Gnd_pin1", 0);
    r.gndPin2 = f.U8("Gnd_pin2", 0);
    r.vio = f.U16("VIO", 300);
    r.readVcc = f.U16("read_vcc", 300);
    r.readVpp = f.U16("read_vpp", 300);
    r.readVhh = f.U16("read_vhh", 300);
    r.eraseVcc = f.U16("erase_vcc", 300);
    r.eraseVpp = f.U16("erase_vpp", 300);
    r.eraseVhh = f.U16("erase_vhh", 300);
    r.programVcc = f.U16("program_vcc", 300);
    r.programVpp = f.U16("program_vpp", 300);
    r.programVhh = f.U16("program_vhh", 300);
    r.protectVcc = f.U16("protect_vcc", 300);
    r.protectVpp = f.U16("protect_vpp", 300);
    r.protectVhh = f.U16("protect_vhh", 300);
    r.idVcc = f.U16("id_vcc", 300);
    r.idVpp = f.U16("id_vpp", 300);
    r.idVhh = f.U16("id_vhh", 300);
    r.readMode = f.Int("read_mode", 0);
    r.eraseMode = f.Int("erase_mode", 0);
    r.blankMode = f.Int("blank_mode", 0);
    r.progMode = f.Int("prog_mode", 0);
    r.verifyMode = f.Int("verify_mode", 0);
    r.protMode = f.Int("prot_mode", 0);
    r.testMode = f.Int("test_mode", 0);
    r.idMode = f.Int("id_mode", 0);
    r.unprotectMode = f.Int("unprotect_mode", 0);
    r.paraMode = f.Int("para_mode", 0);
    r.programPulse = f.Int("program_pulse", 0);
    r.erasePulse = f.Int("erase_pulse", 0);
    r.protectPulse = f.Int("protect_pulse", 0);
    r.unprotectPulse = f.Int("unprotect_pulse", 0);
    r.programPulseUnit = f.Text("program_pulse_unit", "uS");
    r.erasePulseUnit = f.Text("erase_pulse_unit", "mS");
    r.protectPulseUnit = f.Text("protect_pulse_unit", "uS");
    r.unprotectPulseUnit = f.Text("unprotect_pulse_unit", "uS");
    r.programTimes = f.Int("program_times", 1);
    r.eraseTimes = f.Int("erase_times", 1);
    r.protectTimes = f.Int("protect_times", 1);
    r.unprotectTimes = f.Int("unprotect_times", 1);
    r.programRetry = f.U8("program_retry", 3);
    r.eraseRetry = f.U8("erase_retry", 3);
    r.protectRetry = f.U8("protect_retry", 3);
    r.unprotectRetry = f.U8("unprotect_retry", 3);
    r.optionFuseType = f.U8("OPTION_FUSE_TYPE", 0);
    r.readStatusRegister = f.U8("Read_Status_Register", 0);
    for (int i = 1; i <= kStatusRegisterOpcodeSlots; ++i) {
        r.readStatusRegisterOpcodes[i - 1] = f.U8("Read_Status_Register_" + std::to_string(i), 5);
    }
    r.deviceSize = DeviceSizeFromAddressTexts(r.maxAddressHi, r.maxAddressLow);
    return r;
}

DeviceRecord LoadDeviceRecord(const fs::path& deviceFile, const ProgramDirectory& dirs,
                              const DeviceRecord& previous, std::string_view unitVendor,
                              std::string_view unitType, Operator& op, DeviceLoadNotes* notes) {
    DeviceRecord record =
        ReadDeviceRecord(deviceFile, dirs, previous, unitVendor, unitType, op, notes);
    RefreshMenuIni(record.menuFilePath, dirs.MenuIni());
    return record;
}

void RefreshMenuIni(const fs::path& pageFile, const fs::path& menuIni) {
    std::error_code error;
    fs::remove(menuIni, error);
    if (pageFile.empty())
        return;
    const IniFile pages(pageFile);
    if (!pages.FileExists())
        return;
    IniFile menu(menuIni);
    const int pageCount =
        std::min(pages.ReadInteger("CurrentUserPage", "Total", 0), kPageFileCountLimit);
    bool wrote = false;
    for (int p = 0; p < pageCount; ++p) {
        const std::string pageSection = "CurrentUserPage_" + std::to_string(p);
        const int components =
            std::min(pages.ReadInteger(pageSection, "ComponentTotal", 0), kPageFileCountLimit);
        for (int c = 0; c < components; ++c) {
            const std::string key = PageValueKey(p, c);
            menu.WriteString(kPageValuesSection, key,
                             pages.ReadString(kPageValuesSection, key, ""));
            wrote = true;
        }
    }
    if (wrote)
        menu.Save();
}

}  // namespace torq

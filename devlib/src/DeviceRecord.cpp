#include "torq/devlib/DeviceRecord.h"

#include <algorithm>
#include <string>
#include <system_error>

#include "torq/devlib/Ini.h"
#include "torq/devlib/PageValues.h"
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

bool IsDataFlashImage(const fs::path& driverImage) {
    return Contains(driverImage.filename().string(), "_45");
}

namespace {

bool IsPowerOfTwo(std::int64_t value) {
    return value > 0 && (value & (value - 1)) == 0;
}

std::optional<std::string> CheckDataFlashGeometry(const DeviceRecord& r) {
    const std::string page = std::to_string(r.pageSize), spare = std::to_string(r.pageSpareSize);
    // Page addresses are counted in units of the page size (or twice it), which only lands on
    // page boundaries when the page size is a power of two.
    if (!IsPowerOfTwo(r.pageSize))
        return "Page_Size " + page + " of a DataFlash device is not a power of two.";
    if (r.pageSpareSize < 0 || r.pageSpareSize > kDataFlashSpareLimit ||
        r.pageSpareSize > r.pageSize) {
        return "PageSpareSize " + spare + " does not fit the DataFlash page block (0 to " +
               std::to_string(std::min(kDataFlashSpareLimit, r.pageSize)) + " bytes).";
    }
    if (r.pageOfBlock < 1 || r.blockCount < 1) {
        return "PageOfBlock " + std::to_string(r.pageOfBlock) + " and BlockCount " +
               std::to_string(r.blockCount) + " of a DataFlash device must be at least 1.";
    }
    // Erase sends BlockCount blocks of PageOfBlock pages; it covers the chip only when they make
    // up exactly its size.
    const std::uint64_t pageBytes =
        static_cast<std::uint64_t>(r.pageSize) + static_cast<std::uint64_t>(r.pageSpareSize);
    const std::uint64_t pages =
        static_cast<std::uint64_t>(r.blockCount) * static_cast<std::uint64_t>(r.pageOfBlock);
    if (r.deviceSize % pageBytes != 0 || r.deviceSize / pageBytes != pages) {
        return "BlockCount " + std::to_string(r.blockCount) + " x PageOfBlock " +
               std::to_string(r.pageOfBlock) + " pages of " + std::to_string(pageBytes) +
               " bytes (Page_Size + PageSpareSize) do not make the device size of " +
               std::to_string(r.deviceSize) + " bytes.";
    }
    const std::uint64_t unit =
        static_cast<std::uint64_t>(r.pageSize) * (r.pageSpareSize != 0 ? 2 : 1);
    if (pages * unit > kScriptAddressLimit) {
        return "The DataFlash pages reach address 0x" + HexText(pages * unit - 1) +
               ", beyond the three-byte addresses of the page commands.";
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> CheckDeviceRecord(const DeviceRecord& r) {
    if (!r.readProblem.empty())
        return "The device file was not read whole: " + r.readProblem + ".";
    if (r.deviceSize == 0) {
        return "The device size is 0 bytes: max_address_Hi and max_address_Low give no size.";
    }
    if (r.deviceSize > kScriptAddressLimit) {
        return "The device size of " + std::to_string(r.deviceSize) + " bytes (0x" +
               HexText(r.deviceSize) + ") is beyond the 16 MiB that three-byte addresses reach.";
    }
    const int idBytes = r.IdByteCount();
    if (idBytes < 1 || idBytes > kIdByteLimit) {
        return "id_mode asks for " + std::to_string(idBytes) + " ID bytes; Read ID compares 1 to " +
               std::to_string(kIdByteLimit) + ".";
    }
    const fs::path image = r.driverImagePath.empty() ? fs::path(r.userWav) : r.driverImagePath;
    if (IsDataFlashImage(image))
        return CheckDataFlashGeometry(r);
    if (r.ProgramVariant() == 1 && (r.pageSize < 1 || r.pageSize > kPageProgramPageLimit)) {
        return "Page_Size " + std::to_string(r.pageSize) +
               " does not fit the page program block (1 to " +
               std::to_string(kPageProgramPageLimit) + " bytes).";
    }
    return std::nullopt;
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
    r.readProblem = ini.ReadProblem();
    const auto warnLibraryWrong = [&](const std::string& detail = {}) {
        op.Tell(Severity::Warning, detail.empty()
                                       ? std::string(kLibraryWrongMessage)
                                       : std::string(kLibraryWrongMessage) + "\n" + detail);
        if (notes != nullptr)
            notes->libraryWrong = true;
    };
    const auto outsideLine = [&](std::string_view key, std::string_view value) {
        return deviceFile.filename().string() + " : " + std::string(key) + "=" +
               std::string(value) + " is outside the device library";
    };

    r.brand = f.Text("BRAND", unitVendor);
    r.name = f.Text("NAME", unitType);

    r.userWav = f.Text("UserWav", "");
    bool outside = false;
    r.driverImagePath = r.userWav.empty() ? fs::path() : dirs.DriverImage(r.userWav, &outside);
    if (outside) {
        warnLibraryWrong(outsideLine("UserWav", r.userWav));
    } else if (!FileExists(r.driverImagePath)) {
        r.driverImagePath.clear();
        warnLibraryWrong();
    }

    r.fpgaFile = f.Text("FPGAFile", "");
    r.menu = f.Text("Menu", "");
    r.menuFilePath = r.menu.empty() ? fs::path() : dirs.LibraryFile(r.menu, &outside);
    if (!r.menu.empty() && outside)
        warnLibraryWrong(outsideLine("Menu", r.menu));

    r.sectorTablePath = previous.sectorTablePath;
    if (IsPerSectorProtected(r.name)) {
        const std::string table = f.Text("Sector_table", "");
        outside = false;
        r.sectorTablePath = table.empty() ? fs::path() : dirs.LibraryFile(table, &outside);
        if (outside) {
            warnLibraryWrong(outsideLine("Sector_table", table));
        } else if (!FileExists(r.sectorTablePath)) {
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
    if (notes != nullptr)
        notes->unusable = CheckDeviceRecord(r);
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

bool RefreshMenuIni(const fs::path& pageFile, const fs::path& menuIni) {
    return PageValues::Defaults(pageFile).Write(menuIni);
}

}  // namespace torq

#include "torq/devlib/DeviceRecord.h"

#include <algorithm>
#include <string>
#include <system_error>
#include <type_traits>

#include "torq/devlib/Ini.h"
#include "torq/devlib/PageValues.h"
#include "torq/devlib/ParameterPages.h"
#include "torq/devlib/RegularFile.h"
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

std::optional<std::string> CheckDeviceSize(const DeviceRecord& r) {
    if (r.deviceSize == 0) {
        return "The device size is 0 bytes: max_address_Hi and max_address_Low give no size.";
    }
    if (r.deviceSize > kScriptAddressLimit) {
        return "The device size of " + std::to_string(r.deviceSize) + " bytes (0x" +
               HexText(r.deviceSize) + ") is beyond the 16 MiB that three-byte addresses reach.";
    }
    return std::nullopt;
}

std::optional<std::string> CheckDeviceRecord(const DeviceRecord& r) {
    if (!r.readProblem.empty())
        return "The device file was not read whole: " + r.readProblem + ".";
    if (auto size = CheckDeviceSize(r))
        return size;
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

// Reads the keys of a device file into the record's fields. A missing key keeps the field's
// default, which the record's declaration gives (written once, there); integers narrower than 32
// bits keep the low bits of the value.
class FieldReader {
  public:
    explicit FieldReader(const IniFile& ini) : ini_(ini) {}
    std::string Text(std::string_view key, std::string_view fallback) const {
        return ini_.ReadString(kDeviceFileSection, key, fallback);
    }
    void Read(std::string_view key, std::string& field) const { field = Text(key, field); }
    template <typename Integer>
    void Read(std::string_view key, Integer& field) const {
        static_assert(std::is_integral_v<Integer>);
        const std::int32_t fallback = static_cast<std::int32_t>(field);
        field = static_cast<Integer>(ini_.ReadInteger(kDeviceFileSection, key, fallback));
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

    f.Read("UserWav", r.userWav);
    bool outside = false;
    r.driverImagePath = r.userWav.empty() ? fs::path() : dirs.DriverImage(r.userWav, &outside);
    if (outside) {
        warnLibraryWrong(outsideLine("UserWav", r.userWav));
    } else if (!io::IsRegularFile(r.driverImagePath)) {
        r.driverImagePath.clear();
        warnLibraryWrong();
    }

    f.Read("FPGAFile", r.fpgaFile);
    f.Read("Menu", r.menu);
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
        } else if (!io::IsRegularFile(r.sectorTablePath)) {
            r.sectorTablePath.clear();
            warnLibraryWrong();
        }
    }

    f.Read("ManCode", r.manCode);
    f.Read("DevCode", r.devCode);
    f.Read("ExtIDCode1", r.extIdCode1);
    f.Read("ExtIDCode2", r.extIdCode2);
    f.Read("max_address_Hi", r.maxAddressHi);
    f.Read("max_address_Low", r.maxAddressLow);
    f.Read("BlockCount", r.blockCount);
    f.Read("PageOfBlock", r.pageOfBlock);
    f.Read("Page_Size", r.pageSize);
    f.Read("PageSpareSize", r.pageSpareSize);
    f.Read("BlockSize", r.blockSize);
    f.Read("ICSIZE", r.icSize);
    f.Read("Vcc_pin1", r.vccPin1);
    f.Read("Vcc_pin2", r.vccPin2);
    f.Read("Gnd_pin1", r.gndPin1);
    f.Read("Gnd_pin2", r.gndPin2);
    f.Read("VIO", r.vio);
    f.Read("read_vcc", r.readVcc);
    f.Read("read_vpp", r.readVpp);
    f.Read("read_vhh", r.readVhh);
    f.Read("erase_vcc", r.eraseVcc);
    f.Read("erase_vpp", r.eraseVpp);
    f.Read("erase_vhh", r.eraseVhh);
    f.Read("program_vcc", r.programVcc);
    f.Read("program_vpp", r.programVpp);
    f.Read("program_vhh", r.programVhh);
    f.Read("protect_vcc", r.protectVcc);
    f.Read("protect_vpp", r.protectVpp);
    f.Read("protect_vhh", r.protectVhh);
    f.Read("id_vcc", r.idVcc);
    f.Read("id_vpp", r.idVpp);
    f.Read("id_vhh", r.idVhh);
    f.Read("read_mode", r.readMode);
    f.Read("erase_mode", r.eraseMode);
    f.Read("blank_mode", r.blankMode);
    f.Read("prog_mode", r.progMode);
    f.Read("verify_mode", r.verifyMode);
    f.Read("prot_mode", r.protMode);
    f.Read("test_mode", r.testMode);
    f.Read("id_mode", r.idMode);
    f.Read("unprotect_mode", r.unprotectMode);
    f.Read("para_mode", r.paraMode);
    f.Read("program_pulse", r.programPulse);
    f.Read("erase_pulse", r.erasePulse);
    f.Read("protect_pulse", r.protectPulse);
    f.Read("unprotect_pulse", r.unprotectPulse);
    f.Read("program_pulse_unit", r.programPulseUnit);
    f.Read("erase_pulse_unit", r.erasePulseUnit);
    f.Read("protect_pulse_unit", r.protectPulseUnit);
    f.Read("unprotect_pulse_unit", r.unprotectPulseUnit);
    f.Read("program_times", r.programTimes);
    f.Read("erase_times", r.eraseTimes);
    f.Read("protect_times", r.protectTimes);
    f.Read("unprotect_times", r.unprotectTimes);
    f.Read("program_retry", r.programRetry);
    f.Read("erase_retry", r.eraseRetry);
    f.Read("protect_retry", r.protectRetry);
    f.Read("unprotect_retry", r.unprotectRetry);
    f.Read("OPTION_FUSE_TYPE", r.optionFuseType);
    f.Read("Read_Status_Register", r.readStatusRegister);
    for (int i = 1; i <= kStatusRegisterOpcodeSlots; ++i) {
        f.Read("Read_Status_Register_" + std::to_string(i), r.readStatusRegisterOpcodes[i - 1]);
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

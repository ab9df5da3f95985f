#include "torq/devlib/LibraryFuzz.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "torq/devlib/DeviceLibrary.h"
#include "torq/devlib/DeviceRecord.h"
#include "torq/devlib/Ini.h"
#include "torq/devlib/Options.h"
#include "torq/devlib/ParameterPages.h"
#include "torq/devlib/ProgramDirectory.h"
#include "torq/devlib/SectorTable.h"
#include "torq/devlib/Text.h"

namespace torq {

namespace fs = std::filesystem;

namespace {

// Aborts, naming the promise that was broken, so a fuzzer's finding says what went wrong.
#define Require(promise) RequireAt((promise), #promise, __LINE__)
void RequireAt(bool kept, const char* promise, int line) {
    if (!kept) {
        std::fprintf(stderr, "LibraryFuzz.cpp:%d: broken promise: %s\n", line, promise);
        std::abort();
    }
}

// A private folder for the whole process: "lib" is a portable program folder (library and
// writable files) with the images and folders a library names; "outside" lies beside it, and
// "lib/Linked" is a link to it, so escapes have somewhere to go.
class Scratch {
  public:
    static Scratch& Get() {
        static Scratch scratch;
        return scratch;
    }
    const fs::path& Library() const { return library_; }
    ProgramDirectory Directories() const { return ProgramDirectory::Portable(library_); }

    fs::path Write(const std::string& relative, const std::uint8_t* data, std::size_t size) {
        const fs::path path = library_ / relative;
        std::ofstream(path, std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
        return path;
    }
    std::string Read(const fs::path& path) const { return ReadSmallFile(path).contents; }

    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
    ~Scratch() {
        std::error_code error;
        fs::remove_all(root_, error);
    }

  private:
    Scratch() {
        std::error_code error;
        const fs::path base = fs::is_directory("/dev/shm", error) ? fs::path("/dev/shm")
                                                                  : fs::temp_directory_path(error);
        std::string pattern = (base / "torq-fuzz-XXXXXX").string();
        Require(::mkdtemp(pattern.data()) != nullptr);
        root_ = pattern;
        library_ = root_ / "lib";
        for (const char* folder : {"Ini", "Drv/FLASH", "Menu", "Sector"})
            fs::create_directories(library_ / folder, error);
        fs::create_directories(root_ / "outside", error);
        for (const char* file :
             {"Drv/SPI_25.drv", "Drv/SPI_45.drv", "Drv/SPI_25_33V.drv", "Drv/SPI_45_33V_264.drv",
              "Drv/FLASH/SPI_25.drv", "Sector/t.txt", "../outside/x_25.drv", "../outside/p.ini"}) {
            std::ofstream(library_ / file) << "0X000000,\n";
        }
        fs::create_directory_symlink(root_ / "outside", library_ / "Linked", error);
    }
    fs::path root_;
    fs::path library_;
};

void RequireInsideOrEmpty(const fs::path& library, const fs::path& path) {
    Require(path.empty() || IsInsideFolder(library, path));
}

// A record CheckDeviceRecord lets through must be safe for the operations' arithmetic: every
// address they send fits three bytes, and the DataFlash blocks cover the chip exactly.
void RequireUsable(const DeviceRecord& r) {
    Require(r.deviceSize > 0 && r.deviceSize <= kScriptAddressLimit);
    Require(r.IdByteCount() >= 1 && r.IdByteCount() <= kIdByteLimit);
    const fs::path image = r.driverImagePath.empty() ? fs::path(r.userWav) : r.driverImagePath;
    if (!IsDataFlashImage(image)) {
        if (r.ProgramVariant() == 1)
            Require(r.pageSize >= 1 && r.pageSize <= kPageProgramPageLimit);
        return;
    }
    Require(r.pageSize > 0 && r.pageSpareSize >= 0 && r.pageSpareSize <= kDataFlashSpareLimit);
    const std::uint64_t pageBytes =
        static_cast<std::uint64_t>(r.pageSize) + static_cast<std::uint64_t>(r.pageSpareSize);
    const std::uint64_t pages = (r.deviceSize + pageBytes - 1) / pageBytes;
    Require(r.pageOfBlock > 0 && r.blockCount > 0);
    const std::uint64_t blocks = pages / static_cast<std::uint64_t>(r.pageOfBlock);
    Require(blocks == static_cast<std::uint64_t>(r.blockCount));
    const std::uint64_t unit =
        static_cast<std::uint64_t>(r.pageSize) * (r.pageSpareSize != 0 ? 2 : 1);
    Require(pageBytes <= unit);
    Require(pages * unit <= kScriptAddressLimit);
}

}  // namespace

void FuzzDeviceLibraryFiles(const std::uint8_t* data, std::size_t size) {
    Scratch& scratch = Scratch::Get();
    scratch.Write("Select.ini", data, size);
    scratch.Write("Ini/dev.ini", data, size);
    const ProgramDirectory dirs = scratch.Directories();
    const DeviceLibrary library(dirs);
    FixedOperator op;
    const auto check = library.Check(op);
    (void)library.MainCode();
    (void)library.ReadIdEntries();
    for (auto level : {DetectionLevel::V18, DetectionLevel::V25, DetectionLevel::V33})
        (void)library.LevelEnabled(level);
    for (const auto& vendor : check.vendorList) {
        const NameList types = library.TypesOf(vendor);
        Require(types.errors.size() <= static_cast<std::size_t>(kNumberedListErrorLines) + 1);
        for (const auto& type : types.names) {
            RequireInsideOrEmpty(dirs.LibraryFolder(), library.DeviceFileOf(vendor, type));
            (void)library.DetectManCode(vendor, type);
            (void)library.DetectDevCode(vendor, type);
        }
    }

    DeviceLoadNotes notes;
    DeviceRecord previous;
    previous.sectorTablePath = dirs.LibraryFolder() / "Sector" / "t.txt";
    const DeviceRecord r = ReadDeviceRecord(dirs.LibraryFolder() / "Ini" / "dev.ini", dirs,
                                            previous, "V", "T", op, &notes);
    RequireInsideOrEmpty(dirs.LibraryFolder(), r.driverImagePath);
    RequireInsideOrEmpty(dirs.LibraryFolder(), r.menuFilePath);
    RequireInsideOrEmpty(dirs.LibraryFolder(), r.sectorTablePath);
    Require(notes.unusable == CheckDeviceRecord(r));
    if (!notes.unusable)
        RequireUsable(r);
}

void FuzzPageFile(const std::uint8_t* data, std::size_t size) {
    Scratch& scratch = Scratch::Get();
    const fs::path pageFile = scratch.Write("Menu/p.ini", data, size);
    const fs::path menuIni = scratch.Library() / "Menu.ini";
    std::error_code error;
    fs::remove(menuIni, error);

    const auto requireWithinTotals = [](const ParameterPages& pages) {
        Require(pages.pages.size() <= static_cast<std::size_t>(kPageFileCountLimit));
        std::size_t components = 0, items = 0;
        for (const auto& page : pages.pages) {
            components += page.components.size();
            for (const auto& c : page.components)
                items += c.radioChoices.size() + c.explanationLines.size();
        }
        Require(components <= static_cast<std::size_t>(kPageFileComponentLimit));
        Require(items <= static_cast<std::size_t>(kPageFileItemLimit));
    };
    ParameterPages pages = BuildParameterPages(pageFile, menuIni);
    requireWithinTotals(pages);

    // Menu.ini gets exactly the default of every component the pages have.
    Require(RefreshMenuIni(pageFile, menuIni));
    std::size_t components = 0;
    for (const auto& page : pages.pages)
        components += page.components.size();
    Require(IniFile(menuIni).Keys(kPageValuesSection).size() == components);

    // Values shown, checked and saved, then read back into the same pages.
    pages = BuildParameterPages(pageFile, menuIni);
    requireWithinTotals(pages);
    for (auto& page : pages.pages) {
        for (auto& c : page.components) {
            (void)c.LabelText();
            if (c.type == ComponentType::ValueField)
                c.text = CheckValueText(c, c.text);
        }
    }
    Require(SaveParameterValues(pages, menuIni));
    const ParameterPages again = BuildParameterPages(pageFile, menuIni);
    Require(again.pages.size() == pages.pages.size());
    for (std::size_t p = 0; p < pages.pages.size(); ++p) {
        const auto& before = pages.pages[p].components;
        const auto& after = again.pages[p].components;
        Require(before.size() == after.size());
        for (std::size_t c = 0; c < before.size(); ++c)
            Require(before[c].StoredValue() == after[c].StoredValue());
    }
}

void FuzzSectorTable(const std::uint8_t* data, std::size_t size) {
    const fs::path path = Scratch::Get().Write("Sector/t.txt", data, size);
    for (const char* name : {"AT26DF041", "AT26DF081A", "AT26DF161", "AT26DF321"}) {
        const int count = At26FamilyOf(name)->sectors;
        const SectorTable table = ReadSectorTable(path, count);
        Require(table.starts.size() <= static_cast<std::size_t>(count));
        Require(table.entriesFound <= count + 1);
        Require(table.starts.size() == static_cast<std::size_t>(table.entriesFound) ||
                table.entriesFound > count);
        for (const std::uint32_t start : table.starts)
            Require(start <= 0xFFFFFF);
    }
}

void FuzzHistoryIni(const std::uint8_t* data, std::size_t size) {
    Scratch& scratch = Scratch::Get();
    const fs::path path = scratch.Write("History.ini", data, size);
    const std::string original = scratch.Read(path);

    const Options options = LoadOptions(path);
    Require(options.verifyErrorsListLimit >= kVerifyErrorsField.minimum &&
            options.verifyErrorsListLimit <= kVerifyErrorsField.Maximum());
    Require(options.infoMessageLimit >= kInfoMessageLimitField.minimum &&
            options.infoMessageLimit <= kInfoMessageLimitField.Maximum());
    Require(options.resetTimeMs >= kResetTimeField.minimum &&
            options.resetTimeMs <= kResetTimeField.Maximum());

    // Everything the file says, as its readers see it.
    const IniFile before(path);
    struct Value {
        std::string section, key, text;
    };
    std::vector<Value> values;
    for (const auto& section : before.Sections()) {
        for (const auto& key : before.Keys(section))
            values.push_back({section, key, before.ReadString(section, key)});
    }
    // The socket history of each unit, read as a restore reads it.
    static const char* const kSocketKeys[] = {"SourceSAdd",         "SourceEAdd", "DestSAdd",
                                              "UnusedFill_Checked", "UnusedFill", "Format"};
    for (int unit = 1; unit <= 4; ++unit) {
        const std::string section = "Device" + std::to_string(unit);
        (void)before.ReadString(section, "Vendor");
        (void)before.ReadString(section, "Type");
        for (int socket = 1; socket <= 2; ++socket) {
            const std::string prefix = "Socket" + std::to_string(socket);
            (void)before.ReadString(section, prefix + "File");
            for (const char* key : kSocketKeys)
                (void)before.ReadInteger(section, prefix + key, 0);
        }
    }

    // Writing back: a file not read whole is left exactly as it is; otherwise only the keys
    // written change.
    std::string error;
    const bool saved = SaveOptions(path, options, &error);
    if (!before.ReadProblem().empty()) {
        Require(!saved && !error.empty());
        Require(scratch.Read(path) == original);
        return;
    }
    Require(saved);
    IniFile history(path);
    history.WriteString("Device1", "Vendor", "V");
    history.WriteString("Device1", "Socket1File", "a\nb");
    history.WriteInteger("Device1", "Socket1SourceEAdd", -1);
    Require(history.Save());
    const IniFile after(path);
    Require(after.ReadProblem().empty());
    for (const auto& v : values) {
        const bool written =
            EqualsIgnoringCase(v.section, kOptionSection) ||
            (EqualsIgnoringCase(v.section, "Device1") &&
             (EqualsIgnoringCase(v.key, "Vendor") || EqualsIgnoringCase(v.key, "Socket1File") ||
              EqualsIgnoringCase(v.key, "Socket1SourceEAdd")));
        if (!written)
            Require(after.HasKey(v.section, v.key) && after.ReadString(v.section, v.key) == v.text);
    }
    Require(after.ReadString("Device1", "Vendor") == "V");
    Require(after.ReadString("Device1", "Socket1File") == "a b");
    Require(after.ReadInteger("Device1", "Socket1SourceEAdd", 0) == -1);
    Require(LoadOptions(path).resetTimeMs == options.resetTimeMs);
}

}  // namespace torq

#include "torq/desktop/DesktopFuzz.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include <stdlib.h>

#include "torq/desktop/FileAssociations.h"
#include "torq/desktop/SendTo.h"
#include "torq/desktop/Xdg.h"
#include "torq/devlib/Ini.h"
#include "torq/devlib/Text.h"

namespace torq {

namespace fs = std::filesystem;

namespace {

// Aborts, naming the promise that was broken, so a fuzzer's finding says what went wrong.
#define Require(promise) RequireAt((promise), #promise, __LINE__)
void RequireAt(bool kept, const char* promise, int line) {
    if (!kept) {
        std::fprintf(stderr, "DesktopFuzz.cpp:%d: broken promise: %s\n", line, promise);
        std::abort();
    }
}

constexpr std::string_view kProgram = "/opt/bench tools/torq-spi";
constexpr std::string_view kHandlerId = "torq-spi-associations.desktop";
constexpr std::string_view kDefaultSection = "Default Applications";
constexpr std::string_view kAddedSection = "Added Associations";

// A private folder for the whole process holding one scratch home ("home") and one system data
// folder ("system"), emptied before every input.
class Scratch {
  public:
    static Scratch& Get() {
        static Scratch scratch;
        return scratch;
    }

    void Reset() const {
        std::error_code error;
        for (const char* folder : {"home", "system"})
            fs::remove_all(root_ / folder, error);
    }
    XdgFolders Folders() const {
        XdgFolders folders;
        folders.dataHome = root_ / "home/data";
        folders.configHome = root_ / "home/config";
        folders.dataDirs = {root_ / "system"};
        return folders;
    }
    fs::path Write(const std::string& relative, std::string_view contents) const {
        const fs::path path = root_ / relative;
        std::error_code error;
        fs::create_directories(path.parent_path(), error);
        Require(WriteFileAtomically(path, contents));
        return path;
    }

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
        std::string pattern = (base / "torq-desktop-fuzz-XXXXXX").string();
        Require(::mkdtemp(pattern.data()) != nullptr);
        root_ = pattern;
    }
    fs::path root_;
};

// The desktop's tools, run and done: nothing is compiled, so every package of ours counts.
class QuietTools final : public DesktopTools {
  public:
    bool Run(const std::vector<std::string>&) override { return true; }
};

// Says Yes to every question, as an operator replacing and removing would.
class YesOperator final : public Operator {
  public:
    Answer Respond(const OperatorMessage& message) override {
        Require(IsUtf8(message.text));
        return message.buttons == Buttons::YesNo ? Answer::Yes : Answer::Ok;
    }
};

bool IsOneLine(std::string_view text) {
    for (const char c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            return false;
    }
    return text.empty() || (text.front() != ' ' && text.back() != ' ');
}

void CheckShown(const FileAssociation& association) {
    Require(IsUtf8(association.description));
    Require(IsOneLine(association.description));
    Require(!association.mimeType.empty());
    Require(association.mimeType.find('/') != std::string::npos);
    Require(association.mimeType.find("..") == std::string::npos);
}

// A description that Add keeps as it is: one line of XML text, short enough.
bool IsCleanDescription(std::string_view text) {
    return IsXmlText(text) && IsOneLine(text) && Utf8Length(text) <= kDescriptionLimit;
}

// True when a list value of mimeapps.list names our entry among its items.
bool ListsOurs(std::string_view value) {
    const std::vector<std::string> items = SplitDesktopList(value);
    return std::find(items.begin(), items.end(), kHandlerId) != items.end();
}

struct Entry {
    std::string section, key, value;
};

std::vector<Entry> EntriesOf(const IniFile& file) {
    std::vector<Entry> entries;
    for (const std::string& section : file.Sections()) {
        for (const std::string& key : file.Keys(section))
            entries.push_back({section, key, file.ReadString(section, key)});
    }
    return entries;
}

bool IsOurKey(const Entry& entry, std::string_view type) {
    return (EqualsIgnoringCase(entry.section, kDefaultSection) ||
            EqualsIgnoringCase(entry.section, kAddedSection)) &&
           EqualsIgnoringCase(entry.key, type);
}

// Every key but our type's says what it said before.
void RequireOthersKept(const std::vector<Entry>& before, const fs::path& path,
                       std::string_view type) {
    const IniFile after(path);
    Require(after.ReadProblem().empty());
    for (const Entry& entry : before) {
        if (!IsOurKey(entry, type))
            Require(after.HasKey(entry.section, entry.key) &&
                    after.ReadString(entry.section, entry.key) == entry.value);
    }
}

}  // namespace

void FuzzMimeFiles(const std::uint8_t* data, std::size_t size) {
    const Scratch& scratch = Scratch::Get();
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    QuietTools tools;
    YesOperator op;
    FileAssociations associations(scratch.Folders(), fs::path(kProgram), tools);

    scratch.Reset();
    const fs::path globs = scratch.Write("home/data/mime/globs2", bytes);
    scratch.Write("system/mime/globs2", bytes + "\n50:text/x-any:*.any\n");
    scratch.Write("system/mime/text/x-any.xml", bytes);
    const fs::path package = scratch.Write("home/data/mime/packages/torq-spi-hex.xml", bytes);
    // Read once as a package the database has not been rebuilt from, once as one it has.
    for (const bool compiled : {false, true}) {
        if (compiled) {
            std::error_code error;
            fs::last_write_time(package, fs::last_write_time(globs) - std::chrono::seconds(5),
                                error);
        }
        for (const FileAssociation& association : associations.List()) {
            CheckShown(association);
            Require(association.ours && IsRegistrableExtension(association.extension));
        }
        for (const char* extension : {"hex", "any", "s19"}) {
            if (const auto registration = associations.Registration(extension))
                CheckShown(*registration);
        }
        const AssociationControls controls = associations.Controls("hex");
        Require(IsOneLine(controls.description));
    }

    // The bytes as a description: what Add takes comes back from the list, clean text as it
    // was typed, and the package written is XML text.
    scratch.Reset();
    if (associations.Add("hex", bytes, op)) {
        const std::vector<FileAssociation> list = associations.List();
        Require(list.size() == 1);
        CheckShown(list[0]);
        if (IsCleanDescription(bytes))
            Require(list[0].description == bytes);
        Require(IsXmlText(ReadSmallFile(associations.PackageFile("hex")).contents));
        Require(associations.Remove("hex", op));
        Require(associations.List().empty());
    } else {
        Require(!IsCleanDescription(bytes));
    }
}

void FuzzMimeAppsList(const std::uint8_t* data, std::size_t size) {
    const Scratch& scratch = Scratch::Get();
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    QuietTools tools;
    YesOperator op;
    FileAssociations associations(scratch.Folders(), fs::path(kProgram), tools);
    const std::string type = FileAssociations::MimeTypeFor("bin");

    scratch.Reset();
    const fs::path path = scratch.Write("home/config/mimeapps.list", bytes);
    const IniFile before(path);
    const std::vector<Entry> entries = EntriesOf(before);
    const bool added = associations.Add("bin", "Raw", op);
    if (!before.ReadProblem().empty()) {
        // Not read whole: never rewritten, and nothing registered.
        Require(!added);
        Require(ReadSmallFile(path).contents == bytes);
        Require(associations.List().empty());
        return;
    }
    Require(added);
    RequireOthersKept(entries, path, type);
    const IniFile withUs(path);
    Require(withUs.ReadString(kDefaultSection, type).starts_with(kHandlerId));
    Require(ListsOurs(withUs.ReadString(kAddedSection, type)));

    Require(associations.Remove("bin", op));
    RequireOthersKept(entries, path, type);
    const IniFile after(path);
    // An earlier default comes back as it was written (a carriage return inside it as a blank:
    // no value written may break its line).
    std::string earlier = before.ReadString(kDefaultSection, type);
    std::replace(earlier.begin(), earlier.end(), '\r', ' ');
    const bool hadOthers = earlier.find_first_not_of("; \t") != std::string::npos;
    if (hadOthers && !ListsOurs(earlier) && earlier.size() + kHandlerId.size() < kIniValueLimit) {
        Require(after.ReadString(kDefaultSection, type) == earlier);
    }
    Require(!ListsOurs(after.ReadString(kDefaultSection, type)));
    Require(!ListsOurs(after.ReadString(kAddedSection, type)));
}

void FuzzDesktopEntry(const std::uint8_t* data, std::size_t size) {
    const Scratch& scratch = Scratch::Get();
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    QuietTools tools;
    YesOperator op;
    SendToEntry sendTo(scratch.Folders(), fs::path(kProgram), tools);
    const std::string exec = ExecLineForFile(fs::path(kProgram));

    scratch.Reset();
    const fs::path entry = scratch.Write("home/data/applications/TORQ-SPI/TORQ-SPI.desktop", bytes);
    Require(entry == sendTo.EntryPath());
    Require(sendTo.Apply(true, op));
    const std::string after = ReadSmallFile(entry).contents;
    // One that starts this program stays as it was; any other is ours now.
    if (DesktopEntryKey(bytes, "Exec") == exec)
        Require(after == bytes);
    Require(DesktopEntryKey(after, "Exec") == exec);
    Require(sendTo.Apply(true, op));
    Require(ReadSmallFile(entry).contents == after);
    Require(sendTo.Apply(false, op));
}

}  // namespace torq

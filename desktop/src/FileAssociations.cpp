#include "torq/desktop/FileAssociations.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <system_error>

#include "torq/devlib/Ini.h"
#include "torq/devlib/Text.h"

namespace torq {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kTypePrefix = "application/x-torq-spi-";
constexpr std::string_view kPackagePrefix = "torq-spi-";
constexpr std::string_view kPackageSuffix = ".xml";
constexpr std::string_view kHandlerId = "torq-spi-associations.desktop";
constexpr std::string_view kDefaultSection = "Default Applications";
constexpr std::string_view kAddedSection = "Added Associations";
// Above every weight the shared MIME database gives a glob, so our type is the one the desktop
// sees for the extension, as a registry association would be.
constexpr int kGlobWeight = 90;
// Our package files are a few hundred bytes; anything much larger is not ours to read.
constexpr std::uint64_t kPackageFileLimit = 64 * 1024;

bool IsExtensionCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-' || c == '+' ||
           c == '.';
}

// A MIME type name that is safe to use as a path below a mime folder: "media/subtype" of token
// characters, each part starting with a letter or digit.
bool IsMimeTypeName(std::string_view type) {
    const std::size_t slash = type.find('/');
    if (slash == std::string_view::npos || type.size() > 255)
        return false;
    const auto part = [](std::string_view text) {
        if (text.empty() || !std::isalnum(static_cast<unsigned char>(text.front())))
            return false;
        return std::all_of(text.begin(), text.end(), [](char c) {
            return std::isalnum(static_cast<unsigned char>(c)) ||
                   std::string_view("!#$&^_.+-").find(c) != std::string_view::npos;
        });
    };
    return part(type.substr(0, slash)) && part(type.substr(slash + 1));
}

// One line of a globs2 file: weight:type:glob[:flags[:...]].
struct GlobLine {
    std::string_view type;
    std::string_view glob;
    std::int32_t weight = 0;
    bool caseSensitive = false;
};

std::optional<GlobLine> ParseGlobLine(std::string_view line) {
    if (line.empty() || line.front() == '#')
        return std::nullopt;
    const std::size_t first = line.find(':');
    const std::size_t second = first == std::string_view::npos ? first : line.find(':', first + 1);
    if (second == std::string_view::npos)
        return std::nullopt;
    const auto weight = ParseIniInteger(line.substr(0, first));
    if (!weight)
        return std::nullopt;
    const std::string_view tail = line.substr(second + 1);
    const std::size_t third = tail.find(':');
    const std::string_view flags =
        third == std::string_view::npos ? std::string_view() : tail.substr(third + 1);
    return GlobLine{line.substr(first + 1, second - first - 1), tail.substr(0, third), *weight,
                    flags.find("cs") != std::string_view::npos};
}

// Calls `each` with every glob line of a globs2 file's text.
template <typename Each>
void ForEachGlobLine(std::string_view text, Each each) {
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (const auto glob = ParseGlobLine(line))
            each(*glob);
    }
}

// The text of the first element <name> without attributes (the untranslated one), unescaped.
std::optional<std::string> ElementText(std::string_view xml, std::string_view name) {
    const std::string open = "<" + std::string(name) + ">";
    const std::string close = "</" + std::string(name) + ">";
    const std::size_t start = xml.find(open);
    if (start == std::string_view::npos)
        return std::nullopt;
    const std::size_t end = xml.find(close, start + open.size());
    if (end == std::string_view::npos)
        return std::nullopt;
    return XmlUnescaped(xml.substr(start + open.size(), end - start - open.size()));
}

// A description as one clean line: control characters become blanks, blanks at the ends go.
std::string OneLineDescription(std::string_view text) {
    std::string line;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        line += byte < 0x20 || byte == 0x7F ? ' ' : c;
    }
    const std::size_t first = line.find_first_not_of(' ');
    if (first == std::string::npos)
        return {};
    return line.substr(first, line.find_last_not_of(' ') - first + 1);
}

std::string JoinList(const std::vector<std::string>& items, bool trailingSemicolon) {
    std::string value;
    for (const std::string& item : items) {
        if (!value.empty())
            value += ';';
        value += item;
    }
    if (trailingSemicolon && !value.empty())
        value += ';';
    return value;
}

std::string PackageText(std::string_view extension, std::string_view description) {
    std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    // Nothing the operator typed goes into the comment: "--" is not allowed inside one.
    text += "<!-- A file association of TORQ-SPI; removed with it. -->\n";
    text += "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n";
    text += "  <mime-type type=\"" + FileAssociations::MimeTypeFor(extension) + "\">\n";
    if (!description.empty())
        text += "    <comment>" + XmlEscaped(description) + "</comment>\n";
    text += "    <glob pattern=\"*." + std::string(extension) + "\" weight=\"" +
            std::to_string(kGlobWeight) + "\"/>\n";
    text += "  </mime-type>\n</mime-info>\n";
    return text;
}

std::string ErrnoText() {
    return std::strerror(errno);
}

// The files are in place but the desktop reads its compiled database, which only the tool
// rebuilds: the operator is told rather than left to believe the change took effect.
void TellNotRefreshed(const XdgFolders& folders, std::string_view extension, std::string_view done,
                      Operator& op) {
    op.Tell(Severity::Warning,
            "The file association of \"." + std::string(extension) + "\" is " + std::string(done) +
                ", but the desktop will not see the change until update-mime-database has run on " +
                folders.MimeFolder().string() +
                " (it could not be run here; it comes with shared-mime-info: once that is "
                "installed, run \"update-mime-database " +
                folders.MimeFolder().string() + "\").");
}

}  // namespace

std::string ExtensionFieldText(std::string_view typed) {
    std::string text;
    for (char c : typed) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (!IsExtensionCharacter(c) || (c == '.' && text.empty()))
            continue;
        if (text.size() == kExtensionLimit)
            break;
        text += c;
    }
    return text;
}

bool IsRegistrableExtension(std::string_view extension) {
    return !extension.empty() && extension.size() <= kExtensionLimit &&
           std::all_of(extension.begin(), extension.end(), IsExtensionCharacter) &&
           extension.front() != '.' && extension.back() != '.' &&
           extension.find("..") == std::string_view::npos;
}

FileAssociations::FileAssociations(XdgFolders folders, fs::path program, DesktopTools& tools)
    : folders_(std::move(folders)), program_(std::move(program)), tools_(tools) {}

std::string FileAssociations::MimeTypeFor(std::string_view extension) {
    return std::string(kTypePrefix) + std::string(extension);
}

fs::path FileAssociations::PackageFile(std::string_view extension) const {
    if (folders_.dataHome.empty())
        return {};
    return folders_.MimeFolder() / "packages" /
           (std::string(kPackagePrefix) + std::string(extension) + std::string(kPackageSuffix));
}

fs::path FileAssociations::HandlerEntry() const {
    const fs::path applications = folders_.Applications();
    return applications.empty() ? fs::path() : applications / kHandlerId;
}

fs::path FileAssociations::MimeAppsList() const {
    fs::path path = folders_.MimeAppsList();
    std::error_code error;
    // A list kept elsewhere behind a link (a dotfiles folder) is changed where it is, not
    // replaced by a file of its own.
    if (!path.empty() && fs::is_symlink(path, error)) {
        fs::path target = fs::weakly_canonical(path, error);
        if (!error)
            path = std::move(target);
    }
    return path;
}

std::vector<FileAssociation> FileAssociations::List() const {
    std::vector<FileAssociation> list;
    if (folders_.dataHome.empty())
        return list;
    std::error_code error;
    for (fs::directory_iterator it(folders_.MimeFolder() / "packages", error), end;
         !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.size() <= kPackagePrefix.size() + kPackageSuffix.size() ||
            !name.starts_with(kPackagePrefix) || !name.ends_with(kPackageSuffix)) {
            continue;
        }
        const std::string extension = name.substr(
            kPackagePrefix.size(), name.size() - kPackagePrefix.size() - kPackageSuffix.size());
        if (!IsRegistrableExtension(extension))
            continue;
        if (auto association = Ours(extension))
            list.push_back(std::move(*association));
    }
    std::sort(list.begin(), list.end(),
              [](const auto& a, const auto& b) { return a.extension < b.extension; });
    return list;
}

std::optional<FileAssociation> FileAssociations::Ours(std::string_view extension) const {
    const fs::path package = PackageFile(extension);
    if (package.empty())
        return std::nullopt;
    const SmallFile file = ReadSmallFile(package, kPackageFileLimit);
    if (!file.exists || !InUserDatabase(extension, package))
        return std::nullopt;
    // A damaged package the database has not been rebuilt from yet is listed, so it can be
    // replaced or removed before the tool leaves it out.
    FileAssociation association;
    association.extension = std::string(extension);
    association.mimeType = MimeTypeFor(extension);
    association.ours = true;
    if (file.problem.empty()) {
        const std::string description = ElementText(file.contents, "comment").value_or("");
        if (IsUtf8(description))
            association.description = OneLineDescription(description);
    }
    return association;
}

bool FileAssociations::InUserDatabase(std::string_view extension, const fs::path& package) const {
    // update-mime-database skips a package it cannot parse and compiles the rest: our type is in
    // its globs2 exactly when it took our package. A package newer than that file has not been
    // through the tool yet.
    const fs::path globs = folders_.MimeFolder() / "globs2";
    std::error_code error;
    const auto compiled = fs::last_write_time(globs, error);
    if (error)
        return true;
    const auto written = fs::last_write_time(package, error);
    if (error || written > compiled)
        return true;
    const SmallFile file = ReadSmallFile(globs);
    if (!file.problem.empty())
        return true;
    const std::string type = MimeTypeFor(extension);
    const std::string pattern = "*." + std::string(extension);
    bool found = false;
    ForEachGlobLine(file.contents, [&](const GlobLine& line) {
        found = found || (line.type == type && line.glob == pattern);
    });
    return found;
}

std::optional<FileAssociation> FileAssociations::Others(std::string_view extension) const {
    std::vector<fs::path> mimeFolders;
    if (!folders_.dataHome.empty())
        mimeFolders.push_back(folders_.MimeFolder());
    for (const fs::path& dir : folders_.dataDirs)
        mimeFolders.push_back(dir / "mime");

    // The glob of the highest weight wins, as in the shared MIME database; on a tie, the
    // first folder.
    const std::string pattern = "*." + std::string(extension);
    std::string bestType;
    int bestWeight = -1;
    for (const fs::path& mime : mimeFolders) {
        const SmallFile globs = ReadSmallFile(mime / "globs2");
        if (!globs.problem.empty())
            continue;
        ForEachGlobLine(globs.contents, [&](const GlobLine& line) {
            const bool matches =
                line.caseSensitive ? line.glob == pattern : EqualsIgnoringCase(line.glob, pattern);
            if (!matches || line.type.starts_with(kTypePrefix) || !IsMimeTypeName(line.type))
                return;
            if (line.weight > bestWeight) {
                bestWeight = line.weight;
                bestType = std::string(line.type);
            }
        });
    }
    if (bestType.empty())
        return std::nullopt;

    FileAssociation association;
    association.extension = std::string(extension);
    association.mimeType = bestType;
    association.description = bestType;  // when no folder describes the type
    for (const fs::path& mime : mimeFolders) {
        const SmallFile file = ReadSmallFile(mime / (bestType + ".xml"));
        if (!file.exists || !file.problem.empty())
            continue;
        if (const auto comment = ElementText(file.contents, "comment");
            comment && IsUtf8(*comment)) {
            association.description = OneLineDescription(*comment);
            break;
        }
    }
    return association;
}

std::optional<FileAssociation> FileAssociations::Registration(std::string_view extension) const {
    if (auto ours = Ours(extension))
        return ours;
    return Others(extension);
}

AssociationControls FileAssociations::Controls(std::string_view extensionField) const {
    AssociationControls controls;
    const std::string extension = ExtensionFieldText(extensionField);
    controls.addEnabled = IsRegistrableExtension(extension);
    if (!controls.addEnabled)
        return controls;
    if (const auto registration = Registration(extension)) {
        controls.addCaption = kAssociationReplaceCaption;
        controls.description = registration->description;
        controls.removeEnabled = registration->ours;
    }
    return controls;
}

bool FileAssociations::WriteHandlerEntry(std::string& problem) const {
    const fs::path entry = HandlerEntry();
    std::vector<std::string> types;
    for (const FileAssociation& association : List())
        types.push_back(association.mimeType);
    std::error_code error;
    if (types.empty()) {
        fs::remove(entry, error);
        if (error)
            problem = "cannot remove " + entry.string() + ": " + error.message();
        return !error;
    }
    ApplicationEntry text;
    text.name = "TORQ-SPI";
    text.comment = "Opens the files associated with TORQ-SPI";
    text.program = program_;
    text.mimeTypes = std::move(types);
    text.noDisplay = true;
    fs::create_directories(entry.parent_path(), error);
    if (error || !WriteFileAtomically(entry, text.Text())) {
        problem = "cannot write " + entry.string() + ": " + (error ? error.message() : ErrnoText());
        return false;
    }
    return true;
}

bool FileAssociations::SetDefaultApplication(const std::string& mimeType,
                                             std::string& problem) const {
    const fs::path path = MimeAppsList();
    std::error_code error;
    fs::create_directories(path.parent_path(), error);
    IniFile list(path);
    // The list's first installed entry is the default. One the type had (another program, chosen
    // after an earlier registration of ours) stays, as written, behind ours: Remove takes ours
    // off the front and so gives it back, and the desktop falls back to it should our entry go.
    const std::string defaults = list.ReadString(kDefaultSection, mimeType);
    std::vector<std::string> items = SplitDesktopList(defaults);
    if (items.empty()) {
        list.WriteString(kDefaultSection, mimeType, kHandlerId);
    } else if (std::find(items.begin(), items.end(), kHandlerId) == items.end()) {
        list.WriteString(kDefaultSection, mimeType, std::string(kHandlerId) + ";" + defaults);
    } else if (items.front() != kHandlerId) {
        std::erase(items, kHandlerId);
        items.insert(items.begin(), std::string(kHandlerId));
        list.WriteString(kDefaultSection, mimeType, JoinList(items, false));
    }
    std::vector<std::string> added = SplitDesktopList(list.ReadString(kAddedSection, mimeType));
    if (std::find(added.begin(), added.end(), kHandlerId) == added.end()) {
        added.insert(added.begin(), std::string(kHandlerId));
        list.WriteString(kAddedSection, mimeType, JoinList(added, true));
    }
    if (!list.Save()) {
        problem = list.SaveError();
        return false;
    }
    return true;
}

bool FileAssociations::ClearDefaultApplication(const std::string& mimeType,
                                               std::string& problem) const {
    IniFile list(MimeAppsList());
    bool changed = false;
    for (const std::string_view section : {kDefaultSection, kAddedSection}) {
        if (!list.HasKey(section, mimeType))
            continue;
        const std::string value = list.ReadString(section, mimeType);
        // What followed ours in front goes back as it was written.
        const std::string front = std::string(kHandlerId) + ";";
        if (section == kDefaultSection && value.starts_with(front) &&
            !SplitDesktopList(value.substr(front.size())).empty()) {
            list.WriteString(section, mimeType, value.substr(front.size()));
            changed = true;
            continue;
        }
        std::vector<std::string> items = SplitDesktopList(value);
        if (std::erase(items, kHandlerId) == 0)
            continue;
        changed = true;
        if (items.empty())
            list.EraseKey(section, mimeType);
        else
            list.WriteString(section, mimeType, JoinList(items, section == kAddedSection));
    }
    if (changed && !list.Save()) {
        problem = list.SaveError();
        return false;
    }
    return true;
}

FileAssociations::ListEntries FileAssociations::ReadListEntries(const std::string& mimeType) const {
    const IniFile list(MimeAppsList());
    ListEntries entries;
    if (list.HasKey(kDefaultSection, mimeType))
        entries.defaults = list.ReadString(kDefaultSection, mimeType);
    if (list.HasKey(kAddedSection, mimeType))
        entries.added = list.ReadString(kAddedSection, mimeType);
    return entries;
}

bool FileAssociations::WriteListEntries(const std::string& mimeType, const ListEntries& entries,
                                        std::string& problem) const {
    IniFile list(MimeAppsList());
    for (const auto& [section, value] :
         {std::pair{kDefaultSection, entries.defaults}, std::pair{kAddedSection, entries.added}}) {
        if (value)
            list.WriteString(section, mimeType, *value);
        else
            list.EraseKey(section, mimeType);
    }
    if (!list.Save()) {
        problem = list.SaveError();
        return false;
    }
    return true;
}

bool FileAssociations::Add(std::string_view extensionField, std::string_view description,
                           Operator& op) {
    const std::string extension = ExtensionFieldText(extensionField);
    if (extension.empty())
        return false;
    const auto refuse = [&](const std::string& why) {
        op.Tell(Severity::Error,
                "The file association of \"." + extension + "\" cannot be registered: " + why);
        return false;
    };
    if (!IsRegistrableExtension(extension)) {
        return refuse(
            "an extension is letters, digits, \"_\", \"-\" and \"+\", with single "
            "dots between them, at most " +
            std::to_string(kExtensionLimit) + " characters");
    }
    if (folders_.dataHome.empty() || folders_.configHome.empty())
        return refuse("the desktop's folders are unknown (HOME and XDG_DATA_HOME are not set)");
    if (!IsDesktopEntryPath(program_))
        return refuse(UnnameableProgramText(program_));
    const std::string text = OneLineDescription(description);
    if (!IsUtf8(text))
        return refuse("the description is not UTF-8 text");
    if (!IsXmlText(text)) {
        return refuse("the description holds a character XML does not allow (U+FFFE or U+FFFF)");
    }
    if (Utf8Length(text) > kDescriptionLimit) {
        return refuse("the description is longer than " + std::to_string(kDescriptionLimit) +
                      " characters");
    }
    if (Registration(extension)) {
        if (op.Ask(Severity::Question, kAssociationReplaceQuestion, Buttons::YesNo) !=
                Answer::Yes ||
            op.Ask(Severity::Question, kAssociationReplaceConfirmation, Buttons::YesNo) !=
                Answer::Yes) {
            return false;
        }
    }

    const std::string mimeType = MimeTypeFor(extension);
    const fs::path package = PackageFile(extension);
    const SmallFile before = ReadSmallFile(package, kPackageFileLimit);
    const ListEntries listBefore = ReadListEntries(mimeType);
    // Puts the files back as they were, when a later step fails; the database is rebuilt again
    // when it was rebuilt with our package.
    const auto restore = [&](bool rebuilt) {
        std::error_code ignored;
        if (before.exists && before.problem.empty())
            WriteFileAtomically(package, before.contents);
        else if (!before.exists)
            fs::remove(package, ignored);
        if (rebuilt)
            RefreshMimeDatabase(folders_, tools_);
        std::string unused;
        WriteHandlerEntry(unused);
        if (ReadListEntries(mimeType) != listBefore)
            WriteListEntries(mimeType, listBefore, unused);
    };
    std::error_code error;
    fs::create_directories(package.parent_path(), error);
    if (error)
        return refuse("cannot create " + package.parent_path().string() + ": " + error.message());
    if (!WriteFileAtomically(package, PackageText(extension, text)))
        return refuse("cannot write " + package.string() + ": " + ErrnoText());
    std::string problem;
    if (!WriteHandlerEntry(problem) || !SetDefaultApplication(mimeType, problem)) {
        restore(false);
        return refuse(problem);
    }
    if (RefreshMimeDatabase(folders_, tools_)) {
        // The tool skips a package it cannot read and succeeds all the same: what counts is
        // whether our type is in the database now.
        if (!Ours(extension)) {
            restore(true);
            return refuse("update-mime-database left " + package.string() +
                          " out of the desktop's MIME database, so the desktop would not know "
                          "the extension");
        }
    } else {
        TellNotRefreshed(folders_, extension, "registered", op);
    }
    RefreshApplicationIndex(folders_, tools_);
    return true;
}

bool FileAssociations::Remove(std::string_view extensionField, Operator& op) {
    const std::string extension = ExtensionFieldText(extensionField);
    if (!IsRegistrableExtension(extension) || !Ours(extension))
        return false;
    if (op.Ask(Severity::Question, kAssociationRemoveQuestion, Buttons::YesNo) != Answer::Yes)
        return false;
    const auto refuse = [&](const std::string& why) {
        op.Tell(Severity::Error,
                "The file association of \"." + extension + "\" cannot be removed: " + why);
        return false;
    };
    std::string problem;
    if (!ClearDefaultApplication(MimeTypeFor(extension), problem))
        return refuse(problem);
    const fs::path package = PackageFile(extension);
    std::error_code error;
    fs::remove(package, error);
    if (error)
        return refuse("cannot remove " + package.string() + ": " + error.message());
    if (!WriteHandlerEntry(problem))
        return refuse(problem);
    if (!RefreshMimeDatabase(folders_, tools_))
        TellNotRefreshed(folders_, extension, "removed", op);
    RefreshApplicationIndex(folders_, tools_);
    return true;
}

}  // namespace torq

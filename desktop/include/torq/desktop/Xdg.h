// The freedesktop.org folders the desktop integration writes into, the desktop's own tools, and
// the text rules of desktop entry files.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace torq {

// Where the desktop keeps a user's data and configuration. Always passed in, so tests work in a
// scratch folder and never touch the real desktop.
struct XdgFolders {
    std::filesystem::path dataHome;               // empty when it cannot be known
    std::filesystem::path configHome;             // empty when it cannot be known
    std::vector<std::filesystem::path> dataDirs;  // the system's data folders, most important first

    // $XDG_DATA_HOME (else ~/.local/share), $XDG_CONFIG_HOME (else ~/.config), $XDG_DATA_DIRS
    // (else /usr/local/share and /usr/share). A relative path in a variable is ignored, as the
    // base directory rules require.
    static XdgFolders FromEnvironment();

    // Each empty when its base folder is unknown.
    std::filesystem::path Applications() const;  // <data home>/applications
    std::filesystem::path MimeFolder() const;    // <data home>/mime
    std::filesystem::path MimeAppsList() const;  // <config home>/mimeapps.list
};

// The desktop's own tools, which rebuild its caches after our files changed. The real ones run
// when installed and are skipped quietly when not; tests record the calls instead.
class DesktopTools {
  public:
    virtual ~DesktopTools() = default;
    // Runs a tool (argv[0] looked up in PATH) and waits for it. False when it is not installed,
    // did not finish in time or failed; never an error for the caller, since a cache the desktop
    // rebuilds itself later is no reason to refuse the change.
    virtual bool Run(const std::vector<std::string>& argv) = 0;
};

class SystemDesktopTools final : public DesktopTools {
  public:
    bool Run(const std::vector<std::string>& argv) override;
    static SystemDesktopTools& Instance();
};

// This executable's path as the system knows it, every byte of it (a toolkit's file name may have
// replaced the bytes that are not UTF-8); `fallback` when it cannot be known.
std::filesystem::path RunningProgram(const std::filesystem::path& fallback);

// Rebuilds the user's MIME database after one of its package files changed. False when
// update-mime-database could not be run (missing or failed): until it runs, the desktop does not
// see the change.
bool RefreshMimeDatabase(const XdgFolders& folders, DesktopTools& tools);
// Refreshes the application index of the user's applications folder, only when it has one:
// creating one would leave it to go stale when other programs add entries without refreshing it.
void RefreshApplicationIndex(const XdgFolders& folders, DesktopTools& tools);

// The icon name every entry we write shows (installed with the program).
inline constexpr std::string_view kIconName = "org.torqspi.TorqSpi";

// A value of type string or localestring in a desktop entry: backslash, line breaks and tabs
// escaped, so the value stays on its line.
std::string DesktopEntryValue(std::string_view text);

// True when a desktop entry can name the program: its path is UTF-8 text (an entry has no way to
// spell other bytes) without control characters (a string value cannot hold them).
bool IsDesktopEntryPath(const std::filesystem::path& program);
// Why no desktop entry can name the program, for a message; said when IsDesktopEntryPath is false.
std::string UnnameableProgramText(const std::filesystem::path& program);

// The items of a list value (a desktop entry's MimeType, a line of mimeapps.list): the texts
// between semicolons, blanks and tabs around them trimmed, empty ones left out.
std::vector<std::string> SplitDesktopList(std::string_view value);

// The Exec key for running `program` with one file: the program path quoted as the Exec rules
// demand (so blanks, quotes, "$" and "%" in it survive), then " %f".
std::string ExecLineForFile(const std::filesystem::path& program);

// The value of `key` in the "Desktop Entry" group of a desktop entry file, as written (escapes
// kept); the first one when the key is there twice. Nothing when the group or the key is missing.
std::optional<std::string> DesktopEntryKey(std::string_view entry, std::string_view key);

// A desktop entry of type Application that opens one file with `program`.
struct ApplicationEntry {
    std::string name;
    std::string comment;
    std::filesystem::path program;
    std::vector<std::string> mimeTypes;
    bool noDisplay = false;  // kept out of the application menus; still offered to open files

    std::string Text() const;
};

// Text for an XML element or attribute value: &, <, >, " and ' escaped.
std::string XmlEscaped(std::string_view text);
// The reverse, for the five named entities and numeric character references; anything it does
// not know stays as it is.
std::string XmlUnescaped(std::string_view text);

// True when text is well-formed UTF-8 (the XML and desktop files we write must be).
bool IsUtf8(std::string_view text);
// True when text is well-formed UTF-8 holding only characters XML 1.0 allows: no control
// characters other than tab, line feed and carriage return, no U+FFFE or U+FFFF.
bool IsXmlText(std::string_view text);
// Text for a message to the operator: what is UTF-8 stays, every other byte is spelled "\xNN".
std::string TextForMessage(std::string_view text);
// How many characters well-formed UTF-8 text holds.
std::size_t Utf8Length(std::string_view text);

}  // namespace torq

#include "torq/desktop/Xdg.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <thread>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "torq/devlib/Text.h"

extern char** environ;

namespace torq {

namespace fs = std::filesystem;

namespace {

// An absolute path from the environment, or nothing (unset, empty or relative values are
// ignored).
fs::path AbsoluteFromEnvironment(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value != '/')
        return {};
    return fs::path(value);
}

fs::path UnderHome(const char* relative) {
    const fs::path home = AbsoluteFromEnvironment("HOME");
    return home.empty() ? fs::path() : home / relative;
}

// How long a cache tool may take before it is given up on; the window waits for it.
constexpr auto kToolTimeLimit = std::chrono::seconds(10);

}  // namespace

XdgFolders XdgFolders::FromEnvironment() {
    XdgFolders folders;
    folders.dataHome = AbsoluteFromEnvironment("XDG_DATA_HOME");
    if (folders.dataHome.empty())
        folders.dataHome = UnderHome(".local/share");
    folders.configHome = AbsoluteFromEnvironment("XDG_CONFIG_HOME");
    if (folders.configHome.empty())
        folders.configHome = UnderHome(".config");
    if (const char* dirs = std::getenv("XDG_DATA_DIRS"); dirs != nullptr) {
        std::string_view rest = dirs;
        while (!rest.empty()) {
            const std::size_t colon = rest.find(':');
            const std::string_view one = rest.substr(0, colon);
            if (!one.empty() && one.front() == '/')
                folders.dataDirs.emplace_back(one);
            rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
        }
    }
    if (folders.dataDirs.empty())
        folders.dataDirs = {"/usr/local/share", "/usr/share"};
    return folders;
}

fs::path XdgFolders::Applications() const {
    return dataHome.empty() ? fs::path() : dataHome / "applications";
}

fs::path XdgFolders::MimeFolder() const {
    return dataHome.empty() ? fs::path() : dataHome / "mime";
}

fs::path XdgFolders::MimeAppsList() const {
    return configHome.empty() ? fs::path() : configHome / "mimeapps.list";
}

bool SystemDesktopTools::Run(const std::vector<std::string>& argv) {
    if (argv.empty())
        return false;
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);

    // The tools talk to nobody: their output would only land in the window's terminal.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t child = 0;
    const int spawned = posix_spawnp(&child, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return false;

    const auto deadline = std::chrono::steady_clock::now() + kToolTimeLimit;
    for (;;) {
        int status = 0;
        const pid_t done = ::waitpid(child, &status, WNOHANG);
        if (done == child)
            return WIFEXITED(status) && WEXITSTATUS(status) == 0;
        if (done < 0 && errno != EINTR)
            return false;
        if (std::chrono::steady_clock::now() >= deadline) {
            ::kill(child, SIGKILL);
            while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
            }
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

SystemDesktopTools& SystemDesktopTools::Instance() {
    static SystemDesktopTools tools;
    return tools;
}

fs::path RunningProgram(const fs::path& fallback) {
    std::error_code error;
    fs::path program = fs::read_symlink("/proc/self/exe", error);
    // A program replaced while it runs reads as "<path> (deleted)", which starts nothing.
    if (error || !program.is_absolute() || !fs::is_regular_file(program, error))
        return fallback;
    return program;
}

bool RefreshMimeDatabase(const XdgFolders& folders, DesktopTools& tools) {
    return !folders.dataHome.empty() &&
           tools.Run({"update-mime-database", folders.MimeFolder().string()});
}

void RefreshApplicationIndex(const XdgFolders& folders, DesktopTools& tools) {
    const fs::path applications = folders.Applications();
    std::error_code error;
    if (!applications.empty() && fs::exists(applications / "mimeinfo.cache", error))
        tools.Run({"update-desktop-database", "--quiet", applications.string()});
}

std::string DesktopEntryValue(std::string_view text) {
    std::string value;
    for (const char c : text) {
        switch (c) {
            case '\\':
                value += "\\\\";
                break;
            case '\n':
                value += "\\n";
                break;
            case '\r':
                value += "\\r";
                break;
            case '\t':
                value += "\\t";
                break;
            default:
                value += c;
        }
    }
    return value;
}

std::vector<std::string> SplitDesktopList(std::string_view value) {
    std::vector<std::string> items;
    while (!value.empty()) {
        const std::size_t semicolon = value.find(';');
        std::string_view item = value.substr(0, semicolon);
        while (!item.empty() && (item.front() == ' ' || item.front() == '\t'))
            item.remove_prefix(1);
        while (!item.empty() && (item.back() == ' ' || item.back() == '\t'))
            item.remove_suffix(1);
        if (!item.empty())
            items.emplace_back(item);
        value =
            semicolon == std::string_view::npos ? std::string_view() : value.substr(semicolon + 1);
    }
    return items;
}

bool IsDesktopEntryPath(const fs::path& program) {
    const std::string& text = program.native();
    return !text.empty() && IsUtf8(text) && std::none_of(text.begin(), text.end(), [](char c) {
        return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
    });
}

std::string UnnameableProgramText(const fs::path& program) {
    return "the program's path " + TextForMessage(program.native()) +
           " is not UTF-8 text or holds a control character, so no desktop entry can name it; "
           "move the program to a folder whose path is plain UTF-8 text";
}

std::optional<std::string> DesktopEntryKey(std::string_view entry, std::string_view key) {
    bool inGroup = false;
    while (!entry.empty()) {
        const std::size_t end = entry.find('\n');
        std::string_view line = entry.substr(0, end);
        entry = end == std::string_view::npos ? std::string_view() : entry.substr(end + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.starts_with('[')) {
            inGroup = line == "[Desktop Entry]";
            continue;
        }
        if (!inGroup || !line.starts_with(key))
            continue;
        std::string_view rest = line.substr(key.size());
        while (!rest.empty() && rest.front() == ' ')
            rest.remove_prefix(1);
        if (rest.empty() || rest.front() != '=')
            continue;
        rest.remove_prefix(1);
        while (!rest.empty() && rest.front() == ' ')
            rest.remove_prefix(1);
        return std::string(rest);
    }
    return std::nullopt;
}

std::string ExecLineForFile(const fs::path& program) {
    // Inside the quotes, '"', '`', '$' and '\' take a backslash; '%' is doubled since a single
    // one starts a field code. The string escape of the whole value comes on top.
    std::string quoted = "\"";
    for (const char c : program.string()) {
        if (c == '"' || c == '`' || c == '$' || c == '\\')
            quoted += '\\';
        if (c == '%')
            quoted += '%';
        quoted += c;
    }
    quoted += "\" %f";
    return DesktopEntryValue(quoted);
}

std::string ApplicationEntry::Text() const {
    std::string text = "[Desktop Entry]\nType=Application\n";
    text += "Name=" + DesktopEntryValue(name) + "\n";
    if (!comment.empty())
        text += "Comment=" + DesktopEntryValue(comment) + "\n";
    text += "Exec=" + ExecLineForFile(program) + "\n";
    text += "Icon=" + std::string(kIconName) + "\n";
    text += "Terminal=false\n";
    if (!mimeTypes.empty()) {
        text += "MimeType=";
        for (const std::string& type : mimeTypes)
            text += DesktopEntryValue(type) + ";";
        text += "\n";
    }
    if (noDisplay)
        text += "NoDisplay=true\n";
    return text;
}

std::string XmlEscaped(std::string_view text) {
    std::string escaped;
    for (const char c : text) {
        switch (c) {
            case '&':
                escaped += "&amp;";
                break;
            case '<':
                escaped += "&lt;";
                break;
            case '>':
                escaped += "&gt;";
                break;
            case '"':
                escaped += "&quot;";
                break;
            case '\'':
                escaped += "&apos;";
                break;
            default:
                escaped += c;
        }
    }
    return escaped;
}

namespace {

void AppendUtf8(std::string& out, std::uint32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// The character a reference between '&' and ';' stands for, when it is one we know.
bool DecodeReference(std::string_view name, std::string& out) {
    static constexpr std::pair<std::string_view, char> kNamed[] = {
        {"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
    for (const auto& [entity, c] : kNamed) {
        if (name == entity) {
            out += c;
            return true;
        }
    }
    if (name.size() < 2 || name.front() != '#')
        return false;
    const bool hex = name[1] == 'x' || name[1] == 'X';
    const std::string_view digits = name.substr(hex ? 2 : 1);
    if (digits.empty() || digits.size() > 8)
        return false;
    std::uint32_t code = 0;
    for (const char c : digits) {
        int value = -1;
        if (c >= '0' && c <= '9')
            value = c - '0';
        else if (hex && c >= 'a' && c <= 'f')
            value = c - 'a' + 10;
        else if (hex && c >= 'A' && c <= 'F')
            value = c - 'A' + 10;
        if (value < 0)
            return false;
        code = code * (hex ? 16 : 10) + static_cast<std::uint32_t>(value);
    }
    if (code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return false;
    AppendUtf8(out, code);
    return true;
}

}  // namespace

std::string XmlUnescaped(std::string_view text) {
    std::string out;
    while (!text.empty()) {
        const std::size_t amp = text.find('&');
        out.append(text.substr(0, amp));
        if (amp == std::string_view::npos)
            break;
        text.remove_prefix(amp);
        const std::size_t semicolon = text.find(';');
        if (semicolon != std::string_view::npos && semicolon <= 12 &&
            DecodeReference(text.substr(1, semicolon - 1), out)) {
            text.remove_prefix(semicolon + 1);
        } else {
            out += '&';
            text.remove_prefix(1);
        }
    }
    return out;
}

namespace {

// The character at text[i] and its length in bytes; nothing when the bytes there are not UTF-8
// (a stray or missing continuation byte, an overlong form, a surrogate, a value past U+10FFFF).
struct Utf8Character {
    std::uint32_t code;
    std::size_t length;
};

std::optional<Utf8Character> DecodeUtf8(std::string_view text, std::size_t i) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length = 0;
    std::uint32_t code = 0;
    if (lead < 0x80) {
        return Utf8Character{lead, 1};
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2;
        code = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        code = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        code = lead & 0x07;
    } else {
        return std::nullopt;
    }
    if (i + length > text.size())
        return std::nullopt;
    for (std::size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[i + k]);
        if ((next & 0xC0) != 0x80)
            return std::nullopt;
        code = (code << 6) | (next & 0x3F);
    }
    static constexpr std::uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < kSmallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return std::nullopt;
    return Utf8Character{code, length};
}

// Calls `each` with every character of the text; false at the first bytes that are not UTF-8 or
// when `each` says stop.
template <typename Each>
bool ForEachUtf8Character(std::string_view text, Each each) {
    for (std::size_t i = 0; i < text.size();) {
        const auto character = DecodeUtf8(text, i);
        if (!character || !each(character->code))
            return false;
        i += character->length;
    }
    return true;
}

}  // namespace

bool IsUtf8(std::string_view text) {
    return ForEachUtf8Character(text, [](std::uint32_t) { return true; });
}

bool IsXmlText(std::string_view text) {
    return ForEachUtf8Character(text, [](std::uint32_t code) {
        if (code < 0x20)
            return code == '\t' || code == '\n' || code == '\r';
        return code != 0xFFFE && code != 0xFFFF;
    });
}

std::size_t Utf8Length(std::string_view text) {
    std::size_t length = 0;
    ForEachUtf8Character(text, [&](std::uint32_t) { return ++length, true; });
    return length;
}

std::string TextForMessage(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        if (const auto character = DecodeUtf8(text, i)) {
            out.append(text.substr(i, character->length));
            i += character->length;
        } else {
            out += "\\x" + HexText(static_cast<unsigned char>(text[i]), 2);
            ++i;
        }
    }
    return out;
}

}  // namespace torq

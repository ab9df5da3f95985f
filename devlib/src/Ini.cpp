#include "torq/devlib/Ini.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <unordered_map>
#include <utility>

#include <sys/stat.h>
#include <unistd.h>

#include "torq/devlib/RegularFile.h"

namespace torq {

namespace {

std::string_view TrimBlanks(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return text;
}

}  // namespace

std::optional<std::int32_t> ParseIniInteger(std::string_view text) {
    text = TrimBlanks(text);
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    int base = 10;
    if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    } else if (!text.empty() && text[0] == '$') {
        base = 16;
        text.remove_prefix(1);
    }
    if (text.empty())
        return std::nullopt;
    std::uint64_t magnitude = 0;
    const auto [end, error] =
        std::from_chars(text.data(), text.data() + text.size(), magnitude, base);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    if (base == 16) {
        if (magnitude > 0xFFFFFFFFull)
            return std::nullopt;
        auto bits = static_cast<std::uint32_t>(magnitude);
        if (negative)
            bits = 0u - bits;
        return static_cast<std::int32_t>(bits);
    }
    if (negative) {
        if (magnitude > 0x80000000ull)
            return std::nullopt;
        return static_cast<std::int32_t>(-static_cast<std::int64_t>(magnitude));
    }
    if (magnitude > 0x7FFFFFFFull)
        return std::nullopt;
    return static_cast<std::int32_t>(magnitude);
}

std::string NumberedKey(unsigned n) {
    char text[16];
    std::snprintf(text, sizeof text, "%04X", n);
    return text;
}

SmallFile ReadSmallFile(const std::filesystem::path& path, std::uint64_t limit) {
    SmallFile file;
    io::OpenedFile opened = io::OpenRegularFile(path, io::FileAccess::Read);
    file.exists = !opened.missing;
    if (!opened.IsOpen()) {
        // A missing file is no problem: it reads as empty.
        if (file.exists)
            file.problem = std::move(opened.problem);
        return file;
    }
    const std::string where = path.string();
    const auto tooLarge = [&] {
        file.contents.clear();
        file.problem = where + " is larger than " + std::to_string(limit) + " bytes";
    };
    if (opened.length > limit) {
        tooLarge();
        return file;
    }
    file.contents.resize(static_cast<std::size_t>(opened.length));
    std::size_t used = 0;
    for (;;) {
        // One byte more than the limit allows, to notice a file that grew while it was read.
        if (used == file.contents.size()) {
            if (used > limit) {
                tooLarge();
                break;
            }
            file.contents.resize(std::min<std::uint64_t>(limit + 1, used + 4096));
        }
        const ssize_t got =
            ::read(opened.fd.Get(), file.contents.data() + used, file.contents.size() - used);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            file.problem = where + " cannot be read: " + std::strerror(errno);
            break;
        }
        if (got == 0)
            break;
        used += static_cast<std::size_t>(got);
    }
    if (file.problem.empty())
        file.contents.resize(used);
    return file;
}

namespace {

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

std::string Lower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return lower;
}

// Line breaks and NUL bytes written into a file would change its lines.
std::string OneLine(std::string_view text) {
    std::string line(text);
    for (char& c : line) {
        if (c == '\r' || c == '\n' || c == '\0')
            c = ' ';
    }
    return line;
}

enum class Ending : std::uint8_t { None, Lf, CrLf };

struct Line {
    std::string text;  // without its line ending
    Ending ending = Ending::Lf;
};

std::optional<std::string_view> SectionNameOf(std::string_view text) {
    text = TrimBlanks(text);
    if (text.empty() || text.front() != '[')
        return std::nullopt;
    const std::size_t close = text.find(']');
    if (close == std::string_view::npos)
        return std::nullopt;
    return TrimBlanks(text.substr(1, close - 1));
}

// The key of a key line ("key=value"); empty for blank lines, comments and other lines.
std::string_view KeyOf(std::string_view text) {
    text = TrimBlanks(text);
    if (text.empty() || text.front() == ';' || text.front() == '#' || text.front() == '[')
        return {};
    const std::size_t equals = text.find('=');
    if (equals == std::string_view::npos)
        return {};
    return TrimBlanks(text.substr(0, equals));
}

std::string_view ValueOf(std::string_view text) {
    return TrimBlanks(text.substr(text.find('=') + 1));
}

}  // namespace

struct IniFile::Impl {
    // The lines of one section, from its header to the next; block 0 holds the lines before the
    // first header (no key there is reachable).
    struct Block {
        std::string name;
        Line header;
        std::vector<Line> lines;
        std::unordered_map<std::string, std::size_t> keys;  // lower-case key -> its first line
    };
    std::vector<Block> blocks{Block{}};
    std::unordered_map<std::string, std::vector<std::size_t>> sections;  // -> blocks, in order
    bool utf8Mark = false;
    Ending newline = Ending::Lf;

    void Parse(std::string_view data) {
        if (data.substr(0, kUtf8Mark.size()) == kUtf8Mark) {
            utf8Mark = true;
            data.remove_prefix(kUtf8Mark.size());
        }
        bool endingSeen = false;
        while (!data.empty()) {
            const std::size_t end = data.find('\n');
            Line line;
            if (end == std::string_view::npos) {
                line.text = std::string(data);
                line.ending = Ending::None;
                data = {};
            } else {
                std::string_view text = data.substr(0, end);
                line.ending = Ending::Lf;
                if (!text.empty() && text.back() == '\r') {
                    text.remove_suffix(1);
                    line.ending = Ending::CrLf;
                }
                if (!endingSeen)
                    newline = line.ending;
                endingSeen = true;
                line.text = std::string(text);
                data.remove_prefix(end + 1);
            }
            if (const auto name = SectionNameOf(line.text)) {
                Block block;
                block.name = std::string(*name);
                block.header = std::move(line);
                blocks.push_back(std::move(block));
            } else {
                blocks.back().lines.push_back(std::move(line));
            }
        }
        Reindex();
    }

    void IndexKeys(Block& block) {
        block.keys.clear();
        for (std::size_t i = 0; i < block.lines.size(); ++i) {
            const std::string_view key = KeyOf(block.lines[i].text);
            if (!key.empty())
                block.keys.emplace(Lower(key), i);
        }
    }

    void Reindex() {
        sections.clear();
        for (std::size_t b = 1; b < blocks.size(); ++b) {
            sections[Lower(blocks[b].name)].push_back(b);
            IndexKeys(blocks[b]);
        }
    }

    const std::vector<std::size_t>* BlocksOf(std::string_view section) const {
        const auto found = sections.find(Lower(section));
        return found == sections.end() ? nullptr : &found->second;
    }

    // The first line of a key, in file order over the section's blocks.
    std::pair<std::size_t, std::size_t> Find(std::string_view section, std::string_view key) const {
        if (const auto* list = BlocksOf(section)) {
            const std::string lower = Lower(key);
            for (const std::size_t b : *list) {
                const auto found = blocks[b].keys.find(lower);
                if (found != blocks[b].keys.end())
                    return {b, found->second};
            }
        }
        return {0, 0};
    }

    const Line* FindLine(std::string_view section, std::string_view key) const {
        const auto [b, i] = Find(section, key);
        return b == 0 ? nullptr : &blocks[b].lines[i];
    }

    void Write(std::string_view section, std::string_view key, std::string_view value) {
        if (const auto [b, i] = Find(section, key); b != 0) {
            Line& line = blocks[b].lines[i];
            line.text = std::string(KeyOf(line.text)) + "=" + std::string(value);
            return;
        }
        if (const auto* list = BlocksOf(section)) {
            // After the section's last line that is not blank, so the blank lines that part it
            // from the next section stay where they are.
            Block& block = blocks[list->front()];
            std::size_t at = block.lines.size();
            while (at > 0 && TrimBlanks(block.lines[at - 1].text).empty())
                --at;
            block.lines.insert(block.lines.begin() + static_cast<std::ptrdiff_t>(at),
                               Line{std::string(key) + "=" + std::string(value), newline});
            if (at + 1 == block.lines.size())
                block.keys.emplace(Lower(key), at);
            else
                IndexKeys(block);
            return;
        }
        Block block;
        block.name = std::string(section);
        block.header = Line{"[" + std::string(section) + "]", newline};
        block.lines.push_back(Line{std::string(key) + "=" + std::string(value), newline});
        IndexKeys(block);
        sections[Lower(section)].push_back(blocks.size());
        blocks.push_back(std::move(block));
    }

    std::string Serialise() {
        std::string text;
        if (utf8Mark)
            text.append(kUtf8Mark);
        // Only the very last line of the file may go without a line ending.
        const Line* last = nullptr;
        const auto put = [&](const Line& line) {
            if (last != nullptr) {
                text.append(last->ending == Ending::CrLf ||
                                    (last->ending == Ending::None && newline == Ending::CrLf)
                                ? "\r\n"
                                : "\n");
            }
            text.append(line.text);
            last = &line;
        };
        for (const Block& block : blocks) {
            if (&block != &blocks.front())
                put(block.header);
            for (const Line& line : block.lines)
                put(line);
        }
        if (last != nullptr && last->ending != Ending::None)
            text.append(last->ending == Ending::CrLf ? "\r\n" : "\n");
        return text;
    }
};

IniFile::IniFile(std::filesystem::path path) : IniFile(std::move(path), true) {}

IniFile IniFile::Fresh(std::filesystem::path path) {
    return IniFile(std::move(path), false);
}

IniFile::IniFile(std::filesystem::path path, bool read)
    : path_(std::move(path)), fresh_(!read), impl_(std::make_unique<Impl>()) {
    if (!read)
        return;
    SmallFile file = ReadSmallFile(path_);
    fileExisted_ = file.exists;
    readProblem_ = std::move(file.problem);
    std::string_view data = file.contents;
    // What follows a NUL byte is not looked at; the file is read up to it, and kept as it is.
    if (const std::size_t nul = data.find('\0'); nul != std::string_view::npos) {
        readProblem_ = path_.string() + " holds a NUL byte at offset " + std::to_string(nul);
        data = data.substr(0, nul);
    }
    impl_->Parse(data);
}

IniFile::~IniFile() = default;
IniFile::IniFile(IniFile&&) noexcept = default;
IniFile& IniFile::operator=(IniFile&&) noexcept = default;

std::string IniFile::ReadString(std::string_view section, std::string_view key,
                                std::string_view fallback) const {
    const Line* line = impl_->FindLine(section, key);
    if (line == nullptr)
        return std::string(fallback);
    std::string_view text = ValueOf(line->text);
    if (text.size() > kIniValueLimit)
        text = TrimBlanks(text.substr(0, kIniValueLimit));
    return std::string(text);
}

std::int32_t IniFile::ReadInteger(std::string_view section, std::string_view key,
                                  std::int32_t fallback) const {
    if (!HasKey(section, key))
        return fallback;
    return ParseIniInteger(ReadString(section, key)).value_or(fallback);
}

bool IniFile::ReadBool(std::string_view section, std::string_view key, bool fallback) const {
    return ReadInteger(section, key, fallback ? 1 : 0) != 0;
}

bool IniFile::HasKey(std::string_view section, std::string_view key) const {
    return impl_->FindLine(section, key) != nullptr;
}

bool IniFile::HasSection(std::string_view section) const {
    return impl_->BlocksOf(section) != nullptr;
}

std::vector<std::string> IniFile::Sections() const {
    std::vector<std::string> names;
    for (std::size_t b = 1; b < impl_->blocks.size(); ++b) {
        const auto& list = *impl_->BlocksOf(impl_->blocks[b].name);
        if (list.front() == b)
            names.push_back(impl_->blocks[b].name);
    }
    return names;
}

std::vector<std::string> IniFile::Keys(std::string_view section) const {
    std::vector<std::string> names;
    const auto* list = impl_->BlocksOf(section);
    if (list == nullptr)
        return names;
    for (const std::size_t b : *list) {
        const auto& block = impl_->blocks[b];
        for (std::size_t i = 0; i < block.lines.size(); ++i) {
            const std::string_view key = KeyOf(block.lines[i].text);
            if (key.empty())
                continue;
            // The first line of each key is the one its index points at.
            if (impl_->Find(section, key) == std::pair{b, i})
                names.emplace_back(key);
        }
    }
    return names;
}

void IniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
    impl_->Write(OneLine(section), OneLine(key), OneLine(value));
}

void IniFile::WriteInteger(std::string_view section, std::string_view key, std::int64_t value) {
    WriteString(section, key, std::to_string(value));
}

void IniFile::EraseSection(std::string_view section) {
    const auto* list = impl_->BlocksOf(section);
    if (list == nullptr)
        return;
    for (auto b = list->rbegin(); b != list->rend(); ++b)
        impl_->blocks.erase(impl_->blocks.begin() + static_cast<std::ptrdiff_t>(*b));
    impl_->Reindex();
}

void IniFile::EraseKey(std::string_view section, std::string_view key) {
    const auto* list = impl_->BlocksOf(section);
    if (list == nullptr)
        return;
    const std::string lower = Lower(key);
    for (const std::size_t b : *list) {
        auto& block = impl_->blocks[b];
        std::erase_if(block.lines, [&](const Line& line) {
            const std::string_view k = KeyOf(line.text);
            return !k.empty() && Lower(k) == lower;
        });
        impl_->IndexKeys(block);
    }
}

bool IniFile::Save() {
    StagedFile staged;
    if (!Stage(staged))
        return false;
    if (!staged.Commit()) {
        saveError_ = "cannot write " + path_.string() + ": " + std::strerror(errno);
        return false;
    }
    fileExisted_ = true;
    return true;
}

bool IniFile::Stage(StagedFile& staged) {
    saveError_.clear();
    if (!readProblem_.empty()) {
        saveError_ = path_.string() + " is not rewritten, since it was not read whole (" +
                     readProblem_ + ")";
        return false;
    }
    struct stat info {};
    if (!fresh_ && ::stat(path_.c_str(), &info) == 0 &&
        (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
        // Marked read-only by its owner: the mark is honoured even where it could be replaced.
        saveError_ = path_.string() + " is read-only";
        return false;
    }
    if (!staged.Stage(path_, impl_->Serialise())) {
        saveError_ = "cannot write " + path_.string() + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

StagedFile::~StagedFile() {
    Discard();
}

StagedFile::StagedFile(StagedFile&& other) noexcept
    : target_(std::exchange(other.target_, {})), temporary_(std::exchange(other.temporary_, {})) {}

StagedFile& StagedFile::operator=(StagedFile&& other) noexcept {
    if (this != &other) {
        Discard();
        target_ = std::exchange(other.target_, {});
        temporary_ = std::exchange(other.temporary_, {});
    }
    return *this;
}

bool StagedFile::Stage(const std::filesystem::path& path, std::string_view contents) {
    Discard();
    std::filesystem::path temporary = path;
    temporary += ".new-XXXXXX";
    std::string pattern = temporary.string();
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0)
        return false;
    int error = 0;
    const char* data = contents.data();
    std::size_t left = contents.size();
    while (error == 0 && left > 0) {
        const ssize_t written = ::write(fd, data, left);
        if (written < 0) {
            if (errno != EINTR)
                error = errno;
        } else {
            data += written;
            left -= static_cast<std::size_t>(written);
        }
    }
    if (error == 0 && ::fsync(fd) != 0)
        error = errno;
    // mkstemp creates the file private to the user; settings files are ordinary files.
    ::fchmod(fd, 0644);
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error != 0) {
        ::unlink(pattern.c_str());
        errno = error;
        return false;
    }
    target_ = path;
    temporary_ = pattern;
    return true;
}

void StagedFile::StageRemoval(const std::filesystem::path& path) {
    Discard();
    target_ = path;
}

bool StagedFile::Commit() {
    if (target_.empty())
        return false;
    const std::filesystem::path target = std::exchange(target_, {});
    const std::filesystem::path temporary = std::exchange(temporary_, {});
    if (temporary.empty())
        return ::unlink(target.c_str()) == 0 || errno == ENOENT;
    if (::rename(temporary.c_str(), target.c_str()) == 0)
        return true;
    const int error = errno;
    ::unlink(temporary.c_str());
    errno = error;
    return false;
}

void StagedFile::Discard() {
    if (!temporary_.empty())
        ::unlink(temporary_.c_str());
    temporary_.clear();
    target_.clear();
}

bool WriteFileAtomically(const std::filesystem::path& path, std::string_view contents) {
    StagedFile staged;
    return staged.Stage(path, contents) && staged.Commit();
}

}  // namespace torq

#include "torq/devlib/Ini.h"

#define SI_NO_CONVERSION
#include <SimpleIni.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <sstream>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

struct IniFile::Impl {
    CSimpleIniA ini{false, true,
                    false};  // not UTF-8 checked, multi-key (first wins), no multi-line
};

IniFile::IniFile(std::filesystem::path path)
    : path_(std::move(path)), impl_(std::make_unique<Impl>()) {
    std::ifstream in(path_, std::ios::binary);
    if (!in)
        return;
    fileExisted_ = true;
    std::ostringstream contents;
    contents << in.rdbuf();
    const std::string data = contents.str();
    impl_->ini.LoadData(data.data(), data.size());
}

IniFile::~IniFile() = default;
IniFile::IniFile(IniFile&&) noexcept = default;
IniFile& IniFile::operator=(IniFile&&) noexcept = default;

std::string IniFile::ReadString(std::string_view section, std::string_view key,
                                std::string_view fallback) const {
    const std::string s(section), k(key);
    const char* value = impl_->ini.GetValue(s.c_str(), k.c_str(), nullptr);
    if (value == nullptr)
        return std::string(fallback);
    std::string_view text = TrimBlanks(value);
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
    const std::string s(section), k(key);
    return impl_->ini.GetValue(s.c_str(), k.c_str(), nullptr) != nullptr;
}

bool IniFile::HasSection(std::string_view section) const {
    const std::string s(section);
    return impl_->ini.GetSection(s.c_str()) != nullptr;
}

std::vector<std::string> IniFile::Keys(std::string_view section) const {
    const std::string s(section);
    CSimpleIniA::TNamesDepend keys;
    impl_->ini.GetAllKeys(s.c_str(), keys);
    keys.sort(CSimpleIniA::Entry::LoadOrder());
    std::vector<std::string> names;
    for (const auto& entry : keys) {
        if (names.empty() || names.back() != entry.pItem)
            names.emplace_back(entry.pItem);
    }
    return names;
}

void IniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
    const std::string s(section), k(key), v(value);
    impl_->ini.SetValue(s.c_str(), k.c_str(), v.c_str(), nullptr, true);
}

void IniFile::WriteInteger(std::string_view section, std::string_view key, std::int64_t value) {
    WriteString(section, key, std::to_string(value));
}

void IniFile::EraseSection(std::string_view section) {
    const std::string s(section);
    impl_->ini.Delete(s.c_str(), nullptr);
}

void IniFile::EraseKey(std::string_view section, std::string_view key) {
    const std::string s(section), k(key);
    impl_->ini.Delete(s.c_str(), k.c_str());
}

bool IniFile::Save() {
    std::string text;
    if (impl_->ini.Save(text, false) < 0)
        return false;
    if (!WriteFileAtomically(path_, text))
        return false;
    fileExisted_ = true;
    return true;
}

bool WriteFileAtomically(const std::filesystem::path& path, std::string_view contents) {
    std::filesystem::path temporary = path;
    temporary += ".new-XXXXXX";
    std::string pattern = temporary.string();
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0)
        return false;
    bool ok = true;
    const char* data = contents.data();
    std::size_t left = contents.size();
    while (ok && left > 0) {
        const ssize_t written = ::write(fd, data, left);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            ok = false;
        } else {
            data += written;
            left -= static_cast<std::size_t>(written);
        }
    }
    ok = ok && ::fsync(fd) == 0;
    // mkstemp creates the file private to the user; settings files are ordinary files.
    ::fchmod(fd, 0644);
    ok = (::close(fd) == 0) && ok;
    if (ok)
        ok = ::rename(pattern.c_str(), path.c_str()) == 0;
    if (!ok)
        ::unlink(pattern.c_str());
    return ok;
}

}  // namespace torq

// Profile-style INI access: the rules every settings and library file of the program follows.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace torq {

// Longest value text used; the rest of a longer value is ignored.
inline constexpr std::size_t kIniValueLimit = 2047;

// Reads an INI integer: decimal, or hexadecimal after "0x", "0X" or "$", optionally signed,
// surrounding blanks ignored. Decimal must fit 32 bits signed; hexadecimal may use all 32 bits
// (0xFFFFFFFF reads as -1). Anything else is not a number.
std::optional<std::int32_t> ParseIniInteger(std::string_view text);

// The key of entry n of a numbered list: at least four upper-case hexadecimal digits.
std::string NumberedKey(unsigned n);

// One INI file, loaded whole (settings and library files are small). A missing or unreadable
// file reads as empty. Section and key names match without regard to case; when a key or section
// occurs twice the first one wins, as profile readers do.
class IniFile {
  public:
    explicit IniFile(std::filesystem::path path);
    ~IniFile();
    IniFile(IniFile&&) noexcept;
    IniFile& operator=(IniFile&&) noexcept;

    const std::filesystem::path& Path() const { return path_; }
    bool FileExists() const { return fileExisted_; }

    std::string ReadString(std::string_view section, std::string_view key,
                           std::string_view fallback = {}) const;
    std::int32_t ReadInteger(std::string_view section, std::string_view key,
                             std::int32_t fallback) const;
    bool ReadBool(std::string_view section, std::string_view key, bool fallback) const;
    bool HasKey(std::string_view section, std::string_view key) const;
    bool HasSection(std::string_view section) const;
    // Key names of a section in file order.
    std::vector<std::string> Keys(std::string_view section) const;

    void WriteString(std::string_view section, std::string_view key, std::string_view value);
    void WriteInteger(std::string_view section, std::string_view key, std::int64_t value);
    void EraseSection(std::string_view section);
    void EraseKey(std::string_view section, std::string_view key);

    // Writes the file atomically: a temporary file beside it, then a rename, so a crash never
    // leaves it half-written. Everything not changed is kept. False when it could not be written.
    bool Save();

  private:
    struct Impl;
    std::filesystem::path path_;
    bool fileExisted_ = false;
    std::unique_ptr<Impl> impl_;
};

// Writes a whole file atomically (temporary file beside the target, flush, rename).
bool WriteFileAtomically(const std::filesystem::path& path, std::string_view contents);

}  // namespace torq

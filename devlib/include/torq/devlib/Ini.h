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

// Library and settings files are small. A file larger than this is not read at all: it reads as
// empty and is never rewritten, so a wrong name (a device, a huge file) cannot eat memory.
inline constexpr std::uint64_t kSmallFileLimit = 1 << 20;

struct SmallFile {
    bool exists = false;   // something is at the path, even when it could not be read
    std::string contents;  // what was read
    std::string problem;   // why the file was not read whole; empty when it was (or is missing)
};

// Reads a regular file of at most `limit` bytes without blocking: a FIFO, a device or a folder
// is refused without reading from it. A missing file is no problem: it reads as empty.
SmallFile ReadSmallFile(const std::filesystem::path& path, std::uint64_t limit = kSmallFileLimit);

// A new version of a file, written and flushed under a unique temporary name beside it and put in
// place by Commit (a rename). Several files can so be prepared first and replaced together once
// every one of them could be written. Until Commit the old file stays as it was; a version that is
// never committed leaves nothing behind.
class StagedFile {
  public:
    StagedFile() = default;
    ~StagedFile();
    StagedFile(StagedFile&& other) noexcept;
    StagedFile& operator=(StagedFile&& other) noexcept;
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;

    // Writes the new contents of `path`; false (errno says why) when they could not be written.
    bool Stage(const std::filesystem::path& path, std::string_view contents);
    // The new version of `path` is no file at all: Commit removes it.
    void StageRemoval(const std::filesystem::path& path);
    bool Staged() const { return !target_.empty(); }
    // Puts the new version in place; false (errno says why) when it could not be.
    bool Commit();
    // Drops the new version; the old file stays.
    void Discard();

  private:
    std::filesystem::path target_;
    std::filesystem::path temporary_;  // empty for a removal
};

// One INI file, loaded whole. A missing file reads as empty. Section and key names match without
// regard to case; when a key occurs twice (also in a repeated section) the first one wins, as
// profile readers do.
//
// Writing changes only the lines of the keys written: every other line (comments, lines that are
// not keys, repeated keys, the line endings) is written back as it was read. A file that was not
// read whole (a NUL byte in it, too large, not a regular file, unreadable) is never rewritten:
// Save() refuses and says why, and the file stays as it is. Nor is a file rewritten that is marked
// read-only.
class IniFile {
  public:
    explicit IniFile(std::filesystem::path path);
    // A file that starts empty, whatever is at the path now: saving it replaces the old file
    // whole (a file the program rebuilds from scratch).
    static IniFile Fresh(std::filesystem::path path);
    ~IniFile();
    IniFile(IniFile&&) noexcept;
    IniFile& operator=(IniFile&&) noexcept;

    const std::filesystem::path& Path() const { return path_; }
    bool FileExists() const { return fileExisted_; }
    // Why the file was not read whole; empty when it was. What was read is still readable.
    const std::string& ReadProblem() const { return readProblem_; }

    std::string ReadString(std::string_view section, std::string_view key,
                           std::string_view fallback = {}) const;
    std::int32_t ReadInteger(std::string_view section, std::string_view key,
                             std::int32_t fallback) const;
    bool ReadBool(std::string_view section, std::string_view key, bool fallback) const;
    bool HasKey(std::string_view section, std::string_view key) const;
    bool HasSection(std::string_view section) const;
    // Section names in file order, each once (as first written).
    std::vector<std::string> Sections() const;
    // Key names of a section in file order, each once (as first written).
    std::vector<std::string> Keys(std::string_view section) const;

    // Line breaks in a value are written as blanks, so a value can never add lines of its own.
    void WriteString(std::string_view section, std::string_view key, std::string_view value);
    void WriteInteger(std::string_view section, std::string_view key, std::int64_t value);
    void EraseSection(std::string_view section);
    void EraseKey(std::string_view section, std::string_view key);

    // Writes the file atomically: a temporary file beside it, then a rename, so a crash never
    // leaves it half-written. Everything not changed is kept. False when it was not written;
    // SaveError() then says why.
    bool Save();
    // Save in two halves: the new version written beside the file, to be committed later. False
    // when it could not be written; SaveError() then says why.
    bool Stage(StagedFile& staged);
    const std::string& SaveError() const { return saveError_; }

  private:
    IniFile(std::filesystem::path path, bool read);
    struct Impl;
    std::filesystem::path path_;
    bool fileExisted_ = false;
    std::string readProblem_;
    std::string saveError_;
    bool fresh_ = false;
    std::unique_ptr<Impl> impl_;
};

// Writes a whole file atomically (temporary file beside the target, flush, rename). On failure
// errno tells why.
bool WriteFileAtomically(const std::filesystem::path& path, std::string_view contents);

}  // namespace torq

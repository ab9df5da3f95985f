// The one way the program opens a file it did not make itself (a work file, the buffer, a library
// file, History.ini, a name handed over): never blocking, and only when it is a regular file. A
// FIFO, a device, a socket or a folder at the path (or at the end of a symbolic link) is refused
// with a reason that names it, before anything is read from it or written to it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace torq::io {

// Owns one file descriptor.
class UniqueFd {
  public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd() { Reset(); }
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.Release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int Get() const { return fd_; }
    bool IsOpen() const { return fd_ >= 0; }
    int Release();
    void Reset();
    // Closes and reports whether the close succeeded (a deferred write error shows up here).
    bool Close();

  private:
    int fd_ = -1;
};

enum class FileAccess {
    Read,    // read only
    Update,  // read and write in place; never created
};

struct OpenedFile {
    UniqueFd fd;
    std::uint64_t length = 0;  // the length when it was opened
    bool missing = false;      // nothing is at the path
    int error = 0;             // the errno of a failed call; 0 when it was refused for its kind
    // Why it was not opened, naming the path ("/x/a.bin is not a regular file (a FIFO)",
    // "/x/a.bin cannot be read: Permission denied"); empty when it was.
    std::string problem;

    bool IsOpen() const { return fd.IsOpen(); }
};

// Opens an existing regular file without blocking; the descriptor it gives blocks as usual.
OpenedFile OpenRegularFile(const std::filesystem::path& path, FileAccess access);
// Creates a regular file, or truncates the one at the path, for writing; what is there and is not
// a regular file is refused the same way and never opened for writing.
OpenedFile CreateRegularFile(const std::filesystem::path& path);

// A regular file is at the path (after symbolic links); false for an empty path and on any error.
bool IsRegularFile(const std::filesystem::path& path);

// What is at the path when it is there and is not a regular file: "a FIFO", "a folder",
// "a character device", "a block device", "a socket". Nothing for a regular file or no file.
std::optional<std::string_view> NonRegularKind(const std::filesystem::path& path);
// "PATH is not a regular file (a FIFO)".
std::string NotRegularFileText(const std::filesystem::path& path, std::string_view kind);

}  // namespace torq::io

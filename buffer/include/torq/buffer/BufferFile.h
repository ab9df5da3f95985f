// The buffer file: the image of one flash device as raw bytes on disk (offset = device address),
// its streaming access in blocks, and the checksum rule every part of the program shares.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "torq/devlib/ProgramDirectory.h"
#include "torq/devlib/Seams.h"

namespace torq {

// Initialisation and fill write blocks of this size.
inline constexpr std::size_t kBufferFillBlockSize = 32768;
// Bytes a device operation or a writer finds beyond the end of a shorter buffer file.
inline constexpr std::uint8_t kErasedByte = 0xFF;
// A socket's work-file text when its image is in the buffer and no file holds it (after a Read,
// after an edit in the hex editor).
inline constexpr std::string_view kDataFromBuffer = "< Data from buffer >";

class ReplacementFile;

class BufferFile {
  public:
    explicit BufferFile(std::filesystem::path path) : path_(std::move(path)) {}
    static BufferFile In(const ProgramDirectory& dirs) { return BufferFile(dirs.BufferFile()); }

    const std::filesystem::path& Path() const { return path_; }
    // The decoders' scratch image: the buffer file's full path with ".temp" appended.
    std::filesystem::path ScratchPath() const;

    // Writes deviceSize bytes of 0xFF in fixed blocks into a new file that then replaces the
    // buffer file. Refused, with the reason, when the folder has no room for it; on any failure
    // the old buffer file stays as it was.
    bool Initialise(std::uint64_t deviceSize, std::string* reason = nullptr) const;
    // Initialise in two halves: the new erased buffer written beside the old one, put in place by
    // the replacement's Commit. Nothing, with the reason, when it cannot be made.
    std::unique_ptr<ReplacementFile> Prepare(std::uint64_t deviceSize,
                                             std::string* reason = nullptr) const;
    // Re-creates the file with length 0; refused (false) when something other than a regular
    // file is in its place.
    bool Empty() const;
    // The length on disk, or nothing when the file does not exist.
    std::optional<std::uint64_t> Length() const;

  private:
    std::filesystem::path path_;
};

inline bool InitialiseBuffer(const BufferFile& buffer, std::uint64_t deviceSize,
                             std::string* reason = nullptr) {
    return buffer.Initialise(deviceSize, reason);
}
inline bool EmptyBuffer(const BufferFile& buffer) {
    return buffer.Empty();
}

// A new version of a file, written under a unique temporary name beside it and renamed over it
// by Commit: until then (and after any failure) the old file stays whole, and a version that is
// not committed leaves no file behind. Two processes replacing the same file never share a
// temporary file.
class ReplacementFile {
  public:
    explicit ReplacementFile(std::filesystem::path target);
    ~ReplacementFile();
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    bool IsOpen() const { return fd_ >= 0; }
    int Descriptor() const { return fd_; }
    const std::filesystem::path& TemporaryPath() const { return temporary_; }
    // Appends at the end of what was written so far; false (and every later call false) once a
    // write has failed.
    bool Append(std::span<const std::uint8_t> bytes);
    // Closes the new version and renames it over the target; `durable` also flushes it to the
    // disk first (saved files; the buffer is a scratch image and skips the wait).
    bool Commit(bool durable);
    // Removes the new version.
    void Discard();

  private:
    std::filesystem::path target_;
    std::filesystem::path temporary_;
    int fd_ = -1;
    std::uint64_t written_ = 0;
    bool ok_ = true;
};

// Bytes the file system holding `folder` can still take, or nothing when it cannot say.
std::optional<std::uint64_t> FreeSpace(const std::filesystem::path& folder);

// The checksum rule: the 32-bit wrapping sum of bytes 0 ... lastIndex of the file, the fill byte
// standing in for bytes beyond the file's end. Nothing when the file cannot be read (`problem`
// says why, naming the file). A long sum reports how far it has come to `progress` (Progress
// only: the caller frames the job with Begin and End).
std::optional<std::uint32_t> Checksum(const std::filesystem::path& file, std::uint64_t lastIndex,
                                      std::uint8_t fill, ProgressSink* progress = nullptr,
                                      std::string* problem = nullptr);
// Eight upper-case hexadecimal digits, zero-padded ("0FF00000").
std::string ChecksumText(std::uint32_t sum);

// The full 64-bit sum of `count` bytes from `first`, the fill byte beyond the file's end (the
// editor's range sum shows more than eight digits). Nothing when the file cannot be read.
std::optional<std::uint64_t> SumFileBytes(const std::filesystem::path& file, std::uint64_t first,
                                          std::uint64_t count, std::uint8_t fill,
                                          ProgressSink* progress = nullptr,
                                          std::string* problem = nullptr);
// The sum of a block's byte values, for callers that sum data as they stream it.
std::uint64_t SumOfBytes(std::span<const std::uint8_t> bytes);

// Streams a file in blocks for programming, verifying and saving: a block reaching past the
// file's end is completed with the pad byte. Only a regular file is opened, never blocking.
class BufferBlockReader {
  public:
    explicit BufferBlockReader(const std::filesystem::path& path);
    ~BufferBlockReader();
    BufferBlockReader(const BufferBlockReader&) = delete;
    BufferBlockReader& operator=(const BufferBlockReader&) = delete;

    bool IsOpen() const { return fd_ >= 0; }
    // Why the file was not opened, naming it ("... is not a regular file (a FIFO)").
    const std::string& Problem() const { return problem_; }
    std::uint64_t Length() const { return length_; }
    bool Read(std::uint64_t offset, std::span<std::uint8_t> block,
              std::uint8_t pad = kErasedByte) const;

  private:
    int fd_ = -1;
    std::uint64_t length_ = 0;
    std::string problem_;
};

// Writes blocks into an existing file in place (a device Read storing what it read back). The
// file is never created: without a buffer file there is no selected device.
class BufferBlockWriter {
  public:
    explicit BufferBlockWriter(const std::filesystem::path& path);
    ~BufferBlockWriter();
    BufferBlockWriter(const BufferBlockWriter&) = delete;
    BufferBlockWriter& operator=(const BufferBlockWriter&) = delete;

    bool IsOpen() const { return fd_ >= 0; }
    // Why the file was not opened, naming it.
    const std::string& Problem() const { return problem_; }
    bool Write(std::uint64_t offset, std::span<const std::uint8_t> block);
    // Closes the file; false when a write or the close failed.
    bool Close();

  private:
    int fd_ = -1;
    bool ok_ = true;
    std::string problem_;
};

}  // namespace torq

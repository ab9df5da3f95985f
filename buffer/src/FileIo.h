// Plain POSIX file access for the buffer layer: large reads and writes, no stream objects, every
// error visible to the caller. Files are opened through OpenRegularFile
// (torq/devlib/RegularFile.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <vector>

#include "torq/devlib/RegularFile.h"

namespace torq::io {

// Reads until `size` bytes or the end of the file; the count read, or -1 on an error.
std::ptrdiff_t ReadUpTo(int fd, void* into, std::size_t size);
std::ptrdiff_t ReadUpToAt(int fd, void* into, std::size_t size, std::uint64_t offset);
bool WriteAllAt(int fd, const void* data, std::size_t size, std::uint64_t offset);

// The length of an open file, or -1.
std::int64_t FileLength(int fd);

// Output in large blocks: appends go to a memory block that is written out when it is full or
// when the position moves. Memory use is the block size, whatever is written.
class BufferedFileWriter {
  public:
    static constexpr std::size_t kDefaultBlockSize = 256 * 1024;
    explicit BufferedFileWriter(int fd, std::size_t blockSize = kDefaultBlockSize);

    void Append(const void* data, std::size_t size);
    void AppendFill(std::uint8_t byte, std::uint64_t count);
    // Room for `size` bytes (at most the block size) at the end; Commit says how many were used.
    char* Reserve(std::size_t size);
    void Commit(std::size_t size) { used_ += size; }
    // The next append goes to this file offset.
    void MoveTo(std::uint64_t offset);
    std::uint64_t Position() const { return start_ + used_; }
    // Writes out what is held; false when any write so far failed.
    bool Flush();
    bool Ok() const { return ok_; }

  private:
    int fd_;
    std::vector<char> block_;
    std::uint64_t start_ = 0;  // file offset of block_[0]
    std::size_t used_ = 0;
    bool ok_ = true;
};

}  // namespace torq::io

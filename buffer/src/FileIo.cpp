#include "FileIo.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace torq::io {

namespace {

// Reads until `size` bytes or the end of the file, at `offset` or (when negative) at the file's
// position, retrying interrupted and partial reads.
std::ptrdiff_t ReadFully(int fd, char* into, std::size_t size, std::int64_t offset) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = offset < 0
                              ? ::read(fd, into + done, size - done)
                              : ::pread(fd, into + done, size - done,
                                        static_cast<off_t>(offset) + static_cast<off_t>(done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (n == 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    return static_cast<std::ptrdiff_t>(done);
}

}  // namespace

std::ptrdiff_t ReadUpTo(int fd, void* into, std::size_t size) {
    return ReadFully(fd, static_cast<char*>(into), size, -1);
}

std::ptrdiff_t ReadUpToAt(int fd, void* into, std::size_t size, std::uint64_t offset) {
    return ReadFully(fd, static_cast<char*>(into), size, static_cast<std::int64_t>(offset));
}

bool WriteAllAt(int fd, const void* data, std::size_t size, std::uint64_t offset) {
    const auto* in = static_cast<const char*>(data);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pwrite(fd, in + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

std::int64_t FileLength(int fd) {
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        return -1;
    return static_cast<std::int64_t>(info.st_size);
}

BufferedFileWriter::BufferedFileWriter(int fd, std::size_t blockSize)
    : fd_(fd), block_(blockSize) {}

void BufferedFileWriter::Append(const void* data, std::size_t size) {
    const auto* in = static_cast<const char*>(data);
    while (size > 0 && ok_) {
        if (used_ == block_.size())
            Flush();
        const std::size_t n = std::min(size, block_.size() - used_);
        std::memcpy(block_.data() + used_, in, n);
        used_ += n;
        in += n;
        size -= n;
    }
}

// Once a write has failed nothing more is prepared: a fill of a terabyte on a full disk stops at
// the first failed block instead of running on.
void BufferedFileWriter::AppendFill(std::uint8_t byte, std::uint64_t count) {
    while (count > 0 && ok_) {
        if (used_ == block_.size())
            Flush();
        const std::size_t n =
            static_cast<std::size_t>(std::min<std::uint64_t>(count, block_.size() - used_));
        std::memset(block_.data() + used_, byte, n);
        used_ += n;
        count -= n;
    }
}

char* BufferedFileWriter::Reserve(std::size_t size) {
    if (block_.size() - used_ < size)
        Flush();
    return block_.data() + used_;
}

void BufferedFileWriter::MoveTo(std::uint64_t offset) {
    if (offset == Position())
        return;
    Flush();
    start_ = offset;
}

bool BufferedFileWriter::Flush() {
    if (used_ > 0) {
        if (ok_ && !WriteAllAt(fd_, block_.data(), used_, start_))
            ok_ = false;
        start_ += used_;
        used_ = 0;
    }
    return ok_;
}

}  // namespace torq::io

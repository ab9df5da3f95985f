#include "torq/sim/ChipMemory.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

namespace torq::sim {

void ChipMemory::Program(std::uint64_t address, std::span<const std::uint8_t> data) {
    std::vector<std::uint8_t> merged(data.size());
    Read(address, merged);
    for (std::size_t i = 0; i < data.size(); ++i)
        merged[i] &= data[i];
    Write(address, merged);
}

std::uint8_t ChipMemory::ReadByte(std::uint64_t address) const {
    std::uint8_t byte = 0xFF;
    Read(address, std::span(&byte, 1));
    return byte;
}

std::vector<std::uint8_t> ChipMemory::ReadRange(std::uint64_t address, std::size_t length) const {
    std::vector<std::uint8_t> bytes(length);
    Read(address, bytes);
    return bytes;
}

void SparseMemory::Read(std::uint64_t address, std::span<std::uint8_t> out) const {
    std::fill(out.begin(), out.end(), 0xFF);
    for (std::size_t done = 0; done < out.size();) {
        const std::uint64_t at = address + done;
        if (at >= size_)
            break;
        const std::uint64_t page = at / kPage, offset = at % kPage;
        const std::size_t chunk = static_cast<std::size_t>(
            std::min<std::uint64_t>({kPage - offset, out.size() - done, size_ - at}));
        if (const auto found = pages_.find(page); found != pages_.end()) {
            std::copy_n(found->second.begin() + static_cast<std::ptrdiff_t>(offset), chunk,
                        out.begin() + static_cast<std::ptrdiff_t>(done));
        }
        done += chunk;
    }
}

void SparseMemory::Write(std::uint64_t address, std::span<const std::uint8_t> data) {
    for (std::size_t done = 0; done < data.size();) {
        const std::uint64_t at = address + done;
        if (at >= size_)
            break;
        const std::uint64_t page = at / kPage, offset = at % kPage;
        const std::size_t chunk = static_cast<std::size_t>(
            std::min<std::uint64_t>({kPage - offset, data.size() - done, size_ - at}));
        const auto source = data.subspan(done, chunk);
        auto found = pages_.find(page);
        if (found == pages_.end()) {
            // A page that stays erased takes no memory.
            if (std::all_of(source.begin(), source.end(),
                            [](std::uint8_t b) { return b == 0xFF; })) {
                done += chunk;
                continue;
            }
            found = pages_.emplace(page, std::vector<std::uint8_t>(kPage, 0xFF)).first;
        }
        std::copy(source.begin(), source.end(),
                  found->second.begin() + static_cast<std::ptrdiff_t>(offset));
        done += chunk;
    }
}

void SparseMemory::Erase(std::uint64_t address, std::uint64_t length) {
    const std::uint64_t end = std::min(size_, address + length);
    for (std::uint64_t at = address; at < end;) {
        const std::uint64_t page = at / kPage, offset = at % kPage;
        const std::uint64_t chunk = std::min(kPage - offset, end - at);
        if (chunk == kPage) {
            pages_.erase(page);
        } else if (const auto found = pages_.find(page); found != pages_.end()) {
            std::fill_n(found->second.begin() + static_cast<std::ptrdiff_t>(offset), chunk, 0xFF);
        }
        at += chunk;
    }
}

namespace {

std::string Quoted(const std::filesystem::path& path) {
    return "'" + path.string() + "'";
}

std::string ErrorText(int error) {
    return std::system_category().message(error);
}

}  // namespace

std::unique_ptr<FileMemory> FileMemory::Open(const std::filesystem::path& path, std::uint64_t size,
                                             std::string& problem) {
    bool created = false;
    int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT) {
        fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        created = fd >= 0;
    }
    if (fd < 0) {
        problem = "cannot open " + Quoted(path) + " for the chip content: " + ErrorText(errno);
        return nullptr;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        problem = "cannot examine " + Quoted(path) + ": " + ErrorText(errno);
        ::close(fd);
        return nullptr;
    }
    if (S_ISCHR(info.st_mode))
        return std::unique_ptr<FileMemory>(new FileMemory(fd, size));
    if (!S_ISREG(info.st_mode)) {
        problem = Quoted(path) + " is not a regular file; the chip content needs one";
        ::close(fd);
        return nullptr;
    }
    const auto existing = static_cast<std::uint64_t>(info.st_size);
    if (!created && existing != size) {
        problem = Quoted(path) + " holds " + std::to_string(existing) +
                  " bytes but the chip holds " + std::to_string(size) +
                  "; give a file of exactly that size or a new file name";
        ::close(fd);
        return nullptr;
    }
    std::unique_ptr<FileMemory> memory(new FileMemory(fd, size));
    if (created) {
        // A new file starts erased; one that cannot be filled (a full disk) is not left behind.
        memory->Erase(0, size);
        if (memory->TakeFailure()) {
            problem = "cannot fill " + Quoted(path) +
                      " with the erased chip content: " + ErrorText(memory->lastError_);
            memory.reset();
            ::unlink(path.c_str());
            return nullptr;
        }
    }
    return memory;
}

FileMemory::~FileMemory() {
    ::close(fd_);
}

void FileMemory::Read(std::uint64_t address, std::span<std::uint8_t> out) const {
    std::fill(out.begin(), out.end(), 0xFF);
    for (std::size_t done = 0; done < out.size() && address + done < size_;) {
        const std::uint64_t at = address + done;
        if (window_.empty() || at < windowStart_ || at >= windowStart_ + window_.size()) {
            windowStart_ = at - at % kWindow;
            window_.assign(static_cast<std::size_t>(std::min(kWindow, size_ - windowStart_)), 0xFF);
            const ssize_t got =
                ::pread(fd_, window_.data(), window_.size(), static_cast<off_t>(windowStart_));
            if (got < 0) {
                lastError_ = errno;
                NoteFailure();
                window_.assign(window_.size(), 0xFF);
            }
        }
        const std::size_t offset = static_cast<std::size_t>(at - windowStart_);
        const std::size_t chunk = std::min(out.size() - done, window_.size() - offset);
        std::copy_n(window_.begin() + static_cast<std::ptrdiff_t>(offset), chunk,
                    out.begin() + static_cast<std::ptrdiff_t>(done));
        done += chunk;
    }
}

void FileMemory::Write(std::uint64_t address, std::span<const std::uint8_t> data) {
    WriteThrough(address, data);
}

std::size_t FileMemory::WriteThrough(std::uint64_t address, std::span<const std::uint8_t> data) {
    if (address >= size_)
        return 0;
    const std::size_t length =
        static_cast<std::size_t>(std::min<std::uint64_t>(data.size(), size_ - address));
    std::size_t written = 0;
    while (written < length) {
        const ssize_t n = ::pwrite(fd_, data.data() + written, length - written,
                                   static_cast<off_t>(address + written));
        if (n <= 0) {
            lastError_ = n < 0 ? errno : ENOSPC;
            NoteFailure();
            break;
        }
        written += static_cast<std::size_t>(n);
    }
    // Keep the read window in step with what reached the file.
    if (!window_.empty() && address < windowStart_ + window_.size() &&
        address + written > windowStart_) {
        const std::uint64_t from = std::max(address, windowStart_);
        const std::uint64_t to = std::min(address + written, windowStart_ + window_.size());
        std::copy_n(data.begin() + static_cast<std::ptrdiff_t>(from - address), to - from,
                    window_.begin() + static_cast<std::ptrdiff_t>(from - windowStart_));
    }
    return written;
}

void FileMemory::Erase(std::uint64_t address, std::uint64_t length) {
    const std::vector<std::uint8_t> erased(kWindow, 0xFF);
    const std::uint64_t end = std::min(size_, address + length);
    for (std::uint64_t at = address; at < end;) {
        const std::uint64_t chunk = std::min<std::uint64_t>(erased.size(), end - at);
        if (WriteThrough(at, std::span(erased.data(), static_cast<std::size_t>(chunk))) < chunk)
            return;  // the store is failing; the failure has been noted
        at += chunk;
    }
}

}  // namespace torq::sim

#include "torq/sim/ChipMemory.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
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

std::unique_ptr<FileMemory> FileMemory::Open(const std::filesystem::path& path,
                                             std::uint64_t size) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return nullptr;
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        ::close(fd);
        return nullptr;
    }
    const auto oldSize = static_cast<std::uint64_t>(info.st_size);
    if (oldSize > size && ::ftruncate(fd, static_cast<off_t>(size)) != 0) {
        ::close(fd);
        return nullptr;
    }
    std::unique_ptr<FileMemory> memory(new FileMemory(fd, size));
    // New bytes of a created or grown file are erased bytes.
    if (oldSize < size)
        memory->Erase(oldSize, size - oldSize);
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
            if (got < 0)
                window_.assign(window_.size(), 0xFF);
        }
        const std::size_t offset = static_cast<std::size_t>(at - windowStart_);
        const std::size_t chunk = std::min(out.size() - done, window_.size() - offset);
        std::copy_n(window_.begin() + static_cast<std::ptrdiff_t>(offset), chunk,
                    out.begin() + static_cast<std::ptrdiff_t>(done));
        done += chunk;
    }
}

void FileMemory::Write(std::uint64_t address, std::span<const std::uint8_t> data) {
    if (address >= size_)
        return;
    const std::size_t length =
        static_cast<std::size_t>(std::min<std::uint64_t>(data.size(), size_ - address));
    std::size_t written = 0;
    while (written < length) {
        const ssize_t n = ::pwrite(fd_, data.data() + written, length - written,
                                   static_cast<off_t>(address + written));
        if (n <= 0)
            break;
        written += static_cast<std::size_t>(n);
    }
    // Keep the read window in step with the file.
    if (!window_.empty() && address < windowStart_ + window_.size() &&
        address + length > windowStart_) {
        const std::uint64_t from = std::max(address, windowStart_);
        const std::uint64_t to = std::min(address + length, windowStart_ + window_.size());
        std::copy_n(data.begin() + static_cast<std::ptrdiff_t>(from - address), to - from,
                    window_.begin() + static_cast<std::ptrdiff_t>(from - windowStart_));
    }
}

void FileMemory::Erase(std::uint64_t address, std::uint64_t length) {
    const std::vector<std::uint8_t> erased(kWindow, 0xFF);
    const std::uint64_t end = std::min(size_, address + length);
    for (std::uint64_t at = address; at < end;) {
        const std::uint64_t chunk = std::min<std::uint64_t>(erased.size(), end - at);
        Write(at, std::span(erased.data(), static_cast<std::size_t>(chunk)));
        at += chunk;
    }
}

}  // namespace torq::sim

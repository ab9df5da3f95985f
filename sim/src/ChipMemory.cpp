#include "torq/sim/ChipMemory.h"

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
    std::error_code error;
    const bool existed = std::filesystem::exists(path, error);
    std::uint64_t oldSize = existed ? std::filesystem::file_size(path, error) : 0;
    if (error)
        oldSize = 0;
    if (!existed)
        std::ofstream(path, std::ios::binary);
    if (oldSize > size) {
        std::filesystem::resize_file(path, size, error);
        if (error)
            return nullptr;
        oldSize = size;
    }
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    if (!file)
        return nullptr;
    // New bytes of a created or grown file are erased bytes.
    file.seekp(static_cast<std::streamoff>(oldSize));
    const std::vector<char> erased(64 * 1024, static_cast<char>(0xFF));
    for (std::uint64_t at = oldSize; at < size;) {
        const auto chunk =
            static_cast<std::streamsize>(std::min<std::uint64_t>(erased.size(), size - at));
        file.write(erased.data(), chunk);
        at += static_cast<std::uint64_t>(chunk);
    }
    file.flush();
    if (!file)
        return nullptr;
    return std::unique_ptr<FileMemory>(new FileMemory(std::move(file), size));
}

void FileMemory::Read(std::uint64_t address, std::span<std::uint8_t> out) const {
    std::fill(out.begin(), out.end(), 0xFF);
    if (address >= size_)
        return;
    const auto length =
        static_cast<std::streamsize>(std::min<std::uint64_t>(out.size(), size_ - address));
    file_.clear();
    file_.seekg(static_cast<std::streamoff>(address));
    file_.read(reinterpret_cast<char*>(out.data()), length);
}

void FileMemory::Write(std::uint64_t address, std::span<const std::uint8_t> data) {
    if (address >= size_)
        return;
    const auto length =
        static_cast<std::streamsize>(std::min<std::uint64_t>(data.size(), size_ - address));
    file_.clear();
    file_.seekp(static_cast<std::streamoff>(address));
    file_.write(reinterpret_cast<const char*>(data.data()), length);
    file_.flush();
}

void FileMemory::Erase(std::uint64_t address, std::uint64_t length) {
    const std::vector<std::uint8_t> erased(64 * 1024, 0xFF);
    const std::uint64_t end = std::min(size_, address + length);
    for (std::uint64_t at = address; at < end;) {
        const std::uint64_t chunk = std::min<std::uint64_t>(erased.size(), end - at);
        Write(at, std::span(erased.data(), static_cast<std::size_t>(chunk)));
        at += chunk;
    }
}

}  // namespace torq::sim

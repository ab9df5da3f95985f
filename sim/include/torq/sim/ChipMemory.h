// The memory array of a simulated chip: erased bytes read 0xFF. Kept sparsely in memory, or in a
// file so that the content survives between runs; either way memory use stays bounded.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <span>
#include <vector>

namespace torq::sim {

class ChipMemory {
  public:
    virtual ~ChipMemory() = default;
    virtual std::uint64_t Size() const = 0;
    // Out-of-range parts of a request read 0xFF and are not written.
    virtual void Read(std::uint64_t address, std::span<std::uint8_t> out) const = 0;
    virtual void Write(std::uint64_t address, std::span<const std::uint8_t> data) = 0;
    // Sets a range to 0xFF.
    virtual void Erase(std::uint64_t address, std::uint64_t length) = 0;

    // Page program: each byte can only clear bits.
    void Program(std::uint64_t address, std::span<const std::uint8_t> data);
    std::uint8_t ReadByte(std::uint64_t address) const;
    std::vector<std::uint8_t> ReadRange(std::uint64_t address, std::size_t length) const;
};

// Only the 4 KiB pages that hold something other than 0xFF take memory.
class SparseMemory final : public ChipMemory {
  public:
    explicit SparseMemory(std::uint64_t size) : size_(size) {}
    std::uint64_t Size() const override { return size_; }
    void Read(std::uint64_t address, std::span<std::uint8_t> out) const override;
    void Write(std::uint64_t address, std::span<const std::uint8_t> data) override;
    void Erase(std::uint64_t address, std::uint64_t length) override;
    std::size_t PagesHeld() const { return pages_.size(); }

  private:
    static constexpr std::uint64_t kPage = 4096;
    std::uint64_t size_;
    std::map<std::uint64_t, std::vector<std::uint8_t>> pages_;
};

// The array lives in a file of exactly the chip's size (created filled with 0xFF, or grown or
// cut to size when it exists). Writes go through at once; reads come through a 64 KiB window,
// since the chip model reads byte by byte.
class FileMemory final : public ChipMemory {
  public:
    // Fails (returns null) when the file cannot be opened for reading and writing.
    static std::unique_ptr<FileMemory> Open(const std::filesystem::path& path, std::uint64_t size);
    ~FileMemory() override;
    FileMemory(const FileMemory&) = delete;
    FileMemory& operator=(const FileMemory&) = delete;
    std::uint64_t Size() const override { return size_; }
    void Read(std::uint64_t address, std::span<std::uint8_t> out) const override;
    void Write(std::uint64_t address, std::span<const std::uint8_t> data) override;
    void Erase(std::uint64_t address, std::uint64_t length) override;

  private:
    static constexpr std::uint64_t kWindow = 64 * 1024;
    FileMemory(int fd, std::uint64_t size) : fd_(fd), size_(size) {}
    int fd_;
    std::uint64_t size_;
    mutable std::vector<std::uint8_t> window_;
    mutable std::uint64_t windowStart_ = 0;
};

}  // namespace torq::sim

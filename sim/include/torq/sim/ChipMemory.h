// The memory array of a simulated chip: erased bytes read 0xFF. Kept sparsely in memory, or in a
// file so that the content survives between runs; either way memory use stays bounded.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <span>
#include <string>
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

    // True once after a read or write of the backing store failed (a full disk): the
    // programmer then reports the transfer as failed instead of pretending the chip took it.
    bool TakeFailure() {
        const bool failed = failed_;
        failed_ = false;
        return failed;
    }

  protected:
    void NoteFailure() const { failed_ = true; }

  private:
    mutable bool failed_ = false;
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

// The array lives in a file of exactly the chip's size: a missing file is created filled with
// 0xFF; an existing regular file must already have the chip's size (an operator's file is never
// cut or grown); a character device (/dev/full, /dev/null) is used as it is. Writes go through
// at once; reads come through a 64 KiB window.
class FileMemory final : public ChipMemory {
  public:
    // Null, with the reason in `problem`, when the file cannot serve as the chip's content.
    static std::unique_ptr<FileMemory> Open(const std::filesystem::path& path, std::uint64_t size,
                                            std::string& problem);
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
    // Bytes that reached the file.
    std::size_t WriteThrough(std::uint64_t address, std::span<const std::uint8_t> data);
    int fd_;
    std::uint64_t size_;
    mutable int lastError_ = 0;  // errno of the last failed read or write
    mutable std::vector<std::uint8_t> window_;
    mutable std::uint64_t windowStart_ = 0;
};

}  // namespace torq::sim

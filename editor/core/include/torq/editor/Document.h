// The editor's view of the buffer file: read and write a range at an offset, as a hex editor's
// data provider does. Nothing is cached: every read and write goes to the file, so the editor,
// its tools and every other part of the program always see the same bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "torq/buffer/BufferFile.h"

namespace torq::editor {

// Bytes start ... start + count - 1 of the buffer file.
struct ByteRange {
    std::uint64_t start = 0;
    std::uint64_t count = 0;
    std::uint64_t Last() const { return start + count - 1; }
    bool Holds(std::uint64_t address) const { return address >= start && address - start < count; }
    bool operator==(const ByteRange&) const = default;
};

// Writing beyond the file's end first extends it with FF in blocks of this size.
inline constexpr std::size_t kExtendBlockSize = 16384;

// One opening of the buffer file for reading and writing in place. A failing call leaves its
// reason in errno.
class BufferFileHandle {
  public:
    virtual ~BufferFileHandle() = default;
    // The file's length when it was opened.
    virtual std::uint64_t Length() const = 0;
    // Reads into the whole span; bytes beyond the file's end read as FF.
    virtual bool Read(std::uint64_t offset, std::span<std::uint8_t> into) = 0;
    virtual bool Write(std::uint64_t offset, std::span<const std::uint8_t> bytes) = 0;
    // Cuts the file to `length` bytes (never lengthens it).
    virtual bool Truncate(std::uint64_t length) = 0;
    virtual bool Close() = 0;
};

// Opens the buffer file for the editor's writes: nothing (errno set) when it cannot. The default
// opens the file on disk, never creating it; a test puts in one that fails part-way, as a full
// disk or a failing medium would.
using BufferOpener =
    std::function<std::unique_ptr<BufferFileHandle>(const std::filesystem::path& path)>;
std::unique_ptr<BufferFileHandle> OpenBufferOnDisk(const std::filesystem::path& path);

// Writes into the buffer file in place, never creating it. A write that starts beyond the file's
// end first extends the file with FF up to it, so no byte of the image ever reads as a hole of
// zeros.
class DocumentWriter {
  public:
    explicit DocumentWriter(const std::filesystem::path& path, const BufferOpener& opener = {});
    DocumentWriter(const DocumentWriter&) = delete;
    DocumentWriter& operator=(const DocumentWriter&) = delete;
    ~DocumentWriter();

    bool IsOpen() const { return file_ != nullptr; }
    std::uint64_t Length() const { return length_; }
    // Makes the file at least `length` bytes long, the new bytes FF.
    bool ExtendTo(std::uint64_t length);
    // Reads through the same opening; bytes beyond the end read as FF.
    bool Read(std::uint64_t offset, std::span<std::uint8_t> into);
    bool Write(std::uint64_t offset, std::span<const std::uint8_t> bytes);
    // Gives the file exactly `length` bytes: cut, or extended with FF.
    bool SetLength(std::uint64_t length);
    // True once any byte of the file may have changed (the modified flag must then be set, even
    // when a later write failed).
    bool Changed() const { return changed_; }
    // Closes the file; false when a write or the close failed.
    bool Close();
    // Why the open or the first failed read or write did not succeed.
    const std::string& Error() const { return error_; }

  private:
    bool Fail(const char* what);
    std::unique_ptr<BufferFileHandle> file_;
    std::uint64_t length_ = 0;
    bool changed_ = false;
    std::string error_;
};

class BufferDocument {
  public:
    explicit BufferDocument(std::filesystem::path path, BufferOpener opener = {})
        : path_(std::move(path)), opener_(std::move(opener)) {}

    const std::filesystem::path& Path() const { return path_; }
    // The file's length, or nothing when it does not exist.
    std::optional<std::uint64_t> Length() const;
    // Reads bytes from `offset`; bytes beyond the file's end read as FF. False (the bytes all FF)
    // when the file cannot be read.
    bool Read(std::uint64_t offset, std::span<std::uint8_t> into) const;
    // One write, extending the file first when it starts beyond the end. On failure `error`
    // holds the reason and `changed` says whether the file may have changed anyway.
    bool Write(std::uint64_t offset, std::span<const std::uint8_t> bytes,
               std::string* error = nullptr, bool* changed = nullptr) const;
    // Opens the file for a tool's reads and writes in place.
    std::unique_ptr<DocumentWriter> OpenWriter() const {
        return std::make_unique<DocumentWriter>(path_, opener_);
    }

  private:
    std::filesystem::path path_;
    BufferOpener opener_;
};

// The reason of the last failed system call, for the operator.
std::string SystemErrorText(int error);

}  // namespace torq::editor

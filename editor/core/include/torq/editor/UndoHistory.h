// Undo and redo of the editor's changes, typed edits and tools alike. Before a change the caller
// takes a copy of the ranges it is about to write (and the buffer file's length); once the change
// is made the copy becomes one step of the history. Undo puts the copy back, the length too, so a
// file a tool lengthened shrinks back; what the ranges held just before is copied first, for redo.
//
// A small copy (a typed edit) is kept in memory. A larger one is streamed in blocks into a
// temporary file of its own beside the buffer file, so memory stays flat whatever the range; the
// file is removed when its step is dropped, when the history is cleared and when the history ends.
#pragma once

#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "torq/devlib/Seams.h"
#include "torq/editor/Document.h"
#include "torq/editor/Operations.h"

namespace torq::editor {

// Copies up to this size stay in memory; larger ones go to a temporary file.
inline constexpr std::uint64_t kUndoInMemoryBytes = 4096;
// The block in which a copy is streamed to and from its file.
inline constexpr std::size_t kUndoBlockSize = 65536;

// The bytes free for this process on the file system holding `folder`; nothing when unknown.
using FreeSpaceProbe =
    std::function<std::optional<std::uint64_t>(const std::filesystem::path& folder)>;
std::optional<std::uint64_t> FreeSpaceOnDisk(const std::filesystem::path& folder);

// What some ranges of the buffer file held at one moment, and the file's length then. Only the
// bytes within that length are kept: the rest did not exist. Move-only; its file goes with it.
class UndoCopy {
  public:
    UndoCopy() = default;
    UndoCopy(UndoCopy&& other) noexcept;
    UndoCopy& operator=(UndoCopy&& other) noexcept;
    UndoCopy(const UndoCopy&) = delete;
    UndoCopy& operator=(const UndoCopy&) = delete;
    ~UndoCopy();

    const std::vector<ByteRange>& Ranges() const { return ranges_; }
    // The buffer file's length when the copy was taken.
    std::uint64_t FileLength() const { return fileLength_; }
    // The bytes kept, in memory or on disk.
    std::uint64_t Size() const { return size_; }
    // The temporary file holding the bytes; empty when they are in memory.
    const std::filesystem::path& File() const { return file_; }

  private:
    friend class UndoHistory;
    void Remove();

    std::vector<ByteRange> ranges_;
    std::uint64_t fileLength_ = 0;
    std::uint64_t size_ = 0;
    std::vector<std::uint8_t> bytes_;
    std::filesystem::path file_;
};

// How an undo or a redo went.
struct UndoReport {
    bool ok = true;
    // Whether any byte of the buffer may have changed (the modified flag must then be set).
    bool changed = false;
    std::string error;
    // Undo went ahead but could not copy what it replaced: there is nothing left to redo.
    std::optional<std::string> redoLost;
};

class UndoHistory {
  public:
    // Steps beyond this many are forgotten, the oldest first.
    static constexpr std::size_t kStepLimit = 65536;
    // Copies on disk beyond this many bytes in all are forgotten, the oldest first (the newest
    // step is always kept).
    static constexpr std::uint64_t kDiskLimit = std::uint64_t{1} << 30;

    explicit UndoHistory(const BufferDocument& document) : document_(document) {}
    UndoHistory(const UndoHistory&) = delete;
    UndoHistory& operator=(const UndoHistory&) = delete;

    // Seams for the tests: how a copy's file is opened once created (by default on disk), and
    // how the free space beside the buffer is told (by default the file system's).
    void SetCopyOpener(BufferOpener opener) { copyOpener_ = std::move(opener); }
    void SetFreeSpaceProbe(FreeSpaceProbe probe) { freeSpace_ = std::move(probe); }

    // The bytes a copy of `ranges` takes now: the parts within the buffer file.
    std::uint64_t CopySize(const std::vector<ByteRange>& ranges) const;
    // Whether a copy of that size needs no disk, or fits the free space beside the buffer (or the
    // free space cannot be told, and writing the copy will tell).
    bool CopyFits(std::uint64_t size) const;
    std::optional<std::uint64_t> FreeSpace() const;

    // Copies what `ranges` hold now. Nothing, with the reason in `error`, when the copy cannot be
    // made; the buffer file is only read, so it is unchanged either way.
    std::optional<UndoCopy> Take(std::vector<ByteRange> ranges, std::string* error = nullptr,
                                 ProgressSink* progress = nullptr) const;
    // The change the copy was taken for has been made (or begun: a change that failed part-way
    // is undone the same way): the copy becomes the newest step and what was undone is dropped.
    void Push(std::string name, UndoCopy before);

    bool CanUndo() const { return !done_.empty(); }
    bool CanRedo() const { return !undone_.empty(); }
    // The name given to Push and the first address of the step undo or redo would act on.
    std::string_view UndoName() const { return done_.back().name; }
    std::string_view RedoName() const { return undone_.back().name; }
    std::uint64_t UndoAddress() const { return FirstAddress(done_.back().copy); }
    std::uint64_t RedoAddress() const { return FirstAddress(undone_.back().copy); }

    // Puts the newest step's copy back. When that fails part-way, what was copied for redo is put
    // back in turn, so the buffer is as it was; when even that fails the step stays (its copy is
    // whole, so undo can be tried again) and there is nothing left to redo.
    UndoReport Undo(ProgressSink* progress = nullptr);
    // Makes the step undone last again. Refused, the buffer unchanged, when the copy that lets it
    // be undone once more cannot be made; a redo that fails part-way is rolled back the same way.
    UndoReport Redo(ProgressSink* progress = nullptr);
    // Drops every step and removes their files.
    void Clear();

  private:
    struct Step {
        std::string name;
        UndoCopy copy;
        // An undo or redo of it stopped part-way: the buffer holds neither state, so undoing it
        // keeps no copy for redo.
        bool interrupted = false;
    };
    static std::uint64_t FirstAddress(const UndoCopy& copy) {
        return copy.ranges_.empty() ? 0 : copy.ranges_.front().start;
    }
    // Writes the copy's bytes back and gives the file the copy's length.
    WriteReport Restore(const UndoCopy& copy, ProgressSink* progress) const;
    void Forget();

    const BufferDocument& document_;
    BufferOpener copyOpener_;
    FreeSpaceProbe freeSpace_;
    std::deque<Step> done_;
    std::deque<Step> undone_;
};

}  // namespace torq::editor

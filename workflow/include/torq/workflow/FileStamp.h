// What the emulator's watch reads of its file at a tick, in one place for the window and the
// command-line loop: whether a reading is a change to act on, and whether the file has stopped
// changing. Another attribute that should count as a change is added here and nowhere else.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace torq {

struct FileStamp {
    // Whether anything is there under the name (a folder, a FIFO or a device counts: whatever
    // stands in the file's place is a change, and its load is refused).
    bool present = false;
    // Modification and status-change times in nanoseconds. A copy that keeps the modification
    // time (cp -p, touch -r) still moves the change time.
    std::int64_t modifiedNs = 0;
    std::int64_t changedNs = 0;
    // The size, which moves while a writer adds to a file whose times the file system keeps
    // coarse.
    std::uintmax_t size = 0;
    // The file's identity: a file renamed into place is another file, whatever its times.
    std::uintmax_t device = 0;
    std::uintmax_t inode = 0;

    bool Missing() const { return !present; }
    // A change against the stamp taken when watching started: the watch acts on it.
    bool ChangedFrom(const FileStamp& watched) const { return *this != watched; }
    bool operator==(const FileStamp&) const = default;
};

// The stamp of what the name leads to now (links followed); the missing stamp when nothing is
// there.
FileStamp ReadFileStamp(const std::filesystem::path& file);

// Tells when a file has stopped changing: when a tick reads what the tick before read. A file
// still being written changes between ticks and is not acted on until it settles.
class SettleCheck {
  public:
    // This tick's reading; true when the file is there and stood still since the last reading.
    bool Settled(const FileStamp& now);
    void Forget() { previous_.reset(); }

  private:
    std::optional<FileStamp> previous_;
};

}  // namespace torq

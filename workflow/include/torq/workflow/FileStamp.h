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
    // The modification time at full resolution as text; empty when the file does not exist.
    std::string modified;
    // The size, which moves while a writer adds to a file whose time the file system keeps coarse.
    std::uintmax_t size = 0;

    bool Missing() const { return modified.empty(); }
    // A change against the stamp taken when watching started: the watch acts on it.
    bool ChangedFrom(const FileStamp& watched) const { return modified != watched.modified; }
    bool operator==(const FileStamp&) const = default;
};

// The stamp of the file now. A missing file, and anything that is not a file with a size (a
// folder, a file that went while it was read), gives the missing stamp.
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

// One process at a time writes a program folder's files: the window holds the lock for its whole
// life, a command-line command while it writes the buffer, Menu.ini or History.ini. Two
// processes never interleave their writes; the second one is told who holds the folder.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "torq/devlib/ProgramDirectory.h"

namespace torq {

inline constexpr std::string_view kHomeLockFileName = ".torq-spi.lock";

class HomeLock {
  public:
    // Takes the lock of the writable folder without waiting. `holder` names this process in the
    // lock file (for example "torq-spi-cli select"). On failure `problem` says why, naming the
    // process that holds the folder when it is known.
    static std::optional<HomeLock> Acquire(const ProgramDirectory& dirs, std::string_view holder,
                                           std::string* problem = nullptr);
    ~HomeLock();
    HomeLock(HomeLock&& other) noexcept;
    HomeLock& operator=(HomeLock&& other) noexcept;
    HomeLock(const HomeLock&) = delete;
    HomeLock& operator=(const HomeLock&) = delete;

  private:
    explicit HomeLock(int fd) : fd_(fd) {}
    int fd_ = -1;
};

}  // namespace torq

// One process at a time writes a program folder's files or drives its programmer: the window
// holds the lock for its whole life, a command-line command for its run. Commands that only read
// the folder's files share it with each other; one that writes them or talks to the programmer
// holds it alone. Two processes never interleave their work; the one refused is told who holds the
// folder.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "torq/devlib/ProgramDirectory.h"

namespace torq {

inline constexpr std::string_view kHomeLockFileName = ".torq-spi.lock";

// Readers share the folder; a writer excludes every other holder.
enum class HomeAccess { Shared, Exclusive };

class HomeLock {
  public:
    // Takes the lock of the writable folder without waiting. `holder` names this process in the
    // lock file (for example "torq-spi-cli select"; a writer's name only: readers are many). On
    // failure `problem` says why, naming the process that holds the folder when it is known.
    static std::optional<HomeLock> Acquire(const ProgramDirectory& dirs, std::string_view holder,
                                           std::string* problem = nullptr,
                                           HomeAccess access = HomeAccess::Exclusive);
    ~HomeLock();
    HomeLock(HomeLock&& other) noexcept;
    HomeLock& operator=(HomeLock&& other) noexcept;
    HomeLock(const HomeLock&) = delete;
    HomeLock& operator=(const HomeLock&) = delete;

  private:
    HomeLock(int fd, HomeAccess access) : fd_(fd), access_(access) {}
    int fd_ = -1;
    HomeAccess access_ = HomeAccess::Exclusive;
};

}  // namespace torq

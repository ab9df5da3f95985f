#include "torq/devlib/HomeLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

namespace torq {

namespace {

// How long a refused process waits for the holder's name: 20 x 10 ms.
constexpr int kNameWaits = 20;
constexpr int kNameWaitMs = 10;

// What the holder wrote into the lock file: its name and process number, one line.
std::string ReadHolder(int fd) {
    char text[256] = {};
    const ssize_t n = ::pread(fd, text, sizeof text - 1, 0);
    std::string holder = n > 0 ? std::string(text, static_cast<std::size_t>(n)) : std::string();
    while (!holder.empty() && (holder.back() == '\n' || holder.back() == '\r'))
        holder.pop_back();
    return holder;
}

}  // namespace

std::optional<HomeLock> HomeLock::Acquire(const ProgramDirectory& dirs, std::string_view holder,
                                          std::string* problem, HomeAccess access) {
    const auto fail = [&](std::string text) -> std::optional<HomeLock> {
        if (problem != nullptr)
            *problem = std::move(text);
        return std::nullopt;
    };
    dirs.EnsureDataFolder();
    const std::filesystem::path path = dirs.DataFolder() / kHomeLockFileName;
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        return fail("cannot open " + path.string() + ": " + std::strerror(errno));
    }
    // The kernel drops an flock with the process, so a crashed holder never blocks the folder.
    const bool exclusive = access == HomeAccess::Exclusive;
    if (::flock(fd, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
        const int error = errno;
        // Held only by readers (who write no name): a writer is refused by them.
        const bool byReaders =
            exclusive && error == EWOULDBLOCK && ::flock(fd, LOCK_SH | LOCK_NB) == 0;
        // The writer writes its name just after taking the lock (and clears it before letting
        // go): a name not there yet is waited for a moment.
        std::string other = byReaders ? "torq-spi-cli commands reading it" : ReadHolder(fd);
        for (int attempt = 0; other.empty() && error == EWOULDBLOCK && attempt < kNameWaits;
             ++attempt) {
            std::this_thread::sleep_for(std::chrono::milliseconds(kNameWaitMs));
            other = ReadHolder(fd);
        }
        ::close(fd);
        if (error == EWOULDBLOCK) {
            return fail("the folder " + dirs.DataFolder().string() + " is in use by " +
                        (other.empty() ? std::string("another TORQ-SPI program") : other));
        }
        return fail("cannot lock " + path.string() + ": " + std::strerror(error));
    }
    if (!exclusive)
        return HomeLock(fd, access);
    // Written over what a crashed holder may have left, then cut to its length, so that the file
    // never reads empty while it is held.
    const std::string line =
        std::string(holder) + " (process " + std::to_string(::getpid()) + ")\n";
    if (::pwrite(fd, line.data(), line.size(), 0) == static_cast<ssize_t>(line.size())) {
        [[maybe_unused]] const int cut = ::ftruncate(fd, static_cast<off_t>(line.size()));
    }
    return HomeLock(fd, access);
}

HomeLock::~HomeLock() {
    if (fd_ >= 0) {
        // The writer's name goes with the lock: the next holder's name is the only one to be read.
        if (access_ == HomeAccess::Exclusive) {
            [[maybe_unused]] const int cleared = ::ftruncate(fd_, 0);
        }
        ::close(fd_);  // releases the lock
    }
}

HomeLock::HomeLock(HomeLock&& other) noexcept : fd_(other.fd_), access_(other.access_) {
    other.fd_ = -1;
}

HomeLock& HomeLock::operator=(HomeLock&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = other.fd_;
        access_ = other.access_;
        other.fd_ = -1;
    }
    return *this;
}

}  // namespace torq

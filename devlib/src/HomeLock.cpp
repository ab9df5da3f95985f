#include "torq/devlib/HomeLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace torq {

namespace {

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
                                          std::string* problem) {
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
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        const std::string other = ReadHolder(fd);
        ::close(fd);
        if (error == EWOULDBLOCK) {
            return fail("the folder " + dirs.DataFolder().string() + " is in use by " +
                        (other.empty() ? std::string("another TORQ-SPI program") : other));
        }
        return fail("cannot lock " + path.string() + ": " + std::strerror(error));
    }
    const std::string line =
        std::string(holder) + " (process " + std::to_string(::getpid()) + ")\n";
    if (::ftruncate(fd, 0) == 0) [[maybe_unused]]
        const ssize_t written = ::pwrite(fd, line.data(), line.size(), 0);
    return HomeLock(fd);
}

HomeLock::~HomeLock() {
    if (fd_ >= 0)
        ::close(fd_);  // releases the lock
}

HomeLock::HomeLock(HomeLock&& other) noexcept : fd_(other.fd_) {
    other.fd_ = -1;
}

HomeLock& HomeLock::operator=(HomeLock&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

}  // namespace torq

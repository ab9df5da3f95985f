#include "torq/devlib/RegularFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace torq::io {

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
        Reset();
        fd_ = other.Release();
    }
    return *this;
}

int UniqueFd::Release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

void UniqueFd::Reset() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

bool UniqueFd::Close() {
    if (fd_ < 0)
        return true;
    const int result = ::close(fd_);
    fd_ = -1;
    return result == 0;
}

namespace {

std::string_view KindOf(mode_t mode) {
    if (S_ISFIFO(mode))
        return "a FIFO";
    if (S_ISDIR(mode))
        return "a folder";
    if (S_ISCHR(mode))
        return "a character device";
    if (S_ISBLK(mode))
        return "a block device";
    if (S_ISSOCK(mode))
        return "a socket";
    return "no kind of file known";
}

int OpenRetrying(const char* path, int flags, mode_t mode = 0) {
    int fd;
    do {
        fd = ::open(path, flags, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// Checks what was opened (the path may have been replaced since it was looked at) and hands over
// the descriptor in blocking mode; O_NONBLOCK only guarded the open itself.
OpenedFile Accept(const std::filesystem::path& path, int fd, const char* failure) {
    OpenedFile file;
    UniqueFd owned(fd);
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        file.error = errno;
        file.problem = path.string() + failure + std::strerror(file.error);
        return file;
    }
    if (!S_ISREG(info.st_mode)) {
        file.problem = NotRegularFileText(path, KindOf(info.st_mode));
        return file;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0)
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    file.length = static_cast<std::uint64_t>(info.st_size);
    file.fd = std::move(owned);
    return file;
}

OpenedFile Refused(const std::filesystem::path& path, const char* failure, int error) {
    OpenedFile file;
    file.error = error;
    file.missing = error == ENOENT || error == ENOTDIR;
    file.problem = path.string() + failure + std::strerror(error);
    return file;
}

// Non-blocking opens: a FIFO put in place after the path was looked at cannot hang them.
constexpr int kOpenFlags = O_NONBLOCK | O_NOCTTY | O_CLOEXEC;

}  // namespace

bool IsRegularFile(const std::filesystem::path& path) {
    std::error_code error;
    return !path.empty() && std::filesystem::is_regular_file(path, error);
}

std::optional<std::string_view> NonRegularKind(const std::filesystem::path& path) {
    struct stat info {};
    if (path.empty() || ::stat(path.c_str(), &info) != 0 || S_ISREG(info.st_mode))
        return std::nullopt;
    return KindOf(info.st_mode);
}

std::string NotRegularFileText(const std::filesystem::path& path, std::string_view kind) {
    return path.string() + " is not a regular file (" + std::string(kind) + ")";
}

OpenedFile OpenRegularFile(const std::filesystem::path& path, FileAccess access) {
    const bool update = access == FileAccess::Update;
    const char* failure = update ? " cannot be written: " : " cannot be read: ";
    // Looked at first, so a device or a FIFO is never opened at all (opening some devices acts).
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return Refused(path, failure, errno);
    if (!S_ISREG(info.st_mode)) {
        OpenedFile file;
        file.problem = NotRegularFileText(path, KindOf(info.st_mode));
        return file;
    }
    const int fd = OpenRetrying(path.c_str(), (update ? O_RDWR : O_RDONLY) | kOpenFlags);
    if (fd < 0)
        return Refused(path, failure, errno);
    return Accept(path, fd, failure);
}

OpenedFile CreateRegularFile(const std::filesystem::path& path) {
    const char* failure = " cannot be written: ";
    if (const auto kind = NonRegularKind(path)) {
        OpenedFile file;
        file.problem = NotRegularFileText(path, *kind);
        return file;
    }
    // O_TRUNC leaves anything but a regular file as it is, and that is refused below.
    const int fd = OpenRetrying(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | kOpenFlags, 0644);
    if (fd < 0)
        return Refused(path, failure, errno);
    return Accept(path, fd, failure);
}

}  // namespace torq::io

#include "torq/workflow/FileStamp.h"

#include <sys/stat.h>

namespace torq {

namespace {

constexpr std::int64_t kNsPerSecond = 1'000'000'000;

std::int64_t Nanoseconds(const timespec& time) {
    return static_cast<std::int64_t>(time.tv_sec) * kNsPerSecond + time.tv_nsec;
}

}  // namespace

FileStamp ReadFileStamp(const std::filesystem::path& file) {
    struct stat info {};
    if (file.empty() || ::stat(file.c_str(), &info) != 0)
        return {};
    FileStamp stamp;
    stamp.present = true;
    stamp.modifiedNs = Nanoseconds(info.st_mtim);
    stamp.changedNs = Nanoseconds(info.st_ctim);
    stamp.size = static_cast<std::uintmax_t>(info.st_size);
    stamp.device = static_cast<std::uintmax_t>(info.st_dev);
    stamp.inode = static_cast<std::uintmax_t>(info.st_ino);
    return stamp;
}

bool SettleCheck::Settled(const FileStamp& now) {
    const bool stoodStill = previous_ && *previous_ == now;
    previous_ = now;
    return stoodStill && !now.Missing();
}

}  // namespace torq

#include "torq/workflow/FileStamp.h"

#include <system_error>

namespace torq {

namespace fs = std::filesystem;

FileStamp ReadFileStamp(const fs::path& file) {
    if (file.empty())
        return {};
    std::error_code error;
    const fs::file_time_type time = fs::last_write_time(file, error);
    if (error)
        return {};
    const std::uintmax_t size = fs::file_size(file, error);
    if (error)
        return {};
    return FileStamp{std::to_string(time.time_since_epoch().count()), size};
}

bool SettleCheck::Settled(const FileStamp& now) {
    const bool stoodStill = previous_ && *previous_ == now;
    previous_ = now;
    return stoodStill && !now.Missing();
}

}  // namespace torq

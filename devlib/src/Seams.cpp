#include "torq/devlib/Seams.h"

#include <chrono>
#include <ctime>

namespace torq {

std::uint32_t SystemClock::TickMs() const {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

LocalDateTime SystemClock::Now() const {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
            local.tm_hour,        local.tm_min,     local.tm_sec};
}

const SystemClock& SystemClock::Instance() {
    static const SystemClock clock;
    return clock;
}

}  // namespace torq

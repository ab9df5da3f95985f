#include "torq/sim/SimClock.h"

#include <thread>

namespace torq::sim {

SimTime WallClock::Now() {
    return std::chrono::duration_cast<SimTime>(std::chrono::steady_clock::now().time_since_epoch());
}

void WallClock::SleepUntil(SimTime when) {
    std::this_thread::sleep_until(std::chrono::steady_clock::time_point(
        std::chrono::duration_cast<std::chrono::steady_clock::duration>(when)));
}

}  // namespace torq::sim

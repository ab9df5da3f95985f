// Time as the simulated programmer sees it in real-time mode: the wall clock, or a clock that
// only moves when the simulator waits (tests check hardware timing without waiting for it).
#pragma once

#include <chrono>

namespace torq::sim {

using SimTime = std::chrono::nanoseconds;

class SimClock {
  public:
    virtual ~SimClock() = default;
    virtual SimTime Now() = 0;
    // Returns at `when` (at once when it has passed).
    virtual void SleepUntil(SimTime when) = 0;
};

// The steady clock; sleeping really waits.
class WallClock final : public SimClock {
  public:
    SimTime Now() override;
    void SleepUntil(SimTime when) override;
};

// Moves only when asked to: sleeping jumps to the wake-up time at once.
class VirtualClock final : public SimClock {
  public:
    SimTime Now() override { return now_; }
    void SleepUntil(SimTime when) override {
        if (when > now_)
            now_ = when;
    }
    void Advance(SimTime by) { now_ += by; }

  private:
    SimTime now_{0};
};

}  // namespace torq::sim

// Time as the simulated programmer sees it in real-time mode: the wall clock, or a clock that
// only moves when the simulator waits (tests check hardware timing without waiting for it).
#pragma once

#include <algorithm>
#include <chrono>
#include <functional>
#include <utility>

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

// Another clock's waits cut into short slices, with a call between them: the simulated
// programmer's host sees a held transfer as a real one, during which the window keeps processing
// its messages.
class SlicedClock final : public SimClock {
  public:
    static constexpr SimTime kSlice = std::chrono::milliseconds(10);
    SlicedClock(SimClock& inner, std::function<void()> between)
        : inner_(inner), between_(std::move(between)) {}
    SimTime Now() override { return inner_.Now(); }
    void SleepUntil(SimTime when) override {
        for (SimTime now = inner_.Now(); now < when; now = inner_.Now()) {
            inner_.SleepUntil(std::min(when, now + kSlice));
            if (inner_.Now() < when && between_)
                between_();
        }
    }

  private:
    SimClock& inner_;
    std::function<void()> between_;
};

}  // namespace torq::sim

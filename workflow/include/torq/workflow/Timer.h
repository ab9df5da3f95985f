// Timers the caller drives: the window implements them with QTimer, the command-line tool and the
// tests with ManualTimer. Nothing in the workflow waits for a timer; the owner calls the model's
// Tick() when its timer fires.
#pragma once

namespace torq {

class Timer {
  public:
    virtual ~Timer() = default;
    virtual void Start() = 0;
    virtual void Stop() = 0;
    virtual bool IsEnabled() const = 0;
    void SetEnabled(bool enabled) { enabled ? Start() : Stop(); }
};

// A timer that only remembers whether it runs; whoever owns it decides when it "fires".
class ManualTimer final : public Timer {
  public:
    void Start() override {
        enabled_ = true;
        ++starts_;
    }
    void Stop() override { enabled_ = false; }
    bool IsEnabled() const override { return enabled_; }
    // How often Start was called (a restart counts too).
    int Starts() const { return starts_; }

  private:
    bool enabled_ = false;
    int starts_ = 0;
};

// Stops a timer for the length of a scope and gives it back the enabled state it had on entry on
// every way out, whatever happened to it in between.
class TimerPause {
  public:
    explicit TimerPause(Timer& timer) : timer_(timer), wasEnabled_(timer.IsEnabled()) {
        timer_.Stop();
    }
    ~TimerPause() { timer_.SetEnabled(wasEnabled_); }
    TimerPause(const TimerPause&) = delete;
    TimerPause& operator=(const TimerPause&) = delete;

    bool WasEnabled() const { return wasEnabled_; }

  private:
    Timer& timer_;
    bool wasEnabled_;
};

}  // namespace torq

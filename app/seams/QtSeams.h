// The workflow's seams as the window implements them: the pump lets the event loop run inside
// the operations' polls, and the timers are QTimers that call the workflow when they fire.
#pragma once

#include <QObject>
#include <QTimer>
#include <functional>

#include "torq/devlib/Seams.h"
#include "torq/workflow/Timer.h"

namespace torq::app {

// Pending window events (repaints, timers, clicks) are handled while an operation polls, so the
// window stays live; what a click may start during a run is the action gate's business.
class QtPump final : public Pump {
  public:
    void ProcessPendingMessages() override;
};

// The window's operator: the program's own (its message boxes) until the program is told to end
// from outside; from then on every question gets its cancelling choice at once and its text goes
// to standard error, so the ending never waits for a click that will not come.
class EndingOperator final : public Operator {
  public:
    explicit EndingOperator(Operator& op) : op_(op) {}
    Answer Respond(const OperatorMessage& message) override;
    void SetEnding() { ending_ = true; }

  private:
    Operator& op_;
    bool ending_ = false;
};

// A workflow timer on the event loop: `tick` runs every `intervalMs` while it is enabled. The
// QTimer carries the timer's name ("WatchFile_Timer"), so tests find it.
class QtTimer final : public Timer {
  public:
    QtTimer(const char* objectName, int intervalMs, QObject* parent);
    void SetTick(std::function<void()> tick);
    void Start() override { timer_->start(); }
    void Stop() override { timer_->stop(); }
    bool IsEnabled() const override { return timer_->isActive(); }
    QTimer* Object() const { return timer_; }

  private:
    QTimer* timer_;
    std::function<void()> tick_;
};

}  // namespace torq::app

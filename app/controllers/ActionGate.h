// One operator action at a time. The operations let the event loop run while they poll, so a
// click, a drop, a hand-over or a timer may arrive in the middle of another action; the gate
// refuses (or the caller defers) it until the action has ended. Long actions lock the window:
// what cannot be used then looks disabled. Device work the workflow holds counts as an action
// under way too, however it started.
#pragma once

#include <QObject>
#include <functional>

#include "torq/workflow/DeviceWork.h"

namespace torq::app {

enum class Lock { None, Window };

class ActionGate final : public QObject {
    Q_OBJECT
  public:
    explicit ActionGate(const DeviceWork& work) : work_(work) {}
    // Runs the action unless another one or device work is under way; false when it was refused.
    bool Run(const std::function<void()>& action, Lock lock = Lock::None);
    bool Busy() const { return depth_ > 0 || work_.Busy(); }
    bool Locked() const { return lockDepth_ > 0 || runUnderWay_; }
    // A run started or ended inside an action that did not lock (the watch's automatic
    // procedure): the window locks for it too.
    void SetRunUnderWay(bool underWay);

  signals:
    void LockChanged(bool locked);
    // An action ended and nothing else is under way: deferred work may go now.
    void Idle();

  private:
    void Relock(bool wasLocked);
    const DeviceWork& work_;
    int depth_ = 0;
    int lockDepth_ = 0;
    bool runUnderWay_ = false;
};

}  // namespace torq::app

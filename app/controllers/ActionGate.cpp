#include "controllers/ActionGate.h"

namespace torq::app {

bool ActionGate::Run(const std::function<void()>& action, Lock lock) {
    if (Busy())
        return false;
    const bool wasLocked = Locked();
    ++depth_;
    if (lock == Lock::Window)
        ++lockDepth_;
    Relock(wasLocked);
    // The counts go back on every way out, also when the action throws.
    struct Leave {
        ActionGate& gate;
        bool locked;
        ~Leave() {
            const bool before = gate.Locked();
            --gate.depth_;
            if (locked)
                --gate.lockDepth_;
            gate.Relock(before);
        }
    } leave{*this, lock == Lock::Window};
    action();
    return true;
}

void ActionGate::SetRunUnderWay(bool underWay) {
    const bool wasLocked = Locked();
    runUnderWay_ = underWay;
    Relock(wasLocked);
}

void ActionGate::Relock(bool wasLocked) {
    if (Locked() != wasLocked)
        emit LockChanged(Locked());
    if (depth_ == 0 && !runUnderWay_)
        emit Idle();
}

}  // namespace torq::app

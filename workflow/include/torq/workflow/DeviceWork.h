// Device work under way: a run, a detection, an enumeration, a load. The operations let the
// window process its messages while they poll, so a click, a watch tick, a drop or a USB change
// may arrive in the middle of it; whatever would talk to the programmer or change the buffer
// asks Busy() and is refused or waits until the work has ended. Each piece of work holds a
// DeviceWork::Guard for its length.
#pragma once

namespace torq {

class DeviceWork {
  public:
    bool Busy() const { return depth_ > 0; }

    class Guard {
      public:
        explicit Guard(DeviceWork& work) : work_(work) { ++work_.depth_; }
        ~Guard() { --work_.depth_; }
        Guard(const Guard&) = delete;
        Guard& operator=(const Guard&) = delete;

      private:
        DeviceWork& work_;
    };

  private:
    int depth_ = 0;
};

}  // namespace torq

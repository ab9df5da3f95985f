// When to enumerate the programmers again after devices are plugged in or pulled out. Three flags
// follow the notifications; an arrival followed by a nodes-changed means a new device, a
// nodes-changed followed by a removal-complete means one went away. While a run is under way the
// decision waits until the run has ended (enumeration downloads the driver image and restarts the
// firmware, which must not happen under an operation).
#pragma once

#include <array>

#include "torq/usb/UsbDevice.h"

namespace torq {

enum class DeviceNotification { Arrival, NodesChanged, RemovalComplete };

enum class ReEnumeration {
    None,
    Enumerate,              // enumerate the programmers again
    CloseWaitAndEnumerate,  // close the USB device object, wait 10 ms, then enumerate
};

inline constexpr int kCloseBeforeEnumerateWaitMs = 10;

// The USB layer's events as the notifications they stand for.
std::array<DeviceNotification, 2> NotificationsFor(UsbChange change);

class DeviceChangeTracker {
  public:
    // Takes one notification. Returns what to do now; with `busy` (a run is under way) the decision
    // is kept and None is returned until TakeDeferred.
    ReEnumeration Notify(DeviceNotification notification, bool busy);
    // Both notifications of a USB layer event.
    ReEnumeration Notify(UsbChange change, bool busy);
    // After the run: what was decided during it (the closing form wins over a plain enumeration).
    ReEnumeration TakeDeferred();

    bool ArrivalSeen() const { return arrival_; }
    bool NodesChanged() const { return nodesChanged_; }
    bool RemovalSeen() const { return removal_; }

  private:
    ReEnumeration Decide(DeviceNotification notification);
    bool arrival_ = false;
    bool nodesChanged_ = false;
    bool removal_ = false;
    ReEnumeration deferred_ = ReEnumeration::None;
};

}  // namespace torq

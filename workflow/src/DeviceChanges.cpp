#include "torq/workflow/DeviceChanges.h"

#include <algorithm>
#include <utility>

namespace torq {

std::array<DeviceNotification, 2> NotificationsFor(UsbChange change) {
    if (change == UsbChange::Arrival)
        return {DeviceNotification::Arrival, DeviceNotification::NodesChanged};
    return {DeviceNotification::NodesChanged, DeviceNotification::RemovalComplete};
}

ReEnumeration DeviceChangeTracker::Decide(DeviceNotification notification) {
    switch (notification) {
        case DeviceNotification::Arrival:
            arrival_ = true;
            nodesChanged_ = false;
            break;
        case DeviceNotification::NodesChanged:
            nodesChanged_ = true;
            removal_ = false;
            break;
        case DeviceNotification::RemovalComplete:
            removal_ = true;
            break;
    }
    if (removal_ && nodesChanged_) {
        removal_ = nodesChanged_ = false;
        return ReEnumeration::CloseWaitAndEnumerate;
    }
    if (nodesChanged_ && arrival_) {
        nodesChanged_ = arrival_ = false;
        return ReEnumeration::Enumerate;
    }
    return ReEnumeration::None;
}

ReEnumeration DeviceChangeTracker::Notify(DeviceNotification notification, bool busy) {
    deferred_ = std::max(deferred_, Decide(notification));
    return busy ? ReEnumeration::None : TakeDeferred();
}

ReEnumeration DeviceChangeTracker::Notify(UsbChange change, bool busy) {
    ReEnumeration decided = ReEnumeration::None;
    for (const DeviceNotification notification : NotificationsFor(change))
        decided = std::max(decided, Notify(notification, busy));
    return decided;
}

ReEnumeration DeviceChangeTracker::TakeDeferred() {
    return std::exchange(deferred_, ReEnumeration::None);
}

}  // namespace torq

#include "torq/workflow/DeviceChanges.h"

#include <gtest/gtest.h>

#include <vector>

namespace torq {
namespace {

using enum DeviceNotification;

std::vector<ReEnumeration> Feed(DeviceChangeTracker& tracker,
                                const std::vector<DeviceNotification>& notifications) {
    std::vector<ReEnumeration> decided;
    for (const DeviceNotification notification : notifications)
        decided.push_back(tracker.Notify(notification, false));
    return decided;
}

TEST(DeviceChangeTracker, DecidesFromTheOrderOfTheNotifications) {
    using R = ReEnumeration;
    struct Case {
        const char* what;
        std::vector<DeviceNotification> notifications;
        std::vector<ReEnumeration> decided;
    };
    const Case cases[] = {
        {"plugged in", {Arrival, NodesChanged}, {R::None, R::Enumerate}},
        {"nodes first, arrival after: nothing until the next nodes-changed",
         {NodesChanged, Arrival, NodesChanged},
         {R::None, R::None, R::Enumerate}},
        {"pulled out", {NodesChanged, RemovalComplete}, {R::None, R::CloseWaitAndEnumerate}},
        {"removal before the nodes change", {RemovalComplete, NodesChanged}, {R::None, R::None}},
        {"in, then out",
         {Arrival, NodesChanged, NodesChanged, RemovalComplete},
         {R::None, R::Enumerate, R::None, R::CloseWaitAndEnumerate}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DeviceChangeTracker tracker;
        EXPECT_EQ(Feed(tracker, c.notifications), c.decided);
    }
}

TEST(DeviceChangeTracker, UsbEventsGiveOneEnumerationEach) {
    DeviceChangeTracker tracker;
    EXPECT_EQ(tracker.Notify(UsbChange::Arrival, false), ReEnumeration::Enumerate);
    EXPECT_EQ(tracker.Notify(UsbChange::Removal, false), ReEnumeration::CloseWaitAndEnumerate);
    EXPECT_FALSE(tracker.ArrivalSeen() || tracker.NodesChanged() || tracker.RemovalSeen());
}

TEST(DeviceChangeTracker, ADecisionDuringARunWaitsForItsEnd) {
    DeviceChangeTracker tracker;
    EXPECT_EQ(tracker.Notify(UsbChange::Arrival, true), ReEnumeration::None);
    EXPECT_EQ(tracker.Notify(UsbChange::Removal, true), ReEnumeration::None);
    // The removal needs the closing form, which covers the arrival's enumeration as well.
    EXPECT_EQ(tracker.TakeDeferred(), ReEnumeration::CloseWaitAndEnumerate);
    EXPECT_EQ(tracker.TakeDeferred(), ReEnumeration::None);

    EXPECT_EQ(tracker.Notify(UsbChange::Arrival, true), ReEnumeration::None);
    // A notification after the run ends also delivers what was kept.
    EXPECT_EQ(tracker.Notify(RemovalComplete, false), ReEnumeration::Enumerate);
}

}  // namespace
}  // namespace torq

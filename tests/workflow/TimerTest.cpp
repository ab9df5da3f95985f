#include "torq/workflow/Timer.h"

#include <gtest/gtest.h>

namespace torq {
namespace {

// Whatever happens to the timer inside, it leaves the scope as it entered.
TEST(TimerPause, GivesTheTimerBackItsStateOnEveryWayOut) {
    for (const bool runningBefore : {false, true}) {
        for (const bool startedInside : {false, true}) {
            SCOPED_TRACE(testing::Message() << runningBefore << " " << startedInside);
            ManualTimer timer;
            timer.SetEnabled(runningBefore);
            const auto scope = [&]() -> bool {
                TimerPause pause(timer);
                EXPECT_FALSE(timer.IsEnabled());
                EXPECT_EQ(pause.WasEnabled(), runningBefore);
                if (startedInside) {
                    timer.Start();
                    return true;  // an early way out
                }
                return false;
            };
            scope();
            EXPECT_EQ(timer.IsEnabled(), runningBefore);
        }
    }
}

}  // namespace
}  // namespace torq

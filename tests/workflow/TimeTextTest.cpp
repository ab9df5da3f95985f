#include "torq/workflow/TimeText.h"

#include <gtest/gtest.h>

namespace torq {
namespace {

TEST(TimeText, SecondsInTheGeneralAndTheFixedForm) {
    struct Case {
        std::uint32_t ms;
        const char* general;
        const char* fixed;
    };
    const Case cases[] = {
        {3500, "3.5", "3.500"},
        {12016, "12.016", "12.016"},
        {4000, "4", "4.000"},
        {0, "0", "0.000"},
        {1, "0.001", "0.001"},
        {70, "0.07", "0.070"},
        {4294967295u, "4294967.295", "4294967.295"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ms);
        EXPECT_EQ(GeneralSecondsText(c.ms), c.general);
        EXPECT_EQ(FixedSecondsText(c.ms), c.fixed);
    }
}

TEST(TimeText, LinesSpanTheWrapOfTheTickCounter) {
    EXPECT_EQ(FinishedLine(0xFFFFF000u, 0x00000194u), "Finished with total time : 4.5 Sec.");
    EXPECT_EQ(TotalTimeText(100, 225), "Total Time : 0.125 Sec.");
}

}  // namespace
}  // namespace torq

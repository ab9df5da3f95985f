#include "torq/workflow/TimeText.h"

#include <gtest/gtest.h>

namespace torq {
namespace {

TEST(TimeText, SecondsInTheShortestGeneralForm) {
    struct Case {
        std::uint32_t ms;
        const char* general;
    };
    const Case cases[] = {
        {3500, "3.5"},
        {12016, "12.016"},
        {4000, "4"},
        {0, "0"},
        {1, "0.001"},
        {70, "0.07"},
        {4294967295u, "4294967.295"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ms);
        EXPECT_EQ(GeneralSecondsText(c.ms), c.general);
    }
}

TEST(TimeText, TheFinishedLineSpansTheWrapOfTheTickCounter) {
    EXPECT_EQ(FinishedLine(0xFFFFF000u, 0x00000194u), "Finished with total time : 4.5 Sec.");
}

}  // namespace
}  // namespace torq

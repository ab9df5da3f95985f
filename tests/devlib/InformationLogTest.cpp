#include "torq/devlib/InformationLog.h"

#include <gtest/gtest.h>

#include "TestSupport.h"

namespace torq {
namespace {

class RecordingView final : public LogView {
  public:
    void LineAdded(const std::string& line) override { lines.push_back(line); }
    void Reset(const std::vector<std::string>& all) override { lines = all; }
    std::vector<std::string> lines;
};

TEST(InformationLog, FormatsLinesWithAndWithoutTimeStamp) {
    test::FixedClock clock;
    InformationLog log(clock);
    RecordingView view;
    log.Subscribe(&view);
    log.WriteInfoLine("File Name : C:\\data\\a.hex");
    clock.now = {2026, 1, 2, 3, 4, 5};
    log.WriteInfoLine("0001 : [0x00000010] 0x12 0x34", false);
    const std::vector<std::string> expected = {"2011/05/04 13:07:09 : File Name : C:\\data\\a.hex",
                                               "0001 : [0x00000010] 0x12 0x34"};
    EXPECT_EQ(log.Lines(), expected);
    EXPECT_EQ(view.lines, expected);
    log.Clear();
    EXPECT_TRUE(view.lines.empty());
}

TEST(InformationLog, LookOfLineFindsTheTimeStampAndTheVerdict) {
    struct Case {
        const char* line;
        std::size_t stampLength;
        LineVerdict verdict;
    };
    const Case cases[] = {
        {"2011/05/04 13:07:09 : Erase : Pass", 22, LineVerdict::Pass},
        {"2011/05/04 13:07:09 : Read ID : [0xEF3011] Fail", 22, LineVerdict::Fail},
        {"2011/05/04 13:07:09 : Error : Please check the status of communication devices !", 22,
         LineVerdict::Fail},
        {"2011/05/04 13:07:09 : Start [Program]", 22, LineVerdict::None},
        {"2011/05/04 13:07:09 : File Name : /data/Passport", 22, LineVerdict::None},
        {"0001 : [0x00000010] 0x12 0x34", 0, LineVerdict::None},
        {"2011/5/04 13:07:09 : Verify : Fail", 0, LineVerdict::Fail},
        {"Pass", 0, LineVerdict::Pass},
        {"2011/05/04 13:07:09 : Result : PASS", 22, LineVerdict::Pass},
        {"2011/05/04 13:07:09 : Result : FAIL [Verify]", 22, LineVerdict::Fail},
        {"2011/05/04 13:07:09 : Result : STOPPED [not done]", 22, LineVerdict::None},
        {"", 0, LineVerdict::None},
    };
    for (const Case& c : cases) {
        const LineLook look = LookOfLine(c.line);
        EXPECT_EQ(look.stampLength, c.stampLength) << c.line;
        EXPECT_EQ(look.verdict, c.verdict) << c.line;
    }
}

class LineLimitTest : public ::testing::Test {
  protected:
    void Fill(int from, int to) {
        for (int i = from; i <= to; ++i)
            log.WriteInfoLine("line " + std::to_string(i), false);
    }
    test::FixedClock clock;
    InformationLog log{clock};
    RecordingView view;
    test::TempDir dir;
};

TEST_F(LineLimitTest, ClearKeepsTheMarkerAndTheNewerLines) {
    log.Subscribe(&view);
    Fill(1, 600);
    EXPECT_TRUE(log.ApplyLineLimit(500, LimitAction::ClearContents, dir / "unused.log"));
    ASSERT_EQ(log.Lines().size(), 101u);
    EXPECT_EQ(log.Lines()[0], kLimitMarkerLine);
    EXPECT_EQ(log.Lines()[1], "line 501");
    EXPECT_EQ(log.Lines().back(), "line 600");
    EXPECT_EQ(view.lines, log.Lines());
    EXPECT_FALSE(std::filesystem::exists(dir / "unused.log"));
}

TEST_F(LineLimitTest, SaveWritesTheOldestLinesAndTheNextTrimReplacesTheFile) {
    Fill(1, 600);
    const auto file = dir / "trim.log";
    ASSERT_TRUE(log.ApplyLineLimit(500, LimitAction::SaveToFileAndClear, file));
    std::string expected = std::string(kLogHeaderRule) + "\n" + std::string(kLogHeaderTitle) +
                           "\n" + std::string(kLogHeaderRule) + "\n";
    for (int i = 1; i <= 500; ++i)
        expected += "line " + std::to_string(i) + "\n";
    EXPECT_EQ(test::ReadFile(file), expected);

    // The marker does not count: 100 kept + 400 new lines are 500, so no trim yet.
    Fill(601, 1000);
    EXPECT_EQ(log.Lines().size(), 501u);
    EXPECT_FALSE(log.ApplyLineLimit(500, LimitAction::SaveToFileAndClear, file));
    Fill(1001, 1001);
    ASSERT_TRUE(log.ApplyLineLimit(500, LimitAction::SaveToFileAndClear, file));
    const std::string saved = test::ReadFile(file);
    EXPECT_EQ(saved.find(kLimitMarkerLine), std::string::npos);  // the old marker is dropped
    EXPECT_NE(saved.find("\nline 501\n"), std::string::npos);
    EXPECT_NE(saved.find("\nline 1000\n"), std::string::npos);
    EXPECT_EQ(saved.find("line 1001"), std::string::npos);
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{std::string(kLimitMarkerLine), "line 1001"}));
}

// When the trimmed lines cannot be written, none are dropped; the log says so once.
TEST_F(LineLimitTest, AFailedSaveKeepsEveryLine) {
    Fill(1, 600);
    const auto file = dir / "missing-folder" / "trim.log";
    for (int tick = 0; tick < 2; ++tick)
        EXPECT_FALSE(log.ApplyLineLimit(500, LimitAction::SaveToFileAndClear, file));
    ASSERT_EQ(log.Lines().size(), 601u);
    EXPECT_EQ(log.Lines()[0], "line 1");
    EXPECT_NE(log.Lines()[600].find("could not be saved"), std::string::npos);
}

// A log whose lines have all been printed already (the command line's) lets them go when they
// cannot be saved: the limit holds, and the log says once why nothing was saved.
TEST_F(LineLimitTest, AFailedSaveOfPrintedLinesStillHoldsTheLimit) {
    const auto file = dir / "missing-folder" / "trim.log";
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        Fill(1, 600);
        EXPECT_TRUE(
            log.ApplyLineLimit(500, LimitAction::SaveToFileAndClear, file, UnsavedLines::Drop));
        EXPECT_EQ(log.Lines()[0], kLimitMarkerLine);
        EXPECT_LE(log.Lines().size(), 502u);
        // Told after the first failed save only, as the newest line.
        EXPECT_EQ(log.Lines().back().find("could not be saved") != std::string::npos, round == 0);
    }
    EXPECT_FALSE(std::filesystem::exists(file));
}

TEST_F(LineLimitTest, SaveToFileWritesTheHeaderAndEveryLine) {
    Fill(1, 2);
    ASSERT_TRUE(log.SaveToFile(dir / "a.log"));
    EXPECT_EQ(test::ReadFile(dir / "a.log"),
              "=============================================\n"
              "             Status Information             \n"
              "=============================================\nline 1\nline 2\n");
}

}  // namespace
}  // namespace torq

#include "torq/workflow/EmulatorWatch.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace torq {
namespace {

namespace fs = std::filesystem;
using test::ScriptedOperator;
using test::TempDir;

struct Host final : WatchHost {
    void BringToFront() override { calls.emplace_back("front"); }
    void ReloadWorkFile() override {
        calls.emplace_back("reload");
        // As the work-file change does: a new stamp, and the watch started again.
        if (watch != nullptr)
            watch->StartWatching(true);
    }
    void ShowLastOperationTab() override { calls.emplace_back("tab"); }
    void ProcessPendingMessages() override { calls.emplace_back("pump"); }
    void ExecuteAll() override { calls.emplace_back("execute"); }
    EmulatorWatch* watch = nullptr;
    std::vector<std::string> calls;
};

struct WatchFixture : testing::Test {
    WatchFixture() {
        file = dir.Write("fw.bin", "firmware");
        SetModified(0);
        saved.sockets[0].workFile = file.string();
        host.watch = &watch;
    }
    // Moves the file's modification time to a fixed base plus the given milliseconds.
    void SetModified(int ms) {
        fs::last_write_time(file, fs::file_time_type(std::chrono::seconds(1'600'000'000)) +
                                      std::chrono::milliseconds(ms));
    }
    void Tick(int tab = 0) {
        context.tabIndex = tab;
        watch.Tick(context);
    }

    TempDir dir;
    fs::path file;
    SavedSettings saved;
    ManualTimer timer;
    ScriptedOperator op;
    IndicatorBoard board{op};
    Host host;
    EmulatorWatch watch{saved, timer, board, op, host};
    WatchTickContext context{0, true, false, false, 1};
};

TEST(FileStamp, ChangesWithEveryModificationAndIsEmptyForAMissingFile) {
    TempDir dir;
    const fs::path file = dir.Write("a.bin", "a");
    const auto base = fs::file_time_type(std::chrono::seconds(1'600'000'000));
    fs::last_write_time(file, base);
    const std::string first = FileStamp(file);
    // Within the same second, even the same two-second step, the stamp differs.
    fs::last_write_time(file, base + std::chrono::milliseconds(1));
    EXPECT_NE(FileStamp(file), first);
    EXPECT_FALSE(first.empty());
    EXPECT_EQ(FileStamp(dir / "missing.bin"), "");
}

TEST_F(WatchFixture, TheWatchBoxDrivesTheTileAndTheTimer) {
    watch.WatchCheckBoxChanged(true);
    EXPECT_EQ(board.ShownImage("Emulator_WatchImage_Panel"), "Emulator_WatchPass_Image");
    EXPECT_TRUE(timer.IsEnabled());
    EXPECT_EQ(saved.watchedStamp, FileStamp(file));
    watch.WatchCheckBoxChanged(false);
    EXPECT_EQ(board.ShownImage("Emulator_WatchImage_Panel"), "Emulator_WatchNorm_Image");
    EXPECT_FALSE(timer.IsEnabled());
}

TEST_F(WatchFixture, EachChangeIsAskedAboutOnce) {
    op = ScriptedOperator({Answer::No, Answer::Yes});
    watch.StartWatching(true);
    Tick();
    EXPECT_TRUE(op.messages.empty());
    EXPECT_TRUE(timer.IsEnabled());

    SetModified(10);
    Tick();
    ASSERT_EQ(op.Texts(), std::vector<std::string>{"File was changed want to reload ?"});
    EXPECT_EQ(op.messages[0].buttons, Buttons::YesNo);
    Tick();  // No: the same change is not asked about again
    EXPECT_EQ(op.messages.size(), 1u);
    EXPECT_EQ(host.calls, std::vector<std::string>{"front"});
    EXPECT_TRUE(timer.IsEnabled());

    SetModified(20);
    Tick();
    Tick();
    EXPECT_EQ(op.messages.size(), 2u);
    EXPECT_EQ(host.calls, (std::vector<std::string>{"front", "front", "reload", "tab"}));
    EXPECT_TRUE(timer.IsEnabled());
}

TEST_F(WatchFixture, AutomaticReloadAndProcedure) {
    struct Case {
        bool autoReload;
        bool autoProcedure;
        Answer answer;
        std::size_t questions;
        std::vector<std::string> calls;
    };
    const Case cases[] = {
        {false, false, Answer::No, 1, {"front"}},
        {false, false, Answer::Yes, 1, {"front", "reload", "tab"}},
        {false, true, Answer::Yes, 1, {"front", "reload", "tab", "pump", "execute"}},
        {true, false, Answer::No, 0, {"front", "reload", "tab"}},
        {true, true, Answer::No, 0, {"front", "reload", "tab", "pump", "execute"}},
    };
    int modified = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.autoReload << c.autoProcedure);
        op = ScriptedOperator({c.answer});
        host.calls.clear();
        context.autoReload = c.autoReload;
        context.autoProcedure = c.autoProcedure;
        watch.StartWatching(true);
        SetModified(modified += 10);
        Tick();
        EXPECT_EQ(op.messages.size(), c.questions);
        EXPECT_EQ(host.calls, c.calls);
        EXPECT_TRUE(timer.IsEnabled());
    }
}

TEST_F(WatchFixture, ADeletedFileStopsTheWatchWithoutAQuestion) {
    watch.StartWatching(true);
    fs::remove(file);
    Tick();
    EXPECT_FALSE(timer.IsEnabled());
    EXPECT_TRUE(op.messages.empty());
    // It stays stopped when the file comes back, until watching is started again.
    dir.Write("fw.bin", "new");
    EXPECT_FALSE(timer.IsEnabled());
}

TEST_F(WatchFixture, AChangeOnAnotherTabWaitsForTheEmulatorTab) {
    op = ScriptedOperator({Answer::Yes});
    watch.StartWatching(true);
    SetModified(10);
    Tick(1);
    EXPECT_TRUE(op.messages.empty());
    EXPECT_TRUE(timer.IsEnabled());  // it keeps running on the other tab
    Tick(0);
    EXPECT_EQ(op.messages.size(), 1u);
    EXPECT_EQ(host.calls, (std::vector<std::string>{"front", "reload", "tab"}));
}

TEST_F(WatchFixture, WithoutTheWatchBoxOrAProgrammerTheTickStopsTheTimer) {
    watch.StartWatching(true);
    context.watchChecked = false;
    Tick();
    EXPECT_FALSE(timer.IsEnabled());

    context.watchChecked = true;
    context.programmerCount = 0;
    watch.StartWatching(true);
    SetModified(10);
    Tick();
    EXPECT_FALSE(timer.IsEnabled());
    EXPECT_TRUE(op.messages.empty());
}

}  // namespace
}  // namespace torq

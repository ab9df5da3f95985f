#include "torq/workflow/EmulatorWatch.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "../link/LinkFixtures.h"
#include "TestSupport.h"

namespace torq {
namespace {

namespace fs = std::filesystem;
using test::FixedClock;
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
    FixedClock clock;
    InformationLog log{clock};
    EmulatorWatch watch{saved, timer, board, op, log, host};
    WatchTickContext context{0, true, false, false, 1};
};

TEST(FileStamp, ChangesWithEveryModificationAndIsEmptyForAMissingFile) {
    TempDir dir;
    const fs::path file = dir.Write("a.bin", "a");
    const auto base = fs::file_time_type(std::chrono::seconds(1'600'000'000));
    fs::last_write_time(file, base);
    const FileStamp first = ReadFileStamp(file);
    EXPECT_FALSE(first.Missing());
    EXPECT_EQ(first.size, 1u);
    // Within the same second, even the same two-second step, the stamp differs.
    fs::last_write_time(file, base + std::chrono::milliseconds(1));
    EXPECT_TRUE(ReadFileStamp(file).ChangedFrom(first));
    for (const fs::path& missing : {dir / "missing.bin", dir.Path(), fs::path()})
        EXPECT_TRUE(ReadFileStamp(missing).Missing()) << missing;
}

// Settled means read alike at two ticks in a row; a missing file never settles.
TEST(FileStamp, SettlesWhenTwoReadingsInARowAgree) {
    const FileStamp a{"1", 10}, grown{"1", 20}, missing;
    SettleCheck check;
    EXPECT_FALSE(check.Settled(a));
    EXPECT_TRUE(check.Settled(a));
    EXPECT_FALSE(check.Settled(grown));
    EXPECT_TRUE(check.Settled(grown));
    check.Forget();
    EXPECT_FALSE(check.Settled(grown));
    EXPECT_FALSE(check.Settled(missing));
    EXPECT_FALSE(check.Settled(missing));
}

TEST_F(WatchFixture, TheWatchBoxDrivesTheTileAndTheTimer) {
    watch.WatchCheckBoxChanged(true);
    EXPECT_EQ(board.ShownImage("Emulator_WatchImage_Panel"), "Emulator_WatchPass_Image");
    EXPECT_TRUE(timer.IsEnabled());
    EXPECT_EQ(saved.watchedStamp, ReadFileStamp(file));
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
    Tick();  // seen; acted on once it has stood still for a tick
    EXPECT_TRUE(op.messages.empty());
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
        Tick();
        EXPECT_EQ(op.messages.size(), c.questions);
        EXPECT_EQ(host.calls, c.calls);
        EXPECT_TRUE(timer.IsEnabled());
    }
}

// A file still being written is not acted on: the change is asked about once the file's size and
// time have stood still for one tick, and only once. On a file system with coarse times the time
// may stay while the file grows; the size shows that it is still being written.
TEST_F(WatchFixture, AChangeIsActedOnOnlyOnceTheFileHasSettled) {
    op = ScriptedOperator({Answer::Yes});
    watch.StartWatching(true);
    dir.Write("fw.bin", "firm");
    SetModified(10);
    Tick();
    dir.Write("fw.bin", "firmware, half");
    SetModified(20);
    Tick();
    dir.Write("fw.bin", "firmware, all of it");
    SetModified(20);
    Tick();
    EXPECT_TRUE(op.messages.empty());
    EXPECT_TRUE(host.calls.empty());
    EXPECT_TRUE(timer.IsEnabled());

    Tick();  // as it was at the tick before: settled
    EXPECT_EQ(op.Texts(), std::vector<std::string>{"File was changed want to reload ?"});
    EXPECT_EQ(host.calls, (std::vector<std::string>{"front", "reload", "tab"}));
    Tick();
    Tick();
    EXPECT_EQ(op.messages.size(), 1u);
    EXPECT_TRUE(timer.IsEnabled());
}

// A work file that disappears is waited for: the watch keeps running without a question, says once
// what it waits for, and takes the file up as a change when it is back and has settled, even with
// its old time.
TEST_F(WatchFixture, AVanishedFileIsWaitedForAndTakenUpWhenItIsBack) {
    op = ScriptedOperator({Answer::Yes});
    watch.StartWatching(true);
    fs::remove(file);
    Tick();
    Tick();
    EXPECT_TRUE(timer.IsEnabled());
    EXPECT_TRUE(op.messages.empty());
    EXPECT_EQ(test::Messages(log), std::vector<std::string>{"Waiting for " + file.string()});

    dir.Write("fw.bin", "rebuilt");
    SetModified(0);
    Tick();
    EXPECT_TRUE(op.messages.empty());
    Tick();
    EXPECT_EQ(op.Texts(), std::vector<std::string>{"File was changed want to reload ?"});
    EXPECT_EQ(host.calls, (std::vector<std::string>{"front", "reload", "tab"}));
    EXPECT_TRUE(timer.IsEnabled());
}

TEST_F(WatchFixture, AChangeOnAnotherTabWaitsForTheEmulatorTab) {
    op = ScriptedOperator({Answer::Yes});
    watch.StartWatching(true);
    SetModified(10);
    Tick(1);
    EXPECT_TRUE(op.messages.empty());
    EXPECT_TRUE(timer.IsEnabled());  // it keeps running on the other tab
    Tick(0);
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

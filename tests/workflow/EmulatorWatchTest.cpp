#include "torq/workflow/EmulatorWatch.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <utility>
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
    std::optional<std::string> ReloadWorkFile() override {
        calls.emplace_back("reload");
        // As the work-file change does: a new stamp, and the watch started again.
        if (watch != nullptr)
            watch->StartWatching(true);
        return refusal;
    }
    void ShowLastOperationTab() override { calls.emplace_back("tab"); }
    void ProcessPendingMessages() override { calls.emplace_back("pump"); }
    void RunWatchProcedure() override { calls.emplace_back("execute"); }
    EmulatorWatch* watch = nullptr;
    std::vector<std::string> calls;
    std::optional<std::string> refusal;  // the reload fails with this reason
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
    EXPECT_FALSE(ReadFileStamp(file).ChangedFrom(first));
    // Within the same second, even the same two-second step, the stamp differs.
    fs::last_write_time(file, base + std::chrono::milliseconds(1));
    EXPECT_TRUE(ReadFileStamp(file).ChangedFrom(first));
    for (const fs::path& missing : {dir / "missing.bin", fs::path()})
        EXPECT_TRUE(ReadFileStamp(missing).Missing()) << missing;
    // Whatever stands in the file's place is there, and its load is what refuses it.
    EXPECT_FALSE(ReadFileStamp(dir.Path()).Missing());
}

// New contents that keep the modification time: written in place with the old time put back
// (cp -p, touch -r), or another file with the old time renamed over it. The change time or the
// file's identity still moves.
TEST(FileStamp, ChangesThatKeepTheModificationTimeAreSeen) {
    TempDir dir;
    const fs::path file = dir.Write("fw.bin", "firmware 1");
    const auto base = fs::file_time_type(std::chrono::seconds(1'600'000'000));
    const std::vector<std::pair<const char*, std::function<void()>>> changes = {
        {"rewritten, time put back",
         [&] {
             dir.Write("fw.bin", "firmware 2");
             fs::last_write_time(file, base);
         }},
        {"renamed over it with the same time",
         [&] {
             const fs::path other = dir.Write("other.bin", "firmware 3");
             fs::last_write_time(other, base);
             fs::rename(other, file);
         }},
    };
    for (const auto& [name, change] : changes) {
        SCOPED_TRACE(name);
        fs::last_write_time(file, base);
        const FileStamp before = ReadFileStamp(file);
        // The change time moves in steps of the file system's clock.
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        change();
        const FileStamp after = ReadFileStamp(file);
        EXPECT_EQ(after.modifiedNs, before.modifiedNs);
        EXPECT_EQ(after.size, before.size);
        EXPECT_TRUE(after.ChangedFrom(before));
    }
}

// Settled means read alike at two ticks in a row; a missing file never settles.
TEST(FileStamp, SettlesWhenTwoReadingsInARowAgree) {
    FileStamp a, grown, missing;
    a.present = grown.present = true;
    a.size = 10;
    grown.size = 20;
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

// A reload that fails (the file emptied, not a file, bigger than the chip and not confirmed) runs
// nothing, with or without the automatic procedure: the buffer still holds the image before the
// change. The Load File tiles show the failure, the log says why, and the watch goes on.
TEST_F(WatchFixture, AFailedReloadRunsNothingAndTheWatchGoesOn) {
    context.autoReload = true;
    for (const bool autoProcedure : {false, true}) {
        SCOPED_TRACE(autoProcedure);
        context.autoProcedure = autoProcedure;
        host.calls.clear();
        host.refusal = "The file size is zero";
        watch.StartWatching(true);
        dir.Write("fw.bin", "");
        Tick();
        const WatchTickResult failed = watch.Tick(context);
        EXPECT_EQ(host.calls, (std::vector<std::string>{"front", "reload", "tab"}));
        EXPECT_EQ(failed.end, WatchTickEnd::ReloadFailed);
        EXPECT_EQ(failed.reason, "The file size is zero");
        EXPECT_EQ(test::Messages(log).back(), ReloadFailedLine("The file size is zero"));
        EXPECT_EQ(board.ShownImage("Emulator_LoadFileImage_Panel"), "Emulator_LoadFileFail_Image");
        EXPECT_EQ(board.ShownImage("Programmer_LoadFileImage_Panel"),
                  "Programmer_LoadFileFail_Image");
        EXPECT_EQ(board.ShownImage("Status_ResultImage_Panel") == "Status_ResultFail_Image",
                  autoProcedure);
        EXPECT_TRUE(timer.IsEnabled());

        // The same change is not tried again; the next one is.
        EXPECT_EQ(watch.Tick(context).end, WatchTickEnd::Idle);
        host.refusal.reset();
        dir.Write("fw.bin", "firmware, fixed");
        Tick();
        const WatchTickResult reloaded = watch.Tick(context);
        EXPECT_EQ(reloaded.end, WatchTickEnd::Reloaded);
        EXPECT_EQ(host.calls.back(), autoProcedure ? "execute" : "tab");
    }
    EXPECT_EQ(ReloadFailedLine("why"),
              "Error : The changed file could not be loaded (why), nothing is programmed !");
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

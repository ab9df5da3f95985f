#include "torq/workflow/EmulatorWatch.h"

#include "torq/workflow/Tabs.h"

namespace torq {

namespace fs = std::filesystem;

std::string WaitingForFileLine(const fs::path& file) {
    return "Waiting for " + file.string();
}

std::string ReloadFailedLine(std::string_view reason) {
    return "Error : The changed file could not be loaded (" + std::string(reason) +
           "), nothing is programmed !";
}

EmulatorWatch::EmulatorWatch(SavedSettings& saved, Timer& timer, IndicatorBoard& board,
                             Operator& op, InformationLog& log, WatchHost& host)
    : saved_(saved), timer_(timer), board_(board), op_(op), log_(log), host_(host) {}

void EmulatorWatch::TakeStamp() {
    saved_.watchedStamp = ReadFileStamp(saved_.WatchedFile());
    settle_.Forget();
    waitingTold_ = false;
}

void EmulatorWatch::WatchCheckBoxChanged(bool checked) {
    if (checked) {
        board_.ShowTile(Bar::Emulator, Step::Watch, TileImage::Pass);
        TakeStamp();
        timer_.Start();
    } else {
        board_.ShowTile(Bar::Emulator, Step::Watch, TileImage::Norm);
        timer_.Stop();
    }
}

void EmulatorWatch::StartWatching(bool watchChecked) {
    if (!watchChecked)
        return;
    TakeStamp();
    timer_.Start();
}

bool EmulatorWatch::ChangeSettled() {
    const fs::path file = saved_.WatchedFile();
    const FileStamp now = ReadFileStamp(file);
    if (now.Missing()) {
        // Waited for: the watch goes on, and whatever comes back is a change, even with the old
        // time (a build that deletes its output first, a file restored from elsewhere).
        if (!waitingTold_)
            log_.WriteInfoLine(WaitingForFileLine(file));
        waitingTold_ = true;
        saved_.watchedStamp = now;
        settle_.Forget();
        return false;
    }
    waitingTold_ = false;
    if (!now.ChangedFrom(saved_.watchedStamp)) {
        settle_.Forget();
        return false;
    }
    // A file still being written moves between ticks; it is acted on once it stands still.
    if (!settle_.Settled(now))
        return false;
    // Taken first, so the change is acted on once whatever the answer.
    saved_.watchedStamp = now;
    settle_.Forget();
    return true;
}

WatchTickResult EmulatorWatch::Tick(const WatchTickContext& context) {
    // A tick that arrives while one is being handled (messages run inside the reload and the
    // run) is dropped; the running one restarts the timer at its end.
    if (ticking_ || context.tabIndex != kEmulatorTabIndex)
        return {};
    if (!context.watchChecked) {
        timer_.Stop();
        return {};
    }
    ticking_ = true;
    timer_.Stop();
    bool keepWatching = false;
    WatchTickResult result;
    // The watched file belongs to unit 1; this release has at most one programmer. Without a
    // work file there is nothing to watch until one is set, which starts the watch again.
    if (context.programmerCount >= 1 && !saved_.WatchedFile().empty()) {
        keepWatching = true;
        if (ChangeSettled()) {
            host_.BringToFront();
            const bool reload = context.autoReload || op_.Ask(Severity::Question, kReloadQuestion,
                                                              Buttons::YesNo) == Answer::Yes;
            result.end = WatchTickEnd::NotReloaded;
            if (reload) {
                const std::optional<std::string> refusal = host_.ReloadWorkFile();
                host_.ShowLastOperationTab();
                if (refusal) {
                    // The buffer still holds the image before the change: nothing runs, and the
                    // Load File tiles and the log say why.
                    result = {WatchTickEnd::ReloadFailed, *refusal};
                    board_.ShowTile(Bar::Emulator, Step::LoadFile, TileImage::Fail);
                    board_.ShowTile(Bar::Programmer, Step::LoadFile, TileImage::Fail);
                    if (context.autoProcedure)
                        board_.ShowStatus(StatusImage::Fail);
                    log_.WriteInfoLine(ReloadFailedLine(*refusal));
                } else {
                    result.end = WatchTickEnd::Reloaded;
                    if (context.autoProcedure) {
                        host_.ProcessPendingMessages();
                        host_.RunWatchProcedure();
                    }
                }
            }
        }
    }
    if (keepWatching)
        timer_.Start();
    ticking_ = false;
    return result;
}

}  // namespace torq

#include "torq/workflow/EmulatorWatch.h"

#include <system_error>

namespace torq {

namespace fs = std::filesystem;

std::string FileStamp(const fs::path& file) {
    std::error_code error;
    if (file.empty() || !fs::exists(file, error))
        return {};
    const fs::file_time_type time = fs::last_write_time(file, error);
    if (error)
        return {};
    return std::to_string(time.time_since_epoch().count());
}

EmulatorWatch::EmulatorWatch(SavedSettings& saved, Timer& timer, IndicatorBoard& board,
                             Operator& op, WatchHost& host)
    : saved_(saved), timer_(timer), board_(board), op_(op), host_(host) {}

void EmulatorWatch::WatchCheckBoxChanged(bool checked) {
    if (checked) {
        board_.ShowTile(Bar::Emulator, Step::Watch, TileImage::Pass);
        saved_.watchedStamp = FileStamp(saved_.WatchedFile());
        timer_.Start();
    } else {
        board_.ShowTile(Bar::Emulator, Step::Watch, TileImage::Norm);
        timer_.Stop();
    }
}

void EmulatorWatch::StartWatching(bool watchChecked) {
    if (!watchChecked)
        return;
    saved_.watchedStamp = FileStamp(saved_.WatchedFile());
    timer_.Start();
}

void EmulatorWatch::Tick(const WatchTickContext& context) {
    // A tick that arrives while one is being handled (messages run inside the reload and the
    // run) is dropped; the running one restarts the timer at its end.
    if (ticking_ || context.tabIndex != kEmulatorTabIndex)
        return;
    if (!context.watchChecked) {
        timer_.Stop();
        return;
    }
    ticking_ = true;
    timer_.Stop();
    bool keepWatching = false;
    // The watched file belongs to unit 1; this release has at most one programmer.
    if (context.programmerCount >= 1) {
        const fs::path file = saved_.WatchedFile();
        const std::string stamp = FileStamp(file);
        if (!stamp.empty() && !saved_.watchedStamp.empty()) {
            keepWatching = true;
            if (stamp != saved_.watchedStamp) {
                // Taken first, so the change is asked about once whatever the answer.
                saved_.watchedStamp = stamp;
                host_.BringToFront();
                const bool reload =
                    context.autoReload ||
                    op_.Ask(Severity::Question, kReloadQuestion, Buttons::YesNo) == Answer::Yes;
                if (reload) {
                    host_.ReloadWorkFile();
                    host_.ShowLastOperationTab();
                    if (context.autoProcedure) {
                        host_.ProcessPendingMessages();
                        host_.ExecuteAll();
                    }
                }
            }
        }
    }
    if (keepWatching)
        timer_.Start();
    ticking_ = false;
}

}  // namespace torq

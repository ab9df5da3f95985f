// The emulator's file watch: every tick of the 300 ms watch timer compares the watched file's
// stamp with the one taken when watching started; a change is acted on once the file has stopped
// changing for a tick, and then once: asked about (unless reloads are automatic), reloaded, and
// optionally followed by Execute All. A reload that fails runs nothing: the buffer still holds the
// image before the change, and programming it would pass for a chip without the new file. A
// watched file that disappears is waited for, and whatever comes back in its place is a change.
// The caller owns the timer and calls Tick() when it fires; what a reload does is the host's.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "torq/devlib/InformationLog.h"
#include "torq/devlib/Seams.h"
#include "torq/workflow/FileStamp.h"
#include "torq/workflow/IndicatorBoard.h"
#include "torq/workflow/Tabs.h"
#include "torq/workflow/Timer.h"
#include "torq/workflow/Units.h"

namespace torq {

inline constexpr std::string_view kReloadQuestion = "File was changed want to reload ?";

// The line the watch writes once when its file is not there (the window and the command line).
std::string WaitingForFileLine(const std::filesystem::path& file);
// "Error : The changed file could not be loaded (REASON), nothing is programmed !"
std::string ReloadFailedLine(std::string_view reason);

// What the watch asks of the rest of the program.
class WatchHost {
  public:
    virtual ~WatchHost() = default;
    // Brings the program's window to the front (restored when minimised).
    virtual void BringToFront() = 0;
    // The reload: the work-file change of unit 1 socket 1 and the load of its file with the load
    // dialog's current settings. Nothing when the file is in the buffer, else why it is not.
    virtual std::optional<std::string> ReloadWorkFile() = 0;
    // Back to the last operation tab, with its tab-change behaviour.
    virtual void ShowLastOperationTab() = 0;
    virtual void ProcessPendingMessages() {}
    // The automatic procedure after a reload: Execute All as the window or the command line has it.
    virtual void RunWatchProcedure() = 0;
};

// The state the tick reads from the window and the options.
struct WatchTickContext {
    int tabIndex = kEmulatorTabIndex;
    bool watchChecked = false;   // Emulator_Watch_CheckBox
    bool autoReload = false;     // Options_WatchAutoReload_CheckBox
    bool autoProcedure = false;  // Options_WatchAutoProcedure_CheckBox
    int programmerCount = 0;
};

// What a tick did.
enum class WatchTickEnd {
    Idle,          // nothing to act on yet (no change, not settled, another tab, no file)
    NotReloaded,   // a change the operator chose not to reload
    Reloaded,      // the changed file is in the buffer (and was run with the automatic procedure)
    ReloadFailed,  // the changed file could not be loaded: nothing was run
};

struct WatchTickResult {
    WatchTickEnd end = WatchTickEnd::Idle;
    std::string reason;  // why a reload failed
};

class EmulatorWatch {
  public:
    // The watched file and its stamp live in the saved settings (unit 1, socket 1).
    EmulatorWatch(SavedSettings& saved, Timer& timer, IndicatorBoard& board, Operator& op,
                  InformationLog& log, WatchHost& host);

    // "Watch" ticked or cleared: the Watch tile, the stamp and the timer.
    void WatchCheckBoxChanged(bool checked);
    // A new work file (work-file change, command line, drop, history restore): with "Watch"
    // checked, take the stamp and start the timer.
    void StartWatching(bool watchChecked);
    // One tick of the watch timer.
    WatchTickResult Tick(const WatchTickContext& context);

  private:
    void TakeStamp();
    // Reads the watched file: true when a change to it has settled and is to be acted on now.
    bool ChangeSettled();

    SavedSettings& saved_;
    Timer& timer_;
    IndicatorBoard& board_;
    Operator& op_;
    InformationLog& log_;
    WatchHost& host_;
    SettleCheck settle_;
    bool waitingTold_ = false;  // the missing file's line is written once until it is back
    bool ticking_ = false;
};

}  // namespace torq

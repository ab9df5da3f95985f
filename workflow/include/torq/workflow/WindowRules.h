// Small rules of the main window that need no toolkit: which Options controls can be used, where
// Browse starts and what it does when no file is chosen, and what closing the window does while
// device work is under way. The window only applies what these say.
#pragma once

#include <filesystem>
#include <functional>
#include <string_view>

#include "torq/buffer/Load.h"
#include "torq/devlib/Options.h"
#include "torq/devlib/Seams.h"

namespace torq {

// ---- the Options tab ----

// The controls of the Options tab that depend on other controls.
struct OptionsEnabling {
    bool verifyErrorsField = false;  // the verify-errors field: its box is checked
    bool limitField = false;         // the line-limit field and both of its choices: limit on
    bool limitChoices = false;
    bool logFile = false;  // the log-file field and its "...": limit on, saving to the file
};
OptionsEnabling OptionsControlsEnabled(const Options& options);

// ---- Browse of a socket ----

// Where the open-file dialog starts: the folder of the socket's work file while that file exists,
// else the program's writable folder.
std::filesystem::path BrowseStartFolder(std::string_view workFile,
                                        const std::filesystem::path& dataFolder);
// After the open-file dialog: true when `chosen` names an existing file, so the Load File dialog
// opens for it. Otherwise the load dialog serves no socket (current unit and socket 0).
bool BrowseChoseFile(LoadDialogState& dialog, const std::filesystem::path& chosen);

// ---- closing ----

inline constexpr std::string_view kCloseDuringRunQuestion =
    "A run is under way. Stop it and close the window?";

enum class CloseDecision {
    Close,          // nothing under way: close now, with the closing saves
    CloseWhenIdle,  // wait for the work under way to end, then close
    StayOpen,       // the operator wants the run to go on
};

// A close request. Closing never cuts device work short, so the buffer and History.ini are never
// left half written: work other than a run ends first; a run stops before its next block
// (`stopRun`), once the operator agrees, or at once when the program is told to end from outside
// (`ask` false: a signal, the session ending).
CloseDecision DecideClose(bool workUnderWay, bool runUnderWay, bool ask, Operator& op,
                          const std::function<void()>& stopRun);

}  // namespace torq

#include "torq/workflow/WindowRules.h"

#include <system_error>

namespace torq {

namespace fs = std::filesystem;

OptionsEnabling OptionsControlsEnabled(const Options& options) {
    OptionsEnabling enabling;
    enabling.verifyErrorsField = options.verifyErrorsListLimited;
    enabling.limitField = options.infoMessageLimited;
    enabling.limitChoices = options.infoMessageLimited;
    enabling.logFile = options.infoMessageLimited && options.infoMessageLimitSavesToFile;
    return enabling;
}

fs::path BrowseStartFolder(std::string_view workFile, const fs::path& dataFolder) {
    std::error_code error;
    const fs::path file(workFile);
    if (!workFile.empty() && fs::is_regular_file(file, error))
        return fs::absolute(file, error).parent_path();
    return dataFolder;
}

bool BrowseChoseFile(LoadDialogState& dialog, const fs::path& chosen) {
    std::error_code error;
    if (!chosen.empty() && fs::is_regular_file(chosen, error))
        return true;
    dialog.unit = 0;
    dialog.socket = 0;
    return false;
}

CloseDecision DecideClose(bool workUnderWay, bool runUnderWay, bool ask, Operator& op,
                          const std::function<void()>& stopRun) {
    if (!workUnderWay && !runUnderWay)
        return CloseDecision::Close;
    if (runUnderWay) {
        if (ask &&
            op.Ask(Severity::Question, kCloseDuringRunQuestion, Buttons::YesNo) != Answer::Yes) {
            return CloseDecision::StayOpen;
        }
        if (stopRun)
            stopRun();
    }
    return CloseDecision::CloseWhenIdle;
}

}  // namespace torq

// Scratch desktop folders and a recorder in place of the desktop's tools.
#pragma once

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "torq/desktop/Xdg.h"

namespace torq::test {

class RecordingTools final : public DesktopTools {
  public:
    bool Run(const std::vector<std::string>& argv) override {
        calls.push_back(argv);
        if (!argv.empty() &&
            std::find(missing.begin(), missing.end(), argv.front()) != missing.end()) {
            return false;
        }
        if (onRun)
            onRun(argv);
        return true;
    }
    std::vector<std::vector<std::string>> calls;
    std::vector<std::string> missing;  // tools that are "not installed": Run fails
    // What a tool that ran does (write the files the real one would); nothing when unset.
    std::function<void(const std::vector<std::string>&)> onRun;
};

// A home whose data and configuration folders do not exist yet (a fresh account) and a system
// data folder the test may fill.
inline XdgFolders ScratchFolders(const TempDir& dir) {
    XdgFolders folders;
    folders.dataHome = dir / "home/.local/share";
    folders.configHome = dir / "home/.config";
    folders.dataDirs = {dir / "system"};
    return folders;
}

}  // namespace torq::test

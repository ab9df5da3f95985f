// The program's own command line: the options this Linux program adds (--simulate, --home,
// --version, --help) and the parameters the workbench processes as the original command line
// ("-h", "-?", "-b", a file name).
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace torq::app {

struct AppArguments {
    std::optional<std::filesystem::path> home;  // --home DIR
    // --simulate CHIP[,option=value...], once per simulated programmer (or CHIP*N).
    std::vector<std::string> simulate;
    bool version = false;  // --version
    bool help = false;     // --help
    // Printed and the program ends with code 2 (a missing value, for instance).
    std::string error;
    // What remains, for the workbench: options of the original command line and file names.
    std::vector<std::string> parameters;
};

// Reads argv (without the program name). "--" ends the program's own options. A parameter that
// names an existing file relative to `currentFolder` becomes absolute, since the shell here does
// not complete names as the original desktop's did and the workbench would otherwise look for
// the file in the program folder.
AppArguments ParseAppArguments(const std::vector<std::string>& arguments,
                               const std::filesystem::path& currentFolder);

// The --help text.
std::string AppUsage();

}  // namespace torq::app

#include "AppArguments.h"

#include <system_error>

namespace torq::app {

namespace fs = std::filesystem;

namespace {

// A name that exists relative to the current folder is made absolute; anything else is passed
// on as it is (the workbench reports a missing file).
std::string Completed(const std::string& parameter, const fs::path& currentFolder) {
    if (parameter.empty() || parameter.front() == '-')
        return parameter;
    const fs::path path(parameter);
    if (path.is_absolute())
        return parameter;
    std::error_code error;
    const fs::path candidate = (currentFolder / path).lexically_normal();
    if (fs::is_regular_file(candidate, error))
        return candidate.string();
    return parameter;
}

}  // namespace

AppArguments ParseAppArguments(const std::vector<std::string>& arguments,
                               const fs::path& currentFolder) {
    AppArguments parsed;
    bool ownOptions = true;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (ownOptions && argument == "--") {
            ownOptions = false;
            continue;
        }
        if (ownOptions && argument.starts_with("--")) {
            const auto equals = argument.find('=');
            const std::string name = argument.substr(0, equals);
            const auto value = [&]() -> std::optional<std::string> {
                if (equals != std::string::npos)
                    return argument.substr(equals + 1);
                if (i + 1 < arguments.size())
                    return arguments[++i];
                return std::nullopt;
            };
            if (name == "--home" || name == "--simulate") {
                const auto text = value();
                if (!text || text->empty()) {
                    parsed.error = name + " needs a value";
                    return parsed;
                }
                if (name == "--home")
                    parsed.home = fs::path(*text);
                else
                    parsed.simulate.push_back(*text);
                continue;
            }
            if (argument == "--version") {
                parsed.version = true;
                continue;
            }
            if (argument == "--help") {
                parsed.help = true;
                continue;
            }
            // Any other "--" option is the workbench's to report as a bad option.
        }
        parsed.parameters.push_back(Completed(argument, currentFolder));
    }
    return parsed;
}

std::string AppUsage() {
    return "Usage: torq-spi [--home DIR] [--simulate CHIP[,option=value...]] [-h|-?] [-b] "
           "[FILE]\n"
           "\n"
           "  --home DIR         folder with the device library and the writable files\n"
           "                     (default: TORQ_SPI_HOME, the program's folder, or the\n"
           "                     installed layout)\n"
           "  --simulate CHIP    use the simulated programmer with this chip in the socket;\n"
           "                     options as torq-spi-cli's (realtime=1 runs at hardware speed);\n"
           "                     up to four times (or CHIP*N) for several programmers\n"
           "  --version          print the version and exit\n"
           "  -h, -?             log the usage in the information panel\n"
           "  -b                 two tones on the speaker\n"
           "  FILE               load FILE into unit 1, socket 1; when the window already runs\n"
           "                     on this home folder, the file is handed to it\n";
}

}  // namespace torq::app

// torq-spi-cli: the device library, the buffer and the programmer from the command line, for
// scripts and production lines.
#include <CLI/CLI.hpp>

#include <exception>
#include <string>

#include "CliContext.h"

int main(int argc, char** argv) {
    using namespace torq::cli;
    CLI::App app{"TORQ-SPI command-line tool"};
    app.set_version_flag("--version", std::string(TORQ_VERSION));
    app.require_subcommand(1);
    CliContext context;
    std::string home;
    app.add_option("--home", home, "Folder holding the device library and the writable files");
    app.add_option("--simulate", context.simulate,
                   "Use a simulated programmer with this chip: CHIP[,option=value...]; up to "
                   "four times (or CHIP*N) for several programmers on one bus")
        ->expected(1)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    app.parse_complete_callback([&] {
        if (!home.empty())
            context.home = home;
        // The command's full name ("pages set") names this process to others that find the
        // home folder held.
        for (const CLI::App* command = &app; !command->get_subcommands().empty();) {
            command = command->get_subcommands().front();
            context.command += (context.command.empty() ? "" : " ") + command->get_name();
        }
    });
    int exitCode = kSuccess;
    AddLibraryCommands(app, context, exitCode);
    AddLinkCommands(app, context, exitCode);
    AddOperationCommands(app, context, exitCode);
    AddBufferCommands(app, context, exitCode);
    AddWatchCommand(app, context, exitCode);
    AddRecordCommands(app, context, exitCode);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e);
        return code == 0 ? kSuccess : kBadUsage;
    } catch (const std::exception& e) {
        // Nothing may end the tool with an abort: what a lower layer did not expect is reported.
        return Fail(kBadUsage, std::string("unexpected error: ") + e.what());
    } catch (...) {
        return Fail(kBadUsage, "unexpected error of an unknown kind");
    }
    return exitCode;
}

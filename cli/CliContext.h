// What every torq-spi-cli command shares: where the library is, the log printed to stdout and
// the operator whose questions are answered by flags.
#pragma once

#include <CLI/CLI.hpp>

#include <filesystem>
#include <iostream>
#include <optional>
#include <string>

#include "torq/devlib/HomeLock.h"
#include "torq/devlib/InformationLog.h"
#include "torq/devlib/ProgramDirectory.h"
#include "torq/devlib/Seams.h"

namespace torq::cli {

enum ExitCode { kSuccess = 0, kFailed = 1, kBadUsage = 2 };

// Log lines go to stdout as they are written.
class StdoutLogView final : public LogView {
  public:
    void LineAdded(const std::string& line) override { std::cout << line << '\n' << std::flush; }
    void Reset(const std::vector<std::string>&) override {}
};

// Messages go to stderr. A question is answered by --yes / --no; without either, it is printed
// and counts as refused, and the command fails with it.
class CliOperator final : public Operator {
  public:
    Answer Respond(const OperatorMessage& message) override;
    std::optional<bool> yes;
    bool unanswered = false;
};

struct CliContext {
    std::optional<std::filesystem::path> home;
    std::string simulate;  // --simulate CHIP[,option=value...]; empty: the USB hardware
    InformationLog log;
    StdoutLogView stdoutView;
    CliOperator op;

    std::optional<HomeLock> homeLock;

    CliContext() { log.Subscribe(&stdoutView); }
    ProgramDirectory Directories() const {
        return ProgramDirectory::Locate(home, ExecutableFolder());
    }
};

// A command that writes the buffer, Menu.ini or History.ini holds the home folder for its whole
// run. Returns 0, or the exit code when another process holds the folder (the reason printed).
int LockHome(CliContext& context, std::string_view command);

// Prints an error for the operator and gives the exit code.
int Fail(int code, std::string_view message);

// Each group of commands adds its subcommands; the callback it sets stores the exit code.
void AddLibraryCommands(CLI::App& app, CliContext& context, int& exitCode);
void AddLinkCommands(CLI::App& app, CliContext& context, int& exitCode);
void AddOperationCommands(CLI::App& app, CliContext& context, int& exitCode);
void AddBufferCommands(CLI::App& app, CliContext& context, int& exitCode);

}  // namespace torq::cli

// What every torq-spi-cli command shares: where the library is, the operator whose questions are
// answered by flags, and the workbench the commands drive (the same core the window holds), with
// its log printed to stdout.
#pragma once

#include <CLI/CLI.hpp>

#include <filesystem>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "torq/devlib/InformationLog.h"
#include "torq/devlib/ProgramDirectory.h"
#include "torq/devlib/Seams.h"
#include "torq/workflow/DeviceSession.h"
#include "torq/workflow/Timer.h"
#include "torq/workflow/Workbench.h"

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

// The window's requests that mean something on the command line: the program must end.
class CliHost final : public WorkbenchHost {
  public:
    void EndProgram(bool) override { ended = true; }
    bool ended = false;
};

// The pump of the command line: nothing to process, but a long-running command (watch) looks at
// its interrupt flag here, between the transfers of an operation.
class CliPump final : public Pump {
  public:
    void ProcessPendingMessages() override {
        if (hook)
            hook();
    }
    std::function<void()> hook;
};

// What a command needs of the workbench.
enum class Needs {
    Library,     // the checked library only
    Selection,   // and unit 1's device from History.ini
    AnyDevice,   // a device, the first of the library when none is selected
    Programmer,  // the selected device and the programmer found and loaded
    ProgrammerAnyDevice,
};

struct CliContext {
    std::string command;  // the command given ("load", "pages set"), which names the lock's holder
    std::optional<std::filesystem::path> home;
    // --simulate CHIP[,option=value...], up to four times (or CHIP*N): one simulated programmer
    // each, on one bus; none: the USB hardware.
    std::vector<std::string> simulate;
    CliOperator op;
    StdoutLogView stdoutView;
    CliPump pump;
    ManualTimer watchTimer;
    ManualTimer flashTimer;
    CliHost host;
    std::optional<HomeLock> homeLock;  // taken before the workbench reads anything
    HomeAccess homeAccess = HomeAccess::Shared;
    std::unique_ptr<Workbench> bench;
    // The device commands (programmers, select, id, detect) work a device session of their own,
    // without the window's state; its log is printed as it is written.
    InformationLog sessionLog;
    std::unique_ptr<DeviceSession> session;

    ProgramDirectory Directories() const {
        return ProgramDirectory::Locate(home, ExecutableFolder());
    }
};

inline constexpr std::string_view kUnansweredMessage =
    "a question was not answered: add --yes or --no";

// --yes / --no: how the questions of a command are answered.
struct AnswerFlags {
    bool yes = false;
    bool no = false;
};
void AddAnswerFlags(CLI::App* command, AnswerFlags& flags);
void ApplyAnswerFlags(CliContext& context, const AnswerFlags& flags);

// --lot / --serial: what the production records of this command's runs carry (the options'
// lot and serial otherwise; "{n}" in the serial counts up within the lot). Not saved.
struct RecordFlags {
    std::optional<std::string> lot;
    std::optional<std::string> serial;
};
void AddRecordFlags(CLI::App* command, RecordFlags& flags);
void ApplyRecordFlags(Workbench& bench, const RecordFlags& flags);

// --units 1,3: the units whose socket 1 takes part in a run (every unit found when the text is
// empty), set as the plan's sockets. Returns 0, or kBadUsage with the reason printed.
int ChooseUnits(const Workbench& bench, const std::string& units, RunPlan& plan);
// Each unit's verdict of a gang run, one line each ("Unit 2: Fail [Verify]"); nothing for a run
// of unit 1 alone.
void PrintUnitVerdicts(const RunResult& result, std::ostream& out);

// Prints an error for the operator and gives the exit code.
int Fail(int code, std::string_view message);

// Makes the workbench and opens it as far as the command needs. Returns 0, or the exit code (the
// reason printed).
int OpenBench(CliContext& context, Needs needs);

// Makes a device session and opens it as far as the command needs, as OpenBench does for the
// workbench: the library, the options, unit 1's device, the programmer found and loaded. Returns
// 0, or the exit code (the reason printed).
int OpenSession(CliContext& context, Needs needs);

// A command that reads or writes the home folder's files (the buffer, Menu.ini, History.ini) or
// drives the programmer holds the folder for its whole run: readers share it; a command that
// writes the files or talks to the programmer (one process drives it at a time) holds it alone,
// and so does the window for its whole life. OpenBench takes it alone for the programmer's
// commands. Returns 0, or the exit code when another process holds the folder (the reason
// printed).
int LockHome(CliContext& context, HomeAccess access);

// Each group of commands adds its subcommands; the callback it sets stores the exit code.
void AddLibraryCommands(CLI::App& app, CliContext& context, int& exitCode);
void AddLinkCommands(CLI::App& app, CliContext& context, int& exitCode);
void AddOperationCommands(CLI::App& app, CliContext& context, int& exitCode);
void AddBufferCommands(CLI::App& app, CliContext& context, int& exitCode);
void AddWatchCommand(CLI::App& app, CliContext& context, int& exitCode);
void AddRecordCommands(CLI::App& app, CliContext& context, int& exitCode);

}  // namespace torq::cli

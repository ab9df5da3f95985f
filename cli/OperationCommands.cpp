// read, verify, erase, blank, program, protect, unprotect, reset, run, pages: the device
// operations from the command line, run by the same sequencer as the window's buttons.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <optional>
#include <sstream>

#include "CliContext.h"
#include "TerminalProgress.h"
#include "torq/devlib/ParameterPages.h"
#include "torq/devlib/Text.h"
#include "torq/workflow/Sequencer.h"

namespace torq::cli {

namespace {

// The step of a bar the command line names so (any letter case).
std::optional<Step> StepNamed(Bar bar, std::string_view name) {
    std::string lower(name);
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const StepRow& row : StepRowsOf(bar)) {
        if (lower == row.cliName || (!row.cliAlias.empty() && lower == row.cliAlias))
            return row.step;
    }
    return std::nullopt;
}

// The command-line names of a bar's steps, with `separator` between them; `changeable` keeps the
// steps whose box can change (true), the ones that always run (false), or every one (none).
std::string StepNames(Bar bar, std::string_view separator,
                      std::optional<bool> changeable = std::nullopt) {
    std::string names;
    for (const StepRow& row : StepRowsOf(bar)) {
        if (changeable && row.Changeable() != *changeable)
            continue;
        if (!names.empty())
            names += separator;
        names += row.cliName;
    }
    return names;
}

// The operation of a command ("read", "blank", ...).
Operation OperationNamed(std::string_view command) {
    for (const OperationRow& row : kOperationRows) {
        if (row.command == command)
            return row.operation;
    }
    return Operation::Read;
}

// Opens the programmer for a run.
int OpenForRun(CliContext& context) {
    if (const int code = OpenBench(context, Needs::Programmer); code != kSuccess)
        return code;
    if (context.bench->ProgrammerCount() == 0)
        return Fail(kFailed, "no programmer connected");
    return kSuccess;
}

// Runs a plan, with a bar on stderr when it is a terminal.
RunResult RunPlanned(Workbench& bench, const RunPlan& plan) {
    TerminalProgress progress;
    const bool terminal = ::isatty(STDERR_FILENO) != 0;
    if (terminal)
        bench.Runs().AddObserver(&progress);
    const RunResult result = bench.Runs().Run(plan);
    if (terminal)
        bench.Runs().RemoveObserver(&progress);
    return result;
}

// How a run ended, as an exit code, with the reason when nothing was run.
int RunExitCode(const RunResult& result) {
    if (!result.ran)
        return kFailed;  // the programmer did not open: the message has been printed
    if (result.skipped > 0) {
        return Fail(kFailed,
                    "the chip in the socket is not the selected device (--skip-id runs anyway)");
    }
    return result.Pass() ? kSuccess : kFailed;
}

// One operation as a step tile runs it: the identity check, the operation, the finished line and
// the verdict. Read also logs the checksum lines.
int SingleOperation(CliContext& context, const std::string& name, bool checkId) {
    const Operation operation = OperationNamed(name);
    if (const int code = OpenForRun(context); code != kSuccess)
        return code;
    Workbench& bench = *context.bench;
    RunPlan plan = bench.PlanWithOptions(Bar::Programmer);
    plan.kind = operation == Operation::Read ? RunKind::Read : RunKind::Single;
    plan.operation = operation;
    plan.identityCheck = checkId;
    return RunExitCode(RunPlanned(bench, plan));
}

// Execute All on the Programmer tab (or the Emulator tab), with the steps given checked.
int RunSteps(CliContext& context, const std::string& list, bool checkId, bool emulator,
             const std::string& units, const RecordFlags& record) {
    const Bar bar = emulator ? Bar::Emulator : Bar::Programmer;
    std::vector<Step> wanted;
    std::stringstream names(list);
    std::string name;
    while (std::getline(names, name, ',')) {
        if (name.empty())
            continue;
        const auto step = StepNamed(bar, name);
        if (!step)
            return Fail(kBadUsage, "unknown step '" + name + "' (" + StepNames(bar, ", ") + ")");
        wanted.push_back(*step);
    }
    if (wanted.empty())
        return Fail(kBadUsage, "no step given");
    if (const int code = OpenForRun(context); code != kSuccess)
        return code;
    Workbench& bench = *context.bench;
    ApplyRecordFlags(bench, record);
    RunPlan plan = bench.PlanWithOptions(bar);
    plan.kind = RunKind::Steps;
    plan.identityCheck = checkId;
    if (const int code = ChooseUnits(bench, units, plan); code != kSuccess)
        return code;
    for (const StepRow& row : StepRowsOf(bar)) {
        const bool asked = std::find(wanted.begin(), wanted.end(), row.step) != wanted.end();
        const bool always = !bench.StepChangeable(bar, row.step);
        if (asked || always)
            plan.steps.push_back(row.step);
        if (always && !asked)
            std::cerr << "note: the emulator always runs " << OperationLogName(*row.operation)
                      << '\n';
    }
    const RunResult result = RunPlanned(bench, plan);
    PrintUnitVerdicts(result, std::cout);
    if (result.ran && (result.skipped == 0 || !result.units.empty()))
        std::cout << (result.Pass() ? "Pass" : "Fail") << '\n';
    return RunExitCode(result);
}

int Reset(CliContext& context, std::optional<int> milliseconds, bool low, bool high) {
    if (const int code = OpenForRun(context); code != kSuccess)
        return code;
    Workbench& bench = *context.bench;
    RunPlan plan = bench.PlanWithOptions(Bar::Emulator);
    plan.kind = RunKind::Single;
    plan.operation = Operation::Reset;
    plan.tile = Step::Reset;
    if (low || high) {
        Options level;
        level.resetNormalHigh = high;
        plan.resetIdleLevel = level.ResetIdleLevel();
    }
    if (milliseconds) {
        if (*milliseconds < 1 || *milliseconds > 0xFFFF)
            return Fail(kBadUsage, "--ms takes 1 to 65535");
        plan.resetPulseMs = static_cast<std::uint16_t>(*milliseconds);
    }
    return RunExitCode(RunPlanned(bench, plan));
}

std::string ShownValue(const PageComponent& c) {
    switch (c.type) {
        case ComponentType::CheckBox:
            return c.checked ? "[x]" : "[ ]";
        case ComponentType::RadioGroup:
            return c.selectedIndex < 0
                       ? "(none)"
                       : std::to_string(c.selectedIndex) + " = " +
                             c.radioChoices[static_cast<std::size_t>(c.selectedIndex)];
        case ComponentType::ValueField:
            return c.text;
        default:
            return "";
    }
}

// The selected device's parameter pages, without a programmer.
int OpenPages(CliContext& context) {
    if (const int code = OpenBench(context, Needs::Selection); code != kSuccess)
        return code;
    if (!context.bench->BuildPagesForCommand()) {
        context.bench->Log().WriteInfoLine(kNoParameterLine);
        return kFailed;
    }
    return kSuccess;
}

int ShowPages(CliContext& context) {
    if (const int code = LockHome(context, HomeAccess::Shared); code != kSuccess)
        return code;
    if (const int code = OpenPages(context); code != kSuccess)
        return code;
    const ParameterPages& pages = context.bench->PremiumPages();
    for (std::size_t p = 0; p < pages.pages.size(); ++p) {
        std::cout << "Page " << p << ": " << pages.pages[p].caption << '\n';
        for (const auto& c : pages.pages[p].components) {
            std::cout << "  " << c.number << ' ';
            switch (c.type) {
                case ComponentType::CheckBox:
                    std::cout << "check box  " << c.caption;
                    break;
                case ComponentType::RadioGroup: {
                    std::cout << "radio group " << c.caption << " {";
                    for (std::size_t i = 0; i < c.radioChoices.size(); ++i)
                        std::cout << (i ? ", " : "") << i << ": " << c.radioChoices[i];
                    std::cout << '}';
                    break;
                }
                case ComponentType::ValueField:
                    // A field of an unknown value type has no label; its caption names it.
                    std::cout << "value      "
                              << (c.LabelText().empty() ? "(no label: " + c.caption + ")"
                                                        : c.LabelText());
                    break;
                case ComponentType::Explanation:
                    std::cout << "explanation";
                    for (const auto& line : c.explanationLines)
                        std::cout << "\n      " << line;
                    break;
                case ComponentType::None:
                    std::cout << "(unknown component)";
                    break;
            }
            const std::string value = ShownValue(c);
            if (!value.empty())
                std::cout << " = " << value;
            std::cout << '\n';
        }
    }
    return kSuccess;
}

// Sets one component's value the way its control would take it; a value the control would not
// accept is refused with the reason.
int SetPageValue(CliContext& context, int page, int component, const std::string& value) {
    if (const int code = LockHome(context, HomeAccess::Exclusive); code != kSuccess)
        return code;
    if (const int code = OpenPages(context); code != kSuccess)
        return code;
    if (const auto refusal = context.bench->StorePageValue(page, component, value))
        return Fail(kBadUsage, *refusal);
    const ParameterPages& pages = context.bench->PremiumPages();
    const PageComponent& c =
        pages.pages[static_cast<std::size_t>(page)].components[static_cast<std::size_t>(component)];
    std::cout << pages.pages[static_cast<std::size_t>(page)].caption << " / " << c.caption << " = "
              << ShownValue(c) << '\n';
    return kSuccess;
}

}  // namespace

void AddOperationCommands(CLI::App& app, CliContext& context, int& exitCode) {
    static bool skipId = false;
    for (const OperationRow& row : kOperationRows) {
        if (row.command.empty())
            continue;
        auto* command = app.add_subcommand(std::string(row.command), std::string(row.help));
        command->add_flag("--skip-id", skipId, "Do not check the chip's ID first");
        const std::string name(row.command);
        command->callback(
            [&context, &exitCode, name] { exitCode = SingleOperation(context, name, !skipId); });
    }

    auto* reset = app.add_subcommand("reset", "Pulse the target board's reset line");
    static std::optional<int> ms;
    static bool low = false, high = false;
    reset->add_option("--ms", ms, "Pulse length in milliseconds (default: the option, 500)");
    auto* lowFlag = reset->add_flag("--low", low, "The line idles low");
    reset->add_flag("--high", high, "The line idles high")->excludes(lowFlag);
    reset->callback([&] { exitCode = Reset(context, ms, low, high); });

    auto* run = app.add_subcommand(
        "run", "Execute All: the steps given, in the order " + StepNames(Bar::Programmer, ", "));
    static std::string steps;
    static bool emulator = false;
    static std::string units;
    run->add_option("STEPS", steps,
                    "Comma-separated: " + StepNames(Bar::Programmer, ",") +
                        " (with --emulator: " + StepNames(Bar::Emulator, ",", true) + "; " +
                        StepNames(Bar::Emulator, " and ", false) + " always run)")
        ->required();
    run->add_flag("--skip-id", skipId, "Do not check the chip's ID first");
    run->add_flag("--emulator", emulator, "Run the Emulator tab's steps");
    run->add_option("--units", units,
                    "Comma-separated unit numbers that take part (default: every unit found); "
                    "several units run at once");
    static RecordFlags record;
    AddRecordFlags(run, record);
    run->callback([&] { exitCode = RunSteps(context, steps, !skipId, emulator, units, record); });

    auto* pages =
        app.add_subcommand("pages", "The selected device's parameter pages and their values");
    auto* set = pages->add_subcommand("set", "Change one value and save Menu.ini");
    static int page = 0, component = 0;
    static std::string value;
    set->add_option("PAGE", page)->required();
    set->add_option("COMPONENT", component)->required();
    set->add_option("VALUE", value)->required();
    set->callback([&] { exitCode = SetPageValue(context, page, component, value); });
    pages->callback([&, set] {
        if (set->parsed())
            return;
        exitCode = ShowPages(context);
    });
}

}  // namespace torq::cli

// The steps and operations in one place: the tiles of the two step bars with what each runs in
// Execute All, its names (object names, tile, log, command line), the option that checks its box
// and its share of the progress bar; and each device operation's log name, progress unit and
// command. The sequencer, the step boxes, the window's tiles and the command line read them here.
#pragma once

#include <optional>
#include <span>
#include <string_view>

#include "torq/devlib/Options.h"
#include "torq/workflow/ControlNames.h"

namespace torq {

// One device operation as a run step.
enum class Operation { Erase, BlankCheck, Program, Verify, Protect, Unprotect, Read, Reset };

// How an operation counts its progress: Erase counts blocks, the others bytes.
enum class ProgressUnit { Bytes, Blocks };

struct OperationRow {
    Operation operation;
    std::string_view logName;  // "Blank Check": the Start [...] / End [...] lines and verdicts
    ProgressUnit unit;
    // The command of the same name on the command line with its help; empty: none.
    std::string_view command;
    std::string_view help;
};

// In the order the command line lists its commands.
inline constexpr OperationRow kOperationRows[] = {
    {Operation::Read, "Read", ProgressUnit::Bytes, "read", "Read the chip into the buffer"},
    {Operation::Verify, "Verify", ProgressUnit::Bytes, "verify",
     "Compare the chip with the buffer"},
    {Operation::Erase, "Erase", ProgressUnit::Blocks, "erase", "Erase the chip"},
    {Operation::BlankCheck, "Blank Check", ProgressUnit::Bytes, "blank",
     "Check that the chip is erased"},
    {Operation::Program, "Program", ProgressUnit::Bytes, "program",
     "Program the buffer into the chip"},
    {Operation::Protect, "Protect", ProgressUnit::Bytes, "protect",
     "Write the protection set on the parameter pages"},
    {Operation::Unprotect, "Unprotect", ProgressUnit::Bytes, "unprotect",
     "Clear the chip's protection"},
    {Operation::Reset, "Reset", ProgressUnit::Bytes, {}, {}},
};

constexpr const OperationRow& RowOf(Operation operation) {
    for (const OperationRow& row : kOperationRows) {
        if (row.operation == operation)
            return row;
    }
    return kOperationRows[0];
}

// "Erase", "Blank Check", "Program", "Verify", "Protect", "Unprotect", "Read", "Reset".
constexpr std::string_view OperationLogName(Operation operation) {
    return RowOf(operation).logName;
}
constexpr ProgressUnit ProgressUnitOf(Operation operation) {
    return RowOf(operation).unit;
}

// A tile of a step bar.
struct StepRow {
    Bar bar;
    Step step;
    // What Execute All runs for it, in the bar's order; none for Watch and Load File.
    std::optional<Operation> operation;
    // A click on the tile runs the operation (the Emulator's Erase and Program tiles do nothing).
    bool tileRuns;
    std::string_view controlWord;  // in the object names: "Programmer_LoadFileImage_Panel"
    std::string_view pictogram;
    std::string_view caption;
    std::string_view title;  // in tool tips and the run's title: "Blank Check", "Target Reset"
    // The command line's name of the step in `run`, and another it takes; empty: none.
    std::string_view cliName;
    std::string_view cliAlias;
    // The option that checks the step's box; none: always checked, and the box cannot change.
    bool Options::*option;
    // The share of the progress bar the step takes in Execute All.
    int share;

    constexpr bool Changeable() const { return option != nullptr; }
};

// The step bars in their on-screen order.
inline constexpr StepRow kStepRows[] = {
    {Bar::Emulator,
     Step::Watch,
     std::nullopt,
     false,
     "Watch",
     "watch",
     "Watch",
     "Watch",
     {},
     {},
     &Options::emulatorWatch,
     0},
    {Bar::Emulator,
     Step::LoadFile,
     std::nullopt,
     false,
     "LoadFile",
     "load-file",
     "Load File",
     "Load File",
     {},
     {},
     nullptr,
     0},
    {Bar::Emulator,
     Step::Erase,
     Operation::Erase,
     false,
     "Erase",
     "erase",
     "Erase",
     "Erase",
     "erase",
     {},
     nullptr,
     30},
    {Bar::Emulator,
     Step::Program,
     Operation::Program,
     false,
     "Program",
     "program",
     "Program",
     "Program",
     "program",
     {},
     nullptr,
     25},
    {Bar::Emulator,
     Step::Verify,
     Operation::Verify,
     true,
     "Verify",
     "verify",
     "Verify",
     "Verify",
     "verify",
     {},
     &Options::emulatorVerify,
     15},
    {Bar::Emulator,
     Step::Reset,
     Operation::Reset,
     true,
     "Reset",
     "reset",
     "Reset",
     "Target Reset",
     "reset",
     {},
     &Options::emulatorReset,
     0},
    {Bar::Programmer,
     Step::LoadFile,
     std::nullopt,
     false,
     "LoadFile",
     "load-file",
     "Load File",
     "Load File",
     {},
     {},
     nullptr,
     0},
    {Bar::Programmer,
     Step::Erase,
     Operation::Erase,
     true,
     "Erase",
     "erase",
     "Erase",
     "Erase",
     "erase",
     {},
     &Options::programmerErase,
     30},
    {Bar::Programmer, Step::Check, Operation::BlankCheck, true, "Check", "check", "Check",
     "Blank Check", "blank", "check", &Options::programmerCheck, 10},
    {Bar::Programmer,
     Step::Program,
     Operation::Program,
     true,
     "Program",
     "program",
     "Program",
     "Program",
     "program",
     {},
     &Options::programmerProgram,
     25},
    {Bar::Programmer,
     Step::Verify,
     Operation::Verify,
     true,
     "Verify",
     "verify",
     "Verify",
     "Verify",
     "verify",
     {},
     &Options::programmerVerify,
     15},
    {Bar::Programmer,
     Step::Protect,
     Operation::Protect,
     true,
     "Protect",
     "protect",
     "Protect",
     "Protect",
     "protect",
     {},
     &Options::programmerProtect,
     0},
};

// The bar's tile for a step; null when the bar has none.
constexpr const StepRow* FindStepRow(Bar bar, Step step) {
    for (const StepRow& row : kStepRows) {
        if (row.bar == bar && row.step == step)
            return &row;
    }
    return nullptr;
}
// The first tile of a step on either bar (the names and the look are the same on both).
constexpr const StepRow& StepRowOf(Step step) {
    for (const StepRow& row : kStepRows) {
        if (row.step == step)
            return row;
    }
    return kStepRows[0];
}

// The steps Execute All runs on a bar, in order (Emulator: Erase, Program, Verify, Reset;
// Programmer: Erase, Check, Program, Verify, Protect): the bar's tiles with an operation, which
// follow each other in the table.
std::span<const StepRow> StepRowsOf(Bar bar);
// The operation behind a step tile; none for the tiles that run no operation.
std::optional<Operation> TileOperation(Bar bar, Step step);

}  // namespace torq

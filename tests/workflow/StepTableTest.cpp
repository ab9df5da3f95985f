#include "torq/workflow/StepTable.h"

#include <gtest/gtest.h>

#include <vector>

namespace torq {
namespace {

// Execute All runs each bar's steps in this order, and the tiles that a click runs are these.
TEST(StepTable, ExecuteAllOrderAndTheTilesThatRun) {
    const auto operations = [](Bar bar) {
        std::vector<Operation> list;
        for (const StepRow& row : StepRowsOf(bar))
            list.push_back(*row.operation);
        return list;
    };
    EXPECT_EQ(operations(Bar::Emulator),
              (std::vector<Operation>{Operation::Erase, Operation::Program, Operation::Verify,
                                      Operation::Reset}));
    EXPECT_EQ(operations(Bar::Programmer),
              (std::vector<Operation>{Operation::Erase, Operation::BlankCheck, Operation::Program,
                                      Operation::Verify, Operation::Protect}));
    int shares = 0;
    for (const StepRow& row : StepRowsOf(Bar::Programmer))
        shares += row.share;
    EXPECT_EQ(shares, 80);  // with the socket's own advances the bar reaches 100

    struct Case {
        Bar bar;
        Step step;
        std::optional<Operation> runs;
    };
    const Case cases[] = {
        {Bar::Emulator, Step::Watch, std::nullopt},
        {Bar::Emulator, Step::LoadFile, std::nullopt},
        {Bar::Emulator, Step::Erase, std::nullopt},
        {Bar::Emulator, Step::Program, std::nullopt},
        {Bar::Emulator, Step::Verify, Operation::Verify},
        {Bar::Emulator, Step::Reset, Operation::Reset},
        {Bar::Emulator, Step::Check, std::nullopt},
        {Bar::Programmer, Step::Check, Operation::BlankCheck},
        {Bar::Programmer, Step::Protect, Operation::Protect},
        {Bar::Programmer, Step::Reset, std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TileOperation(c.bar, c.step), c.runs) << StepRowOf(c.step).title;
}

// The names of one step in each of its places, and the progress unit of each operation.
TEST(StepTable, NamesAndProgressUnits) {
    EXPECT_EQ(StepName(Step::LoadFile), "LoadFile");
    EXPECT_EQ(StepRowOf(Step::Check).title, "Blank Check");
    EXPECT_EQ(StepRowOf(Step::Reset).title, "Target Reset");
    EXPECT_EQ(FindStepRow(Bar::Programmer, Step::Check)->cliName, "blank");
    EXPECT_EQ(OperationLogName(Operation::BlankCheck), "Blank Check");
    EXPECT_EQ(OperationLogName(Operation::Unprotect), "Unprotect");
    EXPECT_EQ(ProgressUnitOf(Operation::Erase), ProgressUnit::Blocks);
    EXPECT_EQ(ProgressUnitOf(Operation::Program), ProgressUnit::Bytes);
    EXPECT_FALSE(FindStepRow(Bar::Emulator, Step::Erase)->Changeable());
    EXPECT_TRUE(FindStepRow(Bar::Emulator, Step::Watch)->Changeable());
}

}  // namespace
}  // namespace torq

// Execute All on several simulated programmers at once: every unit programs the one image, each
// on its own worker, and a fault in one unit fails that unit alone.
#include <gtest/gtest.h>

#include <algorithm>

#include "../link/LinkFixtures.h"
#include "TestSupport.h"
#include "torq/devlib/Ini.h"
#include "torq/sim/ChipCatalog.h"
#include "torq/sim/ChipMemory.h"
#include "torq/sim/SimulatedProgrammer.h"
#include "torq/workflow/Sequencer.h"
#include "torq/workflow/Workbench.h"

namespace torq {
namespace {

struct NoHost final : WorkbenchHost {
    void EndProgram(bool) override {}
    void SelectTab(int) override {}
    void ShowEditor(std::uint64_t) override {}
};

// Calls `during` from the starting thread's loop while the workers run.
struct LoopPump final : Pump {
    void ProcessPendingMessages() override {
        if (during)
            during();
    }
    std::function<void()> during;
};

class GangRunTest : public ::testing::Test {
  public:
    // Four programmers (or as many chips as given), each with its own chip; unit 1's device is
    // `type`.
    void Make(const std::vector<sim::ProgrammerSetup>& setups, const std::string& type = "W25X10") {
        test::CopySampleLibrary(Home().Path());
        IniFile history(Home() / "History.ini");
        history.WriteString("Device1", "Vendor", "Winbond");
        history.WriteString("Device1", "Type", type);
        ASSERT_TRUE(history.Save());
        auto usb = std::make_unique<sim::SimulatedProgrammer>(setups.front());
        for (std::size_t i = 1; i < setups.size(); ++i)
            usb->AddProgrammer(setups[i]);
        simulator = usb.get();
        bench = std::make_unique<Workbench>(
            ProgramDirectory::Portable(Home().Path()),
            WorkbenchSeams{op, pump, clock, watchTimer, flashTimer, std::move(usb)}, host);
        bench->StartUp({});
        ASSERT_EQ(bench->ProgrammerCount(), static_cast<int>(setups.size()));
        image = std::string(131072, '\0');
        for (std::size_t i = 0; i < image.size(); ++i)
            image[i] = static_cast<char>(i * 13 + 5);
        ASSERT_FALSE(bench->LoadIntoUnit1(Home().Write("image.bin", image)));
    }
    static sim::ProgrammerSetup Chip(const std::string& name) {
        sim::ProgrammerSetup setup;
        setup.chip = *sim::FindChip(name);
        return setup;
    }
    static std::vector<sim::ProgrammerSetup> Chips(int count, const std::string& name = "W25X10") {
        return std::vector<sim::ProgrammerSetup>(static_cast<std::size_t>(count), Chip(name));
    }
    RunPlan Plan(std::vector<int> units, std::vector<Step> steps = {Step::Erase, Step::Check,
                                                                    Step::Program, Step::Verify}) {
        RunPlan plan = bench->PlanWithOptions(Bar::Programmer);
        plan.kind = RunKind::Steps;
        plan.steps = std::move(steps);
        plan.sockets.clear();
        for (const int unit : units)
            plan.sockets.push_back(SocketIndex(unit, 1));
        return plan;
    }
    bool HoldsImage(int device) {
        const sim::ChipMemory& memory = simulator->Chip(device)->Memory();
        for (std::size_t i = 0; i < image.size(); i += 4093) {
            if (memory.ReadByte(i) != static_cast<std::uint8_t>(image[i]))
                return false;
        }
        return memory.ReadByte(image.size() - 1) == static_cast<std::uint8_t>(image.back());
    }
    std::vector<std::string> Lines() const { return test::Messages(bench->Log()); }
    std::vector<std::string> LinesOf(int unit) const {
        const std::string prefix = "Unit " + std::to_string(unit) + " : ";
        std::vector<std::string> lines;
        for (const std::string& line : Lines()) {
            if (line.rfind(prefix, 0) == 0)
                lines.push_back(line.substr(prefix.size()));
        }
        return lines;
    }
    static std::vector<Verdict> Verdicts(const RunResult& result) {
        std::vector<Verdict> verdicts;
        for (const auto& unit : result.units)
            verdicts.push_back(unit.result.Outcome());
        return verdicts;
    }
    bool Logged(const std::string& line) const {
        const auto lines = Lines();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }
    std::string Shown(std::string_view panel) const { return bench->Board().ShownImage(panel); }

    std::unique_ptr<test::TempDir> homeDir = std::make_unique<test::TempDir>();
    test::TempDir& Home() { return *homeDir; }
    test::ScriptedOperator op;
    LoopPump pump;
    test::FixedClock clock;
    ManualTimer watchTimer, flashTimer;
    NoHost host;
    sim::SimulatedProgrammer* simulator = nullptr;
    std::string image;
    std::unique_ptr<Workbench> bench;
};

TEST_F(GangRunTest, FourUnitsProgramTheOneImageEachWithItsOwnLinesAndVerdict) {
    Make(Chips(4));
    const RunResult result = bench->Runs().Run(Plan({1, 2, 3, 4}));
    ASSERT_TRUE(result.Pass());
    EXPECT_EQ(Verdicts(result), std::vector<Verdict>(4, Verdict::Pass));
    for (int device = 0; device < 4; ++device)
        EXPECT_TRUE(HoldsImage(device)) << device;
    // Each unit's lines in the order of a run of one unit, with its prefix; the summary last.
    for (int unit = 1; unit <= 4; ++unit) {
        std::vector<std::string> starts;
        for (const std::string& line : LinesOf(unit)) {
            if (line.rfind("Start [", 0) == 0)
                starts.push_back(line);
        }
        EXPECT_EQ(starts, (std::vector<std::string>{"Start [Erase]", "Start [Blank Check]",
                                                    "Start [Program]", "Start [Verify]"}))
            << unit;
        EXPECT_EQ(LinesOf(unit).back(), "Result : PASS") << unit;
        EXPECT_TRUE(Logged("Summary : Unit " + std::to_string(unit) + " : PASS in 0 Sec."));
        EXPECT_EQ(Shown(LampPanelName(unit, 1)), LampImageName(unit, 1, LampImage::Green));
        EXPECT_EQ(bench->Board().Progress(unit), 100);
    }
    const auto lines = Lines();
    EXPECT_EQ(lines.back(), "Result : PASS");
    EXPECT_TRUE(Logged("Summary : 4 of 4 units passed"));
    EXPECT_EQ(Shown("Status_ResultImage_Panel"), "Status_ResultPass_Image");
    EXPECT_EQ(Shown("Programmer_VerifyImage_Panel"), "Programmer_VerifyPass_Image");
}

// A removed programmer, a chip that does not hold the image and a chip whose protection cannot
// be cleared each fail their own unit; the other units finish and pass.
TEST_F(GangRunTest, AFaultFailsItsOwnUnitOnly) {
    struct Case {
        const char* what;
        int failingUnit;
        std::function<void(std::vector<sim::ProgrammerSetup>&)> setUp;
        std::function<void(GangRunTest&)> beforeRun;
        std::vector<Step> steps;
    };
    const std::vector<Step> all{Step::Erase, Step::Check, Step::Program, Step::Verify};
    const std::vector<Case> cases{
        {"removed", 2, nullptr, [](GangRunTest& t) { t.simulator->UnplugAfterOn(1, 60); }, all},
        {"protected", 4, [](std::vector<sim::ProgrammerSetup>& s) { s[3].writeProtectHeld = true; },
         nullptr, all},
        {"verify fails",
         3,
         nullptr,
         [](GangRunTest& t) {
             // Every chip already holds the image but unit 3's, where one byte differs.
             for (int device = 0; device < 4; ++device) {
                 auto& memory = t.simulator->Chip(device)->Memory();
                 memory.Write(0, std::span(reinterpret_cast<const std::uint8_t*>(t.image.data()),
                                           t.image.size()));
             }
             const std::uint8_t zero = 0;
             t.simulator->Chip(2)->Memory().Write(0x1234, std::span(&zero, 1));
         },
         {Step::Verify}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        bench.reset();
        homeDir = std::make_unique<test::TempDir>();
        auto setups = Chips(4);
        if (c.setUp)
            c.setUp(setups);
        Make(setups);
        if (c.beforeRun)
            c.beforeRun(*this);
        const ChecksumLook changed{TextColour::Red, FieldBackground::Normal};
        // The new image is on no chip yet: every unit's checksum is red, not only unit 1's.
        EXPECT_EQ(bench->Board().ChecksumLookOf(SocketIndex(4, 1)), changed);
        const RunResult result = bench->Runs().Run(Plan({1, 2, 3, 4}, c.steps));
        EXPECT_FALSE(result.Pass());
        ASSERT_EQ(result.units.size(), 4u);
        for (const auto& unit : result.units) {
            EXPECT_EQ(unit.result.Outcome(),
                      unit.unit == c.failingUnit ? Verdict::Fail : Verdict::Pass)
                << unit.unit;
            // Red stays where the verify did not pass.
            EXPECT_EQ(bench->Board().ChecksumLookOf(SocketIndex(unit.unit, 1)) == changed,
                      unit.unit == c.failingUnit)
                << unit.unit;
            if (unit.unit != c.failingUnit) {
                EXPECT_TRUE(HoldsImage(unit.unit - 1)) << unit.unit;
            }
        }
        const auto lines = Lines();
        const auto verdict = std::find_if(lines.begin(), lines.end(), [](const std::string& l) {
            return l.rfind("Result : ", 0) == 0;
        });
        ASSERT_NE(verdict, lines.end());
        EXPECT_EQ(verdict->rfind("Result : FAIL [Unit " + std::to_string(c.failingUnit), 0), 0u)
            << *verdict;
        if (std::string(c.what) != "removed") {  // the removal's re-enumeration resets the board
            EXPECT_EQ(Shown("Status_ResultImage_Panel"), "Status_ResultFail_Image");
            EXPECT_EQ(Shown(LampPanelName(c.failingUnit, 1)),
                      LampImageName(c.failingUnit, 1, LampImage::Red));
        }
    }
}

// Another unit's chip that is not the selected device fails that unit with its line and no
// question; unit 1 keeps its question, and a Cancel there leaves unit 1 not done.
TEST_F(GangRunTest, IdentityCheckPerUnit) {
    auto setups = Chips(3);
    setups[2] = Chip("W25X20");
    Make(setups);
    ASSERT_TRUE(bench->SelectDevice(1, "Winbond", "W25X20"));
    ASSERT_FALSE(bench->LoadIntoUnit1(Home() / "image.bin"));
    op = test::ScriptedOperator({Answer::Cancel});
    const RunResult result = bench->Runs().Run(Plan({1, 2, 3}));
    EXPECT_EQ(Verdicts(result),
              (std::vector<Verdict>{Verdict::Stopped, Verdict::Fail, Verdict::Pass}));
    ASSERT_EQ(op.messages.size(), 1u);  // unit 1's question alone
    EXPECT_EQ(op.messages.front().buttons, Buttons::YesRetryCancel);
    const auto unit2 = LinesOf(2);
    EXPECT_NE(std::find_if(unit2.begin(), unit2.end(),
                           [](const std::string& l) {
                               return l.find("not the selected device") != std::string::npos;
                           }),
              unit2.end());
    EXPECT_TRUE(HoldsImage(2));
    EXPECT_FALSE(result.Pass());
}

// A stop ends every unit before its next step, with a verdict that is not a pass; a unit alone
// (unit 3) runs with the lines of a run of one unit: no prefix, no summary.
TEST_F(GangRunTest, StopEndsEveryUnitAndOneUnitKeepsPlainLines) {
    Make(Chips(4, "W25Q128FV"), "W25Q128FV");
    pump.during = [this] { bench->Runs().RequestStop(); };
    const RunResult stopped = bench->Runs().Run(Plan({1, 2, 3, 4}));
    EXPECT_EQ(stopped.Outcome(), Verdict::Stopped);
    EXPECT_FALSE(stopped.Pass());
    EXPECT_EQ(Lines().back(), "Result : STOPPED [not done: the operator stopped the run]");
    EXPECT_EQ(Shown("Status_ResultImage_Panel"), "Status_ResultStopped_Image");
    for (const std::string& line : Lines())
        EXPECT_EQ(line.find("Start [Verify]"), std::string::npos) << line;

    pump.during = nullptr;
    bench->Log().Clear();
    const RunResult alone = bench->Runs().Run(Plan({3}, {Step::Verify}));
    EXPECT_EQ(Verdicts(alone), std::vector<Verdict>{Verdict::Fail});
    for (const std::string& line : Lines())
        EXPECT_EQ(line.find("Unit "), std::string::npos) << line;
    EXPECT_EQ(Lines().back(), "Result : FAIL [Verify]");
}

// A stop asked while a step runs ends it before its next block, on this thread, on unit 1's
// worker and in a gang; a stopped read leaves the buffer as it was.
TEST_F(GangRunTest, StopEndsTheStepUnderWayBeforeItsNextBlock) {
    struct StopWhenStarted final : SequencerObserver {
        void StepStarted(Operation operation) override { Stop(operation); }
        void UnitStepStarted(int, Operation operation) override { Stop(operation); }
        void Stop(Operation operation) {
            if (operation == at)
                runs->RequestStop();
        }
        Sequencer* runs = nullptr;
        Operation at = Operation::Program;
    };
    struct Case {
        const char* what;
        RunKind kind;
        std::vector<int> units;
        bool onWorker;
    };
    const std::vector<Case> cases{
        {"program on this thread", RunKind::Steps, {1}, false},
        {"program on unit 1's worker", RunKind::Steps, {1}, true},
        {"program in a gang", RunKind::Steps, {1, 2}, false},
        {"read on this thread", RunKind::Read, {1}, false},
        {"read on unit 1's worker", RunKind::Read, {1}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        bench.reset();
        homeDir = std::make_unique<test::TempDir>();
        // Large enough that no worker ends the step before it sees the stop.
        Make(Chips(2, "W25Q128FV"), "W25Q128FV");
        StopWhenStarted stopper;
        stopper.runs = &bench->Runs();
        stopper.at = c.kind == RunKind::Read ? Operation::Read : Operation::Program;
        bench->Runs().AddObserver(&stopper);
        const std::string bufferBefore =
            test::ReadFile(bench->Session().Directories().BufferFile());
        bench->Log().Clear();
        RunPlan plan = Plan(c.units, {Step::Program, Step::Verify});
        plan.kind = c.kind;
        plan.onWorker = c.onWorker;
        const RunResult result = bench->Runs().Run(plan);
        bench->Runs().RemoveObserver(&stopper);

        EXPECT_EQ(result.Outcome(), Verdict::Stopped);
        EXPECT_EQ(Lines().back(), "Result : STOPPED [not done: the operator stopped the run]");
        const std::string stoppedLine =
            c.kind == RunKind::Read ? "Read : Stopped" : "Program : Stopped";
        std::size_t stoppedLines = 0;
        for (const std::string& line : Lines()) {
            EXPECT_EQ(line.find("Start [Verify]"), std::string::npos) << line;
            if (line.size() >= stoppedLine.size() &&
                line.compare(line.size() - stoppedLine.size(), stoppedLine.size(), stoppedLine) ==
                    0) {
                ++stoppedLines;
            }
        }
        // In a gang the unit that has not yet started the step stops before it.
        EXPECT_GE(stoppedLines, 1U);
        const std::string tile = Shown("Programmer_ProgramImage_Panel");
        EXPECT_EQ(tile.find("Pass"), std::string::npos) << tile;
        EXPECT_EQ(tile.find("Fail"), std::string::npos) << tile;
        EXPECT_EQ(test::ReadFile(bench->Session().Directories().BufferFile()), bufferBefore);
    }
}

// The window runs unit 1 alone on a worker too: the lines, the indicators and the result are
// those of the run on the caller's thread, for a pass, a failed step and a chip skipped at the
// identity question.
TEST_F(GangRunTest, UnitOneAloneOnAWorkerRunsAsOnTheCallersThread) {
    struct Case {
        const char* what;
        RunKind kind;
        std::vector<Step> steps;  // Execute All's steps; a single step's tile
        bool wrongChip;
        Answer atQuestion = Answer::Cancel;
    };
    const std::vector<Case> cases{
        {"pass", RunKind::Steps, {Step::Erase, Step::Check, Step::Program, Step::Verify}, false},
        {"blank check fails", RunKind::Steps, {Step::Check}, false},
        {"skipped at the question", RunKind::Steps, {Step::Erase, Step::Program}, true},
        {"device detected at the question's Yes",
         RunKind::Steps,
         {Step::Erase, Step::Program, Step::Verify},
         true,
         Answer::Yes},
        {"read", RunKind::Read, {}, false},
        {"single verify passes", RunKind::Single, {Step::Verify}, false},
        {"single blank check fails", RunKind::Single, {Step::Check}, false},
        {"single step skipped at the question", RunKind::Single, {Step::Erase}, true},
    };
    const std::vector<std::string> panels{
        "Programmer_EraseImage_Panel",   "Programmer_CheckImage_Panel",
        "Programmer_ProgramImage_Panel", "Programmer_VerifyImage_Panel",
        "Status_ResultImage_Panel",      LampPanelName(1, 1)};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::vector<std::string>> seen;
        for (const bool onWorker : {false, true}) {
            bench.reset();
            homeDir = std::make_unique<test::TempDir>();
            Make(Chips(1));
            if (c.wrongChip) {
                ASSERT_TRUE(bench->SelectDevice(1, "Winbond", "W25X20"));
            }
            // The same chip content before each run: programmed, so a blank check alone fails.
            bench->Runs().Run(Plan({1}, {Step::Erase, Step::Program}));
            bench->SetRunsOnWorker(onWorker);
            op = test::ScriptedOperator({c.atQuestion});
            bench->Log().Clear();
            RunPlan plan = Plan({1}, c.steps);
            plan.kind = c.kind;
            if (c.kind == RunKind::Single) {
                plan.tile = c.steps.front();
                plan.operation = *TileOperation(Bar::Programmer, c.steps.front());
            }
            plan.onWorker = onWorker;
            const RunResult result = bench->Runs().Run(plan);
            std::vector<std::string> state = Lines();
            for (const std::string& panel : panels)
                state.push_back(Shown(panel));
            state.push_back(std::string(VerdictWord(result.Outcome())));
            state.push_back(std::to_string(bench->Board().Progress(1)));
            state.push_back(std::to_string(op.messages.size()));
            state.push_back(bench->Session().Record().name);
            EXPECT_TRUE(result.units.empty());
            seen.push_back(state);
        }
        EXPECT_EQ(seen[0], seen[1]);
    }
}

TEST_F(GangRunTest, DetectionOnAWorkerFindsAsOnTheCallersThread) {
    std::vector<std::vector<std::string>> seen;
    for (const bool onWorker : {false, true}) {
        bench.reset();
        homeDir = std::make_unique<test::TempDir>();
        Make(Chips(2), "W25X20");  // unit 1's chip is a W25X10
        bench->SetRunsOnWorker(onWorker);
        bench->Log().Clear();
        bench->DetectIc();
        std::vector<std::string> state = Lines();
        state.push_back(bench->Session().Record().name);
        // Unit 1's programmer is the open one again: a run goes on as before.
        state.push_back(
            std::string(VerdictWord(bench->Runs().Run(Plan({1}, {Step::Erase})).Outcome())));
        seen.push_back(state);
    }
    EXPECT_EQ(seen[0], seen[1]);
    EXPECT_NE(std::find(seen[1].begin(), seen[1].end(), "W25X10"), seen[1].end());
}

}  // namespace
}  // namespace torq

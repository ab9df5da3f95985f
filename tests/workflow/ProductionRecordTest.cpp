// The production record of Execute All on simulated programmers: one record per socket, written
// before the verdict is shown, with the verdict the run showed; a record that cannot be written
// fails the chip (or, with the option off, is a warning) and a database that cannot be written
// keeps the next run from starting.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

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

namespace fs = std::filesystem;

struct NoHost final : WorkbenchHost {
    void EndProgram(bool) override {}
    void SelectTab(int) override {}
    void ShowEditor(std::uint64_t) override {}
};

class ProductionRecordTest : public ::testing::Test {
  public:
    void Make(int units, const std::string& type = "W25X10") {
        test::CopySampleLibrary(home.Path());
        IniFile history(home / "History.ini");
        history.WriteString("Device1", "Vendor", "Winbond");
        history.WriteString("Device1", "Type", type);
        ASSERT_TRUE(history.Save());
        sim::ProgrammerSetup setup;
        setup.chip = *sim::FindChip("W25X10");
        auto usb = std::make_unique<sim::SimulatedProgrammer>(setup);
        for (int i = 1; i < units; ++i)
            usb->AddProgrammer(setup);
        simulator = usb.get();
        bench = std::make_unique<Workbench>(
            ProgramDirectory::Portable(home.Path()),
            WorkbenchSeams{op, pump, clock, watchTimer, flashTimer, std::move(usb)}, host);
        bench->StartUp({});
        ASSERT_EQ(bench->ProgrammerCount(), units);
        std::string image(131072, '\0');
        for (std::size_t i = 0; i < image.size(); ++i)
            image[i] = static_cast<char>(i * 13 + 5);
        ASSERT_FALSE(bench->LoadIntoUnit1(home.Write("image.bin", image)));
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
    std::vector<ProductionRecord> Records() {
        RecordStore* store = bench->Production().Store();
        return store != nullptr ? store->Page({}, 0) : std::vector<ProductionRecord>{};
    }
    bool Logged(std::string_view part) const {
        const auto lines = test::Messages(bench->Log());
        return std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
            return line.find(part) != std::string::npos;
        });
    }
    fs::path Database() const { return home / "production.db"; }

    test::TempDir home;
    test::ScriptedOperator op;
    Pump pump;
    test::FixedClock clock;
    ManualTimer watchTimer, flashTimer;
    NoHost host;
    sim::SimulatedProgrammer* simulator = nullptr;
    std::unique_ptr<Workbench> bench;
};

TEST_F(ProductionRecordTest, AGangRunLeavesARecordPerUnitWithItsVerdict) {
    Make(4);
    bench->SetRunOptions([](Options& o) {
        o.lot = "LOT-42";
        o.serial = "SN-{n}";
        o.station = "line-3";
    });
    simulator->UnplugAfterOn(2, 60);  // unit 3 is pulled out during the run
    const RunResult result = bench->Runs().Run(Plan({1, 2, 3, 4}));
    ASSERT_EQ(result.units.size(), 4u);

    auto records = Records();
    ASSERT_EQ(records.size(), 4u);
    std::sort(records.begin(), records.end(),
              [](const auto& a, const auto& b) { return a.unit < b.unit; });
    std::set<std::string> serials;
    for (const ProductionRecord& r : records) {
        SCOPED_TRACE(r.unit);
        const bool failed = r.unit == 3;
        EXPECT_EQ(r.verdict, failed ? "FAIL" : "PASS");
        EXPECT_EQ(r.station, "line-3");
        EXPECT_EQ(r.lot, "LOT-42");
        EXPECT_EQ(r.vendor, "Winbond");
        EXPECT_EQ(r.type, "W25X10");
        EXPECT_FALSE(r.programmerPath.empty());
        EXPECT_EQ(r.fileChecksum, "0x" + bench->UnitStates().Socket(1, 1).checksumText);
        EXPECT_EQ(r.icChecksum, failed ? "" : r.fileChecksum);
        EXPECT_EQ(r.timeLocal, "2011-05-04 13:07:09");
        serials.insert(r.serial);
        if (failed) {
            EXPECT_FALSE(r.failingStep.empty());
            EXPECT_FALSE(r.failingLine.empty());
        } else {
            EXPECT_EQ(r.chipId, "EF3011");
            ASSERT_EQ(r.steps.size(), 4u);
            EXPECT_EQ(r.steps[3].step, "Verify");
            EXPECT_EQ(r.steps[3].result, "Pass");
        }
    }
    EXPECT_EQ(serials, (std::set<std::string>{"SN-1", "SN-2", "SN-3", "SN-4"}));

    // The counters: since the start and for the lot.
    const auto session = bench->Production().SessionCounts();
    EXPECT_EQ(session[0], (UnitTally{1, 0}));
    EXPECT_EQ(session[2], (UnitTally{0, 1}));
    const auto lot = bench->Production().LotCounts();
    EXPECT_EQ(lot[3], (UnitTally{1, 0}));
    EXPECT_EQ(lot[2], (UnitTally{0, 1}));
}

TEST_F(ProductionRecordTest, EachWayARunEndsIsRecordedAsItWasShown) {
    struct Case {
        const char* what;
        std::vector<Step> steps;
        std::function<void(ProductionRecordTest&)> before;
        std::string verdict, failingStep, failingLine;
    };
    const std::vector<Case> cases{
        {"pass", {Step::Erase, Step::Program, Step::Verify}, nullptr, "PASS", "", ""},
        {"a failing step",
         {Step::Check},
         [](ProductionRecordTest& t) {
             t.bench->Runs().Run(t.Plan({1}, {Step::Erase, Step::Program}));
         },
         "FAIL",
         "Blank Check",
         "Blank Check : Fail"},
        {"verify finds a byte that differs",
         {Step::Verify},
         [](ProductionRecordTest& t) {
             t.bench->Runs().Run(t.Plan({1}, {Step::Erase, Step::Program}));
             const std::uint8_t zero = 0;
             t.simulator->Chip(0)->Memory().Write(0x100, std::span(&zero, 1));
         },
         "FAIL",
         "Verify",
         "Verify : Fail"},
        {"programmer removed",
         {Step::Erase, Step::Program, Step::Verify},
         [](ProductionRecordTest& t) { t.simulator->UnplugAfterOn(0, 40); },
         "FAIL",
         "",
         ""},
        {"cancelled at the identity question",
         {Step::Erase},
         [](ProductionRecordTest& t) {
             ASSERT_TRUE(t.bench->SelectDevice(1, "Winbond", "W25X20"));
             t.op = test::ScriptedOperator({Answer::Cancel});
         },
         "STOPPED",
         "",
         "not done: the chip in the socket was not confirmed"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        bench.reset();
        fs::remove_all(home.Path());
        fs::create_directories(home.Path());
        Make(1);
        if (c.before)
            c.before(*this);
        const std::size_t before = Records().size();
        const RunResult result = bench->Runs().Run(Plan({1}, c.steps));
        const auto records = Records();
        ASSERT_EQ(records.size(), before + 1);
        const ProductionRecord& r = records.front();
        EXPECT_EQ(r.verdict, std::string(VerdictWord(result.Outcome())));
        EXPECT_EQ(r.verdict, c.verdict);
        if (c.verdict == "FAIL" && c.failingStep.empty()) {
            EXPECT_FALSE(r.failingStep.empty());  // whichever step the pulled plug cut short
            EXPECT_FALSE(r.failingLine.empty());
        } else {
            EXPECT_EQ(r.failingStep, c.failingStep);
            EXPECT_EQ(r.failingLine, c.failingLine);
        }
    }
}

TEST_F(ProductionRecordTest, ADatabaseThatCannotBeWrittenStopsTheNextRunOrIsAWarning) {
    Make(1);
    fs::create_directories(Database());  // something that is no database in its place
    const RunResult refused = bench->Runs().Run(Plan({1}));
    EXPECT_FALSE(refused.ran);
    ASSERT_FALSE(op.messages.empty());
    EXPECT_NE(op.messages.back().text.find("The production record cannot be written"),
              std::string::npos)
        << op.messages.back().text;
    EXPECT_FALSE(Logged("Start [Erase]"));

    bench->SetRunOptions([](Options& o) { o.recordStopsRun = false; });
    const RunResult goesOn = bench->Runs().Run(Plan({1}));
    EXPECT_TRUE(goesOn.Pass());
    EXPECT_TRUE(Logged("Warning : The production record cannot be written ("));
}

TEST_F(ProductionRecordTest, ARecordLostToAFullDiskFailsTheChipUnlessTheOptionIsOff) {
    Make(1);
    ASSERT_TRUE(bench->Runs().Run(Plan({1})).Pass());  // the database exists
    for (const bool stops : {true, false}) {
        SCOPED_TRACE(stops);
        bench->SetRunOptions([stops](Options& o) { o.recordStopsRun = stops; });
        bench->Log().Clear();
        RunResult result;
        {
            const test::FileSizeLimit full(1024);
            result = bench->Runs().Run(Plan({1}));
        }
        EXPECT_EQ(result.Pass(), !stops);
        const auto lines = test::Messages(bench->Log());
        EXPECT_EQ(lines.back(),
                  stops ? "Result : FAIL [production record not written]" : "Result : PASS");
        EXPECT_TRUE(Logged(stops ? "Error : The production record cannot be written ("
                                 : "Warning : The production record cannot be written ("));
    }
    EXPECT_EQ(Records().size(), 1u);
}

}  // namespace
}  // namespace torq

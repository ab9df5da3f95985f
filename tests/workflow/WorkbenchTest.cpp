// The workbench and the sequencer on the simulated programmer: start-up, selection, loads, runs
// and their indicators, history, tabs, as the window and the command-line tool drive them.
#include "torq/workflow/Workbench.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>
#include <functional>
#include <map>
#include <optional>

#include "../link/LinkFixtures.h"
#include "TestSupport.h"
#include "torq/buffer/BufferFile.h"
#include "torq/buffer/Load.h"
#include "torq/devlib/Ini.h"
#include "torq/sim/ChipCatalog.h"
#include "torq/sim/SimulatedProgrammer.h"
#include "torq/workflow/Sequencer.h"
#include "torq/workflow/Tabs.h"
#include "torq/workflow/TimeText.h"

namespace torq {
namespace {

using test::ScriptedOperator;

struct RecordingHost final : WorkbenchHost {
    void EndProgram(bool closingSaves) override { ended = closingSaves ? 2 : 1; }
    void SelectTab(int tab) override { tabs.push_back(tab); }
    void ShowEditor(std::uint64_t size) override { editorSize = size; }
    int ended = 0;
    std::vector<int> tabs;
    std::uint64_t editorSize = 0;
};

// A tick counter that moves on by `step` at every reading, so that a span measured between two
// readings is `step` milliseconds (0: a clock that stands still).
struct SteppingClock final : Clock {
    std::uint32_t TickMs() const override {
        const std::uint32_t now = tick;
        tick += step;
        return now;
    }
    LocalDateTime Now() const override { return {2011, 5, 4, 13, 7, 9}; }
    mutable std::uint32_t tick = 0;
    std::uint32_t step = 0;
};

// A pump that can act in the middle of a run, as a click that the window delivers while an
// operation polls.
struct ReentrantPump final : Pump {
    void ProcessPendingMessages() override {
        if (during)
            during();
    }
    std::function<void()> during;
};

class WorkbenchTest : public ::testing::Test {
  protected:
    // A home with the shipped library and History.ini selecting `type`, a simulated chip.
    void Open(const std::string& chip, const std::string& vendor = "Winbond",
              const std::string& type = "W25X10") {
        test::CopySampleLibrary(home.Path());
        IniFile history(home / "History.ini");
        history.WriteString("Device1", "Vendor", vendor);
        history.WriteString("Device1", "Type", type);
        ASSERT_TRUE(history.Save());
        Make(chip);
    }
    void Make(const std::string& chip) {
        sim::ProgrammerSetup setup;
        if (const auto* spec = sim::FindChip(chip))
            setup.chip = *spec;
        auto usb = std::make_unique<sim::SimulatedProgrammer>(setup);
        simulator = usb.get();
        bench = std::make_unique<Workbench>(
            ProgramDirectory::Portable(home.Path()),
            WorkbenchSeams{op, pump, clock, watchTimer, flashTimer, std::move(usb)}, host);
    }
    std::vector<std::string> Lines() const { return test::Messages(bench->Log()); }
    bool Logged(const std::string& line) const {
        const auto lines = Lines();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }
    std::string Shown(std::string_view panel) const { return bench->Board().ShownImage(panel); }
    std::filesystem::path WriteFile(const std::string& name, std::size_t size) const {
        std::string bytes(size, '\0');
        for (std::size_t i = 0; i < size; ++i)
            bytes[i] = static_cast<char>(i * 7 + 3);
        return home.Write(name, bytes);
    }

    test::TempDir home;
    ScriptedOperator op;
    ReentrantPump pump;
    SteppingClock clock;
    ManualTimer watchTimer, flashTimer;
    RecordingHost host;
    sim::SimulatedProgrammer* simulator = nullptr;
    std::unique_ptr<Workbench> bench;
};

TEST_F(WorkbenchTest, StartUpDetectsTheChipAndRestoresTheHistory) {
    Open("W25X10", "Winbond", "W25X20");
    const auto file = WriteFile("image.bin", 1000);
    IniFile history(home / "History.ini");
    history.WriteString("Device1", "Socket1File", file.string());
    history.WriteInteger("Device1", "Socket1DestSAdd", 256);
    history.WriteInteger("Device1", "Socket1UnusedFill", 0);
    ASSERT_TRUE(history.Save());

    bench->StartUp({});
    EXPECT_EQ(bench->ProgrammerCount(), 1);
    EXPECT_EQ(Shown("Status_ResultImage_Panel"), "Status_ResultOnline_Image");
    // The chip answers as a W25X10: detection wins over the stored type, and enables socket 1.
    EXPECT_EQ(bench->UnitStates().Unit(1).type, "W25X10");
    EXPECT_TRUE(bench->UnitStates().Socket(1, 1).enabled);
    EXPECT_EQ(bench->UnitStates().Socket(1, 1).workFile, file.string());
    // The saved destination and fill apply: the file sits at 0x100, the rest is 00.
    const std::string buffer = test::ReadFile(home / "output.tmp");
    ASSERT_EQ(buffer.size(), 131072u);
    EXPECT_EQ(buffer.substr(0x100, 1000), test::ReadFile(file));
    EXPECT_EQ(buffer[0], '\0');
    EXPECT_EQ(bench->UnitStates().Socket(1, 1).offsetText, "00000000");
    const auto lines = Lines();
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const std::string& l) {
        return l.find("is found : Winbond -> W25X10 -> [EF301100]") != std::string::npos;
    }));

    // Closing keeps the history and empties the buffer.
    bench->Close();
    EXPECT_EQ(std::filesystem::file_size(home / "output.tmp"), 0u);
    const IniFile saved(home / "History.ini");
    EXPECT_EQ(saved.ReadString("Device1", "Type"), "W25X10");
    EXPECT_EQ(saved.ReadString("Device1", "Socket1File"), file.string());
}

// A chip that is not recognised: the device and the file come from History.ini, loaded with the
// saved destination, fill and format, but the socket stays out of the runs. A second restore (the
// programmer plugged in again) with the same stored vendor changes nothing; a stored file that
// has gone empties the field and loads nothing.
TEST_F(WorkbenchTest, AnUndetectedChipTakesTheHistoryButLeavesTheSocketDisabled) {
    Open("none", "Winbond", "W25X20");
    const auto file = WriteFile("image.exe", 1000);
    IniFile history(home / "History.ini");
    history.WriteString("Device1", "Socket1File", file.string());
    history.WriteInteger("Device1", "Socket1DestSAdd", 256);
    history.WriteInteger("Device1", "Socket1UnusedFill", 0);
    history.WriteInteger("Device1", "Socket1Format", 1);  // MS-DOS .exe: a 512-byte header
    ASSERT_TRUE(history.Save());

    bench->StartUp({});
    const Units& units = bench->UnitStates();
    EXPECT_EQ(units.Unit(1).vendor, "Winbond");
    EXPECT_EQ(units.Unit(1).type, "W25X20");
    EXPECT_EQ(units.Socket(1, 1).workFile, file.string());
    EXPECT_FALSE(units.Socket(1, 1).enabled);
    EXPECT_TRUE(Logged("Downloaded file is MS .EXE file !"));
    std::string buffer = test::ReadFile(home / "output.tmp");
    ASSERT_EQ(buffer.size(), 262144u);
    EXPECT_EQ(buffer.substr(0x100, 488), test::ReadFile(file).substr(512));
    EXPECT_EQ(buffer[0], '\0');
    EXPECT_EQ(buffer[0x100 + 488], '\0');

    buffer[0] = 'X';
    home.Write("output.tmp", buffer);
    bench->RestoreSocketHistory(1, 1);
    EXPECT_EQ(test::ReadFile(home / "output.tmp"), buffer);
    EXPECT_EQ(units.Unit(1).type, "W25X20");
    EXPECT_EQ(units.Socket(1, 1).workFile, file.string());
    EXPECT_FALSE(units.Socket(1, 1).enabled);

    std::filesystem::remove(file);
    Make("none");
    bench->StartUp({});
    EXPECT_EQ(bench->UnitStates().Unit(1).type, "W25X20");
    EXPECT_EQ(bench->UnitStates().Socket(1, 1).workFile, "");
    EXPECT_FALSE(bench->UnitStates().Socket(1, 1).enabled);
    EXPECT_EQ(test::ReadFile(home / "output.tmp"), std::string(262144, '\xFF'));
}

// Closing after a Read keeps "< Data from buffer >" as the work file; at the next start no such
// file exists and the field stays empty.
TEST_F(WorkbenchTest, TheDataFromTheBufferIsNotRestoredAtTheNextStart) {
    Open("W25X10");
    bench->StartUp({});
    bench->LoadIntoUnit1(WriteFile("image.bin", 4096));
    ASSERT_TRUE(bench->Read().Pass());
    bench->Close();
    EXPECT_EQ(IniFile(home / "History.ini").ReadString("Device1", "Socket1File"), kDataFromBuffer);

    Make("W25X10");
    bench->StartUp({});
    EXPECT_EQ(bench->UnitStates().Socket(1, 1).workFile, "");
    EXPECT_TRUE(bench->UnitStates().Socket(1, 1).enabled);  // the chip was recognised
    EXPECT_EQ(Shown("Programmer_LoadFileImage_Panel"), "Programmer_LoadFileNorm_Image");
}

// A History.ini that cannot be written at closing (here: it was not read whole, so it is left as it
// is) is told to the operator in a message box, not only to the log that is closing.
TEST_F(WorkbenchTest, ClosingTellsTheOperatorWhatCouldNotBeSaved) {
    Open("W25X10");
    bench->StartUp({});
    const std::string damaged = test::ReadFile(home / "History.ini") + std::string(1, '\0') + "\n";
    home.Write("History.ini", damaged);
    op.messages.clear();
    bench->Close();
    ASSERT_EQ(op.messages.size(), 1u) << ::testing::PrintToString(op.Texts());
    EXPECT_EQ(op.messages[0].severity, Severity::Error);
    const std::string& text = op.messages[0].text;
    for (const char* part : {"history", "options", "History.ini", "NUL"})
        EXPECT_NE(text.find(part), std::string::npos) << part << " in " << text;
    EXPECT_EQ(test::ReadFile(home / "History.ini"), damaged);
    EXPECT_EQ(std::filesystem::file_size(home / "output.tmp"), 0u);

    // Saved well: nothing to tell.
    home.Write("History.ini", "");
    op.messages.clear();
    bench->Close();
    EXPECT_TRUE(op.messages.empty());
}

TEST_F(WorkbenchTest, ExecuteAllRunsTheCheckedStepsAndShowsTheVerdict) {
    Open("W25X10");
    bench->StartUp({});
    bench->LoadIntoUnit1(WriteFile("image.bin", 4096));
    ASSERT_TRUE(bench->UnitStates().Socket(1, 1).enabled);
    const RunResult run = bench->ExecuteAll();
    EXPECT_TRUE(run.Pass());
    for (const auto* tile : {"Programmer_Erase", "Programmer_Check", "Programmer_Program",
                             "Programmer_Verify", "Programmer_Protect"}) {
        EXPECT_EQ(Shown(std::string(tile) + "Image_Panel"), std::string(tile) + "Pass_Image");
    }
    EXPECT_EQ(Shown("Unit1_StatusLights1Image_Panel"), "Unit1_StatusLights1Green_Image");
    EXPECT_EQ(Shown("Status_ResultImage_Panel"), "Status_ResultPass_Image");
    EXPECT_EQ(bench->Board().Progress(1), 100);
    EXPECT_TRUE(Logged("Start [Blank Check]"));
    EXPECT_TRUE(Logged("Finished with total time : 0 Sec."));
    EXPECT_FALSE(bench->Runs().Busy());
}

TEST_F(WorkbenchTest, AFailingStepSkipsTheRestAndEndsRed) {
    Open("W25X10");
    bench->StartUp({});
    bench->LoadIntoUnit1(WriteFile("image.bin", 4096));
    // Once the erase step has begun, every state poll fails.
    struct FailErase final : SequencerObserver {
        void StepStarted(Operation operation) override {
            if (operation == Operation::Erase)
                simulator->FailEvery({sim::TransferKind::ControlIn, 0xE0});
        }
        sim::SimulatedProgrammer* simulator = nullptr;
    } failErase;
    failErase.simulator = simulator;
    bench->Runs().AddObserver(&failErase);
    watchTimer.Start();
    const RunResult run = bench->ExecuteAll();
    EXPECT_FALSE(run.Pass());
    EXPECT_EQ(Shown("Programmer_EraseImage_Panel"), "Programmer_EraseFail_Image");
    EXPECT_EQ(Shown("Programmer_CheckImage_Panel"), "Programmer_CheckNorm_Image");
    EXPECT_EQ(Shown("Programmer_ProtectImage_Panel"), "Programmer_ProtectNorm_Image");
    EXPECT_EQ(Shown("Unit1_StatusLights1Image_Panel"), "Unit1_StatusLights1Red_Image");
    EXPECT_EQ(Shown("Status_ResultImage_Panel"), "Status_ResultFail_Image");
    EXPECT_EQ(bench->Board().Progress(1), 100);
    EXPECT_FALSE(Logged("Start [Blank Check]"));
    EXPECT_TRUE(Logged("End [Erase]"));
    // The watch timer is given back whatever happened.
    EXPECT_TRUE(watchTimer.IsEnabled());
}

// A fault at several points of Execute All leaves everything consistent: the failing tile shows
// Fail and those after it stay as they were, the bar ends at 100, the lamp is red and the status
// Fail, and the log ends with the verdict naming the step; a chip that cannot be identified
// (answered Cancel) runs nothing and ends STOPPED, never on a verdict that reads as a pass; a
// programmer that cannot be opened runs nothing. In every case the watch timer is stopped for the
// run and given back afterwards, and History.ini is left alone.
TEST_F(WorkbenchTest, AFailureInTheMiddleOfExecuteAllLeavesAConsistentState) {
    using sim::TransferKind;
    struct Case {
        const char* name;
        std::optional<Operation> at;  // the fault starts with this step; none: before the run
        std::function<void(sim::SimulatedProgrammer&)> fault;
        int failedStep;  // index of the Programmer step that fails; -1: no step runs
        const char* status;
        const char* lamp;
        const char* failureLine;  // what the log or the operator is told
        const char* verdictLine;  // the log's last line; null: the run has no verdict
    };
    const char* kFailureLine = kCommunicationFailureMessage.data();
    const auto every = [](TransferKind kind, std::optional<std::uint8_t> request = {}) {
        return [=](sim::SimulatedProgrammer& s) { s.FailEvery({kind, request}); };
    };
    const char* kStoppedLine =
        "Result : STOPPED [not done: the chip in the socket was not confirmed]";
    const std::vector<Case> cases{
        {"blank check", Operation::BlankCheck, every(TransferKind::BulkIn), 1,
         "Status_ResultFail_Image", "Unit1_StatusLights1Red_Image", kFailureLine,
         "Result : FAIL [Blank Check]"},
        {"program", Operation::Program, every(TransferKind::BulkOut), 2, "Status_ResultFail_Image",
         "Unit1_StatusLights1Red_Image", kFailureLine, "Result : FAIL [Program]"},
        {"verify", Operation::Verify, every(TransferKind::BulkIn), 3, "Status_ResultFail_Image",
         "Unit1_StatusLights1Red_Image", kFailureLine, "Result : FAIL [Verify]"},
        {"protect", Operation::Protect, every(TransferKind::ControlIn, 0xE0), 4,
         "Status_ResultFail_Image", "Unit1_StatusLights1Red_Image", kFailureLine,
         "Result : FAIL [Protect]"},
        // The removal is acted on once the run has ended with its verdict: then no programmer is
        // left to show.
        {"programmer removed", Operation::Program,
         [](sim::SimulatedProgrammer& s) { s.UnplugAfter(3); }, 2, "Status_ResultOffline_Image",
         "Unit1_StatusLights1Red_Image", kFailureLine, "Result : FAIL [Program]"},
        {"read ID", std::nullopt, every(TransferKind::BulkIn), -1, "Status_ResultStopped_Image",
         "Unit1_StatusLights1Gray_Image", kFailureLine, kStoppedLine},
        {"lost open", std::nullopt, [](sim::SimulatedProgrammer& s) { s.FailOpens(kOpenAttempts); },
         -1, "Status_ResultOnline_Image", "Unit1_StatusLights1Gray_Image",
         kOpenFailedMessage.data(), nullptr},
    };
    const std::vector<std::string> tiles{"Programmer_Erase", "Programmer_Check",
                                         "Programmer_Program", "Programmer_Verify",
                                         "Programmer_Protect"};
    struct Injector final : SequencerObserver {
        void StepStarted(Operation operation) override {
            timerDuringRun = timerDuringRun || timer->IsEnabled();
            if (at && operation == *at)
                fault(*simulator);
        }
        void StepEnded(Operation operation, bool) override {
            if (at && operation == *at && simulator->Plugged())
                simulator->ClearFaults();  // the end of the run is sent as usual
        }
        std::optional<Operation> at;
        std::function<void(sim::SimulatedProgrammer&)> fault;
        sim::SimulatedProgrammer* simulator = nullptr;
        const Timer* timer = nullptr;
        bool timerDuringRun = false;
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Open("W25X10");
        bench->StartUp({});
        bench->LoadIntoUnit1(WriteFile("image.bin", 4096));
        ASSERT_TRUE(bench->UnitStates().Socket(1, 1).enabled);
        const std::string history = test::ReadFile(home / "History.ini");
        Injector injector;
        injector.at = c.at;
        injector.fault = c.fault;
        injector.simulator = simulator;
        injector.timer = &watchTimer;
        bench->Runs().AddObserver(&injector);
        if (!c.at)
            c.fault(*simulator);
        op = ScriptedOperator({Answer::Retry, Answer::Cancel});
        watchTimer.Start();

        const RunResult run = bench->ExecuteAll();
        EXPECT_FALSE(run.Pass());
        for (int i = 0; i < static_cast<int>(tiles.size()); ++i) {
            const char* image = c.failedStep < 0 || i > c.failedStep ? "Norm"
                                : i == c.failedStep                  ? "Fail"
                                                                     : "Pass";
            EXPECT_EQ(Shown(tiles[i] + "Image_Panel"), tiles[i] + image + "_Image") << tiles[i];
        }
        if (c.failedStep >= 0) {
            EXPECT_EQ(bench->Board().Progress(1), 100);
        }
        EXPECT_EQ(Shown("Status_ResultImage_Panel"), c.status);
        EXPECT_EQ(Shown("Unit1_StatusLights1Image_Panel"), c.lamp);
        const auto texts = op.Texts();
        EXPECT_TRUE(Logged(c.failureLine) ||
                    std::find(texts.begin(), texts.end(), c.failureLine) != texts.end())
            << c.failureLine;
        const auto lines = Lines();
        const auto verdicts = std::count_if(lines.begin(), lines.end(), [](const std::string& l) {
            return l.starts_with(kVerdictPrefix);
        });
        if (c.verdictLine != nullptr) {
            EXPECT_EQ(lines.back(), c.verdictLine);
            EXPECT_EQ(verdicts, 1);
        } else {
            EXPECT_EQ(verdicts, 0);
        }
        EXPECT_EQ(run.Outcome(), c.verdictLine == nullptr ? Verdict::None
                                 : c.failedStep < 0       ? Verdict::Stopped
                                                          : Verdict::Fail);
        EXPECT_FALSE(injector.timerDuringRun);
        EXPECT_TRUE(watchTimer.IsEnabled());
        EXPECT_FALSE(bench->Runs().Busy());
        EXPECT_EQ(test::ReadFile(home / "History.ini"), history);
        bench->Runs().RemoveObserver(&injector);
    }
}

// The programmer pulled out while Execute All programs: the run ends FAIL, naming the step, with
// its time and verdict lines; only then is the removal acted on and the status goes OFFLINE. The
// Execute All button the operator clicked does not stay lit as if it could run again.
TEST_F(WorkbenchTest, AProgrammerPulledOutDuringARunEndsItFailBeforeTheStatusGoesOffline) {
    Open("W25X10");
    bench->StartUp({});
    bench->LoadIntoUnit1(WriteFile("image.bin", 4096));
    struct PullOut final : SequencerObserver {
        void StepStarted(Operation operation) override {
            if (operation == Operation::Program)
                simulator->UnplugAfter(5);
        }
        void RunEnded(const RunResult& result) override {
            ended = result;
            statusAtEnd = board->ShownImage("Status_ResultImage_Panel");
        }
        sim::SimulatedProgrammer* simulator = nullptr;
        const IndicatorBoard* board = nullptr;
        RunResult ended;
        std::string statusAtEnd;
    } pullOut;
    pullOut.simulator = simulator;
    pullOut.board = &bench->Board();
    bench->Runs().AddObserver(&pullOut);
    const std::string button = "Function_ExecuteAllMouseACTFilter_Label";
    for (const MouseEvent event :
         {MouseEvent::Enter, MouseEvent::LeftDown, MouseEvent::LeftUpInside})
        bench->Board().Mouse(button, event, bench->ProgrammerCount(), bench->TabIndex());
    ASSERT_EQ(Shown("Function_ExecuteAllImage_Panel"), "Function_ExecuteAllLight_Image");

    const RunResult run = bench->ExecuteAll();
    bench->Runs().RemoveObserver(&pullOut);
    EXPECT_EQ(run.Outcome(), Verdict::Fail);
    EXPECT_EQ(run.failedStep, Operation::Program);
    EXPECT_EQ(pullOut.ended.failedStep, Operation::Program);
    EXPECT_EQ(pullOut.statusAtEnd, "Status_ResultFail_Image");
    const auto lines = Lines();
    const auto end = std::find(lines.begin(), lines.end(), "End [Program]");
    ASSERT_NE(end, lines.end());
    ASSERT_GE(lines.end() - end, 3);
    EXPECT_TRUE(end[1].starts_with(kFinishedPrefix)) << end[1];
    EXPECT_EQ(end[2], "Result : FAIL [Program]");
    EXPECT_EQ(bench->ProgrammerCount(), 0);
    EXPECT_EQ(Shown("Status_ResultImage_Panel"), "Status_ResultOffline_Image");
    EXPECT_EQ(Shown("Function_ExecuteAllImage_Panel"), "Function_ExecuteAllNorm_Image");
}

// Execute All with every step box of the tab cleared does nothing and says why: no programmer
// work, no time or verdict lines, and the PASS of the run before does not stay on show.
TEST_F(WorkbenchTest, ExecuteAllWithEveryStepClearedRunsNothingAndSaysWhy) {
    Open("W25X10");
    bench->StartUp({});
    bench->LoadIntoUnit1(WriteFile("image.bin", 4096));
    ASSERT_TRUE(bench->ExecuteAll().Pass());
    for (const StepRow& row : StepRowsOf(Bar::Programmer))
        bench->SetStepChecked(Bar::Programmer, row.step, false);
    const std::size_t before = Lines().size();
    simulator->EnableLog(true);
    simulator->ClearLog();
    op = ScriptedOperator();

    const RunResult run = bench->ExecuteAll();
    EXPECT_FALSE(run.Pass());
    EXPECT_EQ(run.Outcome(), Verdict::None);
    EXPECT_EQ(op.Texts(), std::vector<std::string>{std::string(kSelectStepMessage)});
    EXPECT_EQ(Lines().size(), before);
    EXPECT_TRUE(simulator->Log().empty());
    EXPECT_EQ(Shown("Status_ResultImage_Panel"), "Status_ResultOnline_Image");
    EXPECT_EQ(Shown("Programmer_EraseImage_Panel"), "Programmer_EraseNorm_Image");
}

// A plan runs what it says, whatever the window shows: another tab, the socket's box cleared and
// every step box cleared stop the window's Execute All but not a plan built from arguments, which
// runs its steps alone and leaves the tab and the boxes as they were. Every observer is handed
// the run's result.
TEST_F(WorkbenchTest, APlanRunsItsStepsWhateverTheTabAndTheBoxesSay) {
    Open("W25X10");
    bench->StartUp({});
    bench->LoadIntoUnit1(WriteFile("image.bin", 4096));
    for (const StepRow& row : StepRowsOf(Bar::Programmer))
        bench->SetStepChecked(Bar::Programmer, row.step, false);
    bench->SetSocketEnabled(1, 1, false);
    bench->ShowTab(kOptionsTabIndex);
    EXPECT_FALSE(bench->ExecuteAll().ran);

    struct Ended final : SequencerObserver {
        void RunEnded(const RunResult& result) override { results.push_back(result.Pass()); }
        std::vector<bool> results;
    } first, second;
    bench->Runs().AddObserver(&first);
    bench->Runs().AddObserver(&second);
    RunPlan plan = bench->PlanWithOptions(Bar::Programmer);
    plan.steps = {Step::Erase, Step::Program, Step::Verify};
    const std::size_t before = Lines().size();
    const RunResult run = bench->Runs().Run(plan);
    bench->Runs().RemoveObserver(&first);
    bench->Runs().RemoveObserver(&second);

    EXPECT_TRUE(run.Pass());
    EXPECT_EQ(first.results, std::vector<bool>{true});
    EXPECT_EQ(second.results, std::vector<bool>{true});
    const std::vector<std::string> lines = Lines();
    std::vector<std::string> starts;
    for (const auto& line : std::span(lines).subspan(before)) {
        if (line.find("Start [") != std::string::npos)
            starts.push_back(line.substr(line.find("Start [")));
    }
    EXPECT_EQ(starts,
              (std::vector<std::string>{"Start [Erase]", "Start [Program]", "Start [Verify]"}));
    EXPECT_EQ(bench->TabIndex(), kOptionsTabIndex);
    EXPECT_FALSE(bench->UnitStates().Socket(1, 1).enabled);
    EXPECT_FALSE(bench->StepChecked(Bar::Programmer, Step::Erase));
}

// One figure for the run's time: what the window is handed at the end of the run is the figure
// of the log's "Finished with total time"; the log then ends with the verdict, so a saved log
// tells a pass from a failure.
TEST_F(WorkbenchTest, TheRunsTimeIsOneFigureAndTheLogEndsWithTheVerdict) {
    Open("W25X10");
    bench->StartUp({});
    bench->LoadIntoUnit1(WriteFile("image.bin", 4096));
    struct Ended final : SequencerObserver {
        void RunEnded(const RunResult& result) override { elapsed = result.elapsedMs; }
        std::optional<std::uint32_t> elapsed;
    } ended;
    bench->Runs().AddObserver(&ended);
    clock.step = 7;
    const RunResult run = bench->ExecuteAll();
    bench->Runs().RemoveObserver(&ended);
    ASSERT_TRUE(run.Pass());
    ASSERT_TRUE(run.elapsedMs.has_value());
    EXPECT_EQ(ended.elapsed, run.elapsedMs);
    const auto lines = Lines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], FinishedLine(*run.elapsedMs));
    EXPECT_EQ(lines.back(), "Result : PASS");

    // The saved log too ends with the verdict.
    const auto saved = home / "saved.log";
    ASSERT_TRUE(bench->Log().SaveToFile(saved));
    const std::string text = test::ReadFile(saved);
    EXPECT_NE(text.find("Result : PASS"), std::string::npos);
    EXPECT_EQ(text.find("Result : PASS"), text.rfind("Result : "));
}

// A read whose buffer cannot be read back has no checksum: it fails with a line, instead of a
// pass with the checksum 00000000, and the socket keeps its fields.
TEST_F(WorkbenchTest, AReadWhoseBufferCannotBeReadBackFails) {
    Open("W25X10");
    bench->StartUp({});
    const auto file = WriteFile("image.bin", 4096);
    bench->LoadIntoUnit1(file);
    const SocketState before = bench->UnitStates().Socket(1, 1);
    struct SpoilBuffer final : SequencerObserver {
        void StepEnded(Operation operation, bool pass) override {
            if (operation != Operation::Read || !pass)
                return;
            std::filesystem::remove(buffer);
            std::filesystem::create_directory(buffer);  // in the way of every read
        }
        std::filesystem::path buffer;
    } spoil;
    spoil.buffer = home / "output.tmp";
    bench->Runs().AddObserver(&spoil);
    const RunResult run = bench->Read();
    bench->Runs().RemoveObserver(&spoil);
    EXPECT_FALSE(run.Pass());
    EXPECT_EQ(run.failedStep, Operation::Read);
    EXPECT_TRUE(Logged("Error : The buffer file " + spoil.buffer.string() +
                       " is not a regular file (a folder) !"));
    EXPECT_FALSE(Logged("IC checksum=0x00000000"));
    EXPECT_EQ(Lines().back(), "Result : FAIL [Read]");
    EXPECT_EQ(Shown("Status_ResultImage_Panel"), "Status_ResultFail_Image");
    EXPECT_EQ(Shown("Unit1_StatusLights1Image_Panel"), "Unit1_StatusLights1Red_Image");
    EXPECT_EQ(bench->UnitStates().Socket(1, 1).workFile, before.workFile);
    EXPECT_EQ(bench->UnitStates().Socket(1, 1).checksumText, before.checksumText);
    std::filesystem::remove(spoil.buffer);
}

// Detect IC: the chip's device is applied to unit 1, and the found or not-found line carries the
// detection's time; socket 1 is enabled exactly when a device was found, and the watch timer is
// given back.
TEST_F(WorkbenchTest, DetectIcAppliesTheChipsDeviceAndLogsItsTime) {
    Open("W25X20");
    bench->StartUp({});
    ASSERT_TRUE(bench->SelectDevice(1, "Winbond", "W25X10"));
    bench->SetSocketEnabled(1, 1, false);
    watchTimer.Start();
    clock.step = 1234;
    bench->DetectIc();
    EXPECT_EQ(bench->UnitStates().Unit(1).type, "W25X20");
    EXPECT_EQ(bench->Record().name, "W25X20");
    EXPECT_TRUE(bench->UnitStates().Socket(1, 1).enabled);
    EXPECT_EQ(Lines().back(),
              "Automatically detect the device ID is found : Winbond -> W25X20 -> "
              "[EF301200] : Total Time : 1.234 Sec.");
    EXPECT_TRUE(watchTimer.IsEnabled());

    // On the Options tab, or without a programmer, the button does nothing.
    const std::size_t lines = Lines().size();
    bench->ShowTab(kOptionsTabIndex);
    bench->DetectIc();
    bench->ShowTab(kProgrammerTabIndex);
    bench->Link().Channel().SetProgrammerCount(0);
    bench->DetectIc();
    EXPECT_EQ(Lines().size(), lines);

    Open("none");
    bench->StartUp({});
    bench->SetSocketEnabled(1, 1, true);
    const std::string type = bench->UnitStates().Unit(1).type;
    bench->DetectIc();
    EXPECT_EQ(Lines().back(),
              "Automatically detect the device ID is not found : Total Time : 1.234 Sec.");
    EXPECT_FALSE(bench->UnitStates().Socket(1, 1).enabled);
    EXPECT_EQ(bench->UnitStates().Unit(1).type, type);
}

// The order button: the socket lamp goes yellow and back to gray around the identification request
// to the programmer, and socket 1 of the unit is enabled.
TEST_F(WorkbenchTest, TheOrderButtonAsksTheProgrammerAndEnablesSocket1) {
    Open("W25X10");
    bench->StartUp({});
    bench->SetSocketEnabled(1, 1, false);
    struct Lamps final : IndicatorObserver {
        void VisibilityChanged(std::string_view container) override {
            if (container == "Unit1_StatusLights1Image_Panel")
                shown.push_back(board->ShownImage(container));
        }
        const IndicatorBoard* board = nullptr;
        std::vector<std::string> shown;
    } lamps;
    lamps.board = &bench->Board();
    bench->Board().SetObserver(&lamps);
    simulator->EnableLog(true);
    simulator->ClearLog();
    bench->OrderButton(1);
    bench->Board().SetObserver(nullptr);
    EXPECT_EQ(lamps.shown, (std::vector<std::string>{"Unit1_StatusLights1Yellow_Image",
                                                     "Unit1_StatusLights1Gray_Image"}));
    EXPECT_EQ(test::Describe(simulator->Log()), std::vector<std::string>{"out D0 0000 0005"});
    EXPECT_TRUE(bench->UnitStates().Socket(1, 1).enabled);
}

// Three programmers: three unit panels show, Execute All still works unit 1's chip alone, and an
// order button asks its own unit's programmer (a unit without one asks nobody).
TEST_F(WorkbenchTest, WithThreeProgrammersRunsStayOnUnit1AndOrderButtonsAskTheirOwn) {
    Open("W25X10");
    for (int copy = 0; copy < 2; ++copy) {
        sim::ProgrammerSetup setup;
        setup.chip = *sim::FindChip("W25X10");
        simulator->AddProgrammer(setup);
    }
    bench->StartUp({});
    ASSERT_EQ(bench->ProgrammerCount(), 3);
    EXPECT_TRUE(bench->Board().IsVisible("Unit3_Panel"));
    EXPECT_FALSE(bench->Board().IsVisible("Unit4_Panel"));

    bench->LoadIntoUnit1(WriteFile("image.bin", 4096));
    EXPECT_TRUE(bench->ExecuteAll().Pass());
    EXPECT_EQ(simulator->Chip(0)->Memory().ReadByte(1), 10);  // the image's second byte
    for (int device : {1, 2})
        EXPECT_EQ(simulator->Chip(device)->Memory().ReadByte(1), 0xFF) << device;

    simulator->EnableLog(true);
    simulator->ClearLog();
    bench->OrderButton(3);
    ASSERT_EQ(test::Describe(simulator->Log()), std::vector<std::string>{"out D0 0000 0005"});
    EXPECT_EQ(simulator->Log().front().device, 2);
    EXPECT_EQ(simulator->Path(), "1-1");  // unit 1's programmer is the open one again
    bench->OrderButton(4);
    EXPECT_EQ(simulator->Log().size(), 1u);
}

// A type change clears the unit's socket fields; on units 3 and 4 it also unchecks both enable
// boxes, on units 1 and 2 they keep their state. A vendor whose type list has empty keys tells
// them in one message and leaves those types out. A device without a sane size is refused and
// nothing changes.
TEST_F(WorkbenchTest, ChoosingADeviceClearsTheSocketsAndRefusesOneWithoutASize) {
    Open("W25X10");
    bench->StartUp({});
    Units& units = bench->UnitStates();
    bench->VendorChanged(3, "Winbond");
    for (int unit : {1, 3}) {
        for (int socket : {1, 2}) {
            units.SetWorkFile(unit, socket, WriteFile("f.bin", 16).string());
            units.SetChecksumText(unit, socket, "12345678");
            units.SetOffsetText(unit, socket, "100", bench->Record().deviceSize);
            units.SetEnabled(unit, socket, true);
        }
    }
    for (int unit : {1, 3}) {
        SCOPED_TRACE(unit);
        ASSERT_TRUE(bench->TypeChanged(unit, "W25X20"));
        for (int socket : {1, 2}) {
            const SocketState& state = units.Socket(unit, socket);
            EXPECT_EQ(state.workFile, "");
            EXPECT_EQ(state.checksumText, "00000000");
            EXPECT_EQ(state.offsetText, "00000000");
            EXPECT_EQ(state.enabled, unit < 3);
        }
    }

    Open("W25X10");
    std::string select = test::ReadFile(home / "Select.ini");
    select.replace(select.find("0002=W25X20"), 11, "0002=");
    home.Write("Select.ini", select);
    bench->StartUp({});
    op = ScriptedOperator();
    bench->VendorChanged(1, "Winbond");
    EXPECT_EQ(op.Texts(), std::vector<std::string>{"Error : SelectINI->[Winbond]->0002"});
    const auto& types = bench->TypeList(1);
    EXPECT_EQ(std::find(types.begin(), types.end(), "W25X20"), types.end());
    const std::string first = types.front();  // the vendor change chose its first type
    EXPECT_EQ(bench->UnitStates().Unit(1).type, first);
    EXPECT_EQ(bench->Record().name, first);

    std::string device = test::ReadFile(home / "Ini" / "W25X40.ini");
    device.replace(device.find("max_address_Low=0x080000"), 24, "max_address_Low=0x");
    home.Write("Ini/W25X40.ini", device);
    const std::string buffer = test::ReadFile(home / "output.tmp");
    const std::string menu = test::ReadFile(home / "Menu.ini");
    op = ScriptedOperator();
    EXPECT_FALSE(bench->TypeChanged(1, "W25X40"));
    ASSERT_EQ(op.Texts().size(), 1u);
    EXPECT_EQ(
        op.Texts()[0].rfind("The device W25X40 cannot be selected: The device size is 0 bytes", 0),
        0u)
        << op.Texts()[0];
    EXPECT_EQ(bench->UnitStates().Unit(1).type, first);
    EXPECT_EQ(bench->Record().name, first);
    EXPECT_EQ(test::ReadFile(home / "output.tmp"), buffer);
    EXPECT_EQ(test::ReadFile(home / "Menu.ini"), menu);
}

// Cancel at the identity question: nothing is done, and the run ends on a verdict of its own
// (STOPPED), in the window, the log and the programmer's lamp, never on what a pass looks like;
// for Execute All, Read and a step tile alike.
TEST_F(WorkbenchTest, AChipOfAnotherDeviceAsksAndCancelSkipsTheSocket) {
    Open("W25X20");
    bench->StartUp({});  // detection selects the W25X20
    bench->SelectDevice(1, "winbond", "w25x10");
    bench->UnitStates().SetWorkFile(1, 1, WriteFile("image.bin", 16).string());
    bench->SetSocketEnabled(1, 1, true);
    const std::string stopped =
        "Result : STOPPED [not done: the chip in the socket was not confirmed]";
    op = ScriptedOperator({Answer::Retry, Answer::Cancel});
    simulator->EnableLog(true);
    simulator->ClearLog();
    const RunResult cancelled = bench->ExecuteAll();
    EXPECT_EQ(cancelled.skipped, 1);
    EXPECT_EQ(cancelled.processed, 0);
    EXPECT_EQ(cancelled.Outcome(), Verdict::Stopped);
    EXPECT_FALSE(cancelled.Pass());
    EXPECT_EQ(op.Texts(), (std::vector<std::string>{std::string(kConfirmDeviceIdQuestion),
                                                    std::string(kConfirmDeviceIdQuestion)}));
    EXPECT_EQ(Shown("Status_ResultImage_Panel"), "Status_ResultStopped_Image");
    EXPECT_EQ(Shown("Unit1_StatusLights1Image_Panel"), "Unit1_StatusLights1Gray_Image");
    EXPECT_EQ(Lines().back(), stopped);
    EXPECT_FALSE(Logged("Start [Erase]"));
    // The programmer's lamp is told "not passed", not left on the chip before's verdict.
    const auto wire = test::Describe(simulator->Log());
    EXPECT_EQ(wire.back(), "out D0 0001 0000");
    for (const auto& run : {std::function<RunResult()>([&] { return bench->Read(); }),
                            std::function<RunResult()>(
                                [&] { return bench->SingleStep(Bar::Programmer, Step::Erase); })}) {
        bench->Board().ShowStatus(StatusImage::Pass);
        op = ScriptedOperator({Answer::Cancel});
        EXPECT_EQ(run().Outcome(), Verdict::Stopped);
        EXPECT_EQ(Shown("Status_ResultImage_Panel"), "Status_ResultStopped_Image");
        EXPECT_EQ(Lines().back(), stopped);
    }
    EXPECT_FALSE(Logged("Erase : Pass"));

    // Yes detects the chip, selects it and runs the steps against it.
    op = ScriptedOperator({Answer::Yes});
    const RunResult detected = bench->ExecuteAll();
    EXPECT_EQ(bench->UnitStates().Unit(1).type, "W25X20");
    EXPECT_TRUE(detected.Pass());
}

// Yes at the identity question with a file loaded and another device selected: the found device
// is selected and the work file loaded again into its buffer with the settings it was loaded
// with, so the chip ends up holding the operator's image.
TEST_F(WorkbenchTest, YesAtTheIdentityQuestionLoadsTheWorkFileAgainForTheFoundDevice) {
    Open("W25X20");
    bench->StartUp({});
    ASSERT_TRUE(bench->SelectDevice(1, "Winbond", "W25X10"));
    const auto file = WriteFile("image.bin", 1000);
    bench->PrepareLoad(1, 1, file);
    bench->SetLoadFieldText(LoadField::Destination, "00000100");
    bench->SetLoadFieldText(LoadField::Fill, "00");
    ASSERT_EQ(bench->LoadFromDialog().end, LoadEnd::Loaded);

    op = ScriptedOperator({Answer::Yes});
    EXPECT_TRUE(bench->ExecuteAll().Pass());
    EXPECT_EQ(bench->UnitStates().Unit(1).type, "W25X20");
    EXPECT_TRUE(Logged(std::string(kWorkFileLoadedAgainLine) + file.string()));
    const SocketState& socket = bench->UnitStates().Socket(1, 1);
    EXPECT_EQ(socket.workFile, file.string());
    EXPECT_TRUE(Logged("IC checksum=0x" + socket.checksumText));
    const auto& memory = simulator->Chip()->Memory();
    const std::string image = test::ReadFile(file);
    EXPECT_EQ(memory.ReadRange(0x100, 1000), std::vector<std::uint8_t>(image.begin(), image.end()));
    EXPECT_EQ(memory.ReadByte(0), 0x00);
    EXPECT_EQ(memory.Size(), 262144u);
}

// Yes changes the device, but there is nothing to load again for it: no file chosen, the data of
// the buffer (a Read or an edit), or a work file that no longer loads. The run stops before Erase
// with a line saying why, and the socket fails; the Program tile does the same.
TEST_F(WorkbenchTest, YesWithNothingToLoadAgainStopsTheRunAndFails) {
    struct Case {
        const char* name;
        std::function<void(Workbench&, const std::filesystem::path&)> prepare;
        const char* line;  // what the device change says about the buffer; null: nothing
    };
    const std::vector<Case> cases{
        {"nothing chosen", [](Workbench& b, const auto&) { b.SetSocketEnabled(1, 1, true); },
         nullptr},
        {"data from the buffer", [](Workbench& b, const auto&) { b.ApplyEditedImage("0001FE00"); },
         kBufferClearedLine.data()},
        {"file gone empty",
         [](Workbench& b, const std::filesystem::path& file) {
             b.LoadIntoUnit1(file);
             std::filesystem::resize_file(file, 0);
         },
         kLoadAgainFailedLine.data()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Open("W25X20");
        bench->StartUp({});
        ASSERT_TRUE(bench->SelectDevice(1, "Winbond", "W25X10"));
        c.prepare(*bench, WriteFile("image.bin", 4096));
        ASSERT_TRUE(bench->UnitStates().Socket(1, 1).enabled);

        op = ScriptedOperator({Answer::Yes});
        const RunResult run = bench->ExecuteAll();
        EXPECT_EQ(run.processed, 1);
        EXPECT_FALSE(run.Pass());
        EXPECT_EQ(bench->UnitStates().Unit(1).type, "W25X20");
        EXPECT_TRUE(Logged(std::string(kNoImageForNewDeviceLine)));
        EXPECT_TRUE(Logged("Result : FAIL [no image for the new device]"));
        if (c.line != nullptr) {
            EXPECT_TRUE(Logged(c.line));
        }
        EXPECT_FALSE(Logged("Start [Erase]"));
        EXPECT_EQ(Shown("Programmer_EraseImage_Panel"), "Programmer_EraseNorm_Image");
        EXPECT_EQ(Shown("Unit1_StatusLights1Image_Panel"), "Unit1_StatusLights1Red_Image");
        EXPECT_EQ(Shown("Status_ResultImage_Panel"), "Status_ResultFail_Image");
    }
    // The Program tile after such a Yes: the tile fails without programming.
    Open("W25X20");
    bench->StartUp({});
    ASSERT_TRUE(bench->SelectDevice(1, "Winbond", "W25X10"));
    bench->SetSocketEnabled(1, 1, true);
    op = ScriptedOperator({Answer::Yes});
    EXPECT_FALSE(bench->SingleStep(Bar::Programmer, Step::Program).Pass());
    EXPECT_TRUE(Logged(std::string(kNoImageForNewDeviceLine)));
    EXPECT_FALSE(Logged("Program : Pass"));
    EXPECT_EQ(Shown("Programmer_ProgramImage_Panel"), "Programmer_ProgramFail_Image");
}

// Detect IC keeps the operator's image: finding the selected device changes nothing (a loaded
// file with an edit on top stays as it is); finding another one loads the work file again, and
// with only the buffer's data to keep, the log says the buffer was cleared.
TEST_F(WorkbenchTest, DetectIcKeepsTheOperatorsImage) {
    Open("W25X20");
    bench->StartUp({});
    const auto file = WriteFile("image.bin", 1000);
    bench->LoadIntoUnit1(file);
    std::string edited = test::ReadFile(home / "output.tmp");
    edited[5] = 'E';
    home.Write("output.tmp", edited);
    const SocketState before = bench->UnitStates().Socket(1, 1);
    bench->DetectIc();
    EXPECT_EQ(test::ReadFile(home / "output.tmp"), edited);
    EXPECT_EQ(bench->UnitStates().Socket(1, 1).workFile, before.workFile);
    EXPECT_EQ(bench->UnitStates().Socket(1, 1).checksumText, before.checksumText);
    EXPECT_TRUE(bench->UnitStates().Socket(1, 1).enabled);

    ASSERT_TRUE(bench->SelectDevice(1, "Winbond", "W25X10"));
    bench->LoadIntoUnit1(file);
    bench->DetectIc();
    EXPECT_EQ(bench->UnitStates().Unit(1).type, "W25X20");
    EXPECT_EQ(bench->UnitStates().Socket(1, 1).workFile, file.string());
    EXPECT_EQ(test::ReadFile(home / "output.tmp").substr(0, 1000), test::ReadFile(file));
    EXPECT_EQ(test::ReadFile(home / "output.tmp").size(), 262144u);
    EXPECT_TRUE(Logged(std::string(kWorkFileLoadedAgainLine) + file.string()));

    ASSERT_TRUE(bench->SelectDevice(1, "Winbond", "W25X10"));
    bench->ApplyEditedImage("00000000");
    bench->DetectIc();
    EXPECT_EQ(Lines().back(), kBufferClearedLine);
    EXPECT_EQ(bench->UnitStates().Socket(1, 1).workFile, "");
    EXPECT_TRUE(bench->UnitStates().Socket(1, 1).enabled);
}

// A detected device that cannot be selected (here its device file gives no size) is no match:
// start-up, Detect IC and the identity question's Yes all take the not-found path, with the
// reason in the log, and the selection and buffer stay as they were.
TEST_F(WorkbenchTest, ADetectedDeviceThatCannotBeSelectedIsNotFound) {
    Open("W25X40", "Winbond", "W25X10");
    std::string device = test::ReadFile(home / "Ini" / "W25X40.ini");
    device.replace(device.find("max_address_Low=0x080000"), 24, "max_address_Low=0x");
    home.Write("Ini/W25X40.ini", device);
    const auto refused = [&] {
        const auto lines = Lines();
        return std::count_if(lines.begin(), lines.end(), [](const std::string& line) {
            return line.rfind(
                       "The detected device Winbond -> W25X40 cannot be selected : The "
                       "device size is 0 bytes",
                       0) == 0;
        });
    };
    const auto notFound = [&] {
        return Lines().back().rfind("Automatically detect the device ID is not found", 0) == 0;
    };
    bench->StartUp({});
    EXPECT_EQ(refused(), 1);
    EXPECT_TRUE(notFound());
    EXPECT_EQ(bench->UnitStates().Unit(1).type, "W25X10");  // from the history
    EXPECT_EQ(bench->Record().name, "W25X10");
    EXPECT_FALSE(bench->UnitStates().Socket(1, 1).enabled);

    bench->LoadIntoUnit1(WriteFile("image.bin", 100));
    const std::string buffer = test::ReadFile(home / "output.tmp");
    bench->DetectIc();
    EXPECT_EQ(refused(), 2);
    EXPECT_TRUE(notFound());
    EXPECT_EQ(bench->UnitStates().Unit(1).type, "W25X10");
    EXPECT_FALSE(bench->UnitStates().Socket(1, 1).enabled);
    EXPECT_EQ(test::ReadFile(home / "output.tmp"), buffer);

    bench->SetSocketEnabled(1, 1, true);
    op = ScriptedOperator({Answer::Yes, Answer::Cancel});
    const RunResult run = bench->ExecuteAll();
    EXPECT_EQ(run.skipped, 1);
    EXPECT_EQ(op.Texts(), (std::vector<std::string>{std::string(kConfirmDeviceIdQuestion),
                                                    std::string(kConfirmDeviceIdQuestion)}));
    EXPECT_EQ(refused(), 3);
    EXPECT_EQ(bench->Record().name, "W25X10");
}

// The vendor and type boxes show the device that is loaded: a vendor whose first type is refused
// puts them back.
TEST_F(WorkbenchTest, ARefusedVendorChangePutsTheBoxesBack) {
    Open("W25X10");
    bench->StartUp({});
    const std::string first = bench->Library()->TypesOf("Macronix").names.front();
    const auto file = bench->Library()->DeviceFileOf("Macronix", first);
    std::string device = test::ReadFile(file);
    const std::size_t size = device.find("max_address_Low=");
    ASSERT_NE(size, std::string::npos);
    device.replace(size, device.find('\n', size) - size, "max_address_Low=0x");
    home.Write(std::filesystem::relative(file, home.Path()).string(), device);
    const std::vector<std::string> types = bench->TypeList(1);

    op = ScriptedOperator();
    bench->VendorChanged(1, "Macronix");
    ASSERT_EQ(op.Texts().size(), 1u);
    EXPECT_EQ(bench->UnitStates().Unit(1).vendor, "Winbond");
    EXPECT_EQ(bench->UnitStates().Unit(1).type, "W25X10");
    EXPECT_EQ(bench->TypeList(1), types);
    EXPECT_EQ(bench->Record().name, "W25X10");
}

// A programmer plugged in again while the window runs keeps the file the operator loaded since
// the start, not the one History.ini names from the last close.
TEST_F(WorkbenchTest, ARePlugKeepsTheCurrentWorkFile) {
    Open("W25X10");
    const auto stored = WriteFile("stored.bin", 500);
    IniFile history(home / "History.ini");
    history.WriteString("Device1", "Socket1File", stored.string());
    ASSERT_TRUE(history.Save());
    bench->StartUp({});
    ASSERT_EQ(bench->UnitStates().Socket(1, 1).workFile, stored.string());

    const auto current = home.Write("current.bin", std::string(300, 'C'));
    bench->LoadIntoUnit1(current);
    const std::string buffer = test::ReadFile(home / "output.tmp");
    simulator->Unplug();
    bench->ProcessUsbEvents();
    ASSERT_EQ(bench->ProgrammerCount(), 0);
    simulator->Plug();
    bench->ProcessUsbEvents();
    ASSERT_EQ(bench->ProgrammerCount(), 1);
    EXPECT_EQ(bench->UnitStates().Socket(1, 1).workFile, current.string());
    EXPECT_EQ(test::ReadFile(home / "output.tmp"), buffer);
    EXPECT_TRUE(bench->UnitStates().Socket(1, 1).enabled);
    EXPECT_EQ(Lines().back().rfind("Automatically detect the device ID is found", 0), 0u);
}

// A load that fails leaves the socket describing the image the buffer holds: the file name,
// checksum and Load File tile of the last load that worked (from the history too). A file
// dropped after a hex file loaded with Auto Detect is detected again.
TEST_F(WorkbenchTest, AFailedLoadLeavesTheSocketDescribingTheBuffer) {
    Open("W25X10");
    const auto empty = home.Write("empty.bin", "");
    IniFile history(home / "History.ini");
    history.WriteString("Device1", "Socket1File", empty.string());
    ASSERT_TRUE(history.Save());
    bench->StartUp({});
    EXPECT_EQ(bench->UnitStates().Socket(1, 1).workFile, "");
    EXPECT_EQ(Shown("Programmer_LoadFileImage_Panel"), "Programmer_LoadFileNorm_Image");

    const auto hex = home.Write("image.hex", ":040000001122334452\n:00000001FF\n");
    bench->Drop(1, 1, hex);
    const SocketState loaded = bench->UnitStates().Socket(1, 1);
    ASSERT_EQ(loaded.workFile, hex.string());
    const std::string buffer = test::ReadFile(home / "output.tmp");
    bench->Drop(1, 1, empty);
    EXPECT_EQ(bench->UnitStates().Socket(1, 1).workFile, loaded.workFile);
    EXPECT_EQ(bench->UnitStates().Socket(1, 1).checksumText, loaded.checksumText);
    EXPECT_EQ(Shown("Programmer_LoadFileImage_Panel"), "Programmer_LoadFilePass_Image");
    EXPECT_EQ(test::ReadFile(home / "output.tmp"), buffer);

    const auto bin = home.Write("image.bin", "\x01\x02\x03");
    bench->Drop(1, 1, bin);
    EXPECT_TRUE(Logged("Downloaded file is binary file !"));
    EXPECT_EQ(test::ReadFile(home / "output.tmp").substr(0, 3), "\x01\x02\x03");
    EXPECT_EQ(bench->UnitStates().Socket(1, 1).workFile, bin.string());
}

// A start that never chose a device (the driver image of the library's first device missing, or
// no programmer at all) leaves the device history of the last session alone when it closes.
TEST_F(WorkbenchTest, AStartThatNeverChoseADeviceKeepsTheHistory) {
    for (const bool noProgrammer : {false, true}) {
        SCOPED_TRACE(noProgrammer ? "no programmer" : "driver image missing");
        Open("W25X10", "Winbond", "W25X20");
        const auto file = WriteFile("image.bin", 100);
        IniFile history(home / "History.ini");
        history.WriteString("Device1", "Socket1File", file.string());
        history.WriteInteger("Device1", "Socket1DestSAdd", 16);
        ASSERT_TRUE(history.Save());
        if (noProgrammer) {
            simulator->Unplug();
        } else {
            ASSERT_TRUE(bench->CheckDeviceLibrary());
            std::filesystem::remove(bench->Record().driverImagePath);
            Make("W25X10");
        }
        host.ended = 0;
        bench->StartUp({file.string()});
        EXPECT_EQ(host.ended, noProgrammer ? 0 : 2);
        bench->Close();
        const IniFile saved(home / "History.ini");
        EXPECT_EQ(saved.ReadString("Device1", "Vendor"), "Winbond");
        EXPECT_EQ(saved.ReadString("Device1", "Type"), "W25X20");
        EXPECT_EQ(saved.ReadString("Device1", "Socket1File"), file.string());
        EXPECT_EQ(saved.ReadString("Device1", "Socket1DestSAdd"), "16");
    }
}

// Yes at the identity prompt with a chip that no library device answers: the not-found line,
// then the prompt again, until Cancel skips the socket.
TEST_F(WorkbenchTest, YesWithNothingFoundAsksAgain) {
    Open("none");
    bench->StartUp({});
    bench->SetSocketEnabled(1, 1, true);
    const std::size_t before = Lines().size();
    op = ScriptedOperator({Answer::Yes, Answer::Cancel});
    const RunResult run = bench->ExecuteAll();
    EXPECT_EQ(run.skipped, 1);
    EXPECT_EQ(run.processed, 0);
    EXPECT_EQ(op.Texts(), (std::vector<std::string>{std::string(kConfirmDeviceIdQuestion),
                                                    std::string(kConfirmDeviceIdQuestion)}));
    const auto lines = Lines();
    EXPECT_EQ(std::count_if(lines.begin() + static_cast<std::ptrdiff_t>(before), lines.end(),
                            [](const std::string& line) {
                                return line.rfind("Automatically detect the device ID is not found",
                                                  0) == 0;
                            }),
              1);
    EXPECT_FALSE(Logged("Start [Erase]"));
}

// The bar moves inside a long step, but never beyond the share of its step; a passed Verify gives
// the checksum field its normal colour back after a load turned it red.
TEST_F(WorkbenchTest, ProgressStaysWithinEachStepAndAPassedVerifyClearsTheChecksumColour) {
    Open("W25X10");
    bench->StartUp({});
    bench->LoadIntoUnit1(WriteFile("image.bin", 4096));
    while (flashTimer.IsEnabled())
        bench->FlashTick();
    ASSERT_EQ(bench->Board().ChecksumLookOf(0).text, TextColour::Red);

    struct Watcher final : SequencerObserver, IndicatorObserver {
        void StepStarted(Operation operation) override {
            step = operation;
            base = board->Progress(1);
            for (const StepRow& row : StepRowsOf(Bar::Programmer)) {
                if (row.operation == operation)
                    share = row.share;
            }
        }
        void StepEnded(Operation, bool) override { step.reset(); }
        void ProgressChanged(int, int value) override {
            if (!step)
                return;
            EXPECT_GE(value, base) << OperationLogName(*step);
            EXPECT_LE(value, base + share) << OperationLogName(*step);
            if (value > base && value < base + share)
                ++inside[*step];
        }
        const IndicatorBoard* board = nullptr;
        std::optional<Operation> step;
        int base = 0, share = 0;
        std::map<Operation, int> inside;
    } watcher;
    watcher.board = &bench->Board();
    bench->Runs().AddObserver(&watcher);
    bench->Board().SetObserver(&watcher);
    clock.step = 40;  // the operations report their bytes at most every 30 ms
    EXPECT_TRUE(bench->ExecuteAll().Pass());
    bench->Board().SetObserver(nullptr);
    bench->Runs().RemoveObserver(&watcher);
    for (const Operation operation : {Operation::BlankCheck, Operation::Program, Operation::Verify})
        EXPECT_GT(watcher.inside[operation], 0) << OperationLogName(operation);
    EXPECT_EQ(bench->Board().ChecksumLookOf(0),
              (ChecksumLook{TextColour::WindowText, FieldBackground::Normal}));
}

// On the Emulator tab a failed target reset keeps its tile on Light (it has no Fail image), while
// the lamp and the verdict show the failure.
TEST_F(WorkbenchTest, AnEmulatorRunWhoseResetFailsKeepsTheResetTileLit) {
    Open("W25X10");
    bench->StartUp({});
    bench->LoadIntoUnit1(WriteFile("image.bin", 4096));
    bench->ShowTab(kEmulatorTabIndex);
    bench->SetStepChecked(Bar::Emulator, Step::Verify, false);
    simulator->FailEvery({sim::TransferKind::ControlOut, 0xD2});  // the reset line
    const RunResult run = bench->ExecuteAll();
    EXPECT_FALSE(run.Pass());
    EXPECT_EQ(Shown("Emulator_ProgramImage_Panel"), "Emulator_ProgramPass_Image");
    EXPECT_EQ(Shown("Emulator_VerifyImage_Panel"), "Emulator_VerifyNorm_Image");
    EXPECT_EQ(Shown("Emulator_ResetImage_Panel"), "Emulator_ResetLight_Image");
    EXPECT_TRUE(Logged("Reset : Fail"));
    EXPECT_EQ(Shown("Unit1_StatusLights1Image_Panel"), "Unit1_StatusLights1Red_Image");
    EXPECT_EQ(Shown("Status_ResultImage_Panel"), "Status_ResultFail_Image");
    EXPECT_EQ(bench->Board().Progress(1), 100);
}

// A new work file tells the programmer: unit mode 0x40, then the lamp request.
TEST_F(WorkbenchTest, AWorkFileChangeSetsTheUnitModeAndTheLamp) {
    Open("W25X10");
    bench->StartUp({});
    simulator->EnableLog(true);
    simulator->ClearLog();
    bench->UnitStates().SetWorkFile(1, 1, WriteFile("image.bin", 16).string());
    EXPECT_EQ(test::Describe(simulator->Log()),
              (std::vector<std::string>{"out D1 0040 0000", "out D0 0001 0000"}));
}

TEST_F(WorkbenchTest, WithoutAnEnabledSocketNothingRunsAndTheOperatorIsTold) {
    Open("W25X10");
    bench->StartUp({});
    bench->SetSocketEnabled(1, 1, false);
    const RunResult run = bench->ExecuteAll();
    EXPECT_EQ(run.processed, 0);
    EXPECT_EQ(op.Texts().back(), kSelectSocketMessage);
}

// A click delivered while an operation polls must not start a second run on the programmer.
TEST_F(WorkbenchTest, ASecondClickDuringARunIsRefused) {
    Open("W25X10");
    bench->StartUp({});
    bench->LoadIntoUnit1(WriteFile("image.bin", 4096));
    int refused = 0;
    pump.during = [&] {
        if (bench->Runs().Busy() && !bench->ExecuteAll().ran)
            ++refused;
    };
    EXPECT_TRUE(bench->ExecuteAll().Pass());
    EXPECT_GT(refused, 0);
    const auto lines = Lines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "Start [Erase]"), 1);
}

TEST_F(WorkbenchTest, ReadShowsTheDataFromTheBufferAndBothChecksums) {
    Open("W25X10");
    bench->StartUp({});
    bench->LoadIntoUnit1(WriteFile("image.bin", 4096));
    ASSERT_TRUE(bench->ExecuteAll().Pass());
    const RunResult read = bench->Read();
    EXPECT_TRUE(read.Pass());
    const SocketState& socket = bench->UnitStates().Socket(1, 1);
    EXPECT_EQ(socket.workFile, kDataFromBuffer);
    EXPECT_EQ(socket.offsetText, "00000000");
    EXPECT_TRUE(Logged("File checksum=0x" + socket.checksumText));
    EXPECT_TRUE(Logged("IC checksum=0x" + socket.checksumText));
    // The work-file change reset the lamp; the status keeps the verdict.
    EXPECT_EQ(Shown("Unit1_StatusLights1Image_Panel"), "Unit1_StatusLights1Gray_Image");
    EXPECT_EQ(Shown("Status_ResultImage_Panel"), "Status_ResultPass_Image");
}

// "Outside Mode" and "Inside Mode" move only the log: the verdict on the status panel stays, and
// so does the WAIT of a run under way.
TEST_F(WorkbenchTest, TheInformationWindowsModeKeepsTheVerdict) {
    Open("W25X10");
    bench->StartUp({});
    bench->LoadIntoUnit1(WriteFile("image.bin", 4096));
    const std::string status = "Status_ResultImage_Panel";
    std::vector<std::string> duringRun;
    pump.during = [&] {
        if (!duringRun.empty() || Shown(status) != "Status_ResultWait_Image")
            return;
        bench->SetInformationWindowShown(true);
        duringRun.push_back(Shown(status));
        bench->SetInformationWindowShown(false);
        duringRun.push_back(Shown(status));
    };
    ASSERT_TRUE(bench->ExecuteAll().Pass());
    EXPECT_EQ(duringRun,
              (std::vector<std::string>{"Status_ResultWait_Image", "Status_ResultWait_Image"}));

    bench->SetInformationWindowShown(true);
    EXPECT_EQ(Shown(status), "Status_ResultPass_Image");
    EXPECT_FALSE(bench->Board().IsVisible(control::kInfoMessagePanel));
    bench->SetInformationWindowShown(false);
    EXPECT_EQ(Shown(status), "Status_ResultPass_Image");
    EXPECT_TRUE(bench->Board().IsVisible(control::kInfoMessagePanel));
    // On the Options tab the docked panel stays hidden whatever the mode.
    bench->ChangeTab(kOptionsTabIndex);
    bench->SetInformationWindowShown(true);
    bench->SetInformationWindowShown(false);
    EXPECT_FALSE(bench->Board().IsVisible(control::kInfoMessagePanel));
}

TEST_F(WorkbenchTest, EmulatorResetFailureKeepsTheLightTile) {
    Open("W25X10");
    bench->StartUp({});
    bench->ShowTab(kEmulatorTabIndex);
    simulator->FailEvery({sim::TransferKind::ControlOut, 0xD2});
    const RunResult run = bench->ResetTile();
    EXPECT_FALSE(run.Pass());
    EXPECT_EQ(Shown("Emulator_ResetImage_Panel"), "Emulator_ResetLight_Image");
    EXPECT_TRUE(Logged("Reset : Fail"));
    EXPECT_EQ(Shown("Status_ResultImage_Panel"), "Status_ResultFail_Image");
}

// The Premium sheets' changes reach the built pages; OK stores their values in Menu.ini and goes
// back to the last operation tab; Cancel goes back without storing (the next change of tab stores
// what the sheets hold); a component that is not there is ignored.
TEST_F(WorkbenchTest, PremiumOkStoresTheChangedValuesAndCancelDoesNot) {
    Open("W25Q64FV", "Winbond", "W25Q64FV");
    bench->StartUp({});
    ASSERT_EQ(bench->ShowTab(kEmulatorTabIndex), kEmulatorTabIndex);
    ASSERT_EQ(bench->ChangeTab(kPremiumTabIndex), kPremiumTabIndex);
    const ParameterPages& pages = bench->PremiumPages();
    ASSERT_FALSE(pages.empty());
    ASSERT_EQ(pages.pages[0].components[0].type, ComponentType::ValueField);
    const auto stored = [&] {
        return IniFile(home / "Menu.ini").ReadString(kPageValuesSection, "Page0Com0Set", "missing");
    };
    ASSERT_EQ(stored(), "0");

    bench->SetPageText(0, 0, "3C");
    bench->SetPageText(0, 999, "FF");
    bench->SetPageText(-1, 0, "FF");
    EXPECT_EQ(pages.pages[0].components[0].text, "3C");
    bench->PremiumCancel();
    EXPECT_EQ(host.tabs.back(), kEmulatorTabIndex);
    EXPECT_EQ(bench->TabIndex(), kEmulatorTabIndex);
    EXPECT_EQ(stored(), "0");

    ASSERT_EQ(bench->ChangeTab(kPremiumTabIndex), kPremiumTabIndex);
    EXPECT_EQ(stored(), "60");
    EXPECT_EQ(bench->PremiumPages().pages[0].components[0].text, "3C");
    bench->SetPageText(0, 0, "7F");
    bench->PremiumOk();
    EXPECT_EQ(stored(), "127");
    EXPECT_EQ(bench->CurrentPageValues().Integer(0, 0, -1), 127);
    EXPECT_EQ(host.tabs.back(), kEmulatorTabIndex);
    EXPECT_EQ(bench->TabIndex(), kEmulatorTabIndex);
}

TEST_F(WorkbenchTest, PremiumWithoutPagesFallsBackToTheLastOperationTab) {
    Open("W25X10");
    bench->StartUp({});
    ASSERT_EQ(bench->ShowTab(kEmulatorTabIndex), kEmulatorTabIndex);
    const bool hasPages = ParameterPagesAvailable(bench->Record(), bench->ProgrammerCount());
    const int shown = bench->ChangeTab(kPremiumTabIndex);
    if (hasPages) {
        EXPECT_EQ(shown, kPremiumTabIndex);
        EXPECT_FALSE(bench->PremiumPages().empty());
    } else {
        EXPECT_EQ(shown, kEmulatorTabIndex);
        EXPECT_TRUE(Logged(std::string(kNoParameterLine)));
        EXPECT_EQ(host.tabs.back(), kEmulatorTabIndex);
    }
    // Without a programmer there are never pages to show.
    bench->Link().Channel().SetProgrammerCount(0);
    bench->ShowTab(kProgrammerTabIndex);
    EXPECT_EQ(bench->ChangeTab(kPremiumTabIndex), kProgrammerTabIndex);
}

TEST_F(WorkbenchTest, LeavingOptionsWithAValueBelowItsMinimumIsRefused) {
    Open("W25X10");
    bench->StartUp({});
    bench->ChangeTab(kOptionsTabIndex);
    bench->SetOptionFieldText(OptionField::ResetTime, "20");
    EXPECT_EQ(bench->ChangeTab(kProgrammerTabIndex), kOptionsTabIndex);
    EXPECT_EQ(bench->OptionFields().resetTime, "50");
    EXPECT_EQ(bench->ChangeTab(kProgrammerTabIndex), kProgrammerTabIndex);
    EXPECT_EQ(bench->Settings().resetTimeMs, 50);
}

// The options reach History.ini as they change, not only at closing, so a crash or a power cut
// keeps them; the rest of the file stays. The step boxes are never written (their keys are the
// installation's defaults), at closing as at a change. A History.ini that cannot be written is
// left as it is and told once, until a save succeeds again.
TEST_F(WorkbenchTest, OptionsAreSavedWhenTheyChange) {
    Open("W25X10");
    bench->StartUp({});
    const auto stored = [&](const char* key) {
        return IniFile(home / "History.ini").ReadInteger("Option", key, -1);
    };
    bench->EditOptions([](Options& o) {
        o.watchAutoReload = true;
        o.userTargetBoard = true;
    });
    EXPECT_EQ(stored("WatchAutoReload_Checked"), 1);
    EXPECT_EQ(stored("UserTargetBoard_CheckBox"), 1);
    bench->ResetLevelChanged(false);
    EXPECT_EQ(stored("ResetNorm_RChecked"), 0);
    bench->SetOptionFieldText(OptionField::ResetTime, "750");
    EXPECT_TRUE(bench->LeaveOptionField(OptionField::ResetTime));
    EXPECT_EQ(stored("ResetTime_Text"), 750);
    bench->SetStepChecked(Bar::Programmer, Step::Protect, false);
    bench->WatchCheckBoxChanged(false);
    EXPECT_EQ(stored("Programmer_Protect"), -1);
    EXPECT_EQ(stored("Emulator_Watch"), -1);
    EXPECT_EQ(IniFile(home / "History.ini").ReadString("Device1", "Type"), "W25X10");
    EXPECT_TRUE(op.messages.empty());

    const std::string damaged = test::ReadFile(home / "History.ini") + std::string(1, '\0') + "\n";
    home.Write("History.ini", damaged);
    bench->EditOptions([](Options& o) { o.watchAutoProcedure = true; });
    bench->EditOptions([](Options& o) { o.watchAutoProcedure = false; });
    EXPECT_EQ(test::ReadFile(home / "History.ini"), damaged);
    ASSERT_EQ(op.messages.size(), 1u);
    EXPECT_EQ(op.messages[0].severity, Severity::Error);
    EXPECT_NE(op.messages[0].text.find("History.ini"), std::string::npos) << op.messages[0].text;
    EXPECT_TRUE(bench->Settings().userTargetBoard);  // the change applies all the same
    home.Write("History.ini", "");
    bench->EditOptions([](Options& o) { o.verifyErrorsListLimited = false; });
    EXPECT_EQ(stored("VerifyErrorsList_Checked"), 0);
    EXPECT_EQ(stored("UserTargetBoard_CheckBox"), 1);
    home.Write("History.ini", damaged);
    bench->EditOptions([](Options& o) { o.verifyErrorsListLimited = true; });
    EXPECT_EQ(op.messages.size(), 2u);
}

// A rebuilt firmware file on the Emulator tab, with automatic reload and procedure: reloaded and
// written into the emulator without a question; on another tab only after coming back.
TEST_F(WorkbenchTest, AChangedWorkFileIsReloadedAndProgrammedOnTheEmulatorTab) {
    Open("W25X10");
    bench->StartUp({});
    bench->SetRunOptions([](Options& o) {
        o.watchAutoReload = true;
        o.watchAutoProcedure = true;
    });
    const auto file = WriteFile("fw.bin", 2048);
    bench->LoadIntoUnit1(file);
    ASSERT_TRUE(watchTimer.IsEnabled());
    bench->ShowTab(kProgrammerTabIndex);
    WriteFile("fw.bin", 3000);
    std::filesystem::last_write_time(
        file, std::filesystem::last_write_time(file) + std::chrono::seconds(5));
    bench->WatchTick();
    EXPECT_FALSE(Logged("Start [Erase]"));
    bench->ChangeTab(kEmulatorTabIndex);
    bench->WatchTick();  // seen, and acted on at the next tick if the file stands still
    EXPECT_FALSE(Logged("Start [Erase]"));
    bench->WatchTick();
    EXPECT_TRUE(Logged("Start [Erase]"));
    EXPECT_TRUE(Logged("Reset : Pass"));
    EXPECT_TRUE(op.Texts().empty());
    EXPECT_EQ(Shown("Status_ResultImage_Panel"), "Status_ResultPass_Image");
    EXPECT_TRUE(watchTimer.IsEnabled());
    EXPECT_EQ(test::ReadFile(home / "output.tmp").substr(0, 3000), test::ReadFile(file));
}

// A changed work file that cannot be loaded is not followed by the automatic procedure: the chip
// keeps what the last good load put in it, the verdict is not a Pass, and the log says why. The
// next good change is programmed as usual, also one that keeps the file's modification time.
TEST_F(WorkbenchTest, AFailedReloadProgramsNothing) {
    Open("W25X10");
    bench->StartUp({});
    bench->SetRunOptions([](Options& o) {
        o.watchAutoReload = true;
        o.watchAutoProcedure = true;
    });
    bench->ShowTab(kEmulatorTabIndex);
    const auto file = WriteFile("fw.bin", 2048);
    const auto fileTime = std::filesystem::last_write_time(file);
    bench->LoadIntoUnit1(file);
    ASSERT_TRUE(bench->ExecuteAll().Pass());
    const auto chip = [&] { return simulator->Chip()->Memory().ReadRange(0, 4096); };
    const auto programmed = chip();
    namespace fs = std::filesystem;
    const auto replaceWith = [&](const std::function<void()>& make) {
        fs::remove_all(file);
        make();
    };
    const std::vector<std::pair<const char*, std::function<void()>>> hostile = {
        {"emptied", [&] { home.Write("fw.bin", ""); }},
        {"bigger than the chip", [&] { WriteFile("fw.bin", 128 * 1024 + 1); }},
        {"a folder", [&] { replaceWith([&] { fs::create_directory(file); }); }},
        {"a FIFO", [&] { replaceWith([&] { ASSERT_EQ(::mkfifo(file.c_str(), 0644), 0); }); }},
        {"a link to /dev/zero",
         [&] { replaceWith([&] { fs::create_symlink("/dev/zero", file); }); }},
    };
    for (const auto& [name, make] : hostile) {
        SCOPED_TRACE(name);
        bench->Log().Clear();
        op = ScriptedOperator({Answer::No});  // not loaded cut to the chip's size
        make();
        bench->WatchTick();
        const WatchTickResult tick = bench->WatchTick();
        EXPECT_EQ(tick.end, WatchTickEnd::ReloadFailed);
        EXPECT_FALSE(Logged("Start [Erase]"));
        EXPECT_TRUE(Logged(ReloadFailedLine(tick.reason))) << ::testing::PrintToString(Lines());
        EXPECT_EQ(Shown("Status_ResultImage_Panel"), "Status_ResultFail_Image");
        EXPECT_EQ(chip(), programmed);
        EXPECT_TRUE(watchTimer.IsEnabled());
    }

    // New contents with the old modification time (cp -p) are a change like any other.
    replaceWith([&] { WriteFile("fw.bin", 3000); });
    fs::last_write_time(file, fileTime);
    bench->Log().Clear();
    bench->WatchTick();
    EXPECT_EQ(bench->WatchTick().end, WatchTickEnd::Reloaded);
    EXPECT_TRUE(Logged("Start [Erase]"));
    EXPECT_EQ(Shown("Status_ResultImage_Panel"), "Status_ResultPass_Image");
    const std::string contents = test::ReadFile(file);
    const auto now = chip();
    EXPECT_EQ(std::string(now.begin(), now.begin() + 3000), contents);
}

// After a Read the socket shows "< Data from buffer >", but the watch still follows the work file:
// its change loads that file, not the read-back data, and programs it.
TEST_F(WorkbenchTest, AfterAReadAChangedWorkFileIsTheOneReloaded) {
    Open("W25X10");
    bench->StartUp({});
    bench->SetRunOptions([](Options& o) {
        o.watchAutoReload = true;
        o.watchAutoProcedure = true;
    });
    bench->ShowTab(kEmulatorTabIndex);
    const auto file = WriteFile("fw.bin", 2048);
    bench->LoadIntoUnit1(file);
    ASSERT_TRUE(bench->Read().Pass());
    ASSERT_EQ(bench->UnitStates().Socket(1, 1).workFile, kDataFromBuffer);
    WriteFile("fw.bin", 3000);
    bench->WatchTick();
    EXPECT_EQ(bench->WatchTick().end, WatchTickEnd::Reloaded);
    EXPECT_EQ(bench->UnitStates().Socket(1, 1).workFile, file.string());
    EXPECT_EQ(Shown("Status_ResultImage_Panel"), "Status_ResultPass_Image");
    const auto chip = simulator->Chip()->Memory().ReadRange(0, 3000);
    EXPECT_EQ(std::string(chip.begin(), chip.end()), test::ReadFile(file));
}

// Program and Verify refuse a buffer that holds no whole image: empty (the window empties it when
// it closes) or shorter than the device. Execute All then runs no step at all, so the chip is not
// erased for nothing; the verdict names the reason.
TEST_F(WorkbenchTest, ProgramAndVerifyRefuseABufferWithoutAWholeImage) {
    Open("W25X10");
    bench->StartUp({});
    bench->LoadIntoUnit1(WriteFile("image.bin", 4096));
    ASSERT_TRUE(bench->ExecuteAll().Pass());
    const auto programmed = simulator->Chip()->Memory().ReadRange(0, 4096);
    struct Case {
        const char* name;
        std::size_t length;
        std::string line;
        const char* words;
    };
    for (const Case& c :
         {Case{"empty", 0, std::string(kNoImageLoadedLine), "no image loaded"},
          Case{"short", 4096, DamagedBufferLine(4096, 128 * 1024), "damaged buffer"}}) {
        SCOPED_TRACE(c.name);
        std::filesystem::resize_file(home / "output.tmp", c.length);
        bench->Log().Clear();
        const RunResult run = bench->ExecuteAll();
        EXPECT_EQ(run.Outcome(), Verdict::Fail);
        EXPECT_EQ(run.failure, c.words);
        EXPECT_TRUE(Logged(c.line));
        EXPECT_TRUE(Logged("Result : FAIL [" + std::string(c.words) + "]"));
        EXPECT_FALSE(Logged("Start [Erase]"));
        EXPECT_EQ(simulator->Chip()->Memory().ReadRange(0, 4096), programmed);

        for (const Step step : {Step::Program, Step::Verify}) {
            bench->Log().Clear();
            const RunResult single = bench->SingleStep(Bar::Programmer, step);
            EXPECT_EQ(single.Outcome(), Verdict::Fail);
            EXPECT_TRUE(Logged(c.line));
        }
        // Steps that need no image still run.
        EXPECT_TRUE(bench->SingleStep(Bar::Programmer, Step::Check).ran);
    }
    // The editor may lengthen the buffer past the device: still a whole image.
    bench->LoadIntoUnit1(WriteFile("image.bin", 4096));
    std::filesystem::resize_file(home / "output.tmp", 128 * 1024 + 16);
    EXPECT_TRUE(bench->SingleStep(Bar::Programmer, Step::Verify).Pass());
}

// A work file restored from the history at start-up is watched when "Watch" is checked (the
// default): its stamp is taken and the timer runs, so a rebuild is seen without touching the box.
// Without a work file, or with "Watch" cleared, start-up leaves the watch off.
TEST_F(WorkbenchTest, AWorkFileFromTheHistoryIsWatchedFromTheStart) {
    struct Case {
        const char* name;
        bool watchChecked;
        bool fileStored;
        bool watching;
    };
    for (const Case& c : std::vector<Case>{{"watched", true, true, true},
                                           {"no work file", true, false, false},
                                           {"Watch cleared", false, true, false}}) {
        SCOPED_TRACE(c.name);
        Open("W25X10");
        const auto file = WriteFile("fw.bin", 2048);
        IniFile history(home / "History.ini");
        history.WriteString("Device1", "Socket1File", c.fileStored ? file.string() : "");
        history.WriteInteger("Option", "Emulator_Watch", c.watchChecked ? 1 : 0);
        ASSERT_TRUE(history.Save());
        watchTimer.Stop();
        op = ScriptedOperator({Answer::No});

        bench->StartUp({});
        EXPECT_EQ(watchTimer.IsEnabled(), c.watching);
        // Start-up shows every tile idle; only a click on "Watch" shows its Pass image.
        EXPECT_EQ(Shown("Emulator_WatchImage_Panel"), "Emulator_WatchNorm_Image");
        if (!c.watching)
            continue;
        EXPECT_EQ(bench->UnitStates().Saved().watchedStamp, ReadFileStamp(file));
        bench->ShowTab(kEmulatorTabIndex);
        bench->WatchTick();
        EXPECT_TRUE(op.Texts().empty());
        std::filesystem::last_write_time(
            file, std::filesystem::last_write_time(file) + std::chrono::seconds(5));
        bench->WatchTick();
        bench->WatchTick();
        EXPECT_EQ(op.Texts(), std::vector<std::string>{std::string(kReloadQuestion)});
        EXPECT_TRUE(watchTimer.IsEnabled());
    }
}

// The work file named again (dropped, handed over by a second start, on the command line) starts
// the watch afresh: a stopped watch runs again, with the stamp of the file as it is loaded now,
// so what the operator has just loaded is not asked about.
TEST_F(WorkbenchTest, NamingTheWorkFileAgainRestartsTheWatch) {
    Open("W25X10");
    bench->StartUp({});
    bench->ShowTab(kEmulatorTabIndex);
    const auto file = WriteFile("fw.bin", 2048);
    bench->LoadIntoUnit1(file);
    const std::vector<std::pair<const char*, std::function<void()>>> ways = {
        {"drop", [&] { bench->Drop(1, 0, file); }},
        {"hand-over", [&] { bench->ProcessHandedOver(file.string() + " "); }},
        {"command line", [&] { bench->ProcessCommandLine({file.string()}); }},
    };
    std::size_t size = 2048;
    for (const auto& [name, nameAgain] : ways) {
        SCOPED_TRACE(name);
        watchTimer.Stop();
        op = ScriptedOperator();
        WriteFile("fw.bin", size += 100);
        std::filesystem::last_write_time(
            file, std::filesystem::last_write_time(file) + std::chrono::seconds(5));
        nameAgain();
        EXPECT_TRUE(watchTimer.IsEnabled());
        bench->WatchTick();
        bench->WatchTick();
        EXPECT_TRUE(op.Texts().empty());
        EXPECT_EQ(test::ReadFile(home / "output.tmp").substr(0, size), test::ReadFile(file));
    }
}

TEST_F(WorkbenchTest, AHandedOverFileIsLoadedIntoUnit1) {
    Open("W25X10");
    bench->StartUp({});
    const auto file = WriteFile("handed.bin", 100);
    bench->ProcessHandedOver(file.string() + " ");
    EXPECT_EQ(bench->UnitStates().Socket(1, 1).workFile, file.string());
    EXPECT_EQ(test::ReadFile(home / "output.tmp").substr(0, 100), test::ReadFile(file));
    // The process's own parameters: every file is loaded as its parameter comes, the last one
    // stays.
    const auto first = WriteFile("first.bin", 10);
    const auto second = WriteFile("second.bin", 20);
    bench->ProcessCommandLine({first.string(), second.string()});
    EXPECT_TRUE(Logged("File Name : " + first.string()));
    EXPECT_TRUE(Logged("File Name : " + second.string()));
    EXPECT_EQ(bench->UnitStates().Socket(1, 1).workFile, second.string());
    // A handed-over option is tested as it is: "-b" in lower case is a bad option.
    bench->ProcessHandedOver("-b ");
    const std::string last = bench->Log().Lines().back();
    EXPECT_NE(last.find("Bad option : -b \nError : Bad option was specified"), std::string::npos)
        << last;
}

// output.tmp replaced by a FIFO: Program and the window's close refuse it with a line that says
// what it is, instead of waiting for a writer for good.
TEST_F(WorkbenchTest, ABufferReplacedByAFifoFailsTheRunAndTheCloseWithoutBlocking) {
    Open("W25X10");
    bench->StartUp({});
    bench->LoadIntoUnit1(WriteFile("image.bin", 4096));
    const auto buffer = home / "output.tmp";
    test::MakeFifo(buffer);
    RunResult run;
    ASSERT_TRUE(test::ReturnsWithoutBlocking(
        buffer, [&] { run = bench->SingleStep(Bar::Programmer, Step::Program); }));
    EXPECT_FALSE(run.Pass());
    const std::string line =
        "Error : The buffer file " + buffer.string() + " is not a regular file (a FIFO) !";
    EXPECT_TRUE(Logged(line));
    EXPECT_TRUE(Logged("Program : Fail"));

    bench->Log().Clear();
    ASSERT_TRUE(test::ReturnsWithoutBlocking(buffer, [&] { bench->Close(); }));
    EXPECT_TRUE(Logged(line));
    EXPECT_EQ(std::filesystem::status(buffer).type(), std::filesystem::file_type::fifo);
}

// History.ini that is a FIFO is read as no file at all, and the start says so.
TEST_F(WorkbenchTest, AHistoryFileThatIsAFifoIsNamedAtStartUp) {
    test::CopySampleLibrary(home.Path());
    const auto history = home / "History.ini";
    test::MakeFifo(history);
    Make("W25X10");
    ASSERT_TRUE(test::ReturnsWithoutBlocking(history, [&] { bench->StartUp({}); }));
    EXPECT_TRUE(Logged("Error : " + history.string() +
                       " is not a regular file (a FIFO), the default options are used !"));
}

// An unattended load of a long file (a drop, the watch's reload) shows its progress in the
// window's progress window, and while the window processes its messages no watch tick or
// second load can start.
TEST_F(WorkbenchTest, AnUnattendedLongLoadShowsProgressAndHoldsOffOtherWork) {
    Open("W25X10");
    bench->StartUp({});
    const auto file = home / "large.bin";
    test::WriteSparseFile(file, kFarLargerFileMinimum + 1);
    test::RecordingProgress window;
    bool busyThroughout = true;
    window.during = [&] { busyThroughout = busyThroughout && bench->Busy(); };
    bench->SetLoadProgress(&window);
    op = ScriptedOperator({Answer::Yes, Answer::Yes}, Answer::Cancel);
    bench->LoadIntoUnit1(file);
    bench->SetLoadProgress(nullptr);
    EXPECT_EQ(bench->UnitStates().Socket(1, 1).workFile, file.string());
    ASSERT_FALSE(window.reports.empty());
    EXPECT_EQ(window.begins, window.ends);
    EXPECT_TRUE(busyThroughout);
    EXPECT_FALSE(bench->Busy());
}

TEST(VersionText, DropsTheBuildNumberAndAZeroRelease) {
    EXPECT_EQ(VersionText("1.4.9.0"), "1.4.9");
    EXPECT_EQ(VersionText("1.4.0.0"), "1.4");
    EXPECT_EQ(VersionText("0.1.0"), "0.1");
    EXPECT_EQ(VersionText("2"), "2.0");
}

}  // namespace
}  // namespace torq

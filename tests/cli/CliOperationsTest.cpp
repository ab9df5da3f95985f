#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <random>
#include <sstream>

#include "TestSupport.h"
#include "torq/devlib/HomeLock.h"
#include "torq/devlib/Ini.h"

namespace torq {
namespace {

namespace fs = std::filesystem;

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class CliOperationsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        test::CopySampleLibrary(home.Path());
        ASSERT_EQ(Run("select Winbond W25X10").exitCode, 0);
        std::mt19937 random(5);
        std::string image(5000, '\0');
        for (char& c : image)
            c = static_cast<char>(random());
        image_ = image;
        std::ofstream(home / "image.bin", std::ios::binary) << image;
        ASSERT_EQ(Run("load " + (home / "image.bin").string() + " --format bin --yes").exitCode, 0);
    }
    test::CommandResult Run(const std::string& args) {
        return test::RunCommand(test::CliPath() + " --home " + home.Path().string() + " " + args);
    }
    std::string Chip(const std::string& name, const std::string& options = "") {
        return "--simulate " + name + ",file=" + (home / "chip.bin").string() + options;
    }
    test::TempDir home;
    std::string image_;
};

TEST_F(CliOperationsTest, RunProgramsTheChipAndReadGetsItBack) {
    const auto run = Run(Chip("W25X10") + " run verify,program,erase,blank");
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    // The steps run in their fixed order, whatever order they were given in.
    std::size_t at = 0;
    for (const char* line :
         {"Read ID : [0xEF3011] Pass", "Start [Erase]", "Erase : Pass", "End [Erase]",
          "Start [Blank Check]", "Blank Check : Pass", "Start [Program]", "Program : Pass",
          "Start [Verify]", "Verify : Pass", "End [Verify]", "Finished with total time : "}) {
        const auto found = run.out.find(line, at);
        ASSERT_NE(found, std::string::npos) << line << "\n" << run.out;
        at = found;
    }

    std::ofstream(home / "output.tmp", std::ios::trunc);  // forget the buffer
    const auto read = Run(Chip("W25X10") + " read");
    ASSERT_EQ(read.exitCode, 0) << read.out << read.err;
    EXPECT_TRUE(Has(read.out, "Read : Pass"));
    const std::string buffer = test::ReadFile(home / "output.tmp");
    ASSERT_EQ(buffer.size(), 128u * 1024);
    EXPECT_EQ(buffer.substr(0, image_.size()), image_);
    const auto file = read.out.find("File checksum=0x");
    const auto ic = read.out.find("IC checksum=0x");
    ASSERT_NE(file, std::string::npos);
    ASSERT_NE(ic, std::string::npos);
    EXPECT_EQ(read.out.substr(file + 16, 8), read.out.substr(ic + 14, 8));
}

// output.tmp replaced by a FIFO: program and verify fail at once with a line that says what it
// is, instead of waiting for a writer (the command is limited in time: a hang ends it).
TEST_F(CliOperationsTest, ABufferThatIsAFifoFailsTheRunWithoutBlocking) {
    test::MakeFifo(home / "output.tmp");
    for (const char* steps : {"program", "verify"}) {
        const auto run =
            test::RunCommand("timeout -s KILL 20 " + test::CliPath() + " --home " +
                             home.Path().string() + " " + Chip("W25X10") + " run " + steps);
        EXPECT_EQ(run.exitCode, 1) << steps << run.out << run.err;
        EXPECT_TRUE(Has(run.out, "Error : The buffer file " + (home / "output.tmp").string() +
                                     " is not a regular file (a FIFO) !"))
            << run.out;
    }
}

TEST_F(CliOperationsTest, RunStopsAtTheFirstFailureAndAWrongChipRunsNothing) {
    // The status write never reports done: the unprotect before the erase fails.
    const auto failing = Run(Chip("W25X10", ",stall=0x42") + " run erase,blank,program");
    EXPECT_EQ(failing.exitCode, 1);
    EXPECT_TRUE(Has(failing.out, "End [Erase]"));
    EXPECT_TRUE(Has(failing.out, "Error : Please check the status of communication devices !"));
    EXPECT_FALSE(Has(failing.out, "Start [Blank Check]"));
    EXPECT_TRUE(Has(failing.out, "Finished with total time : "));
    EXPECT_TRUE(Has(failing.out, "\nFail\n"));

    const auto wrong = Run("--simulate W25X20 run erase");
    EXPECT_EQ(wrong.exitCode, 1);
    EXPECT_TRUE(Has(wrong.out, "] Fail"));
    EXPECT_FALSE(Has(wrong.out, "Start [Erase]"));
    // The window's question names buttons the command line does not have; it says what to run.
    EXPECT_FALSE(Has(wrong.err, "Press [")) << wrong.err;
    for (const char* part : {"torq-spi-cli detect", "torq-spi-cli select", "--skip-id"})
        EXPECT_TRUE(Has(wrong.err, part)) << part << " in " << wrong.err;

    EXPECT_EQ(Run(Chip("W25X10") + " run erase,format").exitCode, 2);
    EXPECT_EQ(Run("run erase").exitCode, 1);  // no programmer attached
}

// The Emulator tab's steps: erase and program always run, verify only when asked, then the target
// reset; the Programmer tab's blank check is not one of them.
TEST_F(CliOperationsTest, RunOnTheEmulatorTabAlwaysErasesAndProgramsThenResets) {
    const auto run = Run(Chip("W25X10") + " run --emulator reset");
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    std::size_t at = 0;
    for (const char* line :
         {"Start [Erase]", "Erase : Pass", "Start [Program]", "Program : Pass", "Start [Reset]",
          "Reset : Pass", "End [Reset]", "Finished with total time : "}) {
        const auto found = run.out.find(line, at);
        ASSERT_NE(found, std::string::npos) << line << "\n" << run.out;
        at = found;
    }
    EXPECT_FALSE(Has(run.out, "Start [Verify]"));
    EXPECT_TRUE(Has(run.err, "note: the emulator always runs Erase"));
    EXPECT_EQ(test::ReadFile(home / "chip.bin").substr(0, image_.size()), image_);
    EXPECT_EQ(Run(Chip("W25X10") + " run --emulator blank").exitCode, 2);
}

TEST_F(CliOperationsTest, PagesAreShownChangedWithinTheirTypesAndProtectUsesThem) {
    const auto pages = Run("pages");
    ASSERT_EQ(pages.exitCode, 0) << pages.err;
    EXPECT_TRUE(Has(pages.out, "radio group Block protect"));
    EXPECT_EQ(Run("pages set 0 0 9").exitCode, 2);  // no such choice
    EXPECT_EQ(Run("pages set 0 1 2").exitCode, 2);  // a check box takes 0 or 1
    EXPECT_EQ(Run("pages set 5 0 1").exitCode, 2);
    ASSERT_EQ(Run("pages set 0 0 7").exitCode, 0);
    ASSERT_EQ(Run("pages set 0 1 1").exitCode, 0);
    const IniFile menu(home / "Menu.ini");
    EXPECT_EQ(menu.ReadInteger("CurrentUserPageSetup", "Page0Com0Set", -1), 7);
    EXPECT_EQ(menu.ReadInteger("CurrentUserPageSetup", "Page0Com1Set", -1), 1);

    const auto protect = Run(Chip("W25X10") + " protect");
    EXPECT_EQ(protect.exitCode, 0) << protect.out << protect.err;
    EXPECT_TRUE(Has(protect.out, "Protect : Pass"));

    ASSERT_EQ(Run("select Atmel AT45DB041D").exitCode, 0);
    const auto none = Run("pages");
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_TRUE(Has(none.out, "Premium Tabs : No Parameter"));
}

TEST_F(CliOperationsTest, ResetPulsesWithTheOptionsOrTheFlags) {
    const auto reset = Run(Chip("W25X10") + " reset --ms 200 --low");
    EXPECT_EQ(reset.exitCode, 0) << reset.err;
    EXPECT_TRUE(Has(reset.out, "Reset : Pass"));
    EXPECT_EQ(Run(Chip("W25X10") + " reset --low --high").exitCode, 2);
    const auto failed = Run(Chip("W25X10", ",fail_request=0xD2") + " reset");
    EXPECT_EQ(failed.exitCode, 1);
    EXPECT_TRUE(Has(failed.out, "Reset : Fail"));
}

// The emulator loop without a window: programs the file at the start, again after it is
// replaced, waits while it is gone, and ends cleanly on an interrupt.
TEST_F(CliOperationsTest, WatchProgramsTheFileAtEveryChange) {
    const auto file = home / "fw.bin";
    std::ofstream(file, std::ios::binary) << image_;
    const std::string replace = "head -c 3000 /dev/urandom > " + (home / "new.bin").string() +
                                " && mv " + (home / "new.bin").string() + " " + file.string();
    const auto watch = test::RunCommand(
        "( (sleep 1.5; " + replace + "; sleep 1; rm " + file.string() + "; sleep 1; " + replace +
        ") & timeout -s INT 5 " + test::CliPath() + " --home " + home.Path().string() + " " +
        Chip("W25X10") + " watch " + file.string() + "; wait )");
    EXPECT_EQ(watch.exitCode, 0) << watch.err;
    for (const char* line : {"Cycle 1: Pass", "Cycle 2: Pass", "Waiting for ", "Cycle 3: Pass",
                             "Watch ended after 3 cycle(s), 0 failed"}) {
        EXPECT_TRUE(Has(watch.out, line)) << line << "\n" << watch.out;
    }
    // The chip holds the last file.
    const std::string chip = test::ReadFile(home / "chip.bin");
    EXPECT_EQ(chip.substr(0, 3000), test::ReadFile(file));
}

// An editor that saves in place (the same file truncated and written again) is seen as well as
// a save by rename.
TEST_F(CliOperationsTest, WatchSeesAFileRewrittenInPlace) {
    const auto file = home / "fw.bin";
    std::ofstream(file, std::ios::binary) << image_;
    const auto newer = home / "new.bin";
    {
        std::string bytes(3000, '\0');
        for (std::size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = static_cast<char>(i * 13 + 1);
        std::ofstream(newer, std::ios::binary) << bytes;
    }
    const auto watch = test::RunCommand("( (sleep 1.5; cp " + newer.string() + " " + file.string() +
                                        ") & timeout -s INT 3.5 " + test::CliPath() + " --home " +
                                        home.Path().string() + " " + Chip("W25X10") + " watch " +
                                        file.string() + "; wait )");
    EXPECT_EQ(watch.exitCode, 0) << watch.err;
    for (const char* line :
         {"Cycle 1: Pass", "Cycle 2: Pass", "Watch ended after 2 cycle(s), 0 failed"}) {
        EXPECT_TRUE(Has(watch.out, line)) << line << "\n" << watch.out;
    }
    EXPECT_EQ(test::ReadFile(home / "chip.bin").substr(0, 3000), test::ReadFile(newer));
}

// A build that writes its image a little at a time is programmed once the file has stopped
// changing, never half written: neither when it first appears nor when it is written again in
// place.
TEST_F(CliOperationsTest, WatchWaitsUntilTheFileHasStoppedChanging) {
    const auto file = home / "fw.bin";
    // Thirty pieces of 100 bytes, one every 50 ms.
    const auto slowWrite = [&](int first) {
        return ": > " + file.string() + "; for i in $(seq " + std::to_string(first) + " " +
               std::to_string(first + 29) + "); do printf '%0100d' $i >> " + file.string() +
               "; sleep 0.05; done";
    };
    const auto watch = test::RunCommand("( (sleep 0.5; " + slowWrite(1) + "; sleep 1.5; " +
                                        slowWrite(1000) + ") & timeout -s INT 9 " +
                                        test::CliPath() + " --home " + home.Path().string() + " " +
                                        Chip("W25X10") + " watch " + file.string() + "; wait )");
    EXPECT_EQ(watch.exitCode, 0) << watch.err;
    for (const char* line : {"Waiting for ", "Cycle 1: Pass", "Cycle 2: Pass",
                             "Watch ended after 2 cycle(s), 0 failed"}) {
        EXPECT_TRUE(Has(watch.out, line)) << line << "\n" << watch.out;
    }
    const std::string written = test::ReadFile(file);
    ASSERT_EQ(written.size(), 3000u);
    EXPECT_EQ(test::ReadFile(home / "chip.bin").substr(0, 3000), written);
}

// An interrupt while a run is under way (a real-time chip erase takes a second) lets the step
// under way end, runs no step after it, and ends the watch cleanly.
TEST_F(CliOperationsTest, AnInterruptDuringARunEndsItBetweenSteps) {
    const auto file = home / "fw.bin";
    std::ofstream(file, std::ios::binary) << image_;
    const auto log = home / "watch.log";
    const std::string watch = test::CliPath() + " --home " + home.Path().string() + " " +
                              Chip("W25X10", ",realtime=1") + " watch " + file.string();
    const auto result = test::RunCommand(
        "( " + watch + " >" + log.string() + " 2>&1 & pid=$!; for i in $(seq 400); do grep -q " +
        "'Start \\[Erase\\]' " + log.string() +
        " && break; sleep 0.05; done; kill -INT $pid; wait $pid; code=$?; cat " + log.string() +
        "; exit $code )");
    EXPECT_EQ(result.exitCode, 0) << result.out;
    const auto count = [&](const std::string& part) {
        std::size_t n = 0;
        for (std::size_t at = result.out.find(part); at != std::string::npos;
             at = result.out.find(part, at + 1)) {
            ++n;
        }
        return n;
    };
    EXPECT_EQ(count("Start ["), count("End ["));  // never stopped in the middle of a step
    EXPECT_GE(count("End [Erase]"), 1u);
    EXPECT_EQ(count("Start [Reset]"), 0u) << result.out;
    EXPECT_TRUE(Has(result.out, "Cycle 1: Fail")) << result.out;
    EXPECT_TRUE(Has(result.out, "Watch ended after 1 cycle(s), 1 failed")) << result.out;
}

// A cycle whose file cannot be loaded programs nothing and says why, the first one included (the
// buffer still holds an older image): a file bigger than the chip without --yes, emptied, or
// replaced by a FIFO or a link to /dev/zero. The watch goes on, and a copy that keeps the
// modification time (cp -p) is a change like any other.
TEST_F(CliOperationsTest, WatchFailsACycleWhoseFileCannotBeLoaded) {
    const auto file = home / "fw.bin";
    const auto a = home / "a.bin", b = home / "b.bin";
    std::ofstream(file, std::ios::binary) << std::string(128 * 1024 + 1, 'X');
    std::ofstream(a, std::ios::binary) << std::string(3000, 'A');
    std::ofstream(b, std::ios::binary) << std::string(3000, 'B');
    ASSERT_EQ(test::RunCommand("touch -r " + a.string() + " " + b.string()).exitCode, 0);
    const std::string f = file.string();
    const std::string changes = "sleep 1.5; cp -p " + a.string() + " " + f + "; sleep 1; cp -p " +
                                b.string() + " " + f + "; sleep 1; : > " + f + "; sleep 1; rm " +
                                f + "; mkfifo " + f + "; sleep 1; rm " + f + "; ln -s /dev/zero " +
                                f;
    const auto watch =
        test::RunCommand("( (" + changes + ") & timeout -s INT 7 " + test::CliPath() + " --home " +
                         home.Path().string() + " " + Chip("W25X10") + " watch " + f + "; wait )");
    EXPECT_EQ(watch.exitCode, 0) << watch.err;
    for (const char* line :
         {"Cycle 1: Fail (not loaded: The source select address of size at the destination select "
          "address is bigger than the IC size , Do you really want to continue ? : answered No; "
          "add --yes or --no)",
          "Cycle 2: Pass", "Cycle 3: Pass", "Cycle 4: Fail (not loaded: ", "Cycle 5: Fail",
          "Cycle 6: Fail", "Watch ended after 6 cycle(s), 4 failed"}) {
        EXPECT_TRUE(Has(watch.out, line)) << line << "\n" << watch.out;
    }
    EXPECT_TRUE(Has(watch.out, "Error : The changed file could not be loaded (")) << watch.out;
    // The chip holds the last file that could be loaded, never the older image of the buffer.
    const std::string chip = test::ReadFile(home / "chip.bin");
    EXPECT_EQ(chip.substr(0, 3000), std::string(3000, 'B'));
    EXPECT_EQ(chip.substr(3000, 2000), std::string(2000, '\xFF'));

    // Answered with --yes, the file bigger than the chip is loaded cut to the chip's size.
    std::filesystem::remove(file);  // the link to /dev/zero
    std::ofstream(file, std::ios::binary) << std::string(128 * 1024 + 1, 'X');
    const auto yes =
        test::RunCommand("timeout -s INT 2 " + test::CliPath() + " --home " + home.Path().string() +
                         " " + Chip("W25X10") + " watch " + f + " --yes");
    EXPECT_TRUE(Has(yes.out, "Cycle 1: Pass")) << yes.out << yes.err;
}

// The buffer is emptied when the window closes: a run then has no image to program, and says so
// without erasing the chip.
TEST_F(CliOperationsTest, AnEmptyBufferIsNotProgrammed) {
    ASSERT_EQ(Run(Chip("W25X10") + " run erase,program").exitCode, 0);
    std::ofstream(home / "output.tmp", std::ios::trunc);
    const auto run = Run(Chip("W25X10") + " run erase,blank,program,verify");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(
        Has(run.out, "Error : No image is loaded : the buffer is empty, load a file first !"))
        << run.out;
    EXPECT_TRUE(Has(run.out, "Result : FAIL [no image loaded]")) << run.out;
    EXPECT_FALSE(Has(run.out, "Start [Erase]"));
    EXPECT_EQ(test::ReadFile(home / "chip.bin").substr(0, image_.size()), image_);
    for (const char* command : {" program", " verify"}) {
        const auto single = Run(Chip("W25X10") + command);
        EXPECT_EQ(single.exitCode, 1) << command;
        EXPECT_TRUE(Has(single.out, "Error : No image is loaded")) << command << single.out;
    }
}

// A command that reads the buffer shares the home folder with other readers; one that drives the
// programmer holds it alone, so it waits for no reader and no writer (the window included).
TEST_F(CliOperationsTest, TheProgrammerIsDrivenByOneProcessAtATime) {
    const auto dirs = ProgramDirectory::Portable(home.Path());
    std::string problem;
    {
        auto reader = HomeLock::Acquire(dirs, "reader", &problem, HomeAccess::Shared);
        ASSERT_TRUE(reader) << problem;
        EXPECT_EQ(Run("checksum").exitCode, 0);
        EXPECT_EQ(Run("save " + (home / "copy.bin").string() + " --format bin").exitCode, 0);
        for (const char* command : {" run erase", " verify", " erase", " watch fw.bin"}) {
            const auto refused = Run(Chip("W25X10") + command);
            EXPECT_EQ(refused.exitCode, 1) << command;
            EXPECT_TRUE(Has(refused.err, "is in use by torq-spi-cli commands reading it"))
                << command << refused.err;
        }
    }
    auto window = HomeLock::Acquire(dirs, "torq-spi", &problem);
    ASSERT_TRUE(window) << problem;
    for (const char* command : {" checksum", " program"}) {
        const auto refused = Run(Chip("W25X10") + command);
        EXPECT_EQ(refused.exitCode, 1) << command;
        EXPECT_TRUE(Has(refused.err, "is in use by torq-spi (process ")) << refused.err;
    }
}

// A relative name given in a current folder that has been deleted cannot name the file: told,
// not an unexpected error.
TEST_F(CliOperationsTest, WatchOfARelativeNameInADeletedFolderIsTold) {
    const auto gone = home / "gone";
    std::filesystem::create_directory(gone);
    const auto watch = test::RunCommand(
        "cd " + gone.string() + " && rmdir " + gone.string() + " && " + test::CliPath() +
        " --home " + home.Path().string() + " " + Chip("W25X10") + " watch fw.bin");
    EXPECT_EQ(watch.exitCode, 1) << watch.err;
    EXPECT_TRUE(Has(watch.err, "cannot resolve fw.bin against the current folder")) << watch.err;
}

// Several simulated programmers: run drives every unit found at once, each programming the
// one image into its own chip; a unit whose programmer is pulled out fails alone; --units
// picks units and refuses one that was not found.
TEST_F(CliOperationsTest, RunDrivesEveryUnitAndAFaultFailsItsOwnUnit) {
    const auto chip = [&](const std::string& name, const std::string& options = "") {
        return " --simulate W25X10,file=" + (home / name).string() + options;
    };
    const auto holdsImage = [&](const std::string& name) {
        return test::ReadFile(home / name).substr(0, image_.size()) == image_;
    };
    const std::string bus = chip("a.bin") + chip("b.bin", ",unplug_after=40") + chip("c.bin");
    const auto gang = Run(bus + " run erase,blank,program,verify");
    EXPECT_EQ(gang.exitCode, 1) << gang.out << gang.err;
    for (const char* line : {"Unit 1: Pass", "Unit 2: Fail", "Unit 3: Pass",
                             "Summary : 2 of 3 units passed", "Unit 3 : Start [Verify]"})
        EXPECT_TRUE(Has(gang.out, line)) << line << "\n" << gang.out;
    EXPECT_TRUE(holdsImage("a.bin"));
    EXPECT_FALSE(holdsImage("b.bin"));
    EXPECT_TRUE(holdsImage("c.bin"));

    const std::string healthy = chip("a.bin") + chip("b.bin") + chip("c.bin");
    const auto second = Run(healthy + " run erase,blank,program,verify --units 2");
    EXPECT_EQ(second.exitCode, 0) << second.out << second.err;
    EXPECT_TRUE(Has(second.out, "Unit 2: Pass")) << second.out;
    EXPECT_FALSE(Has(second.out, "Unit 1:")) << second.out;
    EXPECT_TRUE(holdsImage("b.bin"));

    const auto all = Run(healthy + " run verify");
    EXPECT_EQ(all.exitCode, 0) << all.out << all.err;
    EXPECT_TRUE(Has(all.out, "Summary : 3 of 3 units passed")) << all.out;

    const auto unknown = Run(healthy + " run verify --units 1,4");
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_TRUE(Has(unknown.err, "'4' is not a unit found")) << unknown.err;
}

// The production record from the command line: a run of two units leaves a record each with the
// lot and counted serials; list gives them as JSON lines or CSV, report sums them up; a bad date
// is a usage error; a database that cannot be written keeps the next run from starting.
TEST_F(CliOperationsTest, RecordListAndReportShowEachUnitsRecord) {
    const std::string bus = " --simulate W25X10*2";
    const auto run = Run(bus + " run erase,program,verify --lot L-9 --serial 'S{n}'");
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;

    const auto json = Run(" record list --json");
    EXPECT_EQ(json.exitCode, 0) << json.err;
    std::vector<std::string> lines;
    std::stringstream stream(json.out);
    for (std::string line; std::getline(stream, line);)
        lines.push_back(line);
    ASSERT_EQ(lines.size(), 2u) << json.out;
    for (const std::string& line : lines) {
        EXPECT_EQ(line.front(), '{');
        EXPECT_EQ(line.back(), '}');
        EXPECT_TRUE(Has(line, "\"verdict\":\"PASS\"")) << line;
        EXPECT_TRUE(Has(line, "\"lot\":\"L-9\"")) << line;
    }
    EXPECT_TRUE(Has(json.out, "\"serial\":\"S1\"") && Has(json.out, "\"serial\":\"S2\""))
        << json.out;

    const auto csv = Run(" record list --csv --verdict fail");
    EXPECT_EQ(csv.exitCode, 0);
    EXPECT_EQ(csv.out.rfind("id,time_utc,", 0), 0u) << csv.out;
    EXPECT_EQ(std::count(csv.out.begin(), csv.out.end(), '\n'), 1) << csv.out;  // the header

    const auto report = Run(" record report --lot L-9");
    EXPECT_EQ(report.exitCode, 0);
    EXPECT_TRUE(Has(report.out, "Winbond W25X10  passed 2  failed 0  stopped 0  yield 100.0%"))
        << report.out;

    const auto badDate = Run(" record list --since 2026-02-30");
    EXPECT_EQ(badDate.exitCode, 2);
    EXPECT_TRUE(Has(badDate.err, "is not a date")) << badDate.err;

    fs::remove(home / "production.db");
    fs::remove(home / "production.db-wal");
    fs::remove(home / "production.db-shm");
    fs::create_directories(home / "production.db");
    const auto refused = Run(bus + " run erase,program,verify");
    EXPECT_NE(refused.exitCode, 0);
    EXPECT_TRUE(Has(refused.err, "The production record cannot be written")) << refused.err;
    EXPECT_FALSE(Has(refused.out, "Start [Erase]")) << refused.out;
}

}  // namespace
}  // namespace torq

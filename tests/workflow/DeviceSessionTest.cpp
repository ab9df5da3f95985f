// The device session on its own, without a workbench: the remembered device, detection and its
// staged select, and sessions side by side.
#include "torq/workflow/DeviceSession.h"

#include <gtest/gtest.h>

#include "../link/LinkFixtures.h"
#include "TestSupport.h"
#include "torq/devlib/Ini.h"
#include "torq/sim/ChipCatalog.h"
#include "torq/sim/SimulatedProgrammer.h"

namespace torq {
namespace {

// A home with the shipped library remembering `type`, and a session on a simulated programmer
// holding `chip`, found and loaded with the remembered device's image.
struct SessionHome {
    SessionHome(const std::string& chip, const std::string& type) : log(clock) {
        test::CopySampleLibrary(home.Path());
        IniFile history(home / "History.ini");
        history.WriteString("Device1", "Vendor", "Winbond");
        history.WriteString("Device1", "Type", type);
        EXPECT_TRUE(history.Save());
        sim::ProgrammerSetup setup;
        if (const auto* spec = sim::FindChip(chip))
            setup.chip = *spec;
        session = std::make_unique<DeviceSession>(
            ProgramDirectory::Portable(home.Path()),
            DeviceSessionSeams{log, op, pump, clock,
                               std::make_unique<sim::SimulatedProgrammer>(setup)});
        std::string problem;
        EXPECT_TRUE(session->OpenLibrary());
        EXPECT_TRUE(session->OpenRemembered(false, &problem)) << problem;
        session->Link().EnumerateProgrammers(session->Record().driverImagePath, 1);
    }
    std::vector<std::string> Lines() const { return test::Messages(log); }
    std::string File(const std::string& name) const { return test::ReadFile(home / name); }

    test::TempDir home;
    test::FixedClock clock;
    test::ScriptedOperator op;
    Pump pump;
    InformationLog log;
    std::unique_ptr<DeviceSession> session;
};

// Detection is one timed line; the device it finds is made ready beside the selected one and
// changes nothing until it is committed: dropped, the buffer and Menu.ini stay as they were.
TEST(DeviceSession, ADetectedDeviceChangesNothingUntilItIsCommitted) {
    SessionHome unit("W25X20", "W25X10");
    DeviceSession& session = *unit.session;
    ASSERT_EQ(session.Type(), "W25X10");
    unit.home.Write("output.tmp", "image");
    unit.home.Write("Menu.ini", "[Menu]\nkept=1\n");
    const std::size_t linesBefore = unit.Lines().size();

    for (const bool stageMatch : {false, true}) {
        SCOPED_TRACE(stageMatch ? "staged" : "search only");
        DetectionRequest request;
        request.stageMatch = stageMatch;
        const DetectionResult found = session.Detect(request);
        ASSERT_TRUE(found.found);
        EXPECT_EQ(found.type, "W25X20");
        EXPECT_EQ(unit.Lines().back(),
                  "Automatically detect the device ID is found : Winbond -> W25X20 -> "
                  "[EF301200] : Total Time : 0.000 Sec.");
        EXPECT_EQ(session.Type(), "W25X10");
        EXPECT_EQ(unit.File("output.tmp"), "image");
        EXPECT_EQ(unit.File("Menu.ini"), "[Menu]\nkept=1\n");
    }
    EXPECT_EQ(unit.Lines().size(), linesBefore + 2);

    // Staged by the detection, taken and dropped: nothing changes.
    session.TakeDetected(session.Detect({false, true, {}}), {}).reset();
    EXPECT_EQ(session.Type(), "W25X10");
    EXPECT_EQ(unit.File("output.tmp"), "image");
    EXPECT_EQ(unit.File("Menu.ini"), "[Menu]\nkept=1\n");

    // Taken and committed: the found device with an erased buffer of its size.
    const auto staged = session.TakeDetected(session.Detect({false, true, {}}), {});
    ASSERT_NE(staged, nullptr);
    std::string refusal;
    ASSERT_TRUE(session.Commit(*staged, refusal)) << refusal;
    EXPECT_EQ(session.Type(), "W25X20");
    EXPECT_EQ(session.Record().name, "W25X20");
    EXPECT_EQ(unit.File("output.tmp").size(), session.Record().deviceSize);
    // The selected device is not staged again.
    EXPECT_EQ(session.TakeDetected(session.Detect({false, true, {}}), {}), nullptr);
}

// Sessions keep nothing outside themselves: one per unit, each with its own device and log.
TEST(DeviceSession, SessionsSideBySideKeepTheirOwnDevices) {
    SessionHome first("W25X10", "W25X10");
    SessionHome second("W25X40", "W25X10");
    std::string problem;
    ASSERT_TRUE(second.session->SelectAndRemember("winbond", "w25x40", &problem)) << problem;
    EXPECT_EQ(second.session->Type(), "W25X40");
    EXPECT_EQ(first.session->Type(), "W25X10");
    EXPECT_EQ(first.session->Record().deviceSize * 4, second.session->Record().deviceSize);
    EXPECT_EQ(IniFile(second.home / "History.ini").ReadString("Device1", "Type"), "W25X40");
    EXPECT_EQ(IniFile(first.home / "History.ini").ReadString("Device1", "Type"), "W25X10");

    const std::size_t firstLines = first.Lines().size();
    EXPECT_EQ(second.session->Detect({}).type, "W25X40");
    EXPECT_EQ(first.Lines().size(), firstLines);
    EXPECT_EQ(first.session->Detect({}).type, "W25X10");
}

}  // namespace
}  // namespace torq

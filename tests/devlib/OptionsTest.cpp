#include "torq/devlib/Options.h"

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "torq/devlib/Ini.h"

namespace torq {
namespace {

TEST(Options, AHistoryWithoutAnOptionSectionGivesTheDefaults) {
    test::TempDir dir;
    const Options o =
        LoadOptions(dir.Write("History.ini", "[Unit1]\nDevice1=x\n[Option\ngarbage\n"));
    EXPECT_TRUE(o.infoMessageLimited);
    EXPECT_EQ(o.infoMessageLimit, 5000);
    EXPECT_FALSE(o.infoMessageLimitSavesToFile);
    EXPECT_TRUE(o.resetNormalHigh);
    EXPECT_EQ(o.ResetIdleLevel(), 0);
    EXPECT_EQ(o.resetTimeMs, 500);
    EXPECT_EQ(o.verifyErrorsListLimit, 100);
    EXPECT_TRUE(o.verifyErrorsListLimited);
    EXPECT_EQ(o.infoMessageLimitSaveFile, ".Information.log");
    EXPECT_FALSE(o.userTargetBoard);
}

TEST(Options, FixedStepsStayCheckedAndChangeableStepsFollowTheFile) {
    test::TempDir dir;
    const Options o = LoadOptions(
        dir.Write("History.ini",
                  "[option]\nEmulator_LoadFile=0\nEmulator_Erase=0\nProgrammer_LoadFile=0\n"
                  "Emulator_Verify=0\nProgrammer_Protect=0\nProgrammer_Check=5\n"
                  "ResetNorm_RChecked=0\nInfoMessageLimit_RChecked=1\n"
                  "InfoMessageLimitSaveFile_Text=plainname.log\n"));
    EXPECT_TRUE(o.emulatorLoadFile);
    EXPECT_TRUE(o.emulatorErase);
    EXPECT_TRUE(o.programmerLoadFile);
    EXPECT_FALSE(o.emulatorVerify);
    EXPECT_FALSE(o.programmerProtect);
    EXPECT_TRUE(o.programmerCheck);
    EXPECT_FALSE(o.resetNormalHigh);
    EXPECT_EQ(o.ResetIdleLevel(), 1);
    EXPECT_TRUE(o.infoMessageLimitSavesToFile);
    EXPECT_EQ(o.infoMessageLimitSaveFile, ".Information.log");  // not a path
}

TEST(Options, LogFileSettingIsKeptOnlyWhenItLooksLikeAPath) {
    EXPECT_EQ(LogFileSettingShown(".\\logs\\a.log"), ".\\logs\\a.log");
    EXPECT_EQ(LogFileSettingShown("C:\\logs\\a.log"), "C:\\logs\\a.log");
    EXPECT_EQ(LogFileSettingShown("./a.log"), "./a.log");
    EXPECT_EQ(LogFileSettingShown("/var/log/a.log"), "/var/log/a.log");
    EXPECT_EQ(LogFileSettingShown("a.log"), ".Information.log");
}

TEST(Options, SaveWritesOnlyTheWrittenKeysAndKeepsTheRestOfTheFile) {
    test::TempDir dir;
    const auto path =
        dir.Write("History.ini", "[Unit1]\nDevice1=W25Q64\n[Option]\nProgrammer_Erase=0\n");
    Options o = LoadOptions(path);
    o.resetTimeMs = 10;  // below the minimum: stored as the minimum
    o.infoMessageLimit = 600;
    o.userTargetBoard = true;
    o.programmerVerify = false;  // a step key: never written
    ASSERT_TRUE(SaveOptions(path, o));
    const IniFile ini(path);
    EXPECT_EQ(ini.ReadString("Unit1", "Device1"), "W25Q64");
    EXPECT_EQ(ini.ReadInteger("Option", "Programmer_Erase", 9), 0);
    EXPECT_FALSE(ini.HasKey("Option", "Programmer_Verify"));
    EXPECT_EQ(ini.ReadInteger("Option", "ResetTime_Text", 0), 50);
    EXPECT_EQ(ini.ReadInteger("Option", "InfoMessageLimit_Text", 0), 600);
    EXPECT_EQ(ini.ReadInteger("Option", "UserTargetBoard_CheckBox", 0), 1);
    EXPECT_EQ(ini.ReadString("Option", "InfoMessageLimitSaveFile_Text"), ".Information.log");
    const Options again = LoadOptions(path);
    EXPECT_EQ(again.resetTimeMs, 50);
    EXPECT_TRUE(again.userTargetBoard);
}

TEST(NumericFields, FollowTheEditAndLeaveRules) {
    EXPECT_EQ(NumericFieldAfterEdit(kResetTimeField, "0"), "500");
    EXPECT_EQ(NumericFieldAfterEdit(kResetTimeField, ""), "500");
    EXPECT_EQ(NumericFieldAfterEdit(kVerifyErrorsField, "000"), "100");
    EXPECT_EQ(NumericFieldAfterEdit(kInfoMessageLimitField, "12"), "12");

    const LeaveResult low = NumericFieldOnLeave(kResetTimeField, "12");
    EXPECT_EQ(low.text, "50");
    EXPECT_TRUE(low.refocus);
    EXPECT_EQ(NumericFieldOnLeave(kVerifyErrorsField, "0").text, "100");
    EXPECT_EQ(NumericFieldOnLeave(kInfoMessageLimitField, "499").text, "500");
    EXPECT_FALSE(NumericFieldOnLeave(kInfoMessageLimitField, "99999").refocus);
    EXPECT_EQ(NumericFieldValue(kVerifyErrorsField, "1234"), 123);  // field length: 3 digits

    EXPECT_EQ(kVerifyErrorsField.Maximum(), 999);
    EXPECT_EQ(kResetTimeField.Maximum(), 9999);
    EXPECT_EQ(kInfoMessageLimitField.Maximum(), 99999);
    EXPECT_TRUE(NumericFieldAcceptsKey('7'));
    EXPECT_TRUE(NumericFieldAcceptsKey('\b'));
    EXPECT_FALSE(NumericFieldAcceptsKey('a'));
    EXPECT_FALSE(NumericFieldAcceptsKey('-'));
}

TEST(Options, SavingOntoAHistoryNotReadWholeLeavesItAsItIs) {
    using namespace std::string_literals;
    test::TempDir dir;
    const std::string contents =
        "[Device1]\nVendor=Winbond\n\0\n[Option]\nResetTime_Text=700\n[Device2]\nType=X\n"s;
    const auto path = dir.Write("History.ini", contents);
    Options o = LoadOptions(path);
    EXPECT_EQ(o.resetTimeMs, 500);  // the section after the NUL byte is not read
    o.userTargetBoard = true;
    std::string error;
    EXPECT_FALSE(SaveOptions(path, o, &error));
    EXPECT_NE(error.find("NUL byte"), std::string::npos) << error;
    EXPECT_EQ(test::ReadFile(path), contents);
}

}  // namespace
}  // namespace torq

#include "torq/workflow/Units.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.h"

namespace torq {
namespace {

struct Events final : SocketEvents {
    void WorkFileChanged(int unit, int socket, bool watchedFileSet) override {
        changes.push_back({unit, socket, watchedFileSet});
    }
    struct Change {
        int unit, socket;
        bool watchedFileSet;
        bool operator==(const Change&) const = default;
    };
    std::vector<Change> changes;
};

struct UnitsFixture : testing::Test {
    UnitsFixture() { units.SetEvents(&events); }
    test::ScriptedOperator op;
    IndicatorBoard board{op};
    ManualTimer flashTimer;
    Units units{board, flashTimer};
    Events events;
};

TEST(SocketLists, RunUnitBySocket) {
    const std::array<std::string, kSocketCount> expected = {
        "Unit1_Enable1_CheckBox", "Unit1_Enable2_CheckBox", "Unit2_Enable1_CheckBox",
        "Unit2_Enable2_CheckBox", "Unit3_Enable1_CheckBox", "Unit3_Enable2_CheckBox",
        "Unit4_Enable1_CheckBox", "Unit4_Enable2_CheckBox"};
    EXPECT_EQ(SocketControlList("Enable", kind::kCheckBox), expected);
    EXPECT_EQ(SocketIndex(3, 2), 5);
    EXPECT_EQ(SocketControlName(4, "WorkFile", 2, kind::kEdit), "Unit4_WorkFile2_Edit");
}

TEST_F(UnitsFixture, EnableBoxesFollowTheirRules) {
    struct Case {
        const char* what;
        std::string emptyFiles;  // per list index: 'e' empty work file, '-' a file
        int unit, socket;
        bool checked;
        std::string enabledAfter;  // per list index: 'x' checked
    };
    // Every box starts checked (each had a file when it was checked).
    const Case cases[] = {
        {"unit 1 socket 1 without a file becomes the only one", "e-e-----", 1, 1, true, "x-------"},
        {"unit 1 socket 1 with a file clears the boxes without one", "-ee---e-", 1, 1, true,
         "x--xxx-x"},
        {"unit 2 socket 1 alike", "e----e--", 2, 1, true, "-xxxx-xx"},
        {"unit 2 socket 1 without a file", "--e-----", 2, 1, true, "--x-----"},
        {"another box without a file clears itself only", "e--e-e-e", 2, 2, true, "xxx-xxxx"},
        {"another box with a file stays", "-----e--", 4, 2, true, "xxxxxxxx"},
        {"clearing has no further effect", "eeeeeeee", 1, 1, false, "-xxxxxxx"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Units fresh(board, flashTimer);
        for (int i = 0; i < kSocketCount; ++i) {
            const SocketPosition at = SocketAtIndex(i);
            fresh.SetWorkFile(at.unit, at.socket, "/data/file.bin");
            fresh.SetEnabled(at.unit, at.socket, true);
        }
        for (int i = 0; i < kSocketCount; ++i) {
            if (c.emptyFiles[static_cast<std::size_t>(i)] == 'e') {
                const SocketPosition at = SocketAtIndex(i);
                fresh.SetWorkFile(at.unit, at.socket, "");
            }
        }
        fresh.SetEnabled(c.unit, c.socket, c.checked);
        std::string enabled;
        for (int i = 0; i < kSocketCount; ++i)
            enabled += fresh.SocketAt(i).enabled ? 'x' : '-';
        EXPECT_EQ(enabled, c.enabledAfter);
    }
}

TEST_F(UnitsFixture, AWorkFileLightsTheLoadFileTilesAndBecomesTheWatchedFile) {
    units.SetWorkFile(1, 1, "/data/fw.bin");
    EXPECT_EQ(board.ShownImage("Emulator_LoadFileImage_Panel"), "Emulator_LoadFilePass_Image");
    EXPECT_EQ(board.ShownImage("Programmer_LoadFileImage_Panel"), "Programmer_LoadFilePass_Image");
    EXPECT_EQ(units.Saved().WatchedFile(), "/data/fw.bin");

    // After a Read the tiles light, but the watched file stays.
    units.SetWorkFile(1, 1, std::string(kDataFromBuffer));
    EXPECT_EQ(units.Saved().WatchedFile(), "/data/fw.bin");
    // Units 2 to 4 light the tiles too, but only unit 1 has a watched file.
    units.SetWorkFile(2, 1, "/data/other.bin");
    EXPECT_EQ(units.Saved().WatchedFile(), "/data/fw.bin");

    units.SetWorkFile(1, 1, "");
    EXPECT_EQ(board.ShownImage("Emulator_LoadFileImage_Panel"), "Emulator_LoadFileNorm_Image");
    // The same text again, and socket 2 fields, have no change behaviour.
    units.SetWorkFile(1, 1, "");
    units.SetWorkFile(3, 2, "/data/x.bin");
    // A reload runs the change without a new text.
    units.SetWorkFile(1, 1, "/data/fw.bin");
    units.RunWorkFileChange(1);

    const std::vector<Events::Change> expected = {{1, 1, true},  {1, 1, false}, {2, 1, false},
                                                  {1, 1, false}, {1, 1, true},  {1, 1, true}};
    EXPECT_EQ(events.changes, expected);
}

TEST_F(UnitsFixture, AChangedChecksumFlashesTenTimesAndStaysRed) {
    const ChecksumLook blink{TextColour::Red, FieldBackground::White};
    const ChecksumLook normal{};
    const ChecksumLook red{TextColour::Red, FieldBackground::Normal};

    units.SetChecksumText(1, 1, "0001FE00");
    EXPECT_TRUE(flashTimer.IsEnabled());
    std::vector<ChecksumLook> looks;
    while (flashTimer.IsEnabled() && looks.size() < 20) {
        units.FlashTick();
        looks.push_back(board.ChecksumLookOf(0));
    }
    const std::vector<ChecksumLook> expected = {blink, normal, blink, normal, blink, normal,
                                                blink, normal, blink, red,    red};
    EXPECT_EQ(looks, expected);  // the eleventh tick stops the timer
    units.FlashTick();
    EXPECT_EQ(board.ChecksumLookOf(0), red);

    // The same text again does not flash; a good verify draws it normally again.
    units.SetChecksumText(1, 1, "0001FE00");
    EXPECT_FALSE(flashTimer.IsEnabled());
    units.ClearChecksumWarning(1, 1);
    EXPECT_EQ(board.ChecksumLookOf(0), normal);
}

TEST_F(UnitsFixture, AGoodVerifyDuringTheFlashEndsIt) {
    units.SetChecksumText(1, 1, "00000010");
    units.FlashTick();
    units.ClearChecksumWarning(1, 1);
    EXPECT_FALSE(flashTimer.IsEnabled());
    units.FlashTick();
    EXPECT_EQ(board.ChecksumLookOf(0), ChecksumLook{});
}

TEST_F(UnitsFixture, OffsetFieldsStayWithinTheDevice) {
    constexpr std::uint64_t kOneMiB = 0x100000;
    const std::pair<const char*, const char*> cases[] = {
        {"FFFFFFFF", "000FFFFF"},
        {"100000", "000FFFFF"},
        {"0", "00000000"},
        {"", "00000000"},
        {"AB", "AB"},
        {"000FFFFF", "000FFFFF"},
        {"123456789ABCDEF01", "00000000"},  // beyond 64 bits reads as 0
    };
    for (const auto& [typed, shown] : cases) {
        units.SetOffsetText(1, 1, typed, kOneMiB);
        EXPECT_EQ(units.Socket(1, 1).offsetText, shown) << typed;
    }
}

}  // namespace
}  // namespace torq

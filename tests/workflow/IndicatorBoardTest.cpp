#include "torq/workflow/IndicatorBoard.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace torq {
namespace {

using test::ScriptedOperator;

struct Recorder final : IndicatorObserver {
    void VisibilityChanged(std::string_view container) override {
        repainted.emplace_back(container);
    }
    void ProgressChanged(int unit, int value) override { progress.emplace_back(unit, value); }
    std::vector<std::string> repainted;
    std::vector<std::pair<int, int>> progress;
};

struct ExpectedIndicator {
    std::string panel;
    std::vector<std::string> images;
    std::string clickLabel;
};

// Every indicator of the window with exactly its images, written out as the window names them.
const ExpectedIndicator kExpected[] = {
    {"Status_ResultImage_Panel",
     {"Status_ResultWait_Image", "Status_ResultPass_Image", "Status_ResultFail_Image",
      "Status_ResultOnline_Image", "Status_ResultOffline_Image", "Status_ResultStopped_Image"},
     ""},
    {"Unit1_StatusLights1Image_Panel",
     {"Unit1_StatusLights1Gray_Image", "Unit1_StatusLights1Yellow_Image",
      "Unit1_StatusLights1Green_Image", "Unit1_StatusLights1Red_Image"},
     ""},
    {"Unit1_StatusLights2Image_Panel",
     {"Unit1_StatusLights2Gray_Image", "Unit1_StatusLights2Yellow_Image",
      "Unit1_StatusLights2Green_Image", "Unit1_StatusLights2Red_Image"},
     ""},
    {"Unit2_StatusLights1Image_Panel",
     {"Unit2_StatusLights1Gray_Image", "Unit2_StatusLights1Yellow_Image",
      "Unit2_StatusLights1Green_Image", "Unit2_StatusLights1Red_Image"},
     ""},
    {"Unit2_StatusLights2Image_Panel",
     {"Unit2_StatusLights2Gray_Image", "Unit2_StatusLights2Yellow_Image",
      "Unit2_StatusLights2Green_Image", "Unit2_StatusLights2Red_Image"},
     ""},
    {"Unit3_StatusLights1Image_Panel",
     {"Unit3_StatusLights1Gray_Image", "Unit3_StatusLights1Yellow_Image",
      "Unit3_StatusLights1Green_Image", "Unit3_StatusLights1Red_Image"},
     ""},
    {"Unit3_StatusLights2Image_Panel",
     {"Unit3_StatusLights2Gray_Image", "Unit3_StatusLights2Yellow_Image",
      "Unit3_StatusLights2Green_Image", "Unit3_StatusLights2Red_Image"},
     ""},
    {"Unit4_StatusLights1Image_Panel",
     {"Unit4_StatusLights1Gray_Image", "Unit4_StatusLights1Yellow_Image",
      "Unit4_StatusLights1Green_Image", "Unit4_StatusLights1Red_Image"},
     ""},
    {"Unit4_StatusLights2Image_Panel",
     {"Unit4_StatusLights2Gray_Image", "Unit4_StatusLights2Yellow_Image",
      "Unit4_StatusLights2Green_Image", "Unit4_StatusLights2Red_Image"},
     ""},
    {"Emulator_WatchImage_Panel",
     {"Emulator_WatchNorm_Image", "Emulator_WatchLight_Image", "Emulator_WatchDown_Image",
      "Emulator_WatchPass_Image"},
     "Emulator_WatchMouseACTFilter_Label"},
    {"Emulator_LoadFileImage_Panel",
     {"Emulator_LoadFileNorm_Image", "Emulator_LoadFileLight_Image", "Emulator_LoadFileDown_Image",
      "Emulator_LoadFilePass_Image", "Emulator_LoadFileFail_Image"},
     "Emulator_LoadFileMouseACTFilter_Label"},
    {"Emulator_EraseImage_Panel",
     {"Emulator_EraseNorm_Image", "Emulator_EraseLight_Image", "Emulator_EraseDown_Image",
      "Emulator_ErasePass_Image", "Emulator_EraseFail_Image"},
     "Emulator_EraseMouseACTFilter_Label"},
    {"Emulator_ProgramImage_Panel",
     {"Emulator_ProgramNorm_Image", "Emulator_ProgramLight_Image", "Emulator_ProgramDown_Image",
      "Emulator_ProgramPass_Image", "Emulator_ProgramFail_Image"},
     "Emulator_ProgramMouseACTFilter_Label"},
    {"Emulator_VerifyImage_Panel",
     {"Emulator_VerifyNorm_Image", "Emulator_VerifyLight_Image", "Emulator_VerifyDown_Image",
      "Emulator_VerifyPass_Image", "Emulator_VerifyFail_Image"},
     "Emulator_VerifyMouseACTFilter_Label"},
    {"Emulator_ResetImage_Panel",
     {"Emulator_ResetNorm_Image", "Emulator_ResetLight_Image", "Emulator_ResetDown_Image",
      "Emulator_ResetPass_Image"},
     "Emulator_ResetMouseACTFilter_Label"},
    {"Programmer_LoadFileImage_Panel",
     {"Programmer_LoadFileNorm_Image", "Programmer_LoadFileLight_Image",
      "Programmer_LoadFileDown_Image", "Programmer_LoadFilePass_Image",
      "Programmer_LoadFileFail_Image"},
     "Programmer_LoadFileMouseACTFilter_Label"},
    {"Programmer_EraseImage_Panel",
     {"Programmer_EraseNorm_Image", "Programmer_EraseLight_Image", "Programmer_EraseDown_Image",
      "Programmer_ErasePass_Image", "Programmer_EraseFail_Image"},
     "Programmer_EraseMouseACTFilter_Label"},
    {"Programmer_CheckImage_Panel",
     {"Programmer_CheckNorm_Image", "Programmer_CheckLight_Image", "Programmer_CheckDown_Image",
      "Programmer_CheckPass_Image", "Programmer_CheckFail_Image"},
     "Programmer_CheckMouseACTFilter_Label"},
    {"Programmer_ProgramImage_Panel",
     {"Programmer_ProgramNorm_Image", "Programmer_ProgramLight_Image",
      "Programmer_ProgramDown_Image", "Programmer_ProgramPass_Image",
      "Programmer_ProgramFail_Image"},
     "Programmer_ProgramMouseACTFilter_Label"},
    {"Programmer_VerifyImage_Panel",
     {"Programmer_VerifyNorm_Image", "Programmer_VerifyLight_Image", "Programmer_VerifyDown_Image",
      "Programmer_VerifyPass_Image", "Programmer_VerifyFail_Image"},
     "Programmer_VerifyMouseACTFilter_Label"},
    {"Programmer_ProtectImage_Panel",
     {"Programmer_ProtectNorm_Image", "Programmer_ProtectLight_Image",
      "Programmer_ProtectDown_Image", "Programmer_ProtectPass_Image",
      "Programmer_ProtectFail_Image"},
     "Programmer_ProtectMouseACTFilter_Label"},
    {"Function_ReadImage_Panel",
     {"Function_ReadNorm_Image", "Function_ReadLight_Image", "Function_ReadDown_Image"},
     "Function_ReadMouseACTFilter_Label"},
    {"Function_EditImage_Panel",
     {"Function_EditNorm_Image", "Function_EditLight_Image", "Function_EditDown_Image"},
     "Function_EditMouseACTFilter_Label"},
    {"Function_SaveImage_Panel",
     {"Function_SaveNorm_Image", "Function_SaveLight_Image", "Function_SaveDown_Image"},
     "Function_SaveMouseACTFilter_Label"},
    {"Function_OptionImage_Panel",
     {"Function_OptionNorm_Image", "Function_OptionLight_Image", "Function_OptionDown_Image"},
     "Function_OptionMouseACTFilter_Label"},
    {"Function_ExecuteAllImage_Panel",
     {"Function_ExecuteAllNorm_Image", "Function_ExecuteAllLight_Image",
      "Function_ExecuteAllDown_Image"},
     "Function_ExecuteAllMouseACTFilter_Label"},
    {"Function_LookICImage_Panel",
     {"Function_LookICNorm_Image", "Function_LookICLight_Image", "Function_LookICDown_Image"},
     "Function_LookICMouseACTFilter_Label"},
    {"Unit1_OrderImage_Panel",
     {"Unit1_OrderNorm_Image", "Unit1_OrderLight_Image", "Unit1_OrderDown_Image"},
     "Unit1_OrderMouseACTFilter_Label"},
    {"Unit2_OrderImage_Panel",
     {"Unit2_OrderNorm_Image", "Unit2_OrderLight_Image", "Unit2_OrderDown_Image"},
     "Unit2_OrderMouseACTFilter_Label"},
    {"Unit3_OrderImage_Panel",
     {"Unit3_OrderNorm_Image", "Unit3_OrderLight_Image", "Unit3_OrderDown_Image"},
     "Unit3_OrderMouseACTFilter_Label"},
    {"Unit4_OrderImage_Panel",
     {"Unit4_OrderNorm_Image", "Unit4_OrderLight_Image", "Unit4_OrderDown_Image"},
     "Unit4_OrderMouseACTFilter_Label"},
};

TEST(IndicatorBoard, HasEveryIndicatorWithExactlyItsImagesAndClickLabel) {
    ScriptedOperator op;
    const IndicatorBoard board(op);
    std::set<std::string> expectedPanels;
    for (const ExpectedIndicator& expected : kExpected) {
        SCOPED_TRACE(expected.panel);
        expectedPanels.insert(expected.panel);
        const Indicator* indicator = board.FindIndicator(expected.panel);
        ASSERT_NE(indicator, nullptr);
        EXPECT_EQ(indicator->images, expected.images);
        EXPECT_EQ(indicator->clickLabel, expected.clickLabel);
        // The window finds each of them in the control tree, as a child of its panel.
        const auto panel = board.Controls().Find(expected.panel);
        ASSERT_TRUE(panel);
        std::vector<std::string> children;
        for (const ControlId child : board.Controls().Node(*panel).children)
            children.push_back(board.Controls().Node(child).name);
        std::vector<std::string> names = expected.images;
        if (!expected.clickLabel.empty())
            names.push_back(expected.clickLabel);
        EXPECT_EQ(children, names);
    }
    EXPECT_EQ(board.Indicators().size(), expectedPanels.size());
}

TEST(IndicatorBoard, StartsIdleAndHasTheContainersOfTheTabArea) {
    ScriptedOperator op;
    const IndicatorBoard board(op);
    EXPECT_EQ(board.ShownImage("Status_ResultImage_Panel"), "Status_ResultOffline_Image");
    EXPECT_EQ(board.ShownImage("Unit3_StatusLights2Image_Panel"), "Unit3_StatusLights2Gray_Image");
    EXPECT_EQ(board.ShownImage("Function_LookICImage_Panel"), "Function_LookICNorm_Image");
    for (const char* name :
         {"Menu_TabControl", "MenuTabControl_Operation_Panel", "MenuTabControl_Premium_Panel",
          "MenuTabControl_Options_Panel", "Operation_Top_Panel", "Operation_Bottom_Panel",
          "Emulator_Panel", "Programmer_Panel", "Unit1_Panel", "Unit4_Panel", "Unit1_Socket1_Panel",
          "Unit4_Socket2_Panel", "Bottom_Panel", "InfoMessage_Panel"})
        EXPECT_TRUE(board.Controls().Find(name)) << name;
}

TEST(IndicatorBoard, ShowOneOfImagesShowsOneImageAndKeepsTheClickLabel) {
    ScriptedOperator op;
    IndicatorBoard board(op);
    Recorder recorder;
    board.SetObserver(&recorder);

    board.ShowOneOfImages("Function_ReadImage_Panel", "Function_ReadLight_Image", true);
    EXPECT_FALSE(board.IsVisible("Function_ReadNorm_Image"));
    EXPECT_TRUE(board.IsVisible("Function_ReadLight_Image"));
    EXPECT_FALSE(board.IsVisible("Function_ReadDown_Image"));
    EXPECT_TRUE(board.IsVisible("Function_ReadMouseACTFilter_Label"));
    EXPECT_EQ(recorder.repainted, std::vector<std::string>{"Function_ReadImage_Panel"});

    // Without hiding, the other images stay as they are; a switch that changes nothing repaints
    // nothing.
    board.ShowOneOfImages("Function_ReadImage_Panel", "Function_ReadDown_Image", false);
    EXPECT_TRUE(board.IsVisible("Function_ReadLight_Image"));
    EXPECT_TRUE(board.IsVisible("Function_ReadDown_Image"));
    recorder.repainted.clear();
    board.ShowOneOfImages("Function_ReadImage_Panel", "Function_ReadDown_Image", false);
    EXPECT_TRUE(recorder.repainted.empty());
    EXPECT_TRUE(op.messages.empty());
}

TEST(IndicatorBoard, TheSwitchesRefuseWhatIsNotTheirKindOfContainer) {
    ScriptedOperator op;
    IndicatorBoard board(op);
    // An image, a tab control and an unknown name are not panels.
    for (const char* notAPanel :
         {"Function_ReadNorm_Image", "Menu_TabControl", "Function_Read_Nothing"}) {
        board.ShowOneOfImages(notAPanel, "Function_ReadLight_Image", true);
    }
    EXPECT_EQ(op.Texts(), std::vector<std::string>(3, "ErrorInfo : ShowOneOfImages()"));
    EXPECT_EQ(board.ShownImage("Function_ReadImage_Panel"), "Function_ReadNorm_Image");

    op.messages.clear();
    EXPECT_EQ(board.ShowOneOfControls("Function_ReadNorm_Image", "x", true), "");
    EXPECT_EQ(op.Texts(), std::vector<std::string>{"ErrorInfo : ShowOneOfControls()"});
}

TEST(IndicatorBoard, ShowOneOfControlsSwitchesTabPagesAndBars) {
    ScriptedOperator op;
    IndicatorBoard board(op);
    EXPECT_EQ(board.ShowOneOfControls("Menu_TabControl", "MenuTabControl_Options_Panel", true),
              "MenuTabControl_Options_Panel");
    EXPECT_FALSE(board.IsVisible("MenuTabControl_Operation_Panel"));
    EXPECT_TRUE(board.IsVisible("MenuTabControl_Options_Panel"));

    EXPECT_EQ(board.ShowOneOfControls("Operation_Top_Panel", "Programmer_Panel", true),
              "Programmer_Panel");
    EXPECT_FALSE(board.IsVisible("Emulator_Panel"));
    // A child the container does not have: nothing is shown and the result is empty.
    EXPECT_EQ(board.ShowOneOfControls("Operation_Top_Panel", "Unit1_Panel", true), "");
    EXPECT_FALSE(board.IsVisible("Programmer_Panel"));
    EXPECT_TRUE(op.messages.empty());
}

TEST(IndicatorBoard, ResetIndicatorsKeepsFileStepsAndTheStatusAsTold) {
    struct Case {
        bool keepFileSteps;
        int programmerCount;
        const char* status;
        const char* loadFile;
        const char* execute;
    };
    const Case cases[] = {
        {false, 1, "Status_ResultOffline_Image", "Programmer_LoadFileNorm_Image",
         "Function_ExecuteAllNorm_Image"},
        {true, 1, "Status_ResultOnline_Image", "Programmer_LoadFilePass_Image",
         "Function_ExecuteAllLight_Image"},
        {true, 0, "Status_ResultFail_Image", "Programmer_LoadFilePass_Image",
         "Function_ExecuteAllLight_Image"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.keepFileSteps << " " << c.programmerCount);
        ScriptedOperator op;
        IndicatorBoard board(op);
        board.ShowStatus(StatusImage::Fail);
        board.ShowTile(Bar::Programmer, Step::LoadFile, TileImage::Pass);
        board.ShowTile(Bar::Emulator, Step::Watch, TileImage::Pass);
        board.ShowTile(Bar::Emulator, Step::Reset, TileImage::Light);
        board.ShowTile(Bar::Programmer, Step::Verify, TileImage::Fail);
        board.ShowLamp(1, 1, LampImage::Red);
        board.ShowOrder(4, TileImage::Down);
        board.ShowFunction(FunctionButton::ExecuteAll, TileImage::Light);
        board.ShowFunction(FunctionButton::LookIC, TileImage::Down);

        board.ResetIndicators(c.keepFileSteps, c.programmerCount);
        EXPECT_EQ(board.ShownImage("Status_ResultImage_Panel"), c.status);
        EXPECT_EQ(board.ShownImage("Programmer_LoadFileImage_Panel"), c.loadFile);
        EXPECT_EQ(board.ShownImage("Function_ExecuteAllImage_Panel"), c.execute);
        EXPECT_EQ(board.ShownImage("Emulator_ResetImage_Panel"), "Emulator_ResetNorm_Image");
        EXPECT_EQ(board.ShownImage("Programmer_VerifyImage_Panel"), "Programmer_VerifyNorm_Image");
        EXPECT_EQ(board.ShownImage("Unit1_StatusLights1Image_Panel"),
                  "Unit1_StatusLights1Gray_Image");
        EXPECT_EQ(board.ShownImage("Unit4_OrderImage_Panel"), "Unit4_OrderNorm_Image");
        // Detect IC is not among the buttons a reset touches.
        EXPECT_EQ(board.ShownImage("Function_LookICImage_Panel"), "Function_LookICDown_Image");
    }
}

TEST(IndicatorBoard, MouseReactionsFollowTheFamilyProgrammersAndTab) {
    struct Case {
        MouseFamily family;
        MouseEvent event;
        int programmers;
        int tab;
        std::optional<TileImage> image;
        CursorChange cursor;
    };
    using enum MouseEvent;
    const Case cases[] = {
        {MouseFamily::FunctionButton, Enter, 1, 1, TileImage::Light, CursorChange::Hand},
        {MouseFamily::FunctionButton, LeftDown, 1, 0, TileImage::Down, CursorChange::Unchanged},
        {MouseFamily::FunctionButton, LeftUpInside, 1, 0, TileImage::Light,
         CursorChange::Unchanged},
        {MouseFamily::FunctionButton, Enter, 1, 2, std::nullopt, CursorChange::Unchanged},
        {MouseFamily::FunctionButton, Enter, 0, 0, std::nullopt, CursorChange::Unchanged},
        {MouseFamily::FunctionButton, LeftDown, 0, 0, std::nullopt, CursorChange::Unchanged},
        {MouseFamily::FunctionButton, Leave, 0, 3, TileImage::Norm, CursorChange::Default},
        // Step tiles do not look at the tab.
        {MouseFamily::StepTile, Enter, 1, 3, TileImage::Light, CursorChange::Hand},
        {MouseFamily::StepTile, LeftDown, 0, 1, std::nullopt, CursorChange::Unchanged},
        {MouseFamily::OrderButton, Enter, 1, 2, TileImage::Light, CursorChange::Unchanged},
        {MouseFamily::OrderButton, Leave, 0, 0, TileImage::Norm, CursorChange::Unchanged},
        {MouseFamily::None, Enter, 1, 0, std::nullopt, CursorChange::Unchanged},
        {MouseFamily::None, Leave, 1, 0, std::nullopt, CursorChange::Unchanged},
        // The Load File tiles browse with or without a programmer; their image stays.
        {MouseFamily::BrowseTile, Enter, 0, 1, std::nullopt, CursorChange::Hand},
        {MouseFamily::BrowseTile, LeftDown, 0, 1, std::nullopt, CursorChange::Unchanged},
        {MouseFamily::BrowseTile, LeftUpInside, 1, 0, std::nullopt, CursorChange::Unchanged},
        {MouseFamily::BrowseTile, Leave, 1, 0, std::nullopt, CursorChange::Default},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << static_cast<int>(c.family) << " " << static_cast<int>(c.event) << " "
                     << c.programmers << " " << c.tab);
        const MouseReaction reaction = ReactToMouse(c.family, c.event, c.programmers, c.tab);
        EXPECT_EQ(reaction.image, c.image);
        EXPECT_EQ(reaction.cursor, c.cursor);
    }
    // A click does something: Load File always, the others as their Enter lights them.
    EXPECT_TRUE(ClickUsable(MouseFamily::BrowseTile, 0, 1));
    EXPECT_TRUE(ClickUsable(MouseFamily::StepTile, 1, 3));
    EXPECT_FALSE(ClickUsable(MouseFamily::StepTile, 0, 1));
    EXPECT_FALSE(ClickUsable(MouseFamily::FunctionButton, 1, 2));
    EXPECT_FALSE(ClickUsable(MouseFamily::None, 1, 1));
    EXPECT_TRUE(IsInsideLabel(1, 1, 10, 10));
    EXPECT_FALSE(IsInsideLabel(0, 5, 10, 10));
    EXPECT_FALSE(IsInsideLabel(5, 10, 10, 10));
}

TEST(IndicatorBoard, MouseOnALabelSwitchesItsTile) {
    ScriptedOperator op;
    IndicatorBoard board(op);
    // No programmer: hovering and pressing Execute All leave Norm; leaving shows Norm.
    EXPECT_EQ(board.Mouse("Function_ExecuteAllMouseACTFilter_Label", MouseEvent::Enter, 0, 0),
              CursorChange::Unchanged);
    board.Mouse("Function_ExecuteAllMouseACTFilter_Label", MouseEvent::LeftDown, 0, 0);
    EXPECT_EQ(board.ShownImage("Function_ExecuteAllImage_Panel"), "Function_ExecuteAllNorm_Image");

    EXPECT_EQ(board.Mouse("Programmer_CheckMouseACTFilter_Label", MouseEvent::Enter, 1, 1),
              CursorChange::Hand);
    board.Mouse("Programmer_CheckMouseACTFilter_Label", MouseEvent::LeftDown, 1, 1);
    EXPECT_EQ(board.ShownImage("Programmer_CheckImage_Panel"), "Programmer_CheckDown_Image");
    EXPECT_EQ(board.Mouse("Programmer_CheckMouseACTFilter_Label", MouseEvent::Leave, 1, 1),
              CursorChange::Default);
    EXPECT_EQ(board.ShownImage("Programmer_CheckImage_Panel"), "Programmer_CheckNorm_Image");

    // The Watch tile is not connected to the mouse; its Pass image stays.
    board.ShowTile(Bar::Emulator, Step::Watch, TileImage::Pass);
    board.Mouse("Emulator_WatchMouseACTFilter_Label", MouseEvent::Leave, 1, 0);
    EXPECT_EQ(board.ShownImage("Emulator_WatchImage_Panel"), "Emulator_WatchPass_Image");
    // Load File shows the hand over it, and its Pass image (a work file loaded) stays.
    board.ShowTile(Bar::Programmer, Step::LoadFile, TileImage::Pass);
    EXPECT_EQ(board.Mouse("Programmer_LoadFileMouseACTFilter_Label", MouseEvent::Enter, 0, 1),
              CursorChange::Hand);
    board.Mouse("Programmer_LoadFileMouseACTFilter_Label", MouseEvent::LeftDown, 0, 1);
    EXPECT_EQ(board.Mouse("Programmer_LoadFileMouseACTFilter_Label", MouseEvent::Leave, 0, 1),
              CursorChange::Default);
    EXPECT_EQ(board.ShownImage("Programmer_LoadFileImage_Panel"), "Programmer_LoadFilePass_Image");
    EXPECT_TRUE(op.messages.empty());
}

// A click on either Load File tile opens the Browse of unit 1, socket 1 (the socket Ctrl+O
// browses); no other tile browses.
TEST(IndicatorBoard, TheLoadFileTilesBrowseUnit1Socket1) {
    constexpr Step kSteps[] = {Step::Watch,   Step::LoadFile, Step::Erase,   Step::Check,
                               Step::Program, Step::Verify,   Step::Protect, Step::Reset};
    for (const Bar bar : {Bar::Emulator, Bar::Programmer}) {
        for (const Step step : kSteps) {
            SCOPED_TRACE(testing::Message()
                         << static_cast<int>(bar) << " " << static_cast<int>(step));
            const auto socket = TileBrowsesSocket(bar, step);
            EXPECT_EQ(socket.has_value(), step == Step::LoadFile);
            if (socket) {
                EXPECT_EQ(socket->unit, 1);
                EXPECT_EQ(socket->socket, 1);
            }
        }
    }
}

TEST(IndicatorBoard, ProgressStaysWithinTheBar) {
    ScriptedOperator op;
    IndicatorBoard board(op);
    Recorder recorder;
    board.SetObserver(&recorder);
    board.SetProgress(1, 5);
    board.AdvanceProgress(1, 90);
    board.AdvanceProgress(1, 100);
    board.AdvanceProgress(1, 100);  // already full: no change to report
    EXPECT_EQ(board.Progress(1), 100);
    board.SetProgress(1, -3);
    EXPECT_EQ(board.Progress(1), 0);
    EXPECT_EQ(board.Progress(2), 0);
    const std::vector<std::pair<int, int>> expected = {{1, 5}, {1, 95}, {1, 100}, {1, 0}};
    EXPECT_EQ(recorder.progress, expected);
}

}  // namespace
}  // namespace torq

// The main window on the simulated programmer, offscreen: its controls by name, the tabs and the
// layout, drops, hot-plug, runs, the lock during a run, the keyboard and closing.
#include <signal.h>
#include <unistd.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QTabBar>
#include <QTimer>
#include <QUrl>
#include <regex>

#include "SignalEnding.h"
#include "WindowFixture.h"
#include "controllers/ActionGate.h"
#include "torq/app/seams/MessageBoxOperator.h"
#include "torq/buffer/BufferFile.h"
#include "torq/devlib/HomeLock.h"
#include "torq/devlib/Ini.h"
#include "torq/workflow/Sequencer.h"
#include "torq/workflow/Tabs.h"
#include "widgets/StatusPanel.h"
#include "widgets/Theme.h"
#include "widgets/Tile.h"

namespace torq::app::test {
namespace {

// Expands {u} (units 1-4) and {s} (sockets 1-2) in a name pattern.
std::vector<std::string> Expand(const std::string& pattern) {
    std::vector<std::string> names;
    const bool perUnit = pattern.find("{u}") != std::string::npos;
    const bool perSocket = pattern.find("{s}") != std::string::npos;
    for (int unit = 1; unit <= (perUnit ? 4 : 1); ++unit) {
        for (int socket = 1; socket <= (perSocket ? 2 : 1); ++socket) {
            std::string name =
                std::regex_replace(pattern, std::regex("\\{u\\}"), std::to_string(unit));
            names.push_back(
                std::regex_replace(name, std::regex("\\{s\\}"), std::to_string(socket)));
        }
    }
    return names;
}

// Every control name the window must carry, written out as the operator's manual names them.
const char* const kNamePatterns[] = {
    // tabs, containers and the bottom panel
    "Menu_TabControl", "MenuTabControl_Operation_Panel", "MenuTabControl_Premium_Panel",
    "MenuTabControl_Options_Panel", "Operation_Top_Panel", "Operation_Bottom_Panel",
    "Emulator_Panel", "Programmer_Panel", "Bottom_Panel", "InfoMessage_Panel", "InfoMessageMemo",
    "UserTargetBoard_CheckBox", "Status_ResultImage_Panel", "Status_ResultWait_Image",
    "Status_ResultPass_Image", "Status_ResultFail_Image", "Status_ResultOnline_Image",
    "Status_ResultOffline_Image", "Status_ResultStopped_Image",
    // units and sockets
    "Unit{u}_Panel", "Unit{u}_Vendor_ComboBox", "Unit{u}_Type_ComboBox", "Unit{u}_ProgressBar",
    "Unit{u}_Enable_CheckBox", "Unit{u}_OrderImage_Panel", "Unit{u}_OrderNorm_Image",
    "Unit{u}_OrderLight_Image", "Unit{u}_OrderDown_Image", "Unit{u}_OrderMouseACTFilter_Label",
    "Unit{u}_Socket{s}_Panel", "Unit{u}_Enable{s}_CheckBox", "Unit{u}_WorkFile{s}_Edit",
    "Unit{u}_Browse{s}_Button", "Unit{u}_Sum{s}_Edit", "Unit{u}_StartAdd{s}_Edit",
    "Unit{u}_StatusLights{s}Image_Panel", "Unit{u}_StatusLights{s}Gray_Image",
    "Unit{u}_StatusLights{s}Yellow_Image", "Unit{u}_StatusLights{s}Green_Image",
    "Unit{u}_StatusLights{s}Red_Image",
    // the Options tab and the Premium tab
    "Options_WatchAutoReload_CheckBox", "Options_WatchAutoProcedure_CheckBox",
    "Options_VerifyErrorsList_CheckBox", "Options_VerifyErrorsList_Edit",
    "Options_InfoMessageLimit_CheckBox", "Options_InfoMessageLimit_Edit",
    "Options_InfoMessageLimitSaveFile_RadioButton",
    "Options_InfoMessageLimitClearContent_RadioButton", "Options_InfoMessageLimitSaveFile_Edit",
    "Options_ResetNormHigh_RadioButton", "Options_ResetNormLow_RadioButton",
    "Options_ResetTime_Edit", "Options_AboutSWVerValue_Label", "Options_AboutFWVerValue_Label",
    "Options_Erase_GroupBox", "Options_SendTo_GroupBox", "Options_SendTo_CheckBox",
    "Options_FileAssociations_GroupBox", "Options_NOVUHyperlink_Label", "Premium_PageControl",
    "Premium_OK_BitBtn", "Premium_Cancel_BitBtn"};

// The tiles with their images; every tile has a click label and a step check box.
struct TileNames {
    const char* stem;
    std::vector<const char*> images;
};
const std::vector<const char*> kFive = {"Norm", "Light", "Down", "Pass", "Fail"};
const std::vector<const char*> kNoFail = {"Norm", "Light", "Down", "Pass"};
const TileNames kTiles[] = {
    {"Emulator_Watch", kNoFail},    {"Emulator_LoadFile", kFive}, {"Emulator_Erase", kFive},
    {"Emulator_Program", kFive},    {"Emulator_Verify", kFive},   {"Emulator_Reset", kNoFail},
    {"Programmer_LoadFile", kFive}, {"Programmer_Erase", kFive},  {"Programmer_Check", kFive},
    {"Programmer_Program", kFive},  {"Programmer_Verify", kFive}, {"Programmer_Protect", kFive},
};
const char* const kFunctions[] = {"Read", "Edit", "Save", "Option", "ExecuteAll", "LookIC"};

TEST_F(WindowTest, EveryNamedControlExistsHiddenOnesIncluded) {
    Open("W25X10", "Winbond", "W25X10");
    std::vector<std::string> names;
    for (const char* pattern : kNamePatterns) {
        const auto expanded = Expand(pattern);
        names.insert(names.end(), expanded.begin(), expanded.end());
    }
    for (const TileNames& tile : kTiles) {
        const std::string stem = tile.stem;
        names.push_back(stem + "Image_Panel");
        names.push_back(stem + "MouseACTFilter_Label");
        names.push_back(stem + "_CheckBox");
        for (const char* image : tile.images)
            names.push_back(stem + image + "_Image");
    }
    for (const char* function : kFunctions) {
        const std::string stem = std::string("Function_") + function;
        names.push_back(stem + "Image_Panel");
        names.push_back(stem + "MouseACTFilter_Label");
        for (const char* image : {"Norm", "Light", "Down"})
            names.push_back(stem + image + "_Image");
    }
    ASSERT_GT(names.size(), 250u);
    for (const std::string& name : names)
        EXPECT_NE(window->findChild<QWidget*>(QString::fromStdString(name)), nullptr) << name;
    // The window's timers, with their intervals.
    const std::pair<const char*, int> timers[] = {
        {"WatchFile_Timer", 300}, {"FlashSumEdit_Timer", 130}, {"InfoMessageLimit_Timer", 500}};
    for (const auto& [name, interval] : timers) {
        const auto* timer = window->findChild<QTimer*>(QString::fromLatin1(name));
        ASSERT_NE(timer, nullptr) << name;
        EXPECT_EQ(timer->interval(), interval) << name;
    }

    // What this release hides exists, hidden.
    for (const char* hidden :
         {"Unit1_Socket2_Panel", "Unit4_Socket2_Panel", "Unit2_Panel", "Function_SaveImage_Panel",
          "Function_OptionImage_Panel", "Premium_OK_BitBtn", "Options_Erase_GroupBox",
          "Options_SendTo_GroupBox"}) {
        EXPECT_FALSE(Shows(hidden)) << hidden;
    }
    EXPECT_EQ(
        window->windowTitle().toStdString(),
        "TORQ-SPI Ver. " + VersionText(TORQ_VERSION_MAJOR, TORQ_VERSION_MINOR, TORQ_VERSION_PATCH));
}

// The gate refuses an action while device work is held, however that work began (a run started
// outside any action would otherwise let a drop or a hand-over in), and while another action runs.
TEST(ActionGateTest, DeviceWorkAndAnotherActionRefuseAnAction) {
    DeviceWork work;
    ActionGate gate(work);
    int ran = 0;
    {
        const DeviceWork::Guard held(work);
        EXPECT_TRUE(gate.Busy());
        EXPECT_FALSE(gate.Run([&] { ++ran; }));
    }
    EXPECT_FALSE(gate.Busy());
    EXPECT_TRUE(gate.Run([&] { EXPECT_FALSE(gate.Run([&] { ++ran; })); }));
    EXPECT_TRUE(gate.Run([&] { ++ran; }));
    EXPECT_EQ(ran, 1);
}

TEST(WindowLook, TheProgramsIconIsBuiltInAtTheUsualSizes) {
    App();
    const QIcon icon = theme::ApplicationIcon();
    ASSERT_FALSE(icon.isNull());
    EXPECT_TRUE(icon.availableSizes().contains(QSize(48, 48)));
    // Drawn, not blank: the chip's body is opaque in the middle.
    const QImage image = icon.pixmap(QSize(64, 64)).toImage();
    EXPECT_EQ(qAlpha(image.pixel(32, 40)), 255);
}

TEST(WindowLook, HintsAndLinksStayReadableOnADarkPaletteWithoutColoursOfTheirOwn) {
    App();
    // A dark palette made from the default one, as a desktop without placeholder or link colours
    // of its own hands it over.
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(0x2b, 0x2d, 0x31));
    dark.setColor(QPalette::WindowText, QColor(0xe6, 0xe6, 0xe6));
    dark.setColor(QPalette::Base, QColor(0x1e, 0x1f, 0x22));
    dark.setColor(QPalette::Text, QColor(0xe6, 0xe6, 0xe6));
    ASSERT_LT(theme::Contrast(dark.color(QPalette::PlaceholderText), dark.color(QPalette::Base)),
              theme::kHintContrast);
    const QPalette readable = theme::ReadablePalette(dark);
    for (const QPalette::ColorRole background : {QPalette::Base, QPalette::Window}) {
        EXPECT_GE(
            theme::Contrast(readable.color(QPalette::PlaceholderText), readable.color(background)),
            theme::kHintContrast);
        EXPECT_GE(theme::Contrast(readable.color(QPalette::Link), readable.color(background)), 4.0);
    }
    // A light palette's own placeholder colour reads already and stays.
    const QPalette light;
    EXPECT_EQ(theme::ReadablePalette(light).color(QPalette::PlaceholderText),
              light.color(QPalette::PlaceholderText));
}

TEST_F(WindowTest, StartUpShowsTheProgrammerUnitAndItsHistory) {
    const auto file = WriteFile("image.bin", 4096);
    Open("W25X10", "Winbond", "W25X10", {file.string()});
    EXPECT_TRUE(Shows("Status_ResultOnline_Image"));
    EXPECT_TRUE(Shows("Unit1_Panel"));
    EXPECT_FALSE(Shows("Unit2_Panel"));
    EXPECT_FALSE(Shows("Operation_Offline_Label"));
    EXPECT_EQ(Find<QComboBox>("Unit1_Vendor_ComboBox")->currentText(), "Winbond");
    EXPECT_EQ(Find<QComboBox>("Unit1_Type_ComboBox")->currentText(), "W25X10");
    EXPECT_EQ(Find<QLineEdit>("Unit1_WorkFile1_Edit")->text().toStdString(), file.string());
    EXPECT_TRUE(Find<QCheckBox>("Unit1_Enable1_CheckBox")->isChecked());
    EXPECT_EQ(Find<QLineEdit>("Unit1_Sum1_Edit")->text().toStdString(),
              window->Bench().UnitStates().Socket(1, 1).checksumText);
    EXPECT_TRUE(Shows("Programmer_LoadFilePass_Image"));
    EXPECT_EQ(Find<QTabBar>("Menu_TabBar")->currentIndex(), kProgrammerTabIndex);
}

TEST_F(WindowTest, WithoutAProgrammerOnlyTheOfflineStatusShowsAndClicksDoNothing) {
    Open("", "Winbond", "W25X10");
    EXPECT_EQ(window->Bench().ProgrammerCount(), 0);
    EXPECT_TRUE(Shows("Status_ResultOffline_Image"));
    for (int unit = 1; unit <= 4; ++unit)
        EXPECT_FALSE(Shows(("Unit" + std::to_string(unit) + "_Panel").c_str()));
    EXPECT_TRUE(Shows("Operation_Offline_Label"));
    const auto lines = Lines().size();
    Activate("Function_ExecuteAllMouseACTFilter_Label");
    Activate("Programmer_EraseMouseACTFilter_Label");
    EXPECT_EQ(Lines().size(), lines);
    EXPECT_TRUE(op.messages.empty());

    // The Premium tab needs a programmer: back to the last operation tab, with the line.
    QTabBar* tabs = Find<QTabBar>("Menu_TabBar");
    tabs->setCurrentIndex(kPremiumTabIndex);
    EXPECT_EQ(tabs->currentIndex(), kProgrammerTabIndex);
    EXPECT_TRUE(Shows("MenuTabControl_Operation_Panel"));
    EXPECT_TRUE(Logged("Premium Tabs : No Parameter"));
}

TEST_F(WindowTest, TabsFollowTheWorkflowLeaveChecksAndFallBack) {
    Open("W25X10", "Winbond", "W25X10");
    QTabBar* tabs = Find<QTabBar>("Menu_TabBar");

    tabs->setCurrentIndex(kEmulatorTabIndex);
    EXPECT_TRUE(Shows("Emulator_Panel"));
    EXPECT_FALSE(Shows("Programmer_Panel"));
    EXPECT_TRUE(Shows("UserTargetBoard_CheckBox"));
    EXPECT_TRUE(Shows("Bottom_Panel"));
    // The target-board box is an option: in History.ini as soon as it is clicked.
    Find<QCheckBox>("UserTargetBoard_CheckBox")->click();
    EXPECT_TRUE(window->Bench().Settings().userTargetBoard);
    EXPECT_EQ(IniFile(home / "History.ini").ReadInteger("Option", "UserTargetBoard_CheckBox", -1),
              1);

    tabs->setCurrentIndex(kOptionsTabIndex);
    EXPECT_TRUE(Shows("MenuTabControl_Options_Panel"));
    EXPECT_FALSE(Shows("Bottom_Panel"));
    EXPECT_FALSE(Shows("InfoMessage_Panel"));
    // A reset time below its minimum keeps the tab on Options and is corrected.
    auto* resetTime = Find<QLineEdit>("Options_ResetTime_Edit");
    resetTime->setFocus();
    resetTime->selectAll();
    QTest::keyClicks(resetTime, "20");
    window->Bench().SetOptionFieldText(OptionField::ResetTime, resetTime->text().toStdString());
    tabs->setCurrentIndex(kProgrammerTabIndex);
    EXPECT_EQ(tabs->currentIndex(), kOptionsTabIndex);
    EXPECT_EQ(resetTime->text(), "50");
    // Corrected, the tab may be left.
    tabs->setCurrentIndex(kProgrammerTabIndex);
    EXPECT_EQ(tabs->currentIndex(), kProgrammerTabIndex);
    EXPECT_TRUE(Shows("Programmer_Panel"));
    EXPECT_FALSE(Shows("UserTargetBoard_CheckBox"));
}

TEST_F(WindowTest, PremiumTabShowsThePagesOfADeviceThatHasThem) {
    Open("W25Q64FV", "Winbond", "W25Q64FV");
    QTabBar* tabs = Find<QTabBar>("Menu_TabBar");
    tabs->setCurrentIndex(kPremiumTabIndex);
    EXPECT_EQ(tabs->currentIndex(), kPremiumTabIndex);
    EXPECT_TRUE(Shows("MenuTabControl_Premium_Panel"));
    EXPECT_FALSE(Shows("MenuTabControl_Operation_Panel"));
    EXPECT_GT(Find<QTabWidget>("Premium_PageControl")->count(), 0);
}

TEST_F(WindowTest, PremiumValuesAreSavedToMenuIniWhenTheTabIsLeft) {
    Open("W25Q64FV", "Winbond", "W25Q64FV");
    QTabBar* tabs = Find<QTabBar>("Menu_TabBar");
    const auto menu = home / "Menu.ini";
    const auto saved = [&] {
        return IniFile(menu).ReadString(kPageValuesSection, "Page0Com0Set", "missing");
    };
    const auto type = [&](const char* keys) {
        auto* field = Find<QLineEdit>("Page0Com0");  // Status register 1, hexadecimal
        ASSERT_NE(field, nullptr);
        field->setFocus();
        field->selectAll();
        QTest::keyClick(field, Qt::Key_Backspace);
        QTest::keyClicks(field, keys);
    };
    const std::string defaults = torq::test::ReadFile(menu);
    ASSERT_EQ(saved(), "0");

    // Shown and left without a change: the same values.
    tabs->setCurrentIndex(kPremiumTabIndex);
    tabs->setCurrentIndex(kProgrammerTabIndex);
    EXPECT_EQ(torq::test::ReadFile(menu), defaults);

    // A change is kept in the sheet while the tab shows, and saved when it is left.
    tabs->setCurrentIndex(kPremiumTabIndex);
    type("3c");
    EXPECT_EQ(Find<QLineEdit>("Page0Com0")->text(), "3C");
    EXPECT_EQ(saved(), "0");
    tabs->setCurrentIndex(kEmulatorTabIndex);
    EXPECT_EQ(saved(), "60");
    EXPECT_EQ(window->Bench().CurrentPageValues().Integer(0, 0, -1), 60);

    // The sheets are built again from the saved values.
    tabs->setCurrentIndex(kPremiumTabIndex);
    EXPECT_EQ(Find<QLineEdit>("Page0Com0")->text(), "3C");
    // Cancel goes back without saving; the value it abandoned is still the sheet's, and the next
    // change of tab saves it.
    type("7f");
    Find<QPushButton>("Premium_Cancel_BitBtn")->click();
    EXPECT_EQ(tabs->currentIndex(), kEmulatorTabIndex);
    EXPECT_TRUE(Shows("Emulator_Panel"));
    EXPECT_EQ(saved(), "60");
    tabs->setCurrentIndex(kProgrammerTabIndex);
    EXPECT_EQ(saved(), "127");
}

TEST_F(WindowTest, AChangedChecksumBlinksTenStepsAndStaysRed) {
    Open("W25X10", "Winbond", "W25X10");
    auto* timer = Find<QTimer>("FlashSumEdit_Timer");
    auto* sum = Find<QLineEdit>("Unit1_Sum1_Edit");
    // A field background that is not white, so the blink's white shows.
    QPalette tinted = window->palette();
    tinted.setColor(QPalette::Base, QColor(0xE0, 0xE8, 0xF0));
    window->setPalette(tinted);
    ASSERT_NE(sum->palette().color(QPalette::Text), QColor(255, 0, 0));
    // Each tick's look: R red on white, N normal, r red on the normal background.
    std::string looks;
    QObject::connect(timer, &QTimer::timeout, window.get(), [&] {
        const QPalette shown = sum->palette();
        const bool red = shown.color(QPalette::Text) == QColor(255, 0, 0);
        const bool white = shown.color(QPalette::Base) == QColor(Qt::white);
        looks += red ? (white ? 'R' : 'r') : 'N';
    });
    DropFiles(Find("Unit1_Panel"), {WriteFile("image.bin", 1024)});
    ASSERT_NE(sum->text(), "00000000");
    ASSERT_TRUE(timer->isActive());
    EXPECT_TRUE(WaitFor([&] { return !timer->isActive(); }, 3000));
    EXPECT_EQ(looks, "RNRNRNRNRrr");
    EXPECT_EQ(sum->palette().color(QPalette::Text), QColor(255, 0, 0));
}

TEST_F(WindowTest, DropsTakeTheFirstFileAndOnlySocketOneOfUnitOneLoadsIt) {
    Open("W25X10", "Winbond", "W25X10");
    const auto first = WriteFile("first.bin", 2048);
    const auto second = WriteFile("second.bin", 1024);
    const std::string bufferBefore = torq::test::ReadFile(home / "output.tmp");

    DropFiles(Find("Unit3_Socket2_Panel"), {first, second});
    EXPECT_EQ(Find<QLineEdit>("Unit3_WorkFile2_Edit")->text().toStdString(), first.string());
    EXPECT_TRUE(Find<QLineEdit>("Unit1_WorkFile1_Edit")->text().isEmpty());
    EXPECT_TRUE(Find<QLineEdit>("Unit3_WorkFile1_Edit")->text().isEmpty());
    EXPECT_TRUE(torq::test::ReadFile(home / "output.tmp") == bufferBefore);

    DropFiles(Find("Unit1_Panel"), {second, first});
    EXPECT_EQ(Find<QLineEdit>("Unit1_WorkFile1_Edit")->text().toStdString(), second.string());
    EXPECT_TRUE(torq::test::ReadFile(home / "output.tmp").substr(0, 1024) ==
                torq::test::ReadFile(second));
    EXPECT_NE(Find<QLineEdit>("Unit1_Sum1_Edit")->text(), "00000000");
}

TEST_F(WindowTest, BrowseAsksForAFileAndLoadsItThroughTheLoadDialog) {
    Open("W25X10", "Winbond", "W25X10");
    const auto file = WriteFile("browsed.bin", 512);
    files.answers.push_back(QString::fromStdString(file.string()));
    // The Load File dialog is modal: its OK is pressed once it shows.
    QTimer::singleShot(0, [] {
        if (!QTest::qWaitFor([] { return QApplication::activeModalWidget() != nullptr; }, 3000))
            return;
        if (QWidget* dialog = QApplication::activeModalWidget()) {
            if (auto* ok = dialog->findChild<QPushButton*>(QStringLiteral("OkButton")))
                ok->click();
        }
    });
    Find<QPushButton>("Unit1_Browse1_Button")->click();
    EXPECT_EQ(files.asked, 1);
    EXPECT_EQ(Find<QLineEdit>("Unit1_WorkFile1_Edit")->text().toStdString(), file.string());
    EXPECT_TRUE(torq::test::ReadFile(home / "output.tmp").substr(0, 512) ==
                torq::test::ReadFile(file));

    // Cancelled: nothing changes.
    Find<QPushButton>("Unit1_Browse1_Button")->click();
    EXPECT_EQ(files.asked, 2);
    EXPECT_EQ(Find<QLineEdit>("Unit1_WorkFile1_Edit")->text().toStdString(), file.string());
}

TEST_F(WindowTest, ExecuteAllEndsWithThePassImageAndLocksTheWindowWhileItRuns) {
    const auto file = WriteFile("image.bin", 8192);
    Open("W25X10", "Winbond", "W25X10", {file.string()});
    // While the run polls, the window is live but what cannot be used is disabled, and a second
    // click or a drop is refused.
    bool sawLock = false;
    bool typeBoxEnabled = true;
    bool tabsEnabled = true;
    QTimer probe;
    probe.setInterval(0);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (!window->Bench().Runs().Busy() || sawLock)
            return;
        sawLock = true;
        typeBoxEnabled = Find<QComboBox>("Unit1_Type_ComboBox")->isEnabled();
        tabsEnabled = Find<QTabBar>("Menu_TabBar")->isEnabled();
        Activate("Function_ExecuteAllMouseACTFilter_Label");
        Activate("Function_ReadMouseACTFilter_Label");
    });
    probe.start();
    Activate("Function_ExecuteAllMouseACTFilter_Label");
    probe.stop();

    EXPECT_TRUE(sawLock);
    EXPECT_FALSE(typeBoxEnabled);
    EXPECT_FALSE(tabsEnabled);
    EXPECT_TRUE(Find<QComboBox>("Unit1_Type_ComboBox")->isEnabled());
    EXPECT_TRUE(Shows("Status_ResultPass_Image"));
    EXPECT_FALSE(Shows("Status_ResultWait_Image"));
    for (const char* tile : {"Programmer_ErasePass_Image", "Programmer_CheckPass_Image",
                             "Programmer_ProgramPass_Image", "Programmer_VerifyPass_Image",
                             "Programmer_ProtectPass_Image", "Unit1_StatusLights1Green_Image"}) {
        EXPECT_TRUE(Shows(tile)) << tile;
    }
    EXPECT_EQ(Find<QProgressBar>("Unit1_ProgressBar")->value(), 100);
    const auto lines = Lines();
    const auto finished = std::find_if(lines.begin(), lines.end(), [](const std::string& l) {
        return l.starts_with("Finished with total time : ");
    });
    ASSERT_NE(finished, lines.end());
    EXPECT_EQ(std::count_if(finished, lines.end(),
                            [](const std::string& l) { return l.starts_with("Finished with"); }),
              1);
    // Under the verdict, the run's time is the log's figure, not one measured apart.
    const std::string seconds =
        finished->substr(std::string("Finished with total time : ").size(),
                         finished->size() - std::string("Finished with total time : ").size() -
                             std::string(" Sec.").size());
    EXPECT_EQ(Find<StatusPanel>("Status_ResultImage_Panel")->Detail().toStdString(),
              "Execute All \u00b7 " + seconds + " s");
    EXPECT_EQ(lines.back(), "Result : PASS");

    // "Outside Mode" moves the log into its own window; the verdict stays.
    Find<QPushButton>("InfoMessage_Mode_Panel")->click();
    EXPECT_FALSE(Shows("InfoMessage_Panel"));
    EXPECT_TRUE(Shows("Status_ResultPass_Image"));
}

// The programmer pulled out while Execute All programs: the run ends FAIL at Program and the
// status then shows OFFLINE with that verdict still readable under it; the Execute All button
// the operator clicked looks as unusable as it is.
TEST_F(WindowTest, AProgrammerPulledOutDuringARunLeavesItsVerdictUnderOffline) {
    const auto file = WriteFile("image.bin", 65536);
    Open("W25X10", "Winbond", "W25X10", {file.string()});
    simulator->UnplugAfter(400);  // in the middle of Program
    auto* label = Find("Function_ExecuteAllMouseACTFilter_Label");
    QTest::mouseMove(label, label->rect().center());
    QTest::mouseClick(label, Qt::LeftButton, {}, label->rect().center());
    ASSERT_TRUE(Logged("Result : FAIL [Program]"));
    EXPECT_TRUE(WaitFor([&] { return Shows("Status_ResultOffline_Image"); }));
    const std::string detail =
        Find<StatusPanel>("Status_ResultImage_Panel")->Detail().toStdString();
    EXPECT_NE(detail.find("last run FAIL at Program"), std::string::npos) << detail;
    EXPECT_TRUE(Shows("Function_ExecuteAllNorm_Image"));
    EXPECT_TRUE(Find<Tile>("Function_ExecuteAllImage_Panel")->Faded());
}

TEST_F(WindowTest, AFocusedTileRunsOnSpaceAndItsToolTipNamesTheShortcut) {
    const auto file = WriteFile("image.bin", 1024);
    Open("W25X10", "Winbond", "W25X10", {file.string()});
    auto* erase = Find("Programmer_EraseMouseACTFilter_Label");
    EXPECT_EQ(erase->focusPolicy(), Qt::StrongFocus);
    EXPECT_TRUE(erase->toolTip().contains("Erase")) << erase->toolTip().toStdString();
    EXPECT_TRUE(erase->toolTip().contains("Ctrl+2")) << erase->toolTip().toStdString();
    erase->setFocus();
    QTest::keyClick(erase, Qt::Key_Space);
    EXPECT_TRUE(Logged("Erase : Pass"));
    EXPECT_TRUE(Shows("Programmer_ErasePass_Image"));
    // The Load File tiles, pressed or clicked, open the Browse of socket 1 (as Ctrl+O does) and
    // keep showing that a file is loaded; a cancelled browse changes nothing.
    for (const char* label :
         {"Programmer_LoadFileMouseACTFilter_Label", "Emulator_LoadFileMouseACTFilter_Label"}) {
        SCOPED_TRACE(label);
        auto* loadFile = Find(label);
        EXPECT_EQ(loadFile->focusPolicy(), Qt::StrongFocus);
        EXPECT_TRUE(loadFile->toolTip().contains("Ctrl+O")) << loadFile->toolTip().toStdString();
        const int asked = files.asked;
        loadFile->setFocus();
        QTest::keyClick(loadFile, Qt::Key_Space);
        EXPECT_EQ(files.asked, asked + 1);
    }
    QTest::mouseClick(Find("Programmer_LoadFileMouseACTFilter_Label"), Qt::LeftButton);
    EXPECT_EQ(files.asked, 3);
    EXPECT_TRUE(Shows("Programmer_LoadFilePass_Image"));
    EXPECT_EQ(Find<QLineEdit>("Unit1_WorkFile1_Edit")->text().toStdString(), file.string());
}

TEST_F(WindowTest, EditShowsTheHexEditorOverTheBufferAndGivesTheWatchBackAfterwards) {
    const auto file = WriteFile("image.bin", 1024);
    Open("W25X10", "Winbond", "W25X10", {file.string()});
    ASSERT_TRUE(window->WatchTimer().IsEnabled());
    QString shown;
    bool watchDuring = true;
    QTimer::singleShot(0, [&] {
        if (!QTest::qWaitFor([] { return QApplication::activeModalWidget() != nullptr; }, 3000))
            return;
        QWidget* editor = QApplication::activeModalWidget();
        shown = editor->objectName();
        watchDuring = window->WatchTimer().IsEnabled();
        editor->close();
    });
    Activate("Function_EditMouseACTFilter_Label");
    EXPECT_EQ(shown, "EditForm");
    EXPECT_FALSE(watchDuring);
    EXPECT_TRUE(window->WatchTimer().IsEnabled());
}

TEST_F(WindowTest, AProgrammerPluggedInWhileTheWindowIsOpenIsFoundAndLaidOut) {
    Open("W25X10", "Winbond", "W25X10");
    ASSERT_EQ(window->Bench().ProgrammerCount(), 1);
    simulator->Unplug();
    ASSERT_TRUE(WaitFor([&] { return window->Bench().ProgrammerCount() == 0; }));
    EXPECT_TRUE(WaitFor([&] { return Shows("Status_ResultOffline_Image"); }));
    EXPECT_FALSE(Shows("Unit1_Panel"));

    simulator->Plug();
    ASSERT_TRUE(WaitFor([&] { return window->Bench().ProgrammerCount() == 1; }));
    EXPECT_TRUE(WaitFor([&] { return Shows("Status_ResultOnline_Image"); }));
    EXPECT_TRUE(Shows("Unit1_Panel"));
    EXPECT_FALSE(Shows("Operation_Offline_Label"));
}

TEST_F(WindowTest, AWatchedWorkFileIsReloadedAndProgrammedAfterAnEdit) {
    const auto file = WriteFile("watched.bin", 2048);
    Open("W25X10", "Winbond", "W25X10", {file.string()});
    window->Bench().SetRunOptions([](Options& options) {
        options.watchAutoReload = true;
        options.watchAutoProcedure = true;
    });
    Find<QTabBar>("Menu_TabBar")->setCurrentIndex(kEmulatorTabIndex);
    ASSERT_TRUE(Find<QCheckBox>("Emulator_Watch_CheckBox")->isChecked());
    ASSERT_TRUE(window->WatchTimer().IsEnabled());

    std::filesystem::last_write_time(
        file, std::filesystem::last_write_time(file) + std::chrono::seconds(5));
    ASSERT_TRUE(WaitFor([&] { return LoggedContaining("Finished with total time"); }));
    EXPECT_TRUE(Logged("Reset : Pass"));
    EXPECT_TRUE(Shows("Status_ResultPass_Image"));
    EXPECT_TRUE(op.messages.empty());
}

TEST_F(WindowTest, ClosingSavesTheHistoryAndEmptiesTheBuffer) {
    const auto file = WriteFile("image.bin", 1024);
    Open("W25X10", "Winbond", "W25X10", {file.string()});
    window->close();
    EXPECT_EQ(std::filesystem::file_size(home / "output.tmp"), 0u);
    const IniFile history(home / "History.ini");
    EXPECT_EQ(history.ReadString("Device1", "Socket1File"), file.string());
}

// SIGTERM while a question box is open: the box is answered as its Cancel button would answer
// it, and the window closes as on SIGTERM, with its saves.
TEST_F(WindowTest, SigtermAnswersAnOpenQuestionWithItsCancelAndCloses) {
    struct Boxes final : Operator {
        Answer Respond(const OperatorMessage& message) override {
            answers.push_back(boxes.Respond(message));
            return answers.back();
        }
        app::MessageBoxOperator boxes;
        std::vector<Answer> answers;
    } boxes;
    windowOperator = &boxes;
    const auto file = WriteFile("image.bin", 4096);
    Open("W25X10", "Winbond", "W25X10");
    boxes.boxes.SetParent(window.get());
    // The chip in the socket is not the selected device: Execute All asks Yes, Retry or Cancel.
    window->Bench().SelectDevice(1, "Winbond", "W25X20");
    window->Bench().UnitStates().SetWorkFile(1, 1, file.string());
    window->Bench().SetSocketEnabled(1, 1, true);
    const SignalEnding ending([this] { window->ShutDown(); });

    bool raised = false;
    bool leftOpen = false;
    QElapsedTimer sinceRaised;
    QTimer probe;
    probe.setInterval(10);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr)
            return;
        if (!raised) {
            raised = true;
            sinceRaised.start();
            ::raise(SIGTERM);
        } else if (sinceRaised.elapsed() > 3000) {
            leftOpen = true;  // not answered: closed here, so that the test ends
            box->close();
        }
    });
    probe.start();
    Activate("Function_ExecuteAllMouseACTFilter_Label");
    probe.stop();

    EXPECT_TRUE(raised);
    EXPECT_FALSE(leftOpen);
    EXPECT_EQ(boxes.answers, std::vector<Answer>{Answer::Cancel});
    EXPECT_FALSE(LoggedContaining("Start [Erase]"));
    EXPECT_TRUE(WaitFor([&] { return !window->isVisible(); }));
    EXPECT_EQ(std::filesystem::file_size(home / "output.tmp"), 0u);
    EXPECT_EQ(IniFile(home / "History.ini").ReadString("Device1", "Socket1File"), file.string());
}

// Once the program is ending, later questions are not shown: each gets its cancelling choice.
TEST(EndingOperatorTest, OnceEndingEveryQuestionGetsItsCancellingChoiceUnshown) {
    torq::test::ScriptedOperator boxes({}, Answer::Yes);
    EndingOperator asker(boxes);
    EXPECT_EQ(asker.Ask(Severity::Question, "asked", Buttons::YesNo), Answer::Yes);
    asker.SetEnding();
    const std::pair<Buttons, Answer> cases[] = {{Buttons::Ok, Answer::Ok},
                                                {Buttons::OkCancel, Answer::Cancel},
                                                {Buttons::YesNo, Answer::No},
                                                {Buttons::YesRetryCancel, Answer::Cancel}};
    for (const auto& [buttons, answer] : cases)
        EXPECT_EQ(asker.Ask(Severity::Question, "not asked", buttons), answer);
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"asked"});
}

// A home folder another program holds: the window says so once, naming the folder and the holder.
TEST_F(WindowTest, AFolderInUseIsRefusedInOneSentence) {
    Open("W25X10", "Winbond", "W25X10");
    const auto held =
        HomeLock::Acquire(ProgramDirectory::Portable(home.Path()), "torq-spi-cli load");
    ASSERT_TRUE(held.has_value());
    std::string problem;
    EXPECT_FALSE(window->LockHome(&problem));
    const std::string holder = "torq-spi-cli load (process " + std::to_string(::getpid()) + ")";
    EXPECT_EQ(problem, "the folder " + home.Path().string() + " is in use by " + holder);
    ASSERT_EQ(op.messages.size(), 1u);
    EXPECT_EQ(op.messages[0].severity, Severity::Error);
    EXPECT_EQ(op.messages[0].text,
              "The folder " + home.Path().string() + " is in use by " + holder + ".");
}

TEST_F(WindowTest, ClosingDuringARunAsksAndClosesWhenTheRunHasEnded) {
    const auto file = WriteFile("image.bin", 4096);
    Open("W25X10", "Winbond", "W25X10", {file.string()});
    // First asked: No, the run goes on; asked again: Yes, the run stops after its step.
    op = torq::test::ScriptedOperator({Answer::No, Answer::Yes});
    int closeRequests = 0;
    QTimer probe;
    probe.setInterval(0);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (!window->Bench().Runs().Busy() || closeRequests >= 2)
            return;
        ++closeRequests;
        window->close();
        EXPECT_TRUE(window->isVisible());
    });
    probe.start();
    Activate("Function_ExecuteAllMouseACTFilter_Label");
    probe.stop();
    EXPECT_EQ(closeRequests, 2);
    ASSERT_EQ(op.messages.size(), 2u);
    EXPECT_EQ(op.messages[0].buttons, Buttons::YesNo);
    EXPECT_TRUE(WaitFor([&] { return !window->isVisible(); }));
    // The run ended in order, then the close saved the history and emptied the buffer.
    EXPECT_TRUE(LoggedContaining("Finished with total time"));
    EXPECT_EQ(std::filesystem::file_size(home / "output.tmp"), 0u);
    EXPECT_EQ(IniFile(home / "History.ini").ReadString("Device1", "Socket1File"), file.string());
}

}  // namespace
}  // namespace torq::app::test

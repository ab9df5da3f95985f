// The Options tab's page over the workbench's options.
#include "torq/app/OptionsPage.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "DialogsFixture.h"

namespace torq::app::test {
namespace {

class OptionsPageTest : public WorkbenchFixture {
  protected:
    OptionsPageTest() : page(*bench, files) {
        page.show();
        page.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&page));
    }
    template <typename T>
    T* Control(const char* name) {
        return Find<T>(page, name);
    }
    // The reset requests (0xD2) the programmer received.
    std::vector<std::uint16_t> ResetLevelsSent() const {
        std::vector<std::uint16_t> values;
        for (const sim::SimTransfer& t : simulator->Log()) {
            if (t.request == 0xD2)
                values.push_back(t.value);
        }
        return values;
    }

    OptionsPage page;
};

TEST_F(OptionsPageTest, ShowsEveryControlWithTheDefaultsAndTheAboutTexts) {
    for (const char* name :
         {"Options_WatchAutoReload_CheckBox", "Options_WatchAutoProcedure_CheckBox",
          "Options_VerifyErrorsList_CheckBox", "Options_VerifyErrorsList_Edit",
          "Options_InfoMessageLimit_CheckBox", "Options_InfoMessageLimit_Edit",
          "Options_InfoMessageLimitSaveFile_RadioButton",
          "Options_InfoMessageLimitClearContent_RadioButton",
          "Options_InfoMessageLimitSaveFile_Edit", "Options_InfoMessageLimitSaveFile_Button",
          "Options_ResetNormHigh_RadioButton", "Options_ResetNormLow_RadioButton",
          "Options_ResetTime_Edit", "Options_ResetTime_Label", "Options_AboutSWVerValue_Label",
          "Options_AboutFWVerValue_Label", "Options_AboutDevLibValue_Label"}) {
        QWidget* control = Control<QWidget>(name);
        ASSERT_NE(control, nullptr);
        EXPECT_TRUE(control->isVisible()) << name;
    }
    // Hidden in this release, but present.
    for (const char* name : {"Options_Erase_GroupBox", "Options_SendTo_GroupBox",
                             "Options_FileAssociations_GroupBox", "Options_NOVUHyperlink_Label"}) {
        QWidget* control = Control<QWidget>(name);
        ASSERT_NE(control, nullptr);
        EXPECT_FALSE(control->isVisible()) << name;
    }

    // A History.ini without an "Option" section gives the defaults.
    EXPECT_FALSE(Control<QCheckBox>("Options_WatchAutoReload_CheckBox")->isChecked());
    EXPECT_TRUE(Control<QCheckBox>("Options_VerifyErrorsList_CheckBox")->isChecked());
    EXPECT_EQ(Control<QLineEdit>("Options_VerifyErrorsList_Edit")->text(), "100");
    EXPECT_TRUE(Control<QCheckBox>("Options_InfoMessageLimit_CheckBox")->isChecked());
    EXPECT_EQ(Control<QLineEdit>("Options_InfoMessageLimit_Edit")->text(), "5000");
    EXPECT_TRUE(
        Control<QRadioButton>("Options_InfoMessageLimitClearContent_RadioButton")->isChecked());
    EXPECT_EQ(Control<QLineEdit>("Options_InfoMessageLimitSaveFile_Edit")->text(),
              ".Information.log");
    EXPECT_TRUE(Control<QRadioButton>("Options_ResetNormHigh_RadioButton")->isChecked());
    EXPECT_EQ(Control<QLineEdit>("Options_ResetTime_Edit")->text(), "500");

    EXPECT_EQ(Control<QLabel>("Options_AboutSWVerValue_Label")->text().toStdString(),
              VersionText(TORQ_VERSION));
    EXPECT_EQ(Control<QLabel>("Options_AboutFWVerValue_Label")->text().toStdString(),
              bench->FirmwareVersion());
    EXPECT_NE(bench->FirmwareVersion(), "None");
    EXPECT_EQ(Control<QLabel>("Options_AboutDevLibValue_Label")->text().toStdString(),
              bench->LibraryDate());
}

TEST_F(OptionsPageTest, NumericFieldsCorrectWhileTypingAndWhenLeft) {
    struct Case {
        const char* name;
        std::string* text;
        int* value;
        const char* defaultText;  // shown after typing 0 into the emptied field
        const char* typed;        // then typed into the emptied field and left
        const char* left;         // what the field holds after leaving it
        bool refocus;
    };
    OptionFieldTexts& texts = bench->OptionFields();
    Options& options = bench->Settings();
    const Case cases[] = {
        {"Options_VerifyErrorsList_Edit", &texts.verifyErrorsList, &options.verifyErrorsListLimit,
         "100", "7x", "7", false},
        {"Options_VerifyErrorsList_Edit", &texts.verifyErrorsList, &options.verifyErrorsListLimit,
         "100", "12345", "123", false},
        {"Options_ResetTime_Edit", &texts.resetTime, &options.resetTimeMs, "500", "20", "50", true},
        {"Options_InfoMessageLimit_Edit", &texts.infoMessageLimit, &options.infoMessageLimit,
         "5000", "499", "500", true},
        {"Options_InfoMessageLimit_Edit", &texts.infoMessageLimit, &options.infoMessageLimit,
         "5000", "99999", "99999", false},
    };
    auto* elsewhere = Control<QCheckBox>("Options_WatchAutoReload_CheckBox");
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + c.typed);
        QLineEdit* field = Control<QLineEdit>(c.name);
        field->setFocus();
        field->selectAll();
        QTest::keyClick(field, Qt::Key_0);
        EXPECT_EQ(field->text(), c.defaultText);
        EXPECT_EQ(*c.text, c.defaultText);
        // The default is selected: the next keys replace it.
        QTest::keyClicks(field, c.typed);
        elsewhere->setFocus();
        EXPECT_EQ(field->text(), c.left);
        EXPECT_EQ(*c.text, c.left);
        EXPECT_EQ(*c.value, std::stoi(c.left));
        if (c.refocus)
            QTRY_VERIFY(field->hasFocus());
        else
            EXPECT_TRUE(elsewhere->hasFocus());
    }
}

TEST_F(OptionsPageTest, ChoicesReachTheWorkbenchAndEnableTheirFields) {
    const Options& options = bench->Settings();
    Control<QCheckBox>("Options_WatchAutoReload_CheckBox")->click();
    Control<QCheckBox>("Options_WatchAutoProcedure_CheckBox")->click();
    EXPECT_TRUE(options.watchAutoReload);
    EXPECT_TRUE(options.watchAutoProcedure);

    Control<QCheckBox>("Options_VerifyErrorsList_CheckBox")->click();
    EXPECT_FALSE(options.verifyErrorsListLimited);
    EXPECT_FALSE(Control<QLineEdit>("Options_VerifyErrorsList_Edit")->isEnabled());

    // The limit group: field and choices with the box, the file with "Save to file" as well.
    auto* limit = Control<QCheckBox>("Options_InfoMessageLimit_CheckBox");
    auto* saveFile = Control<QRadioButton>("Options_InfoMessageLimitSaveFile_RadioButton");
    auto* fileEdit = Control<QLineEdit>("Options_InfoMessageLimitSaveFile_Edit");
    auto* browse = Control<QPushButton>("Options_InfoMessageLimitSaveFile_Button");
    const auto enabled = [&] {
        return std::vector<bool>{
            Control<QLineEdit>("Options_InfoMessageLimit_Edit")->isEnabled(), saveFile->isEnabled(),
            Control<QRadioButton>("Options_InfoMessageLimitClearContent_RadioButton")->isEnabled(),
            fileEdit->isEnabled(), browse->isEnabled()};
    };
    EXPECT_EQ(enabled(), (std::vector<bool>{true, true, true, false, false}));
    limit->click();
    EXPECT_FALSE(options.infoMessageLimited);
    EXPECT_EQ(enabled(), (std::vector<bool>{false, false, false, false, false}));
    limit->click();
    saveFile->click();
    EXPECT_TRUE(options.infoMessageLimitSavesToFile);
    EXPECT_EQ(enabled(), (std::vector<bool>{true, true, true, true, true}));

    const QString chosen = QString::fromStdString((home / "trimmed.log").string());
    files.answers = {chosen, QString()};
    browse->click();
    EXPECT_EQ(fileEdit->text(), chosen);
    EXPECT_EQ(options.infoMessageLimitSaveFile, chosen.toStdString());
    ASSERT_EQ(files.requests.size(), 1u);
    EXPECT_EQ(files.requests[0].defaultSuffix, "log");
    EXPECT_EQ(files.requests[0].filter, "log file (*.log)");
    browse->click();  // cancelled: the file stays
    EXPECT_EQ(fileEdit->text(), chosen);

    // The reset level goes to the programmer at once: 1 for Normal Low, 0 for Normal High.
    simulator->EnableLog(true);
    Control<QRadioButton>("Options_ResetNormLow_RadioButton")->click();
    EXPECT_FALSE(options.resetNormalHigh);
    Control<QRadioButton>("Options_ResetNormHigh_RadioButton")->click();
    EXPECT_TRUE(options.resetNormalHigh);
    EXPECT_EQ(ResetLevelsSent(), (std::vector<std::uint16_t>{1, 0}));

    // Showing the options again sends nothing.
    bench->Settings().resetNormalHigh = false;
    page.SyncFromModel();
    EXPECT_TRUE(Control<QRadioButton>("Options_ResetNormLow_RadioButton")->isChecked());
    EXPECT_EQ(ResetLevelsSent().size(), 2u);
}

}  // namespace
}  // namespace torq::app::test

// The Options tab's page over the workbench's options.
#include "torq/app/OptionsPage.h"

#include <QCheckBox>
#include <QEnterEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>
#include <QTreeWidget>

#include "../../desktop/DesktopTestSupport.h"
#include "DialogsFixture.h"
#include "torq/desktop/FileAssociations.h"
#include "torq/desktop/SendTo.h"
#include "torq/workflow/ProductionRecorder.h"

namespace torq::app::test {
namespace {

namespace fs = std::filesystem;

class OptionsPageTest : public WorkbenchFixture {
  protected:
    OptionsPageTest() : page(*bench, files, desktop) {
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

    // The desktop group works on a scratch home and system folder, never on the real desktop.
    torq::test::RecordingTools tools;
    RecordingLinks links;
    DesktopSeams desktop{torq::test::ScratchFolders(home), "/opt/torq/torq-spi", tools, links};
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
          "Options_AboutFWVerValue_Label", "Options_AboutDevLibValue_Label",
          "Options_FileAssociations_GroupBox", "Options_NOVUHyperlink_Label"}) {
        QWidget* control = Control<QWidget>(name);
        ASSERT_NE(control, nullptr);
        EXPECT_TRUE(control->isVisible()) << name;
    }
    // Hidden in this release, but present.
    for (const char* name : {"Options_Erase_GroupBox", "Options_SendTo_GroupBox"}) {
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
    EXPECT_EQ(Control<QLabel>("Options_ResetTime_Label")->text(), "(Between 50 - 9999 (mS))");

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
        const std::string* text;
        const int* value;
        const char* defaultText;  // shown after typing 0 into the emptied field
        const char* typed;        // then typed into the emptied field and left
        const char* left;         // what the field holds after leaving it
        bool refocus;
        const char* key;  // where History.ini keeps it
    };
    const OptionFieldTexts& texts = bench->OptionFields();
    const Options& options = bench->Settings();
    const Case cases[] = {
        {"Options_VerifyErrorsList_Edit", &texts.verifyErrorsList, &options.verifyErrorsListLimit,
         "100", "7x", "7", false, "VerifyErrorsList_Text"},
        {"Options_VerifyErrorsList_Edit", &texts.verifyErrorsList, &options.verifyErrorsListLimit,
         "100", "12345", "123", false, "VerifyErrorsList_Text"},
        {"Options_ResetTime_Edit", &texts.resetTime, &options.resetTimeMs, "500", "20", "50", true,
         "ResetTime_Text"},
        {"Options_InfoMessageLimit_Edit", &texts.infoMessageLimit, &options.infoMessageLimit,
         "5000", "499", "500", true, "InfoMessageLimit_Text"},
        {"Options_InfoMessageLimit_Edit", &texts.infoMessageLimit, &options.infoMessageLimit,
         "5000", "99999", "99999", false, "InfoMessageLimit_Text"},
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
        // Left with a new value: in History.ini at once.
        EXPECT_EQ(IniFile(home / "History.ini").ReadInteger("Option", c.key, -1),
                  std::stoi(c.left));
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

    // Every choice is in History.ini at once, not only at closing.
    const auto stored = [&](const char* key) {
        return IniFile(home / "History.ini").ReadInteger("Option", key, -1);
    };
    for (const auto& [key, value] :
         std::vector<std::pair<const char*, int>>{{"WatchAutoReload_Checked", 1},
                                                  {"WatchAutoProcedure_Checked", 1},
                                                  {"VerifyErrorsList_Checked", 0},
                                                  {"InfoMessageLimit_Checked", 1},
                                                  {"InfoMessageLimit_RChecked", 1}}) {
        EXPECT_EQ(stored(key), value) << key;
    }
    EXPECT_EQ(IniFile(home / "History.ini").ReadString("Option", "InfoMessageLimitSaveFile_Text"),
              chosen.toStdString());

    // The reset level goes to the programmer at once: 1 for Normal Low, 0 for Normal High.
    simulator->EnableLog(true);
    Control<QRadioButton>("Options_ResetNormLow_RadioButton")->click();
    EXPECT_FALSE(options.resetNormalHigh);
    EXPECT_EQ(stored("ResetNorm_RChecked"), 0);
    Control<QRadioButton>("Options_ResetNormHigh_RadioButton")->click();
    EXPECT_TRUE(options.resetNormalHigh);
    EXPECT_EQ(ResetLevelsSent(), (std::vector<std::uint16_t>{1, 0}));
    EXPECT_EQ(stored("ResetNorm_RChecked"), 1);

    // Showing the options again sends nothing.
    bench->SetRunOptions([](Options& o) { o.resetNormalHigh = false; });
    page.SyncFromModel();
    EXPECT_TRUE(Control<QRadioButton>("Options_ResetNormLow_RadioButton")->isChecked());
    EXPECT_EQ(ResetLevelsSent().size(), 2u);
}

// What the association group shows: the extension field, the description field, the two
// buttons and the list's rows ("extension=description").
struct AssociationView {
    QString extension;
    QString description;
    QString addCaption;
    bool addEnabled;
    bool removeEnabled;
    QStringList rows;
    bool operator==(const AssociationView&) const = default;
};

std::ostream& operator<<(std::ostream& out, const AssociationView& v) {
    return out << "{" << v.extension.toStdString() << " | " << v.description.toStdString() << " | "
               << v.addCaption.toStdString() << (v.addEnabled ? " on" : " off") << " | remove"
               << (v.removeEnabled ? " on" : " off") << " | "
               << v.rows.join(QStringLiteral(", ")).toStdString() << "}";
}

class AssociationGroupTest : public OptionsPageTest {
  protected:
    AssociationView View() {
        AssociationView view{extension->text(), description->text(), add->text(),
                             add->isEnabled(),  remove->isEnabled(), {}};
        auto* list = Control<QTreeWidget>("Options_FileAssociations_ListBox");
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            view.rows << list->topLevelItem(i)->text(0) + "=" + list->topLevelItem(i)->text(1);
        return view;
    }
    // Types into the extension field as the operator does, after emptying it.
    void TypeExtension(const char* keys) {
        extension->setFocus();
        extension->selectAll();
        QTest::keyClick(extension, Qt::Key_Backspace);
        QTest::keyClicks(extension, QString::fromUtf8(keys));
    }
    void Answer(std::deque<torq::Answer> answers) { op = ScriptedOperator(std::move(answers)); }

    QLineEdit* extension = Control<QLineEdit>("Options_FileAssociationsExtension_Edit");
    QLineEdit* description = Control<QLineEdit>("Options_FileAssociationsDescription_Edit");
    QPushButton* add = Control<QPushButton>("Options_FileAssociationsAdd_Button");
    QPushButton* remove = Control<QPushButton>("Options_FileAssociationsRemove_Button");
    const QString kAdd = QStringLiteral("加入");
    const QString kReplace = QStringLiteral("取代");
};

TEST_F(AssociationGroupTest, AddReplaceAndRemoveWithTheButtonsFollowingTheField) {
    EXPECT_EQ(View(), (AssociationView{"", "", kAdd, false, false, {}}));
    TypeExtension(".H E\"X");  // lower case, no leading ".", no blanks or quotes
    EXPECT_EQ(View(), (AssociationView{"hex", "", kAdd, true, false, {}}));
    TypeExtension("a.");  // not an extension the desktop can match
    EXPECT_EQ(View(), (AssociationView{"a.", "", kAdd, false, false, {}}));

    TypeExtension("hex");
    description->setText(QStringLiteral("Intel HEX <file>"));
    add->click();
    EXPECT_TRUE(op.messages.empty()) << "no question for a new extension";
    const AssociationView registered{"hex", "Intel HEX <file>",      kReplace, true,
                                     true,  {"hex=Intel HEX <file>"}};
    EXPECT_EQ(View(), registered);
    const fs::path package = home / "home/.local/share/mime/packages/torq-spi-hex.xml";
    EXPECT_NE(torq::test::ReadFile(package).find("Intel HEX &lt;file&gt;"), std::string::npos);
    ASSERT_FALSE(tools.calls.empty());
    EXPECT_EQ(tools.calls[0].front(), "update-mime-database");

    // While typing, the buttons and the description follow the field.
    QTest::keyClick(extension, Qt::Key_Backspace);
    EXPECT_EQ(View(), (AssociationView{"he", "", kAdd, true, false, {"hex=Intel HEX <file>"}}));
    QTest::keyClick(extension, Qt::Key_X);
    EXPECT_EQ(View(), registered);

    // Replacing asks twice; No to either keeps the registration and what was typed.
    for (const auto& answers :
         {std::deque{torq::Answer::No}, {torq::Answer::Yes, torq::Answer::No}}) {
        Answer(answers);
        description->setText(QStringLiteral("HEX"));
        add->click();
        EXPECT_EQ(op.Texts().size(), answers.size());
        EXPECT_EQ(View().rows, registered.rows);
        EXPECT_EQ(description->text(), "HEX");
    }
    Answer({torq::Answer::Yes, torq::Answer::Yes});
    add->click();
    EXPECT_EQ(op.Texts(), (std::vector<std::string>{std::string(kAssociationReplaceQuestion),
                                                    std::string(kAssociationReplaceConfirmation)}));
    EXPECT_EQ(View(), (AssociationView{"hex", "HEX", kReplace, true, true, {"hex=HEX"}}));

    // Picking a row fills the fields; removing asks first.
    TypeExtension("");
    QTreeWidget* list = Control<QTreeWidget>("Options_FileAssociations_ListBox");
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(list->topLevelItem(0)).center());
    EXPECT_EQ(View(), (AssociationView{"hex", "HEX", kReplace, true, true, {"hex=HEX"}}));
    Answer({torq::Answer::No});
    remove->click();
    EXPECT_TRUE(fs::exists(package));
    Answer({torq::Answer::Yes});
    remove->click();
    EXPECT_EQ(op.Texts(), std::vector<std::string>{std::string(kAssociationRemoveQuestion)});
    EXPECT_FALSE(fs::exists(package));
    EXPECT_EQ(View(), (AssociationView{"hex", "", kAdd, true, false, {}}));
}

TEST_F(AssociationGroupTest, FailuresKeepTheFieldsAndAnotherProgramsTypeIsReplacedNotRemoved) {
    // A data home where the MIME folder cannot be made: told, and nothing typed is lost.
    const fs::path blocked = home.Write("home/.local/share/mime/packages", "not a folder");
    TypeExtension("bin");
    description->setText(QStringLiteral("Raw image"));
    add->click();
    ASSERT_EQ(op.messages.size(), 1u);
    EXPECT_EQ(op.messages[0].severity, Severity::Error);
    EXPECT_TRUE(op.messages[0].text.starts_with(
        "The file association of \".bin\" cannot be registered: cannot create"))
        << op.messages[0].text;
    EXPECT_EQ(View(), (AssociationView{"bin", "Raw image", kAdd, true, false, {}}));
    fs::remove(blocked);

    // The system gives ".srec" a type of its own: shown, replaced after the questions, and only
    // our registration can be removed.
    home.Write("system/mime/globs2", "50:text/x-srecord:*.srec\n");
    home.Write("system/mime/text/x-srecord.xml",
               "<mime-type type=\"text/x-srecord\"><comment>Motorola S-record</comment>"
               "</mime-type>");
    TypeExtension("SREC");
    EXPECT_EQ(View(), (AssociationView{"srec", "Motorola S-record", kReplace, true, false, {}}));
    Answer({torq::Answer::Yes, torq::Answer::Yes});
    add->click();
    EXPECT_EQ(op.Texts().size(), 2u);
    EXPECT_EQ(View(),
              (AssociationView{
                  "srec", "Motorola S-record", kReplace, true, true, {"srec=Motorola S-record"}}));
}

TEST_F(OptionsPageTest, ProductionRecordGroupStoresItsChoicesInHistoryIni) {
    auto* stop = Control<QCheckBox>("Options_ProductionRecordStop_CheckBox");
    auto* station = Control<QLineEdit>("Options_Station_Edit");
    EXPECT_TRUE(stop->isChecked());
    EXPECT_EQ(station->placeholderText().toStdString(), HostName());
    stop->click();
    station->setText("line\t3");
    emit station->editingFinished();
    Control<QSpinBox>("Options_RecordMaxDays_Edit")->setValue(90);
    Control<QSpinBox>("Options_RecordMaxMiB_Edit")->setValue(512);

    const Options& options = bench->Settings();
    EXPECT_FALSE(options.recordStopsRun);
    EXPECT_EQ(options.station, "line3");  // control characters are taken out
    EXPECT_EQ(options.recordMaxDays, 90);
    EXPECT_EQ(options.recordMaxMiB, 512);
    IniFile ini(home / "History.ini");
    EXPECT_EQ(ini.ReadInteger("Option", "ProductionRecordStop_Checked", -1), 0);
    EXPECT_EQ(ini.ReadString("Option", "ProductionStation_Text", ""), "line3");
    EXPECT_EQ(ini.ReadInteger("Option", "ProductionRecordMaxDays_Text", -1), 90);
    EXPECT_EQ(ini.ReadInteger("Option", "ProductionRecordMaxMiB_Text", -1), 512);
}

TEST_F(OptionsPageTest, SendToBoxCreatesAndDeletesTheEntryAndTellsWhatFails) {
    // This release hides the group; shown, it works.
    auto* group = Control<QGroupBox>("Options_SendTo_GroupBox");
    group->show();
    auto* box = Control<QCheckBox>("Options_SendTo_CheckBox");
    EXPECT_EQ(box->text(), QStringLiteral("設置程式捷徑至系統介面 [SendTo]"));
    EXPECT_FALSE(box->isChecked());
    const fs::path applications = home / "home/.local/share/applications";
    const fs::path entry = applications / "TORQ-SPI/TORQ-SPI.desktop";

    box->click();
    EXPECT_TRUE(box->isChecked());
    EXPECT_NE(torq::test::ReadFile(entry).find("Exec=\"/opt/torq/torq-spi\" %f"),
              std::string::npos);
    box->click();
    EXPECT_FALSE(box->isChecked());
    EXPECT_FALSE(fs::exists(entry));
    EXPECT_TRUE(op.messages.empty());

    // Each failure is told, and the box goes back to what is on disk.
    struct Case {
        const char* what;
        std::function<void()> arrange;
        bool startChecked;
        std::string_view message;
    };
    const Case cases[] = {
        {"a file where our folder goes",
         [&] { home.Write("home/.local/share/applications/TORQ-SPI", ""); }, false,
         kSendToCannotCreate},
        {"a folder where the entry is",
         [&] {
             fs::remove(applications / "TORQ-SPI");
             home.Write("home/.local/share/applications/TORQ-SPI/TORQ-SPI.desktop/inside", "");
         },
         true, kSendToCannotDelete},
        {"a data home that is a file",
         [&] {
             fs::remove_all(home / "home/.local/share");
             home.Write("home/.local/share", "");
         },
         false, kSendToFolderNotFound},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.arrange();
        box->setChecked(c.startChecked);
        op = ScriptedOperator();
        box->click();
        EXPECT_EQ(op.Texts(), std::vector<std::string>{std::string(c.message)});
        EXPECT_EQ(box->isChecked(), c.startChecked);
    }
}

TEST_F(OptionsPageTest, MakerLabelUnderlinesUnderTheMouseAndOpensItsAddress) {
    auto* label = Control<QLabel>("Options_NOVUHyperlink_Label");
    ASSERT_TRUE(label->isVisible());
    const QUrl address = MakerAddress();
    EXPECT_TRUE(address.isValid());
    EXPECT_TRUE(address.scheme().startsWith(QStringLiteral("http")))
        << address.toString().toStdString();
    EXPECT_EQ(label->toolTip(), address.toString());

    EXPECT_FALSE(label->font().underline());
    QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), label->mapToGlobal(QPointF(2, 2)));
    QApplication::sendEvent(label, &enter);
    EXPECT_TRUE(label->font().underline());
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(label, &leave);
    EXPECT_FALSE(label->font().underline());

    QTest::mouseClick(label, Qt::LeftButton);
    EXPECT_EQ(links.opened, std::vector<QUrl>{address});
    EXPECT_TRUE(op.messages.empty());

    // The keyboard reaches it too; a desktop without a browser is told.
    links.opens = false;
    label->setFocus();
    QTest::keyClick(label, Qt::Key_Space);
    EXPECT_EQ(links.opened.size(), 2u);
    ASSERT_EQ(op.messages.size(), 1u);
    EXPECT_NE(op.messages[0].text.find(address.toString().toStdString()), std::string::npos);
}

}  // namespace
}  // namespace torq::app::test

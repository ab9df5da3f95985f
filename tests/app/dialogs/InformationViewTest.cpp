// The information views over the workbench's log: the mirror, the line limit, clear, save, the
// separate window and the look of the lines.
#include "torq/app/InformationView.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

#include "DialogsFixture.h"
#include "torq/workflow/Tabs.h"

namespace torq::app::test {
namespace {

class InformationViewTest : public WorkbenchFixture {
  protected:
    InformationViewTest()
        : docked(bench->Log(), files, op, InformationPlace::Docked), window(*bench, files) {
        bench->Log().Clear();
        docked.resize(700, 300);
        docked.show();
    }
    static QStringList Blocks(const InformationView& view) {
        return view.Memo()->Text().split(QLatin1Char('\n'));
    }
    InformationView docked;
    InformationWindow window;
};

TEST_F(InformationViewTest, BothViewsMirrorTheLogAndTheLimitTrimsThem) {
    for (int i = 1; i <= 600; ++i)
        bench->Log().WriteInfoLine("line " + std::to_string(i), false);
    EXPECT_EQ(docked.LineCount(), 600);
    EXPECT_EQ(window.View()->LineCount(), 600);
    EXPECT_EQ(Blocks(docked).front(), "line 1");
    EXPECT_EQ(Blocks(docked).back(), "line 600");
    EXPECT_EQ(window.View()->Memo()->Text(), docked.Memo()->Text());

    // The timer trims while the limit is on and the Options tab is not shown: the marker and the
    // lines after the oldest 500 stay, in both views.
    bench->SetOptionFieldText(OptionField::InfoMessageLimit, "500");
    LineLimitTimer limit(*bench);
    limit.Sync();
    EXPECT_EQ(limit.Timer().objectName(), "InfoMessageLimit_Timer");
    EXPECT_EQ(limit.Timer().interval(), 500);
    ASSERT_TRUE(limit.Timer().isActive());
    QTRY_COMPARE_WITH_TIMEOUT(docked.LineCount(), 101, 3000);
    const QStringList kept = Blocks(docked);
    EXPECT_EQ(kept[0], "<--- Information Lines Limited --->");
    EXPECT_EQ(kept[1], "line 501");
    EXPECT_EQ(kept.back(), "line 600");
    EXPECT_EQ(window.View()->Memo()->Text(), docked.Memo()->Text());
    // New lines go on after the trim.
    bench->Log().WriteInfoLine("line 601", false);
    EXPECT_EQ(Blocks(*window.View()).back(), "line 601");

    bench->ChangeTab(kOptionsTabIndex);
    limit.Sync();
    EXPECT_FALSE(limit.Timer().isActive());
    bench->ChangeTab(kProgrammerTabIndex);
    bench->SetRunOptions([](Options& o) { o.infoMessageLimited = false; });
    limit.Sync();
    EXPECT_FALSE(limit.Timer().isActive());
}

TEST_F(InformationViewTest, PanelsClearSaveAndSwitchTheMode) {
    EXPECT_EQ(Find<QLabel>(docked, "InfoMessage_Times_Label")->text(), "Times");
    EXPECT_EQ(Find<QLabel>(docked, "InfoMessage_Status_Label")->text(), "Status");
    EXPECT_EQ(Find<QPushButton>(docked, "InfoMessage_Mode_Panel")->text(), "Outside Mode");
    EXPECT_EQ(Find<QPushButton>(*window.View(), "InfoMessage_Mode_Panel")->text(), "Inside Mode");
    EXPECT_EQ(window.windowTitle(), "Information");
    EXPECT_EQ(window.objectName(), "TInfoMessageForm");

    bench->Log().WriteInfoLine("Erase : Pass");
    bench->Log().WriteInfoLine("second line", false);
    const auto saved = home / "saved.log";
    files.answers = {QString::fromStdString(saved.string()),
                     QString::fromStdString((home / "no-such-folder" / "x.log").string())};
    Find<QPushButton>(docked, "InfoMessage_Save_Panel")->click();
    ASSERT_EQ(files.requests.size(), 1u);
    EXPECT_EQ(files.requests[0].defaultSuffix, "log");
    EXPECT_EQ(files.requests[0].filter, "log file (*.log)");
    EXPECT_EQ(torq::test::ReadFile(saved),
              "=============================================\n"
              "             Status Information             \n"
              "=============================================\n"
              "2011/05/04 13:07:09 : Erase : Pass\n"
              "second line\n");
    // A file that cannot be written is told, not passed over.
    Find<QPushButton>(*window.View(), "InfoMessage_Save_Panel")->click();
    ASSERT_EQ(op.messages.size(), 1u);
    EXPECT_EQ(op.messages[0].severity, Severity::Warning);
    EXPECT_NE(op.messages[0].text.find("could not be saved"), std::string::npos);

    Find<QPushButton>(*window.View(), "InfoMessage_Clear_Panel")->click();
    EXPECT_TRUE(bench->Log().Lines().empty());
    EXPECT_EQ(docked.LineCount(), 0);
    EXPECT_EQ(window.View()->LineCount(), 0);

    // Outside: the window shows and the docked panel goes; Inside or closing brings it back.
    QSignalSpy place(&window, &InformationWindow::placeChanged);
    const auto dockedShown = [&] { return bench->Board().IsVisible(control::kInfoMessagePanel); };
    ASSERT_TRUE(dockedShown());
    window.ShowSeparately();
    EXPECT_TRUE(window.isVisible());
    EXPECT_FALSE(dockedShown());
    Find<QPushButton>(*window.View(), "InfoMessage_Mode_Panel")->click();
    EXPECT_FALSE(window.isVisible());
    EXPECT_TRUE(dockedShown());
    window.ShowSeparately();
    window.close();
    EXPECT_FALSE(window.isVisible());
    EXPECT_TRUE(dockedShown());
    ASSERT_EQ(place.size(), 4);
    EXPECT_EQ(place[0][0].toBool(), true);
    EXPECT_EQ(place[3][0].toBool(), false);
}

TEST_F(InformationViewTest, VerdictsAreColouredStampsDimmedAndTheNewestLineInView) {
    bench->Log().WriteInfoLine("Erase : Pass");
    bench->Log().WriteInfoLine("Verify : Fail");
    bench->Log().WriteInfoLine("Good option : -h\nUsage : torq-spi [option(s)...] [filename]\n");
    const LogLinesView& memo = *docked.Memo();
    ASSERT_EQ(memo.RowCount(), 4);  // the two-line entry gives two rows
    EXPECT_EQ(memo.RowText(0), "2011/05/04 13:07:09 : Erase : Pass");
    EXPECT_EQ(memo.RowText(3), "Usage : torq-spi [option(s)...] [filename]");

    const QColor text = memo.palette().color(QPalette::Text);
    const LogLinesView::RowLook pass = memo.LookOf(0);
    EXPECT_EQ(pass.stampLength, 22);
    EXPECT_NE(pass.stamp, text);
    EXPECT_TRUE(pass.bold);
    EXPECT_GT(pass.message.green(), pass.message.red());
    const LogLinesView::RowLook fail = memo.LookOf(1);
    EXPECT_TRUE(fail.bold);
    EXPECT_GT(fail.message.red(), fail.message.green());
    const LogLinesView::RowLook plain = memo.LookOf(2);
    EXPECT_FALSE(plain.bold);
    EXPECT_EQ(plain.message, text);
    EXPECT_EQ(memo.LookOf(3).stampLength, 0);  // a continuation row has no stamp

    // Ctrl+A, Ctrl+C copies the rows as they read.
    docked.Memo()->setFocus();
    QTest::keySequence(docked.Memo(), QKeySequence::SelectAll);
    QTest::keySequence(docked.Memo(), QKeySequence::Copy);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), memo.Text());

    // The view follows new lines, unless the operator scrolled up to read.
    for (int i = 0; i < 300; ++i)
        bench->Log().WriteInfoLine("line " + std::to_string(i));
    QScrollBar* bar = docked.Memo()->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum());
    EXPECT_EQ(memo.RowText(memo.FirstVisibleRow() + bar->pageStep() - 1),
              "2011/05/04 13:07:09 : line 299");
    bar->setValue(0);
    bench->Log().WriteInfoLine("one more");
    EXPECT_EQ(bar->value(), 0);
}

}  // namespace
}  // namespace torq::app::test

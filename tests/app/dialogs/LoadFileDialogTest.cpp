// The Load File dialog and the progress window over the workbench's load.
#include "torq/app/LoadFileDialog.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include "DialogsFixture.h"
#include "torq/app/ProgressWindow.h"

namespace torq::app::test {
namespace {

class LoadFileDialogTest : public WorkbenchFixture {
  protected:
    // Replaces a field's text by typing, as the operator does after selecting it.
    static void Retype(QLineEdit* field, const QString& keys) {
        field->selectAll();
        if (keys.isEmpty())
            QTest::keyClick(field, Qt::Key_Backspace);
        else
            QTest::keyClicks(field, keys);
    }
    std::string Buffer() const { return torq::test::ReadFile(home / "output.tmp"); }
};

TEST_F(LoadFileDialogTest, FieldsNormaliseWhileTypingAndFollowTheFormat) {
    const auto file = WriteBytes("image.bin", 0x100);
    bench->PrepareLoad(1, 1, file);
    LoadFileDialog dialog(*bench, nullptr);
    dialog.SyncFromState();
    dialog.show();
    EXPECT_EQ(dialog.windowTitle(), "Load File");
    EXPECT_EQ(Find<QLineEdit>(dialog, "FilePathEdit")->text().toStdString(), file.string());
    auto* start = Find<QLineEdit>(dialog, "Src_StartAddEdit");
    auto* end = Find<QLineEdit>(dialog, "Src_EndAddEdit");
    auto* destination = Find<QLineEdit>(dialog, "Dest_StartAddEdit");
    auto* fill = Find<QLineEdit>(dialog, "UnusedFillEdit");
    EXPECT_EQ(start->text(), "00000000");
    EXPECT_EQ(end->text(), "000000FF");
    EXPECT_EQ(destination->text(), "00000000");
    EXPECT_EQ(fill->text(), "FF");
    EXPECT_TRUE(Find<QCheckBox>(dialog, "UnusedFillCheckBox")->isChecked());

    // The seven formats in order; the source range only for the executable and binary ones.
    const auto radios = Find<QGroupBox>(dialog, "FormatRadioGroup")->findChildren<QRadioButton*>();
    const char* captions[] = {"Auto Detect",           "MS-DOS fn.exe", "MS-DOS fn.com",
                              "Binary / Machine Code", "Intel  HEX",    "Motorola HEX",
                              "Tektlonix HEX"};
    const bool sourceEnabled[] = {false, true, true, true, false, false, false};
    ASSERT_EQ(radios.size(), 7);
    EXPECT_TRUE(radios[0]->isChecked());
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(radios[i]->text(), captions[i]);
        radios[i]->click();
        EXPECT_EQ(static_cast<int>(bench->LoadDialog().format), i);
        EXPECT_EQ(start->isEnabled(), sourceEnabled[i]) << captions[i];
        EXPECT_EQ(end->isEnabled(), sourceEnabled[i]) << captions[i];
        EXPECT_TRUE(destination->isEnabled());
    }
    radios[3]->click();

    // Typed text as the fields keep it: clamped to the file's last index or the device's last
    // address, zero or empty shown as eight zeros, lower-case digits raised, other keys dropped.
    const LoadDialogState& state = bench->LoadDialog();
    struct Case {
        QLineEdit* field;
        const std::string* stateText;
        QString typed;
        QString shown;
    };
    const Case cases[] = {
        {start, &state.sourceStartText, "1ff", "000000FF"},
        {start, &state.sourceStartText, "2a", "2A"},
        {start, &state.sourceStartText, "0", "00000000"},
        {end, &state.sourceEndText, "", "00000000"},
        {end, &state.sourceEndText, "8g0", "80"},
        {destination, &state.destinationText, "FFFFFFFF", "0001FFFF"},
        {destination, &state.destinationText, "1000", "1000"},
        {fill, &state.fillText, "a5", "A5"},
    };
    for (const Case& c : cases) {
        Retype(c.field, c.typed);
        EXPECT_EQ(c.field->text(), c.shown) << c.typed.toStdString();
        EXPECT_EQ(*c.stateText, c.shown.toStdString()) << c.typed.toStdString();
    }

    Find<QCheckBox>(dialog, "UnusedFillCheckBox")->click();
    EXPECT_FALSE(fill->isEnabled());
    EXPECT_FALSE(state.fillUnused);
}

TEST_F(LoadFileDialogTest, OkLoadsAHexFileAndFillsTheSocket) {
    const auto file = home.Write("code.hex",
                                 ":10000000000102030405060708090A0B0C0D0E0F78\r\n"
                                 ":00000001FF\r\n");
    ProgressWindow progress;
    LoadFileDialog dialog(*bench, &progress);
    QTimer::singleShot(0, &dialog, [&] { Find<QPushButton>(dialog, "OkButton")->click(); });
    const std::optional<LoadOutcome> outcome = dialog.Open(1, 1, file);

    ASSERT_TRUE(outcome.has_value());
    EXPECT_EQ(outcome->end, LoadEnd::Loaded);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_TRUE(op.messages.empty());
    // Auto Detect became the detected format, shown in the list.
    EXPECT_TRUE(Find<QRadioButton>(dialog, "FormatRadioGroup_4")->isChecked());
    EXPECT_EQ(bench->UnitStates().Socket(1, 1).workFile, file.string());
    EXPECT_TRUE(bench->UnitStates().Socket(1, 1).enabled);
    const std::string buffer = Buffer();
    ASSERT_EQ(buffer.size(), 0x20000u);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(buffer[static_cast<std::size_t>(i)], static_cast<char>(i));
    EXPECT_EQ(buffer.find_first_not_of('\xFF', 16), std::string::npos);
    // The decoder's progress window came and went with a full bar.
    EXPECT_FALSE(progress.isVisible());
    EXPECT_EQ(progress.Bar()->value(), progress.Bar()->maximum());
}

TEST_F(LoadFileDialogTest, StaysOpenForACorrectionAndCancelChangesNothing) {
    const auto file = WriteBytes("image.bin", 0x40);
    const std::string before = Buffer();
    bench->PrepareLoad(1, 1, file);
    LoadFileDialog dialog(*bench, nullptr);
    dialog.SyncFromState();
    dialog.show();
    Find<QRadioButton>(dialog, "FormatRadioGroup_3")->click();
    auto* start = Find<QLineEdit>(dialog, "Src_StartAddEdit");
    auto* end = Find<QLineEdit>(dialog, "Src_EndAddEdit");
    auto* destination = Find<QLineEdit>(dialog, "Dest_StartAddEdit");
    auto* ok = Find<QPushButton>(dialog, "OkButton");
    op = ScriptedOperator({Answer::Ok, Answer::No});

    // Start after end: refused, open for correction.
    Retype(start, "20");
    Retype(end, "10");
    ok->click();
    ASSERT_EQ(op.Texts().size(), 1u);
    EXPECT_EQ(op.Texts()[0], kSourceRangeWrongMessage);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.LastOutcome()->end, LoadEnd::KeptOpen);

    // Beyond the device's end, answered No: the destination goes back to zero, still open.
    Retype(start, "10");
    Retype(end, "1F");
    Retype(destination, "1FFF8");
    ok->click();
    ASSERT_EQ(op.Texts().size(), 2u);
    EXPECT_EQ(op.Texts()[1], kBiggerThanIcQuestion);
    EXPECT_EQ(destination->text(), "00000000");
    EXPECT_TRUE(dialog.isVisible());

    Find<QPushButton>(dialog, "CancelButton")->click();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(Buffer(), before);
    EXPECT_TRUE(bench->UnitStates().Socket(1, 1).workFile.empty());
}

TEST(ProgressWindow, ShowsOnTopAndClosesAMomentAfterTheFullBar) {
    App();
    ProgressWindow window;
    EXPECT_EQ(window.windowTitle(), "Progress");
    EXPECT_TRUE(window.windowFlags() & Qt::WindowStaysOnTopHint);
    window.Begin(100);
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.Bar()->value(), 0);
    window.Progress(40, 100);
    EXPECT_EQ(window.Bar()->value(), 40);
    QElapsedTimer shown;
    shown.start();
    window.End();
    EXPECT_GE(shown.elapsed(), ProgressWindow::kFinishedShownMs);
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(window.Bar()->value(), 100);

    // Totals beyond the bar's range are shown in proportion.
    const std::uint64_t total = 10'000'000'000ULL;
    window.Begin(total);
    window.Progress(total / 4, total);
    EXPECT_NEAR(static_cast<double>(window.Bar()->value()) / window.Bar()->maximum(), 0.25, 0.01);
    window.hide();
}

}  // namespace
}  // namespace torq::app::test

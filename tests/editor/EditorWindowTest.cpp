// The editor's window and dialogs, offscreen: controls are found by their object names and the
// operator's answers are scripted.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QClipboard>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTabBar>
#include <QTest>
#include <QToolTip>
#include <QWheelEvent>
#include <memory>

#include "EditorFixtures.h"
#include "torq/editor/qt/EditorWidgets.h"
#include "torq/editor/qt/HexEditorDialog.h"
#include "torq/editor/qt/HexPageView.h"
#include "torq/editor/qt/SaveFileDialog.h"
#include "torq/editor/qt/ToolDialogs.h"

namespace torq::editor::qt {
namespace {

using test::ByteVector;
using test::ScriptedOperator;
using test::TempDir;

// One application for the whole run, ended before the program's static objects are.
class QtEnvironment final : public ::testing::Environment {
  public:
    void TearDown() override { app.reset(); }
    static inline std::unique_ptr<QApplication> app;
};
::testing::Environment* const kQtEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment);

QApplication& App() {
    static int argc = 1;
    static char name[] = "editor_tests";
    static char* argv[] = {name, nullptr};
    if (!QtEnvironment::app)
        QtEnvironment::app = std::make_unique<QApplication>(argc, argv);
    return *QtEnvironment::app;
}

template <typename T>
T* Find(QWidget& root, const char* name) {
    T* found = root.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
}

class NoHost final : public EditorHost {
  public:
    void ApplyEditedImage(const SocketFields& fields) override { applied.push_back(fields); }
    std::vector<SocketFields> applied;
};

struct Window {
    Window(const ByteVector& bytes, std::uint64_t deviceSize)
        : path(test::WriteBuffer(dir, bytes)), form(path, op, host) {
        form.PrepareForShow(deviceSize);
        form.show();
        form.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&form));
    }
    ByteVector Bytes() const { return test::ReadBytes(path); }
    QApplication& app = App();
    TempDir dir;
    std::filesystem::path path;
    ScriptedOperator op;
    NoHost host;
    HexEditorDialog form;
};

TEST(EditForm, HasEveryNamedControl) {
    Window w(ByteVector(0x100, 0xFF), 0x100);
    EXPECT_EQ(w.form.windowTitle(), "HexViewer");
    for (const char* name : {"AddressStringGrid",
                             "HexStringGrid",
                             "AsciiStringGrid",
                             "DrawGrid",
                             "MapAddressStringGrid",
                             "BlockControlPanel",
                             "Edit",
                             "SumButton",
                             "BlockButton",
                             "FillButton",
                             "SaveButton",
                             "OkButton",
                             "ByteSwapButton",
                             "WordSwapButton",
                             "DoubleSwapButton",
                             "DetailButton",
                             "ZoomInButton",
                             "ZoomOutButton",
                             "FullDeviceButton",
                             "PrevBlockButton",
                             "NextBlockButton"}) {
        EXPECT_NE(w.form.findChild<QWidget*>(QString::fromLatin1(name)), nullptr) << name;
    }
    EXPECT_NE(w.form.findChild<QScrollBar*>("ScrollBar"), nullptr);
    EXPECT_NE(w.form.findChild<QScrollBar*>("MapScrollBar"), nullptr);
    auto* tabs = Find<QTabBar>(w.form, "EditTabControl");
    ASSERT_EQ(tabs->count(), 3);
    EXPECT_EQ(tabs->tabText(0), "8 Bits");
    EXPECT_EQ(tabs->tabText(1), "16 Bits");
    EXPECT_EQ(tabs->tabText(2), "UesrMap");
}

TEST(EditForm, KeyboardEditsBothSidesAndOkAppliesTheImage) {
    Window w(ByteVector(0x40, 0xFF), 0x40);
    QWidget* hex = Find<QWidget>(w.form, "HexStringGrid");
    hex->setFocus();
    QTest::keyClick(hex, Qt::Key_Right);
    QTest::keyClicks(hex, "3c");
    EXPECT_EQ(w.Bytes()[1], 0x3C);
    QTest::keyClick(hex, Qt::Key_Tab);
    QWidget* ascii = Find<QWidget>(w.form, "AsciiStringGrid");
    EXPECT_TRUE(ascii->hasFocus());
    QTest::keyClicks(ascii, "Hi");
    EXPECT_EQ(w.Bytes()[2], 'H');
    EXPECT_EQ(w.Bytes()[3], 'i');
    QTest::keyClick(ascii, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(w.Bytes()[3], 0xFF) << "Ctrl+Z undoes the last edit";

    // "16 Bits": four digits, the low byte at the even address.
    Find<QTabBar>(w.form, "EditTabControl")->setCurrentIndex(1);
    hex->setFocus();
    QTest::keyClick(hex, Qt::Key_Home, Qt::ControlModifier);
    QTest::keyClick(hex, Qt::Key_Down);
    QTest::keyClicks(hex, "1234");
    EXPECT_EQ(w.Bytes()[0x10], 0x34);
    EXPECT_EQ(w.Bytes()[0x11], 0x12);

    Find<QPushButton>(w.form, "OkButton")->click();
    EXPECT_FALSE(w.form.isVisible());
    ASSERT_EQ(w.host.applied.size(), 1u);
    EXPECT_EQ(w.host.applied[0].checksumText.size(), 8u);
}

TEST(EditForm, GoToAndFindFromTheKeyboardWithoutClosingTheEditor) {
    ByteVector bytes(0x10000, 0xFF);
    for (const std::size_t at : {0x1230u, 0x1238u, 0x8000u}) {
        bytes[at] = 0xDE;
        bytes[at + 1] = 0xAD;
    }
    Window w(bytes, 0x10000);
    const HexView& view = w.form.Session().View();
    QWidget* hex = Find<QWidget>(w.form, "HexStringGrid");
    hex->setFocus();

    QTest::keyClick(hex, Qt::Key_G, Qt::ControlModifier);
    auto* goTo = Find<QLineEdit>(w.form, "GoToEdit");
    ASSERT_TRUE(Find<QWidget>(w.form, "GoToBar")->isVisible());
    EXPECT_TRUE(goTo->hasFocus());
    QTest::keyClicks(goTo, "zz");
    QTest::keyClick(goTo, Qt::Key_Return);
    EXPECT_FALSE(Find<QLabel>(w.form, "GoToNoteLabel")->text().isEmpty()) << "says why not";
    goTo->setText(QStringLiteral("0x1200"));
    QTest::keyClick(goTo, Qt::Key_Return);
    EXPECT_EQ(view.EditAddress(), 0x1200u);
    EXPECT_FALSE(Find<QWidget>(w.form, "GoToBar")->isVisible()) << "there: the bar closes";
    EXPECT_TRUE(hex->hasFocus());
    QTest::keyClick(hex, Qt::Key_G, Qt::ControlModifier);
    QTest::keyClick(goTo, Qt::Key_Escape);
    EXPECT_FALSE(Find<QWidget>(w.form, "GoToBar")->isVisible());
    EXPECT_TRUE(w.form.isVisible()) << "Escape closes the bar, not the editor";

    QTest::keyClick(hex, Qt::Key_F, Qt::ControlModifier);
    auto* find = Find<QLineEdit>(w.form, "FindEdit");
    ASSERT_TRUE(find->hasFocus());
    QTest::keyClicks(find, "de ad");
    QTest::keyClick(find, Qt::Key_Return);
    EXPECT_EQ(view.Selection(), (ByteRange{0x1230, 2}));
    EXPECT_EQ(Find<QLabel>(w.form, "FindNoteLabel")->text(), "Found at 0000001230.");
    EXPECT_TRUE(w.form.Session().PageMatches()[0x38]) << "the other match on the page is marked";
    QTest::keyClick(find, Qt::Key_F3);
    EXPECT_EQ(view.Selection(), (ByteRange{0x1238, 2}));
    QTest::keyClick(find, Qt::Key_Return, Qt::ShiftModifier);
    EXPECT_EQ(view.Selection(), (ByteRange{0x1230, 2}));
    QTest::keyClick(find, Qt::Key_F3, Qt::ShiftModifier);
    EXPECT_EQ(view.Selection(), (ByteRange{0x8000, 2}));
    EXPECT_NE(Find<QLabel>(w.form, "FindNoteLabel")->text().indexOf("on from the end"), -1);
    EXPECT_TRUE(Find<QLabel>(w.form, "SelectionLabel")->text().startsWith("Selection 0000008000"));
    QTest::keyClick(find, Qt::Key_Escape);
    EXPECT_FALSE(Find<QWidget>(w.form, "FindBar")->isVisible());
    EXPECT_TRUE(w.form.Session().PageMatches().none()) << "closing the bar drops the marks";
    EXPECT_TRUE(w.form.isVisible());
    EXPECT_TRUE(hex->hasFocus());
    QTest::keyClick(hex, Qt::Key_Escape);
    EXPECT_FALSE(view.Selection()) << "Escape drops the selection first";
    EXPECT_TRUE(w.form.isVisible());
}

TEST(EditForm, ShiftSelectsCopyPasteAndTheToolsTakeTheSelection) {
    Window w(test::Counting(0x100), 0x100);
    QWidget* hex = Find<QWidget>(w.form, "HexStringGrid");
    hex->setFocus();
    QTest::keyClick(hex, Qt::Key_Right);
    QTest::keyClick(hex, Qt::Key_Right, Qt::ShiftModifier);
    QTest::keyClick(hex, Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_EQ(Find<QLabel>(w.form, "SelectionLabel")->text(),
              "Selection 0000000001 - 0000000012, 18 bytes (0x12), sum 00000000AB");

    QTest::keyClick(hex, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(),
              "01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 10 11 12");
    QTest::keyClick(hex, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "..................");

    // The SUM dialog opens on the selection, and its sum is the status line's.
    w.form.onDialogShown = [&](QDialog& dialog) {
        EXPECT_EQ(Find<QLineEdit>(dialog, "Edit1")->text(), "0000000001");
        EXPECT_EQ(Find<QLineEdit>(dialog, "Edit2")->text(), "0000000012");
        Find<QPushButton>(dialog, "OKBitBtn")->click();
    };
    Find<QPushButton>(w.form, "SumButton")->click();
    ASSERT_EQ(w.op.messages.size(), 1u);
    EXPECT_EQ(w.op.messages[0].text, "00000000AB");
    w.form.onDialogShown = nullptr;

    // Paste on the character side writes the text's bytes from the selection's start; on the
    // hex side, hex text from the cursor, which the paste before left after its bytes.
    QGuiApplication::clipboard()->setText(QStringLiteral("Hi"));
    w.form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w.form));
    hex->setFocus();
    QTest::keyClick(hex, Qt::Key_Right);
    EXPECT_EQ(Find<QLabel>(w.form, "SelectionLabel")->text(), "");
    QTest::keyClick(hex, Qt::Key_Tab);
    QWidget* ascii = Find<QWidget>(w.form, "AsciiStringGrid");
    ASSERT_TRUE(ascii->hasFocus());
    QTest::keyClick(ascii, Qt::Key_Right, Qt::ShiftModifier);
    QTest::keyClick(ascii, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(w.Bytes()[0x13], 'H');
    EXPECT_EQ(w.Bytes()[0x14], 'i');
    QGuiApplication::clipboard()->setText(QStringLiteral("AA BB"));
    QTest::keyClick(ascii, Qt::Key_Tab, Qt::ShiftModifier);
    QTest::keyClick(hex, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(w.Bytes()[0x15], 0xAA);
    EXPECT_EQ(w.Bytes()[0x16], 0xBB);
    QTest::keyClick(hex, Qt::Key_Z, Qt::ControlModifier);
    QTest::keyClick(hex, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(w.Bytes(), test::Counting(0x100)) << "each paste is one undo";
}

// A search that runs longer than a moment shows its progress with Cancel; Cancel stops it.
TEST(SearchProgress, ShowsAfterAMomentAndCancelAsksTheSearchToStop) {
    Window w(ByteVector(16, 0xFF), 16);
    SearchProgressDialog progress(&w.form);
    progress.Begin(100);
    progress.Progress(10, 100);
    EXPECT_EQ(w.form.findChild<QProgressDialog*>("SearchProgressDialog"), nullptr)
        << "a short search shows nothing";
    QTest::qWait(SearchProgressDialog::kShowAfterMs + 50);
    progress.Progress(20, 100);
    auto* dialog = w.form.findChild<QProgressDialog*>("SearchProgressDialog");
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_FALSE(progress.StopRequested());
    dialog->cancel();
    EXPECT_TRUE(progress.StopRequested());
    progress.End();
    EXPECT_EQ(w.form.findChild<QProgressDialog*>("SearchProgressDialog"), nullptr);
}

TEST(EditForm, OkOnABufferThatCannotBeSummedStaysOpenUnlessTheOperatorClosesAnyway) {
    Window w(ByteVector(0x40, 0xFF), 0x40);
    QWidget* hex = Find<QWidget>(w.form, "HexStringGrid");
    hex->setFocus();
    QTest::keyClicks(hex, "00");
    const std::string kept = test::ReadFile(w.path);
    std::filesystem::remove(w.path);
    // The scripted operator answers OK, not Yes: the editor stays open.
    Find<QPushButton>(w.form, "OkButton")->click();
    EXPECT_TRUE(w.form.isVisible());
    ASSERT_EQ(w.op.messages.size(), 1u);
    EXPECT_EQ(w.op.messages[0].buttons, Buttons::YesNo);
    EXPECT_TRUE(w.host.applied.empty());

    // The file is back: OK sums it and closes.
    test::WriteBuffer(w.dir, ByteVector(kept.begin(), kept.end()));
    Find<QPushButton>(w.form, "OkButton")->click();
    EXPECT_FALSE(w.form.isVisible());
    EXPECT_EQ(w.host.applied.size(), 1u);
}

TEST(EditForm, BlockControlShowsOnlyAboveOneGiB) {
    Window w(ByteVector(16, 0xFF), std::uint64_t{4} << 30);
    EXPECT_TRUE(Find<QWidget>(w.form, "BlockControlPanel")->isVisibleTo(&w.form));
    Find<QPushButton>(w.form, "NextBlockButton")->click();
    EXPECT_EQ(Find<QLineEdit>(w.form, "Edit")->text(), "1");
    EXPECT_EQ(w.form.Session().View().PageAddress(), std::uint64_t{1} << 30);
    w.form.PrepareForShow(std::uint64_t{1} << 30);
    EXPECT_FALSE(Find<QWidget>(w.form, "BlockControlPanel")->isVisibleTo(&w.form));
}

TEST(EditForm, WheelScrollBarAndMapHintsFollowTheModel) {
    ByteVector bytes(0x10000, 0xFF);
    std::fill(bytes.begin() + 0x1000, bytes.begin() + 0x2000, 0x00);
    Window w(bytes, 0x10000);
    QWidget* hex = Find<QWidget>(w.form, "HexStringGrid");
    const QPoint centre = hex->rect().center();
    QWheelEvent wheel(centre, hex->mapToGlobal(centre), QPoint(), QPoint(0, -120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(hex, &wheel);
    EXPECT_GT(w.form.Session().View().PageAddress(), 0u) << "the wheel scrolls the page";
    Find<QScrollBar>(w.form, "ScrollBar")->setValue(0x100);
    EXPECT_EQ(w.form.Session().View().PageAddress(), 0x1000u);
    EXPECT_EQ(w.form.Session().View().CellText(0, 0), "00");

    w.form.SelectTab(2);
    QWidget* grid = Find<QWidget>(w.form, "DrawGrid");
    const QPoint cell(grid->width() / 32 + grid->width() / 16, grid->height() * 3 / 34);
    QHelpEvent help(QEvent::ToolTip, cell, grid->mapToGlobal(cell));
    QApplication::sendEvent(grid, &help);
    EXPECT_EQ(QToolTip::text(),
              "Block Start Address : 0000000100\nBlock End Address : 00000001FF\n"
              "This Block is FFh Block");
    EXPECT_EQ(Find<QLabel>(w.form, "ByteCellLabel")->text(), "256");
}

TEST(EditForm, SwapButtonRewritesTheBufferAndTheView) {
    Window w({1, 2, 3, 4, 5, 6, 7, 8}, 8);
    Find<QPushButton>(w.form, "DoubleSwapButton")->click();
    EXPECT_EQ(w.Bytes(), (ByteVector{5, 6, 7, 8, 1, 2, 3, 4}));
    EXPECT_EQ(w.form.Session().View().CellText(0, 0), "05");
    EXPECT_TRUE(w.form.Session().Modified());
}

TEST(FillDialog, TwinFieldsFollowTheTypedSideAndOkFills) {
    Window w(ByteVector(0x300, 0xEE), 0x300);
    FillDialog dialog(w.form.Session(), nullptr);
    dialog.show();
    EXPECT_EQ(dialog.windowTitle(), "Fill Data");
    auto* startByte = Find<QLineEdit>(dialog, "Edit3");
    auto* startWord = Find<QLineEdit>(dialog, "Edit5");
    EXPECT_EQ(Find<QLineEdit>(dialog, "Edit4")->text(), "00000002FF");
    startByte->clear();
    QTest::keyClicks(startByte, "1000");
    EXPECT_EQ(startWord->text(), "800");
    EXPECT_EQ(w.form.Session().ToolEntrySide(), EntrySide::Byte);
    startWord->clear();
    QTest::keyClicks(startWord, "80");
    EXPECT_EQ(startByte->text(), "100");
    EXPECT_EQ(w.form.Session().ToolEntrySide(), EntrySide::Word);
    auto* endByte = Find<QLineEdit>(dialog, "Edit4");
    endByte->clear();
    QTest::keyClicks(endByte, "1ffx");
    EXPECT_EQ(endByte->text(), "1FF") << "hex digits only, upper case";

    auto* userGroup = Find<QGroupBox>(dialog, "UserDefineRadioGroup");
    EXPECT_FALSE(userGroup->isEnabled());
    Find<QCheckBox>(dialog, "UserDefineCheckBox")->setChecked(true);
    EXPECT_TRUE(userGroup->isEnabled());
    auto* fillGroup = Find<QGroupBox>(dialog, "FillRadioGroup");
    const auto radios = fillGroup->findChildren<QRadioButton*>();
    ASSERT_EQ(radios.size(), 5);
    EXPECT_TRUE(radios[2]->isChecked()) << "Random Data by default";

    Find<QPushButton>(dialog, "OKBitBtn")->click();
    const ByteVector bytes = w.Bytes();
    EXPECT_EQ(bytes[0xFF], 0xEE);
    EXPECT_EQ(bytes[0x100], 0x55);
    EXPECT_EQ(bytes[0x1FF], 0x55);
    EXPECT_EQ(bytes[0x200], 0xEE);
    EXPECT_TRUE(w.form.Session().Modified());
}

// Enter must not run a fill: the dialog opens on Random Data over the whole device.
TEST(FillDialog, EnterFillsNothingAndAFillIsUndoneFromTheWindow) {
    Window w(test::Counting(0x100), 0x100);
    auto* fillButton = Find<QPushButton>(w.form, "FillButton");
    bool entered = false;
    w.form.onDialogShown = [&](QDialog& dialog) {
        auto* ok = Find<QPushButton>(dialog, "OKBitBtn");
        auto* cancel = Find<QPushButton>(dialog, "CancelBitBtn");
        EXPECT_FALSE(ok->isDefault());
        EXPECT_TRUE(cancel->isDefault()) << "Enter cancels";
        if (!entered) {
            entered = true;
            QLineEdit* end = Find<QLineEdit>(dialog, "Edit4");
            end->setFocus();
            QTest::keyClick(end, Qt::Key_Return);
        } else {
            Find<QCheckBox>(dialog, "UserDefineCheckBox")->setChecked(true);
            ok->click();
        }
        if (dialog.isVisible())
            dialog.reject();
    };
    fillButton->click();
    EXPECT_EQ(w.Bytes(), test::Counting(0x100)) << "Enter wrote nothing";
    EXPECT_FALSE(w.form.Session().Modified());

    fillButton->click();
    EXPECT_EQ(w.Bytes(), ByteVector(0x100, 0x55));
    auto* undo = Find<QPushButton>(w.form, "UndoButton");
    ASSERT_TRUE(undo->isEnabled());
    undo->click();
    EXPECT_EQ(w.Bytes(), test::Counting(0x100));
    EXPECT_EQ(w.form.Session().View().CellText(0, 1), "01") << "the view shows the undone fill";
    EXPECT_TRUE(Find<QPushButton>(w.form, "RedoButton")->isEnabled());
}

TEST(BlockDialog, ShowsTheDestinationEndAndClosesAfterARefusal) {
    Window w(test::Counting(0x100), 0x100);
    BlockDialog dialog(w.form.Session(), nullptr);
    dialog.show();
    auto* end = Find<QLineEdit>(dialog, "Edit3");
    end->clear();
    QTest::keyClicks(end, "F");
    auto* destination = Find<QLineEdit>(dialog, "Edit6");
    QTest::keyClicks(destination, "8");  // "0" becomes "08"
    EXPECT_EQ(Find<QLabel>(dialog, "DestSAddLabel")->text(), "0000000017");
    EXPECT_EQ(Find<QLabel>(dialog, "DestSAdd16Label")->text(), "000000000B");
    EXPECT_EQ(Find<QLineEdit>(dialog, "Edit1")->text(), "FF");
    Find<QPushButton>(dialog, "OKBitBtn")->click();
    EXPECT_FALSE(dialog.isVisible());
    ASSERT_EQ(w.op.messages.size(), 1u);
    EXPECT_EQ(w.op.messages[0].text, "Input Value Error!");
    EXPECT_EQ(w.Bytes(), test::Counting(0x100));
}

TEST(CalSumDialog, ShowsTheRangeSum) {
    Window w(ByteVector(0x1000, 0xFF), 0x1000);
    ChecksumDialog dialog(w.form.Session());
    dialog.show();
    auto* end = Find<QLineEdit>(dialog, "Edit2");
    end->clear();
    QTest::keyClicks(end, "ff");
    EXPECT_EQ(Find<QLineEdit>(dialog, "Edit4")->text(), "7F");
    Find<QPushButton>(dialog, "OKBitBtn")->click();
    ASSERT_EQ(w.op.messages.size(), 1u);
    EXPECT_EQ(w.op.messages[0].caption, "CheckSum");
    EXPECT_EQ(w.op.messages[0].text, "000000FF00");
    Find<QPushButton>(dialog, "BlockBitBtn")->click();
    EXPECT_EQ(end->text(), "0000000FFF");
}

TEST(SaveFileDialog, DefaultsRangeButtonsBrowseAndValidation) {
    Window w(test::Counting(0x80), 0x20000);
    SaveFileDialog dialog(w.form.Session());
    ScriptedOperator& op = w.op;
    const TempDir& dir = w.dir;
    dialog.show();
    EXPECT_EQ(dialog.windowTitle(), "Save File");
    auto* start = Find<QLineEdit>(dialog, "Edit1");
    auto* end = Find<QLineEdit>(dialog, "Edit2");
    EXPECT_EQ(start->text(), "0000000000");
    EXPECT_EQ(end->text(), "000001FFFF");
    Find<QPushButton>(dialog, "FileBitBtn")->click();
    EXPECT_EQ(end->text(), "000000007F");
    Find<QPushButton>(dialog, "ICBitBtn")->click();
    EXPECT_EQ(end->text(), "000001FFFF");
    start->selectAll();
    QTest::keyClick(start, Qt::Key_Backspace);
    EXPECT_EQ(start->text(), "0") << "an emptied field holds 0";

    const auto formats = Find<QGroupBox>(dialog, "FormatRadioGroup")->findChildren<QRadioButton*>();
    ASSERT_EQ(formats.size(), 6);
    EXPECT_EQ(formats[0]->text(), "Binary/Machine Code");
    EXPECT_TRUE(formats[0]->isChecked());
    EXPECT_EQ(formats[5]->text(), "Tektronix Hex");

    QString filterAsked;
    const QString output = QString::fromStdString((dir / "saved.bin").string());
    dialog.chooseFile = [&](QWidget*, const QString& filter) {
        filterAsked = filter;
        return output;
    };
    Find<QPushButton>(dialog, "SaveBrowseBitBtn")->click();
    EXPECT_EQ(filterAsked,
              "All File (*);;Binary (*.bin);;Hex (*.hex);;Motorola S1 (*.s19);;Motorola S2 "
              "(*.s28);;Motorola S3 (*.s37);;Tektronix Hex (*.tek)");
    EXPECT_EQ(Find<QLineEdit>(dialog, "SaveFileEdit")->text(), output);

    end->setText("7F");
    Find<QPushButton>(dialog, "OKBitBtn")->click();
    EXPECT_EQ(dialog.LastOutcome(), SaveOutcome::Saved);
    EXPECT_FALSE(dialog.isVisible()) << "a save closes the dialog";
    EXPECT_EQ(test::ReadBytes(dir / "saved.bin"), test::Counting(0x80));

    // A buffer that a block lengthened past the device: "File" saves all of it.
    dialog.show();
    test::WriteBuffer(dir, test::Counting(0x20010));
    Find<QPushButton>(dialog, "FileBitBtn")->click();
    EXPECT_EQ(end->text(), "000002000F");
    Find<QPushButton>(dialog, "OKBitBtn")->click();
    EXPECT_EQ(dialog.LastOutcome(), SaveOutcome::Saved);
    EXPECT_EQ(test::ReadBytes(dir / "saved.bin"), test::Counting(0x20010));
    ASSERT_EQ(op.messages.size(), 1u) << "the overwrite question only";
    op.messages.clear();

    // A refusal keeps the dialog open with its name, range and format, to be put right.
    dialog.show();
    formats[2]->setChecked(true);  // Motorola S1
    Find<QPushButton>(dialog, "OKBitBtn")->click();
    ASSERT_EQ(op.messages.size(), 2u) << "the overwrite question, then the refusal";
    EXPECT_EQ(op.messages[1].text,
              "Input Size Error!\nMotorola S1 holds at most 0x10000 bytes; the range is 0x20010 "
              "bytes, which Binary/Machine Code, Intel Hex or Motorola S3 can hold.");
    EXPECT_EQ(op.messages[1].text.rfind("Input Size Error!", 0), 0u);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(formats[2]->isChecked());
    EXPECT_EQ(Find<QLineEdit>(dialog, "SaveFileEdit")->text(), output);
    op.messages.clear();
    end->setText("20010");
    Find<QPushButton>(dialog, "OKBitBtn")->click();
    EXPECT_EQ(op.messages.back().text, "Input Value Error!") << "past the file's end";
    EXPECT_TRUE(dialog.isVisible());
    op.messages.clear();

    Find<QLineEdit>(dialog, "SaveFileEdit")->setText("a.b");
    Find<QPushButton>(dialog, "OKBitBtn")->click();
    ASSERT_EQ(op.messages.size(), 1u);
    EXPECT_EQ(op.messages[0].text, "File Name is too short!");
    EXPECT_EQ(op.messages[0].caption, "Error");
}

}  // namespace
}  // namespace torq::editor::qt

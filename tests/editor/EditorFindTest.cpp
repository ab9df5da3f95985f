// The editor session's go to, find, selection, clipboard and the log of its changes.
#include <gtest/gtest.h>

#include "EditorFixtures.h"
#include "torq/editor/EditorSession.h"

namespace torq::editor {
namespace {

using test::ByteVector;
using test::Editor;
using test::LinesWith;
using test::RecordingHost;
using test::ScriptedOperator;

TEST(EditorGoTo, GoesToAnAddressOrAnOffsetAndShowsTheLine) {
    Editor e(ByteVector(0x100000, 0xFF), 0x100000);
    HexView& view = e.session.View();
    EXPECT_EQ(e.session.GoTo("0x9F000"), "");
    EXPECT_EQ(view.EditAddress(), 0x9F000u);
    EXPECT_EQ(view.PageAddress(), 0x9F000u) << "its row at the top of the page";
    EXPECT_EQ(e.session.GoTo("+1a"), "");
    EXPECT_EQ(view.EditAddress(), 0x9F01Au);
    EXPECT_EQ(view.PageAddress(), 0x9F000u) << "a target on the page leaves the page";
    EXPECT_EQ(e.session.GoTo("-FFFFFFFF"), "");
    EXPECT_EQ(view.EditAddress(), 0u);
    EXPECT_EQ(e.session.GoTo("123456789"), "");
    EXPECT_EQ(view.EditAddress(), 0xFFFFFu) << "clamped to the last address";

    view.SetWidth(CellWidth::Word);
    EXPECT_EQ(e.session.GoTo("800"), "");
    EXPECT_EQ(view.EditAddress(), 0x1000u) << "in 16-bit cells the field takes word addresses";
    EXPECT_EQ(e.session.GoTo("+2"), "");
    EXPECT_EQ(view.EditAddress(), 0x1004u);

    const std::uint64_t before = view.EditAddress();
    EXPECT_NE(e.session.GoTo("12G"), "");
    EXPECT_NE(e.session.GoTo(""), "");
    EXPECT_EQ(view.EditAddress(), before) << "a refused address moves nothing";
    EXPECT_TRUE(e.op.messages.empty()) << "the bar says why, no message box";
}

// Three matches of a pattern, the middle one across the 1 MiB search block's edge.
struct ThreeMatches : Editor {
    static constexpr std::uint64_t kSize = 0x180000;
    static ByteVector Image() {
        ByteVector bytes(kSize, 0xFF);
        for (const std::uint64_t at : {0x1234ull, 0xFFFFEull, 0x17FFFCull}) {
            const char text[] = "Boot";
            std::copy(text, text + 4, bytes.begin() + static_cast<std::ptrdiff_t>(at));
        }
        return bytes;
    }
    ThreeMatches() : Editor(Image(), kSize) {}
    FindOutcome Find(const char* text, SearchDirection direction = SearchDirection::Forward,
                     PatternKind kind = PatternKind::Text, bool matchCase = true) {
        return session.Find(text, kind, matchCase, direction);
    }
    std::optional<ByteRange> Selection() const { return session.View().Selection(); }
};

TEST(EditorFind, NextPreviousAndWrapSelectTheMatchAndSaySo) {
    ThreeMatches e;
    auto found = e.Find("Boot");
    EXPECT_EQ(found.status, FindOutcome::Status::Found);
    EXPECT_EQ(found.note, "Found at 0000001234.");
    EXPECT_EQ(e.Selection(), (ByteRange{0x1234, 4}));
    EXPECT_EQ(e.session.View().EditAddress(), 0x1234u);
    found = e.Find("Boot");
    EXPECT_EQ(e.Selection(), (ByteRange{0xFFFFE, 4})) << "the next one, across the block edge";
    found = e.Find("Boot");
    EXPECT_EQ(e.Selection(), (ByteRange{0x17FFFC, 4})) << "ending on the last address";
    found = e.Find("Boot");
    EXPECT_EQ(e.Selection(), (ByteRange{0x1234, 4}));
    EXPECT_EQ(found.note,
              "Found at 0000001234. The search went past the last address and on from the start.");
    found = e.Find("Boot", SearchDirection::Backward);
    EXPECT_EQ(e.Selection(), (ByteRange{0x17FFFC, 4}));
    EXPECT_NE(found.note.find("past the first address and on from the end"), std::string::npos);
    e.Find("Boot", SearchDirection::Backward);
    EXPECT_EQ(e.Selection(), (ByteRange{0xFFFFE, 4}));

    EXPECT_EQ(e.Find("BOOT").status, FindOutcome::Status::NotFound);
    EXPECT_EQ(e.Selection(), (ByteRange{0xFFFFE, 4})) << "not found: the selection stays";
    e.Find("BOOT", SearchDirection::Forward, PatternKind::Text, false);
    EXPECT_EQ(e.Selection(), (ByteRange{0x17FFFC, 4})) << "either case";
    const auto refused = e.Find("42 6F 6F 7", SearchDirection::Forward, PatternKind::Hex);
    EXPECT_EQ(refused.status, FindOutcome::Status::Refused);
    EXPECT_NE(refused.note.find("odd number of digits"), std::string::npos);
    EXPECT_TRUE(e.op.messages.empty());
}

// The 16-bit view shows words but the search is on bytes: a match at an odd address is
// selected exactly, and the cursor sits on the word holding its first byte.
TEST(EditorFind, SixteenBitCellsStillSearchBytes) {
    ByteVector bytes(0x100, 0x00);
    bytes[0x41] = 0xAB;
    bytes[0x42] = 0xCD;
    Editor e(bytes, 0x100);
    e.session.View().SetWidth(CellWidth::Word);
    e.session.Find("AB CD", PatternKind::Hex, true, SearchDirection::Forward);
    EXPECT_EQ(e.session.View().Selection(), (ByteRange{0x41, 2}));
    EXPECT_EQ(e.session.View().EditAddress(), 0x40u);
}

TEST(EditorFind, MatchesOnThePageAreMarkedUntilThePatternIsDropped) {
    ByteVector bytes(0x400, 0x00);
    for (const std::size_t at : {0x10u, 0x20u, 0x2FFu})
        bytes[at] = bytes[at + 1] = 0x5A;
    Editor e(bytes, 0x400);
    e.session.Find("5A 5A", PatternKind::Hex, true, SearchDirection::Forward);
    const PageMask& marks = e.session.PageMatches();
    EXPECT_EQ(marks.count(), 4u) << "both matches on the first page";
    EXPECT_TRUE(marks[0x10] && marks[0x11] && marks[0x20] && marks[0x21]);
    e.session.View().SetScrollPosition(0x20);  // the page 0x200 ... 0x2FF
    e.session.RefreshView();
    EXPECT_EQ(e.session.PageMatches().count(), 1u) << "a match running past the page's end";
    EXPECT_TRUE(e.session.PageMatches()[0xFF]);
    e.session.DropPattern();
    EXPECT_TRUE(e.session.PageMatches().none());
}

TEST(EditorSelection, ShiftMovesSelectAndTheSumAgreesWithTheSumTool) {
    Editor e(test::Counting(0x1000), 0x1000);
    HexView& view = e.session.View();
    view.GoTo(0x100);
    view.Move(CursorMove::Right, true);
    view.Move(CursorMove::Down, true);
    EXPECT_EQ(view.Selection(), (ByteRange{0x100, 0x12}));
    const auto sum = [&](std::uint64_t first, std::uint64_t last) {
        SumDialogValues values;
        values.range = {TwinAddress::Of(first), TwinAddress::Of(last)};
        return e.session.Sum(values);
    };
    EXPECT_EQ(e.session.SelectionSum(), sum(0x100, 0x111));
    EXPECT_EQ(e.session.SelectionText(),
              "Selection 0000000100 - 0000000111, 18 bytes (0x12), sum 0000000099");
    // Grown and shrunk at either end: the kept sum follows.
    view.Move(CursorMove::PageDown, true);
    EXPECT_EQ(e.session.SelectionSum(), sum(0x100, 0x211));
    view.Move(CursorMove::First, true);
    EXPECT_EQ(view.Selection(), (ByteRange{0, 0x101}));
    EXPECT_EQ(e.session.SelectionSum(), sum(0, 0x100));
    view.Move(CursorMove::Right, true);
    EXPECT_EQ(e.session.SelectionSum(), sum(1, 0x100));
    // A change to the selected bytes: summed again, not taken from before.
    FillDialogValues fill = e.session.FillDefaults();
    EXPECT_EQ(fill.range.start.byteText, "0000000001") << "the tool opens on the selection";
    EXPECT_EQ(fill.range.end.byteText, "0000000100");
    fill.pattern = FillPattern::AllBit1;
    ASSERT_EQ(e.session.Fill(fill), ToolOutcome::Done);
    EXPECT_EQ(e.session.SelectionSum(), 0x100u * 0xFF);
    view.Move(CursorMove::Left);
    EXPECT_FALSE(view.Selection()) << "a move without Shift drops the selection";
    EXPECT_EQ(e.session.SelectionText(), "");
    EXPECT_EQ(e.session.FillDefaults().range.end.byteText, "0000000FFF") << "the whole device";
}

TEST(EditorSelection, ToolsAndSaveOpenOnTheSelection) {
    Editor e(test::Counting(0x1000), 0x1000);
    e.session.View().SelectBytes(0x20, 0x5F);
    EXPECT_EQ(e.session.BlockDefaults().source.start.byteText, "0000000020");
    EXPECT_EQ(e.session.BlockDefaults().source.end.wordText, "000000002F");
    EXPECT_EQ(e.session.SumDefaults().range.end.byteText, "000000005F");
    EXPECT_EQ(e.session.SaveDefaults().startText, "0000000020");
    EXPECT_EQ(e.session.SaveDefaults().endText, "000000005F");
}

TEST(EditorClipboard, CopiesTheSelectionInEitherFormAndAsksBeforeALargeCopy) {
    ByteVector bytes(0x300000, 0xFF);
    const std::string text = "v1.4\x01";
    std::copy(text.begin(), text.end(), bytes.begin() + 0x10);
    Editor e(bytes, bytes.size());
    EXPECT_FALSE(e.session.Copy(ByteForm::Hex)) << "nothing selected";
    e.session.View().SelectBytes(0x10, 0x15);
    EXPECT_EQ(e.session.Copy(ByteForm::Hex), "76 31 2E 34 01 FF");
    EXPECT_EQ(e.session.Copy(ByteForm::Text), "v1.4..");
    EXPECT_EQ(e.session.SideForm(), ByteForm::Hex);
    EXPECT_TRUE(e.op.messages.empty());

    e.session.View().SelectBytes(0, kCopyAskBytes);  // one byte over 1 MiB
    e.op = ScriptedOperator({Answer::No, Answer::Yes});
    EXPECT_FALSE(e.session.Copy(ByteForm::Hex));
    ASSERT_EQ(e.op.messages.size(), 1u);
    EXPECT_EQ(e.op.messages[0].buttons, Buttons::YesNo);
    EXPECT_NE(e.op.messages[0].text.find("Copy 1048577 bytes (0x100001) to the clipboard? As hex "
                                         "text that is 3 MiB of text."),
              std::string::npos)
        << e.op.messages[0].text;
    const auto copied = e.session.Copy(ByteForm::Hex);
    ASSERT_TRUE(copied);
    EXPECT_EQ(copied->size(), 0x100001u * 3 - 1);

    e.session.View().SelectAll();  // 3 MiB: within the limit
    e.op = ScriptedOperator({Answer::Yes});
    EXPECT_TRUE(e.session.Copy(ByteForm::Text));
}

TEST(EditorClipboard, PasteOverwritesFromTheCursorStopsAtTheLastAddressAndIsOneUndo) {
    Editor e(test::Counting(0x100), 0x100);
    const ByteVector original = e.Bytes();
    e.session.View().GoTo(0x10);
    ASSERT_EQ(e.session.Paste("DE AD BE EF", ByteForm::Hex), ToolOutcome::Done);
    ByteVector bytes = e.Bytes();
    EXPECT_EQ(ByteVector(bytes.begin() + 0x10, bytes.begin() + 0x14),
              (ByteVector{0xDE, 0xAD, 0xBE, 0xEF}));
    EXPECT_EQ(e.session.View().EditAddress(), 0x14u) << "the cursor follows the pasted bytes";
    EXPECT_TRUE(e.session.Modified());
    ASSERT_EQ(
        LinesWith(e.log, "Editor : Paste 0000000010 - 0000000013 (4 bytes), IC checksum=0x").size(),
        1u);

    // A selection: pasted over from its start. Text: the text's own bytes.
    e.session.View().SelectBytes(0x20, 0x2F);
    ASSERT_EQ(e.session.Paste("Boot", ByteForm::Text), ToolOutcome::Done);
    bytes = e.Bytes();
    EXPECT_EQ(std::string(bytes.begin() + 0x20, bytes.begin() + 0x24), "Boot");
    EXPECT_FALSE(e.session.View().Selection());

    // Near the end: what does not fit is left out, and the operator told how much.
    e.session.View().GoTo(0xFD);
    ASSERT_EQ(e.session.Paste("01 02 03 04 05", ByteForm::Hex), ToolOutcome::Done);
    bytes = e.Bytes();
    ASSERT_EQ(bytes.size(), 0x100u) << "never past the device";
    EXPECT_EQ(ByteVector(bytes.begin() + 0xFD, bytes.end()), (ByteVector{1, 2, 3}));
    ASSERT_EQ(e.op.messages.size(), 1u);
    EXPECT_EQ(e.op.messages[0].severity, Severity::Warning);
    EXPECT_NE(e.op.messages[0].text.find("The last 2 bytes of the clipboard lie beyond the "
                                         "device's last address 00000000FF and were left out."),
              std::string::npos)
        << e.op.messages[0].text;
    EXPECT_EQ(LinesWith(e.log, "2 bytes beyond the last address left out").size(), 1u);

    // Each paste is one step of the history.
    ASSERT_TRUE(e.session.Undo());
    ASSERT_TRUE(e.session.Undo());
    ASSERT_TRUE(e.session.Undo());
    EXPECT_EQ(e.Bytes(), original);
    EXPECT_FALSE(e.session.CanUndo());
    ASSERT_TRUE(e.session.Redo());
    EXPECT_EQ(e.Bytes()[0x10], 0xDE);
}

TEST(EditorClipboard, APasteIntoAShortFileExtendsItWithFFAndUndoShrinksItBack) {
    Editor e(ByteVector(0x10, 0x00), 0x100);
    e.session.View().GoTo(0x20);
    ASSERT_EQ(e.session.Paste("AA", ByteForm::Hex), ToolOutcome::Done);
    ByteVector expected(0x21, 0xFF);
    std::fill(expected.begin(), expected.begin() + 0x10, 0x00);
    expected[0x20] = 0xAA;
    EXPECT_EQ(e.Bytes(), expected);
    ASSERT_TRUE(e.session.Undo());
    EXPECT_EQ(e.Bytes(), ByteVector(0x10, 0x00));
}

TEST(EditorClipboard, ARefusedPasteWritesNothing) {
    Editor e(test::Counting(0x100), 0x100);
    EXPECT_EQ(e.session.Paste("3F ZZ", ByteForm::Hex), ToolOutcome::Refused);
    EXPECT_EQ(e.session.Paste(" \r\n", ByteForm::Hex), ToolOutcome::Refused);
    EXPECT_EQ(e.session.Paste("", ByteForm::Text), ToolOutcome::Refused);
    EXPECT_EQ(e.Bytes(), test::Counting(0x100));
    EXPECT_FALSE(e.session.Modified());
    EXPECT_FALSE(e.session.CanUndo());
    ASSERT_EQ(e.op.messages.size(), 3u);
    EXPECT_EQ(e.op.messages[0].caption, "Paste");
    EXPECT_NE(e.op.messages[0].text.find("'Z' is not a hexadecimal digit (at character 4)"),
              std::string::npos);
    EXPECT_EQ(e.op.messages[1].text, "The clipboard holds nothing to paste.");
}

// Every change a tool makes and every save leaves a line: what, the range, the image's new
// checksum (or the saved file's, as a load of it would give).
TEST(EditorLog, ToolsSwapsOkAndSaveEachLeaveALineWithTheChecksum) {
    Editor e(test::Counting(0x100), 0x100);
    FillDialogValues fill = FillDialogDefaults(0x100);
    fill.range.end.TypeByte("F");
    fill.userDefined = true;
    fill.userByteText = "00";
    ASSERT_EQ(e.session.Fill(fill), ToolOutcome::Done);
    BlockDialogValues block = BlockDialogDefaults(0x100);
    block.action = BlockAction::Move;
    block.source.start.TypeByte("10");
    block.source.end.TypeByte("1F");
    block.destination.TypeByte("80");
    ASSERT_EQ(e.session.Block(block), ToolOutcome::Done);
    ASSERT_EQ(e.session.Swap(SwapKind::Word), ToolOutcome::Done);
    ASSERT_TRUE(e.session.Undo());
    RecordingHost host;
    ASSERT_EQ(e.session.Ok(host), OkOutcome::Applied);
    SaveDialogValues save = SaveDialogDefaults(0x100);
    save.name = (e.dir / "part.hex").string();
    save.endText = "3F";
    save.format = SaveFormat::IntelHex;
    ASSERT_EQ(e.session.Save(save), SaveOutcome::Saved);

    const std::uint32_t image = Checksum(e.path, 0xFF, 0xFF).value();
    const std::uint32_t file =
        Checksum(save.name, test::ReadFile(save.name).size() - 1, 0xFF).value();
    const std::vector<std::string> expected = {
        "Editor : Fill 0000000000 - 000000000F with the byte 00, IC checksum=0x",
        "Editor : Block Process Move 0000000010 - 000000001F to 0000000080 - 000000008F, the "
        "source filled with FF, IC checksum=0x",
        "Editor : Word Swap of the whole buffer (0000000000 - 00000000FF), IC checksum=0x",
        "Editor : Undo of Word Swap at 0000000000, IC checksum=0x" + ChecksumText(image),
        "Editor : OK, the edited image goes to unit 1, socket 1, IC checksum=0x" +
            ChecksumText(image),
        "Editor : Save File 0000000000 - 000000003F as Intel Hex to " + save.name +
            ", File checksum=0x" + ChecksumText(file),
    };
    ASSERT_EQ(e.log.Lines().size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_NE(e.log.Lines()[i].find(expected[i]), std::string::npos) << e.log.Lines()[i];
}

TEST(EditorSave, ASizeRefusalNamesTheLimitAndTheFormatsThatHoldTheRange) {
    Editor e(test::Counting(0x100), 0x20000);
    SaveDialogValues save = SaveDialogDefaults(0x20000);
    save.name = (e.dir / "big.s19").string();
    save.endText = "10000";  // 64 KiB + 1
    save.format = SaveFormat::MotorolaS1;
    EXPECT_EQ(e.session.Save(save), SaveOutcome::Refused);
    ASSERT_EQ(e.op.messages.size(), 1u);
    EXPECT_EQ(e.op.messages[0].caption, "Error");
    EXPECT_EQ(e.op.messages[0].text,
              "Input Size Error!\nMotorola S1 holds at most 0x10000 bytes; the range is 0x10001 "
              "bytes, which Binary/Machine Code, Intel Hex or Motorola S3 can hold.");
    EXPECT_TRUE(e.log.Lines().empty()) << "a refused save leaves no line";
}

}  // namespace
}  // namespace torq::editor

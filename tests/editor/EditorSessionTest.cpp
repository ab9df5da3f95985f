#include "torq/editor/EditorSession.h"

#include <gtest/gtest.h>

#include "EditorFixtures.h"

namespace torq::editor {
namespace {

using test::ByteVector;
using test::ScriptedOperator;
using test::TempDir;

class RecordingHost final : public EditorHost {
  public:
    void ApplyEditedImage(const SocketFields& fields) override { applied.push_back(fields); }
    std::vector<SocketFields> applied;
};

struct Editor {
    // With a plan, the tools' writes and reads fail as it says.
    explicit Editor(const ByteVector& bytes, std::uint64_t deviceSize,
                    std::shared_ptr<test::FaultPlan> plan = nullptr)
        : path(test::WriteBuffer(dir, bytes)),
          session(path, op, &log, plan ? test::FaultyOpener(plan) : BufferOpener{}) {
        session.Show(deviceSize);
    }
    void Type(std::string_view keys) {
        for (const char c : keys)
            session.TypeHexDigit(c);
    }
    ByteVector Bytes() const { return test::ReadBytes(path); }

    TempDir dir;
    std::filesystem::path path;
    ScriptedOperator op;
    InformationLog log;
    EditorSession session;
};

TEST(EditorTyping, EightBitCellsWriteWhenBothDigitsAreTyped) {
    Editor e(ByteVector(32, 0xFF), 32);
    e.session.View().PlaceCursor(0, 3, CursorSide::Hex);
    e.Type("a");
    EXPECT_EQ(e.session.View().CellText(0, 3), "AF") << "the pending digit over the old ones";
    EXPECT_EQ(e.Bytes()[3], 0xFF) << "nothing written before the cell is complete";
    EXPECT_FALSE(e.session.Modified());
    EXPECT_FALSE(e.session.TypeHexDigit('x'));
    e.Type("b");
    EXPECT_EQ(e.Bytes()[3], 0xAB);
    EXPECT_TRUE(e.session.Modified());
    EXPECT_EQ(e.session.View().EditAddress(), 4u) << "the cursor moves to the next cell";
}

TEST(EditorTyping, SixteenBitCellsWriteTheLowByteAtTheEvenAddress) {
    Editor e(ByteVector(64, 0xFF), 64);
    e.session.View().SetWidth(CellWidth::Word);
    e.session.View().PlaceCursor(1, 0, CursorSide::Hex);
    ASSERT_EQ(e.session.View().EditAddress(), 0x10u);
    e.Type("1234");
    EXPECT_EQ(e.Bytes()[0x10], 0x34);
    EXPECT_EQ(e.Bytes()[0x11], 0x12);
    EXPECT_EQ(e.session.View().CellText(1, 0), "1234");
    EXPECT_EQ(e.session.View().EditAddress(), 0x12u);
}

TEST(EditorTyping, CharactersWriteTheirCodeAndPastTheEndExtendsWithFF) {
    Editor e({0x00, 0x00}, 0x100);
    e.session.View().PlaceCursor(4, 0, CursorSide::Character);
    ASSERT_TRUE(e.session.TypeCharacter('A'));
    EXPECT_FALSE(e.session.TypeCharacter('\x07'));
    ByteVector expected(0x41, 0xFF);
    expected[0] = expected[1] = 0x00;
    expected[0x40] = 'A';
    EXPECT_EQ(e.Bytes(), expected) << "the gap is FF, not a hole of zeros";
    EXPECT_EQ(e.session.View().CharacterAt(4, 0), 'A');
    EXPECT_EQ(e.session.View().EditAddress(), 0x41u);
}

TEST(EditorTyping, AFailedWriteIsReportedAndLeavesTheFlagAndViewTruthful) {
    Editor e(ByteVector(16, 0x11), 16);
    std::filesystem::remove(e.path);
    e.Type("22");
    EXPECT_FALSE(std::filesystem::exists(e.path)) << "the buffer file is never created";
    EXPECT_FALSE(e.session.Modified());
    ASSERT_FALSE(e.op.messages.empty());
    EXPECT_EQ(e.op.messages.front().caption, "Error");
    EXPECT_EQ(e.session.View().CellText(0, 0), "FF");
    EXPECT_TRUE(e.session.View().Pending().empty());
    EXPECT_EQ(e.session.View().EditAddress(), 0u) << "the cursor stays on the failed cell";
}

TEST(EditorUndo, UndoAndRedoRestoreTheBytesAndAToolClearsTheHistory) {
    Editor e(ByteVector(32, 0xFF), 32);
    e.session.View().SetWidth(CellWidth::Word);
    e.Type("1234");
    e.session.View().SetWidth(CellWidth::Byte);
    e.Type("56");
    ASSERT_EQ(e.Bytes()[2], 0x56);
    ASSERT_TRUE(e.session.Undo());
    EXPECT_EQ(e.Bytes()[2], 0xFF);
    ASSERT_TRUE(e.session.Undo());
    EXPECT_EQ(e.Bytes()[0], 0xFF);
    EXPECT_EQ(e.Bytes()[1], 0xFF);
    EXPECT_FALSE(e.session.Undo());
    ASSERT_TRUE(e.session.Redo());
    EXPECT_EQ(e.Bytes()[0], 0x34);
    EXPECT_EQ(e.Bytes()[1], 0x12);
    EXPECT_TRUE(e.session.CanRedo());

    FillDialogValues fill = FillDialogDefaults(32);
    fill.pattern = FillPattern::AllBit0;
    ASSERT_EQ(e.session.Fill(fill), ToolOutcome::Done);
    EXPECT_FALSE(e.session.CanUndo());
    EXPECT_FALSE(e.session.CanRedo());
    ASSERT_EQ(e.log.Lines().size(), 1u);
    EXPECT_NE(e.log.Lines()[0].find("can no longer be undone"), std::string::npos);
}

TEST(EditorOk, OnlyAModifiedImageReachesTheMainWindow) {
    Editor e(ByteVector(0x100, 0xFF), 0x100);
    RecordingHost host;
    EXPECT_EQ(e.session.Ok(host), OkOutcome::Closed);
    EXPECT_TRUE(host.applied.empty()) << "OK after no edit leaves the main window unchanged";

    e.Type("00");
    ASSERT_EQ(e.session.Ok(host), OkOutcome::Applied);
    ASSERT_EQ(host.applied.size(), 1u);
    EXPECT_EQ(host.applied[0].workFile, "< Data from buffer >");
    EXPECT_EQ(host.applied[0].checksumText, "0000FE01") << "255 x 255";
    EXPECT_EQ(host.applied[0].startAddressText, "00000000");
    EXPECT_TRUE(host.applied[0].enabled);

    // Shown again: the flag starts cleared.
    e.session.Show(0x100);
    EXPECT_EQ(e.session.Ok(host), OkOutcome::Closed);
}

TEST(EditorOk, ABufferThatCannotBeSummedAsksWhetherToCloseAndAppliesNothing) {
    TempDir dir;
    const auto path = test::WriteBuffer(dir, ByteVector(0x100, 0xFF));
    ScriptedOperator op({Answer::No, Answer::Yes});
    EditorSession session(path, op);
    session.Show(0x100);
    session.TypeHexDigit('0');
    session.TypeHexDigit('0');
    ASSERT_TRUE(session.Modified());
    std::filesystem::remove(path);
    RecordingHost host;
    EXPECT_EQ(session.Ok(host), OkOutcome::Failed) << "No: the editor stays open";
    ASSERT_EQ(op.messages.size(), 1u);
    EXPECT_EQ(op.messages[0].buttons, Buttons::YesNo);
    EXPECT_NE(op.messages[0].text.find("Close the editor anyway?"), std::string::npos);
    EXPECT_EQ(session.Ok(host), OkOutcome::Abandoned) << "Yes: it closes";
    EXPECT_TRUE(host.applied.empty()) << "no checksum that does not match the buffer";
}

TEST(EditorOk, ASumOverTheWholeDeviceCountsBytesMissingFromAShortFileAsFF) {
    Editor e({0x00}, 0x200);
    RecordingHost host;
    e.session.View().PlaceCursor(0, 1, CursorSide::Hex);
    e.Type("00");
    ASSERT_EQ(e.session.Ok(host), OkOutcome::Applied);
    EXPECT_EQ(host.applied[0].checksumText, "0001FC02") << "510 bytes of FF";
}

TEST(EditorTools, RefusedRangesTellTheirCaptionAndWriteNothing) {
    struct Case {
        const char* what;
        std::function<bool(EditorSession&)> run;
        const char* caption;
    };
    const std::vector<Case> cases = {
        {"fill of one byte",
         [](EditorSession& s) {
             auto v = FillDialogDefaults(0x100);
             v.range.start.TypeByte("10");
             v.range.end.TypeByte("10");
             return s.Fill(v) == ToolOutcome::Refused;
         },
         "Error"},
        {"fill past the device",
         [](EditorSession& s) {
             auto v = FillDialogDefaults(0x100);
             v.range.end.TypeByte("100");
             return s.Fill(v) == ToolOutcome::Refused;
         },
         "Error"},
        {"overlapping block",
         [](EditorSession& s) {
             auto v = BlockDialogDefaults(0x100);
             v.source.end.TypeByte("F");
             v.destination.TypeByte("8");
             return s.Block(v) == ToolOutcome::Refused;
         },
         "Error"},
        {"block whose destination starts past the device",
         [](EditorSession& s) {
             auto v = BlockDialogDefaults(0x100);
             v.source.end.TypeByte("F");
             v.destination.TypeByte("100");
             return s.Block(v) == ToolOutcome::Refused;
         },
         "Error"},
        {"checksum of one byte",
         [](EditorSession& s) {
             auto v = SumDialogDefaults(0x100);
             v.range.end.TypeByte("0");
             return !s.Sum(v).has_value();
         },
         "CheckSum"},
    };
    for (const auto& c : cases) {
        Editor e(test::Counting(0x100), 0x100);
        EXPECT_TRUE(c.run(e.session)) << c.what;
        ASSERT_EQ(e.op.messages.size(), 1u) << c.what;
        EXPECT_EQ(e.op.messages[0].text, "Input Value Error!") << c.what;
        EXPECT_EQ(e.op.messages[0].caption, c.caption) << c.what;
        EXPECT_EQ(e.Bytes(), test::Counting(0x100)) << c.what;
        EXPECT_FALSE(e.session.Modified()) << c.what;
    }
}

TEST(EditorTools, FillBlockAndSumWorkOnTheBufferAndSetTheFlag) {
    Editor e(ByteVector(0x1000, 0xFF), 0x4000);
    auto fill = FillDialogDefaults(0x4000);
    fill.pattern = FillPattern::SequentialByte;
    fill.range.start.TypeByte("2000");
    fill.range.end.TypeByte("20FF");
    ASSERT_EQ(e.session.Fill(fill), ToolOutcome::Done);
    EXPECT_TRUE(e.session.Modified());
    const ByteVector bytes = e.Bytes();
    ASSERT_EQ(bytes.size(), 0x2100u);
    EXPECT_EQ(ByteVector(bytes.begin() + 0x1000, bytes.begin() + 0x2000), ByteVector(0x1000, 0xFF));
    EXPECT_EQ(ByteVector(bytes.begin() + 0x2000, bytes.end()), test::Counting(0x100));

    auto block = BlockDialogDefaults(0x4000);
    block.action = BlockAction::Move;
    block.source.start.TypeByte("2000");
    block.source.end.TypeByte("200F");
    block.destination.TypeByte("20");
    ASSERT_EQ(e.session.Block(block), ToolOutcome::Done);
    const ByteVector moved = e.Bytes();
    EXPECT_EQ(ByteVector(moved.begin() + 0x20, moved.begin() + 0x30), test::Counting(16));
    EXPECT_EQ(moved[0x2000], 0xFF);

    auto sum = SumDialogDefaults(0x4000);
    sum.range.end.TypeByte("FF");
    ASSERT_EQ(e.session.Sum(sum), 0xFFu * 0xF0 + 120);
    EXPECT_EQ(e.op.messages.back().caption, "CheckSum");
    EXPECT_EQ(e.op.messages.back().text, "000000EF88");
}

TEST(EditorTools, ABlockWhoseDestinationRunsPastTheDeviceLengthensTheFileAndSaysSo) {
    Editor e(test::Counting(0x100), 0x100);
    auto block = BlockDialogDefaults(0x100);
    block.source.end.TypeByte("F");
    block.destination.TypeByte("F8");
    ASSERT_EQ(e.session.Block(block), ToolOutcome::Done);
    const ByteVector bytes = e.Bytes();
    ASSERT_EQ(bytes.size(), 0x108u) << "nothing is lost";
    EXPECT_EQ(ByteVector(bytes.begin() + 0xF8, bytes.end()), test::Counting(16));
    EXPECT_TRUE(e.op.messages.empty());
    ASSERT_EQ(e.log.Lines().size(), 1u);
    EXPECT_NE(e.log.Lines()[0].find("Block Process put 8 bytes beyond the device's last address "
                                    "00000000FF"),
              std::string::npos)
        << e.log.Lines()[0];

    // Within the device: no line.
    block.destination.TypeByte("F0");
    ASSERT_EQ(e.session.Block(block), ToolOutcome::Done);
    EXPECT_EQ(e.log.Lines().size(), 1u);
}

// A disk that fills up part-way through a tool: the operator is told, the modified flag says
// whether any byte changed and the page shows the bytes as they now are on disk.
TEST(EditorTools, AToolThatFailsPartWayIsReportedAndLeavesTheFlagAndViewTruthful) {
    constexpr std::uint64_t kSize = 0xA000;  // more than two swap blocks
    ByteVector before = test::Counting(kSize);
    std::fill(before.begin() + 0x5000, before.end(), 0xEE);
    struct Case {
        const char* what;
        std::uint64_t budget;
        bool recovers;
        std::function<ToolOutcome(EditorSession&)> run;
        std::uint64_t page;  // where the view looks
        bool modified;
        const char* text;
        std::function<void(ByteVector&)> expect;  // turns `before` into the bytes on disk
    };
    const std::vector<Case> cases = {
        {"fill", 0x1080, false,
         [](EditorSession& s) {
             auto v = FillDialogDefaults(kSize);
             v.pattern = FillPattern::AllBit0;
             v.range.start.TypeByte("1000");
             v.range.end.TypeByte("4FFF");
             return s.Fill(v);
         },
         0x2000, true, "No space left on device",
         [](ByteVector& b) { std::fill(b.begin() + 0x1000, b.begin() + 0x2080, 0x00); }},
        {"block copy", 0x4100, false,
         [](EditorSession& s) {
             auto v = BlockDialogDefaults(kSize);
             v.source.end.TypeByte("4FFF");
             v.destination.TypeByte("5000");
             return s.Block(v);
         },
         0x9080, true, "No space left on device",
         [](ByteVector& b) { std::copy(b.begin(), b.begin() + 0x4100, b.begin() + 0x5000); }},
        {"block move, the source fill fails", 0x10, false,
         [](EditorSession& s) {
             auto v = BlockDialogDefaults(kSize);
             v.action = BlockAction::Move;
             v.source.end.TypeByte("F");
             v.destination.TypeByte("6000");
             return s.Block(v);
         },
         0x5F80, true, "No space left on device",
         [](ByteVector& b) { std::copy(b.begin(), b.begin() + 0x10, b.begin() + 0x6000); }},
        {"byte swap, swapped back", 0x4100, true,
         [](EditorSession& s) { return s.Swap(SwapKind::Byte); }, 0x3F80, false,
         "swapped back, so the buffer is as it was", [](ByteVector&) {}},
        {"byte swap, left partly swapped", 0x4100, false,
         [](EditorSession& s) { return s.Swap(SwapKind::Byte); }, 0x3F80, true,
         "the buffer is now partly swapped. Bytes 0000000000 to 0000007FFF may be swapped",
         [](ByteVector& b) {
             for (std::size_t i = 0; i < 0x4100; i += 2)
                 std::swap(b[i], b[i + 1]);
         }},
    };
    for (const auto& c : cases) {
        auto plan = std::make_shared<test::FaultPlan>();
        plan->writeBudget = c.budget;
        plan->recovers = c.recovers;
        Editor e(before, kSize, plan);
        e.session.View().GoTo(c.page);
        e.session.RefreshView();
        EXPECT_EQ(c.run(e.session), ToolOutcome::Failed) << c.what;
        ASSERT_EQ(e.op.messages.size(), 1u) << c.what;
        EXPECT_EQ(e.op.messages[0].caption, "Error") << c.what;
        EXPECT_NE(e.op.messages[0].text.find(c.text), std::string::npos)
            << c.what << ": " << e.op.messages[0].text;
        EXPECT_EQ(e.session.Modified(), c.modified) << c.what;
        ByteVector expected = before;
        c.expect(expected);
        const ByteVector bytes = e.Bytes();
        ASSERT_EQ(bytes, expected) << c.what;
        const auto page = e.session.View().PageAddress();
        EXPECT_TRUE(std::equal(e.session.View().Page().begin(), e.session.View().Page().end(),
                               bytes.begin() + static_cast<std::ptrdiff_t>(page)))
            << c.what << ": the page shows the bytes on disk at " << page;
    }
}

TEST(EditorTools, SumOfAFreshRangeShowsTenDigits) {
    Editor e(ByteVector(0x100, 0xFF), 0x100);
    ASSERT_TRUE(e.session.Sum(SumDialogDefaults(0x100)));
    EXPECT_EQ(e.op.messages.back().text, "000000FF00");
}

}  // namespace
}  // namespace torq::editor

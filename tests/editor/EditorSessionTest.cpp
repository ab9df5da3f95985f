#include "torq/editor/EditorSession.h"

#include <gtest/gtest.h>

#include "EditorFixtures.h"

namespace torq::editor {
namespace {

using test::ByteVector;
using test::Editor;
using test::LinesWith;
using test::RecordingHost;
using test::ScriptedOperator;
using test::TempDir;

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

// output.tmp replaced by a FIFO: the editor shows FF and says what the file is; a typed byte is
// refused the same way. Nothing waits for the other end of the FIFO.
TEST(EditorTyping, ABufferThatIsAFifoIsRefusedWithoutBlocking) {
    Editor e(ByteVector(16, 0x11), 16);
    test::MakeFifo(e.path);
    const std::string named =
        "The buffer file " + e.path.string() + " is not a regular file (a FIFO)";
    ASSERT_TRUE(test::ReturnsWithoutBlocking(e.path, [&] { e.session.Show(16); }));
    ASSERT_EQ(e.op.Texts(), std::vector<std::string>{named + "; its bytes are shown as FF."});
    EXPECT_EQ(e.session.View().CellText(0, 0), "FF");
    ASSERT_TRUE(test::ReturnsWithoutBlocking(e.path, [&] { e.Type("22"); }));
    EXPECT_FALSE(e.session.Modified());
    ASSERT_EQ(e.op.messages.size(), 2u);
    EXPECT_NE(e.op.messages[1].text.find(named), std::string::npos) << e.op.messages[1].text;
}

TEST(EditorUndo, UndoAndRedoRestoreTheBytesAndAToolJoinsTheHistory) {
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
    EXPECT_TRUE(e.session.CanUndo());
    EXPECT_FALSE(e.session.CanRedo()) << "a new change drops what was undone";
    // Typed bytes leave no line (OK sums them up); a tool, undo and redo do.
    ASSERT_EQ(e.log.Lines().size(), 1u);
    EXPECT_NE(
        e.log.Lines()[0].find(
            " : Editor : Fill 0000000000 - 000000001F with All Bit 0, IC checksum=0x00000000"),
        std::string::npos)
        << e.log.Lines()[0];
    ASSERT_TRUE(e.session.Undo());
    ASSERT_TRUE(e.session.Undo());
    EXPECT_EQ(e.Bytes(), ByteVector(32, 0xFF));
}

// The undo copies kept beside the buffer file.
std::vector<std::filesystem::path> UndoCopies(const TempDir& dir) {
    std::vector<std::filesystem::path> copies;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
        if (entry.path().filename().string().starts_with("output.tmp.undo."))
            copies.push_back(entry.path());
    }
    return copies;
}

// Every tool is one step of the same history as typed edits: undo puts back the bytes and the
// length the buffer had before it (a lengthened file shrinks back), redo makes the change again.
TEST(EditorUndo, EveryToolIsUndoneAndRedoneInOrderWithTypedEdits) {
    constexpr std::uint64_t kDevice = 0x3000;
    // Shorter than the device, so tools that reach past its end lengthen it.
    const ByteVector original = test::Counting(0x2800);
    struct Case {
        const char* what;
        std::function<ToolOutcome(EditorSession&)> run;
        std::size_t length;  // of the file after the tool
        bool onDisk;         // the replaced bytes are more than a small copy kept in memory
    };
    const std::vector<Case> cases = {
        {"fill",
         [](EditorSession& s) {
             auto v = FillDialogDefaults(kDevice);
             v.pattern = FillPattern::AllBit0;
             v.range.start.TypeByte("1000");
             v.range.end.TypeByte("1FFF");
             return s.Fill(v);
         },
         0x2800, false},
        {"fill beyond the file's end",
         [](EditorSession& s) {
             auto v = FillDialogDefaults(kDevice);
             v.pattern = FillPattern::SequentialByte;
             v.range.start.TypeByte("2900");
             return s.Fill(v);
         },
         0x3000, false},
        {"block copy past the device",
         [](EditorSession& s) {
             auto v = BlockDialogDefaults(kDevice);
             v.source.end.TypeByte("FFF");
             v.destination.TypeByte("2800");
             return s.Block(v);
         },
         0x3800, false},
        {"block move",
         [](EditorSession& s) {
             auto v = BlockDialogDefaults(kDevice);
             v.action = BlockAction::Move;
             v.source.end.TypeByte("FFF");
             v.destination.TypeByte("1000");
             return s.Block(v);
         },
         0x2800, true},
        {"block swap across the file's end",
         [](EditorSession& s) {
             auto v = BlockDialogDefaults(kDevice);
             v.action = BlockAction::Swap;
             v.source.end.TypeByte("FFF");
             v.destination.TypeByte("2000");
             return s.Block(v);
         },
         0x3000, true},
        {"byte swap", [](EditorSession& s) { return s.Swap(SwapKind::Byte); }, 0x2800, true},
        {"word swap", [](EditorSession& s) { return s.Swap(SwapKind::Word); }, 0x2800, true},
        {"double swap", [](EditorSession& s) { return s.Swap(SwapKind::Double); }, 0x2800, true},
    };
    for (const auto& c : cases) {
        Editor e(original, kDevice);
        e.session.View().PlaceCursor(0, 1, CursorSide::Hex);
        e.Type("AB");
        const ByteVector typed = e.Bytes();
        ASSERT_EQ(c.run(e.session), ToolOutcome::Done) << c.what;
        const ByteVector changed = e.Bytes();
        ASSERT_EQ(changed.size(), c.length) << c.what;
        ASSERT_NE(changed, typed) << c.what;
        EXPECT_TRUE(e.op.messages.empty()) << c.what;
        EXPECT_EQ(UndoCopies(e.dir).size(), c.onDisk ? 1u : 0u)
            << c.what << ": a larger copy lies beside the buffer";

        ASSERT_TRUE(e.session.CanUndo()) << c.what;
        ASSERT_TRUE(e.session.Undo()) << c.what;
        EXPECT_EQ(e.Bytes(), typed) << c.what;
        ASSERT_TRUE(e.session.Redo()) << c.what;
        EXPECT_EQ(e.Bytes(), changed) << c.what;
        ASSERT_TRUE(e.session.Undo()) << c.what;
        ASSERT_TRUE(e.session.Undo()) << c.what << ": then the typed edit";
        EXPECT_EQ(e.Bytes(), original) << c.what;
        EXPECT_FALSE(e.session.CanUndo()) << c.what;
        ASSERT_TRUE(e.session.Redo()) << c.what;
        ASSERT_TRUE(e.session.Redo()) << c.what;
        EXPECT_EQ(e.Bytes(), changed) << c.what;
        EXPECT_TRUE(e.session.Modified()) << c.what;
        EXPECT_TRUE(e.op.messages.empty()) << c.what;
        EXPECT_TRUE(LinesWith(e.log, "stopped part-way").empty()) << c.what;
    }
}

TEST(EditorUndo, ANewChangeDropsRedoAndTheCopiesGoWhenTheEditorCloses) {
    Editor e(test::Counting(0x2000), 0x2000);
    auto fill = FillDialogDefaults(0x2000);
    fill.pattern = FillPattern::AllBit1;
    ASSERT_EQ(e.session.Fill(fill), ToolOutcome::Done);
    ASSERT_EQ(e.session.Swap(SwapKind::Word), ToolOutcome::Done);
    EXPECT_EQ(UndoCopies(e.dir).size(), 2u);
    ASSERT_TRUE(e.session.Undo());
    e.Type("00");
    EXPECT_FALSE(e.session.CanRedo()) << "a new change drops what was undone";
    EXPECT_EQ(UndoCopies(e.dir).size(), 1u) << "and its copy";

    RecordingHost host;
    ASSERT_EQ(e.session.Ok(host), OkOutcome::Applied);
    EXPECT_TRUE(UndoCopies(e.dir).empty()) << "closing the editor removes the copies";
    EXPECT_FALSE(e.session.CanUndo());

    // Shown again, then the session ends (the program closes) with a copy kept.
    e.session.Show(0x2000);
    ASSERT_EQ(e.session.Fill(fill), ToolOutcome::Done);
    ASSERT_EQ(UndoCopies(e.dir).size(), 1u);
    e.session.Show(0x2000);
    EXPECT_TRUE(UndoCopies(e.dir).empty()) << "a new showing starts without history";
    ASSERT_EQ(e.session.Swap(SwapKind::Byte), ToolOutcome::Done);
    {
        ScriptedOperator op;
        EditorSession other(e.path, op);
        other.Show(0x2000);
        ASSERT_EQ(other.Fill(fill), ToolOutcome::Done);
        EXPECT_EQ(UndoCopies(e.dir).size(), 2u) << "each copy has a name of its own";
    }
    EXPECT_EQ(UndoCopies(e.dir).size(), 1u) << "an ended session removes its copies";
}

// A disk that fills up part-way through a tool: the bytes already written can be undone.
TEST(EditorUndo, AToolThatFailedPartWayCanBeUndone) {
    auto plan = std::make_shared<test::FaultPlan>();
    plan->writeBudget = 0x1080;
    plan->recovers = true;  // room is freed after the failure
    Editor e(test::Counting(0x4000), 0x4000, plan);
    auto fill = FillDialogDefaults(0x4000);
    fill.pattern = FillPattern::AllBit0;
    ASSERT_EQ(e.session.Fill(fill), ToolOutcome::Failed);
    ASSERT_NE(e.Bytes(), test::Counting(0x4000));
    ASSERT_TRUE(e.session.Undo());
    EXPECT_EQ(e.Bytes(), test::Counting(0x4000));
}

// When the copy would not fit the free disk space, the operator decides: No leaves the buffer
// as it is, Yes goes on without undo. A copy small enough for memory never asks.
TEST(EditorUndo, ACopyTooLargeForTheFreeSpaceAsksBeforeGoingOnWithoutUndo) {
    Editor e(test::Counting(0x3000), 0x3000);
    e.op = ScriptedOperator({Answer::No, Answer::Yes});
    e.session.History().SetFreeSpaceProbe(
        [](const std::filesystem::path&) { return std::optional<std::uint64_t>(0x2000); });
    e.Type("AB");
    const ByteVector typed = e.Bytes();
    auto fill = FillDialogDefaults(0x3000);
    fill.pattern = FillPattern::AllBit0;

    EXPECT_EQ(e.session.Fill(fill), ToolOutcome::Refused);
    ASSERT_EQ(e.op.messages.size(), 1u);
    EXPECT_EQ(e.op.messages[0].buttons, Buttons::YesNo);
    EXPECT_EQ(e.op.messages[0].caption, "Fill");
    EXPECT_NE(e.op.messages[0].text.find("needs 12288 bytes, and 8192 bytes are free"),
              std::string::npos)
        << e.op.messages[0].text;
    EXPECT_NE(e.op.messages[0].text.find("Go on without undo?"), std::string::npos);
    EXPECT_EQ(e.Bytes(), typed) << "No: nothing written";
    EXPECT_TRUE(e.session.CanUndo()) << "and the typed edit can still be undone";

    EXPECT_EQ(e.session.Fill(fill), ToolOutcome::Done);
    EXPECT_EQ(e.Bytes(), ByteVector(0x3000, 0x00)) << "Yes: filled without undo";
    EXPECT_FALSE(e.session.CanUndo());
    EXPECT_TRUE(UndoCopies(e.dir).empty());
    ASSERT_EQ(e.log.Lines().size(), 2u);
    EXPECT_NE(e.log.Lines()[0].find("Editor : Fill"), std::string::npos);
    EXPECT_NE(e.log.Lines()[1].find("earlier edits can no longer be undone"), std::string::npos);

    // 4 KiB stays in memory: no question, whatever the disk holds.
    e.session.History().SetFreeSpaceProbe(
        [](const std::filesystem::path&) { return std::optional<std::uint64_t>(0); });
    fill.range.end.TypeByte("FFF");
    fill.pattern = FillPattern::AllBit1;
    EXPECT_EQ(e.session.Fill(fill), ToolOutcome::Done);
    EXPECT_EQ(e.op.messages.size(), 2u);
    ASSERT_TRUE(e.session.Undo());
    EXPECT_EQ(e.Bytes(), ByteVector(0x3000, 0x00));
}

// The copy is made before the tool writes anything: when it cannot be saved, or the buffer cannot
// be read for it, the tool does not run and the operator is told the buffer is unchanged.
TEST(EditorUndo, ACopyThatCannotBeSavedLeavesTheBufferUnchangedAndSaysSo) {
    struct Case {
        const char* what;
        std::function<void(Editor&)> fault;
        const char* reason;
    };
    const std::vector<Case> cases = {
        {"the copy's disk is full",
         [](Editor& e) {
             auto plan = std::make_shared<test::FaultPlan>();
             plan->writeBudget = 0x1800;
             e.session.History().SetCopyOpener(test::FaultyOpener(plan));
         },
         "No space left on device"},
        {"no file can be made beside the buffer",
         [](Editor& e) {
             e.session.History().SetCopyOpener(
                 [](const std::filesystem::path&) -> std::unique_ptr<BufferFileHandle> {
                     errno = EACCES;
                     return nullptr;
                 });
         },
         "Permission denied"},
    };
    for (const auto& c : cases) {
        for (const bool swap : {false, true}) {
            Editor e(test::Counting(0x3000), 0x3000);
            c.fault(e);
            auto fill = FillDialogDefaults(0x3000);
            fill.pattern = FillPattern::AllBit0;
            EXPECT_EQ(swap ? e.session.Swap(SwapKind::Byte) : e.session.Fill(fill),
                      ToolOutcome::Failed)
                << c.what;
            ASSERT_EQ(e.op.messages.size(), 1u) << c.what;
            EXPECT_EQ(e.op.messages[0].caption, "Error");
            const std::string& text = e.op.messages[0].text;
            EXPECT_NE(text.find("The buffer is unchanged"), std::string::npos) << text;
            EXPECT_NE(text.find(c.reason), std::string::npos) << text;
            EXPECT_EQ(e.Bytes(), test::Counting(0x3000)) << c.what;
            EXPECT_FALSE(e.session.Modified()) << c.what;
            EXPECT_FALSE(e.session.CanUndo()) << c.what;
            EXPECT_TRUE(UndoCopies(e.dir).empty()) << c.what << ": no copy left behind";
        }
    }

    // A buffer that cannot be read for the copy.
    auto plan = std::make_shared<test::FaultPlan>();
    plan->readFailsAt = 0x2000;
    Editor e(test::Counting(0x3000), 0x3000, plan);
    EXPECT_EQ(e.session.Swap(SwapKind::Word), ToolOutcome::Failed);
    ASSERT_EQ(e.op.messages.size(), 1u);
    EXPECT_NE(e.op.messages[0].text.find("Input/output error"), std::string::npos);
    EXPECT_EQ(e.Bytes(), test::Counting(0x3000));
    EXPECT_TRUE(UndoCopies(e.dir).empty());
}

// An undo that the disk stops part-way: what it replaced is put back, so the buffer stays as it
// was and undo can be tried again; when even that fails, the buffer is partly undone and the
// next undo finishes the job.
TEST(EditorUndo, AnUndoThatFailsPartWayIsRolledBackOrFinishedByTheNextUndo) {
    for (const bool recovers : {true, false}) {
        auto plan = std::make_shared<test::FaultPlan>();
        Editor e(test::Counting(0x8000), 0x8000, plan);
        ASSERT_EQ(e.session.Swap(SwapKind::Byte), ToolOutcome::Done);
        const ByteVector swapped = e.Bytes();
        plan->writeBudget = plan->written + 0x1000;
        plan->recovers = recovers;
        EXPECT_FALSE(e.session.Undo());
        ASSERT_EQ(e.op.messages.size(), 1u);
        const std::string& text = e.op.messages[0].text;
        EXPECT_NE(text.find("Undo of Byte Swap failed"), std::string::npos) << text;
        if (recovers) {
            EXPECT_NE(text.find("the buffer is as it was"), std::string::npos) << text;
            EXPECT_EQ(e.Bytes(), swapped);
        } else {
            EXPECT_NE(text.find("partly undone"), std::string::npos) << text;
            plan->recovers = true;  // room was freed
        }
        ASSERT_TRUE(e.session.CanUndo());
        ASSERT_TRUE(e.session.Undo());
        EXPECT_EQ(e.Bytes(), test::Counting(0x8000));
        EXPECT_EQ(e.session.CanRedo(), recovers) << "a partly undone step has no redo";
    }
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
    const auto beyond = LinesWith(e.log, "beyond the device's last address");
    ASSERT_EQ(beyond.size(), 1u);
    EXPECT_NE(beyond[0].find("Block Process put 8 bytes beyond the device's last address "
                             "00000000FF"),
              std::string::npos)
        << beyond[0];

    // Within the device: no such line.
    block.destination.TypeByte("F0");
    ASSERT_EQ(e.session.Block(block), ToolOutcome::Done);
    EXPECT_EQ(LinesWith(e.log, "beyond the device's last address").size(), 1u);
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

// After a block lengthened the buffer past the device, "File" gives a range every tool takes;
// a range past the file's end is still refused.
TEST(EditorTools, TheFileRangeCoversABufferLengthenedPastTheDevice) {
    Editor e(test::Counting(0x100), 0x100);
    auto block = BlockDialogDefaults(0x100);
    block.source.end.TypeByte("F");
    block.destination.TypeByte("F8");
    ASSERT_EQ(e.session.Block(block), ToolOutcome::Done);
    ASSERT_EQ(e.session.BufferLength(), 0x108u);

    auto sum = SumDialogDefaults(0x100);
    sum.range = TwinRange::WholeFile(e.session.BufferLength());
    ASSERT_EQ(sum.range.end.byteText, "0000000107");
    EXPECT_TRUE(e.session.Sum(sum).has_value());
    EXPECT_EQ(e.op.messages.back().caption, "CheckSum");

    auto fill = FillDialogDefaults(0x100);
    fill.pattern = FillPattern::AllBit0;
    fill.range = TwinRange::WholeFile(e.session.BufferLength());
    ASSERT_EQ(e.session.Fill(fill), ToolOutcome::Done);
    EXPECT_EQ(e.Bytes(), ByteVector(0x108, 0x00));

    auto source = BlockDialogDefaults(0x100);
    source.source.start.TypeByte("100");
    source.source.end.TypeByte("107");
    source.destination.TypeByte("0");
    EXPECT_EQ(e.session.Block(source), ToolOutcome::Done) << "the bytes past the device can be "
                                                             "moved back into it";

    const std::size_t told = e.op.messages.size();
    fill.range.end.TypeByte("108");
    EXPECT_EQ(e.session.Fill(fill), ToolOutcome::Refused) << "past the file's end";
    sum.range.end.TypeByte("108");
    EXPECT_FALSE(e.session.Sum(sum).has_value());
    ASSERT_EQ(e.op.messages.size(), told + 2);
    EXPECT_EQ(e.op.messages.back().text, "Input Value Error!");
    EXPECT_EQ(e.Bytes().size(), 0x108u);
}

TEST(EditorTools, SumOfAFreshRangeShowsTenDigits) {
    Editor e(ByteVector(0x100, 0xFF), 0x100);
    ASSERT_TRUE(e.session.Sum(SumDialogDefaults(0x100)));
    EXPECT_EQ(e.op.messages.back().text, "000000FF00");
}

}  // namespace
}  // namespace torq::editor

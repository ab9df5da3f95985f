#include "torq/editor/HexView.h"

#include <gtest/gtest.h>

#include "EditorFixtures.h"

namespace torq::editor {
namespace {

using test::TempDir;

constexpr std::uint64_t kGiB = std::uint64_t{1} << 30;

TEST(HexViewNavigation, ScrollStopsAtThePageHoldingTheLastAddress) {
    struct Case {
        std::uint64_t deviceSize;
        std::uint64_t limit;
    };
    for (const Case c : {Case{0x100000, (0x100000 - 256) / 16}, Case{100, 0}, Case{256, 0},
                         Case{272, 1}, Case{1000, 0x2F}, Case{4 * kGiB, (4 * kGiB - 256) / 16}}) {
        HexView view;
        view.Reset(c.deviceSize);
        view.SetScrollPosition(UINT64_MAX);
        EXPECT_EQ(view.ScrollLimit(), c.limit) << c.deviceSize;
        EXPECT_EQ(view.ScrollPosition(), c.limit) << c.deviceSize;
        EXPECT_LE(view.PageAddress(), c.deviceSize - 1);
        EXPECT_GE(view.PageAddress() + kPageBytes, c.deviceSize < kPageBytes ? 0 : c.deviceSize)
            << "the last page shows the last address";
    }
}

TEST(HexViewNavigation, BlockControlShowsAboveOneGiBAndStaysWithinTheDevice) {
    HexView view;
    view.Reset(kGiB);
    EXPECT_FALSE(view.BlockControlVisible());
    view.NextBlock();
    EXPECT_EQ(view.Block(), 0u);

    view.Reset(4 * kGiB);
    EXPECT_TRUE(view.BlockControlVisible());
    for (int i = 0; i < 5; ++i)
        view.NextBlock();
    EXPECT_EQ(view.Block(), 3u) << "the block of the last address";
    EXPECT_EQ(view.PageAddress(), 3 * kGiB);
    view.SetScrollPosition(UINT64_MAX);
    EXPECT_EQ(view.PageAddress(), 4 * kGiB - kPageBytes) << "scrolling stops at the last page";
    view.PreviousBlock();
    EXPECT_EQ(view.Block(), 2u);

    // The block field: digits only, empty is 0, 1024 and above the last block, then the bound.
    EXPECT_EQ(view.TypeBlockText(""), "0");
    EXPECT_EQ(view.TypeBlockText("2x"), "2");
    EXPECT_EQ(view.TypeBlockText("5000"), "3");
    view.Reset(std::uint64_t{2000} * kGiB);
    EXPECT_EQ(view.TypeBlockText("5000"), "1023");
}

TEST(HexViewNavigation, TypedRowAddressMovesTheViewAndIsBounded) {
    HexView view;
    view.Reset(0x100000);
    view.PlaceAddressCaret(2, 6);
    EXPECT_EQ(view.RowAddressText(2), "0000000020");
    ASSERT_TRUE(view.TypeAddressDigit('1'));
    EXPECT_EQ(view.RowAddressText(2), "0000001020");
    EXPECT_EQ(view.PageAddress(), 0x1000u);
    EXPECT_EQ(view.AddressCaretDigit(), 7);
    EXPECT_FALSE(view.TypeAddressDigit('g'));

    // Far beyond the device: the view stops at the last page.
    view.PlaceAddressCaret(2, 0);
    view.TypeAddressDigit('F');
    EXPECT_EQ(view.PageAddress(), 0x100000u - kPageBytes);

    // 16-bit cells: the row address is a word address.
    view.Reset(0x100000);
    view.SetWidth(CellWidth::Word);
    view.PlaceAddressCaret(0, 7);
    view.TypeAddressDigit('4');
    EXPECT_EQ(view.RowAddressText(0), "0000000400");
    EXPECT_EQ(view.PageAddress(), 0x800u);
}

TEST(HexViewCursor, MovesWrapRowsScrollAndStopAtTheDeviceEnds) {
    HexView view;
    view.Reset(0x1000);
    view.Move(CursorMove::Left);
    EXPECT_EQ(view.EditAddress(), 0u);
    view.Move(CursorMove::RowEnd);
    view.Move(CursorMove::Right);
    EXPECT_EQ(view.EditAddress(), 0x10u) << "past the last column to the next row";
    for (int i = 0; i < 16; ++i)
        view.Move(CursorMove::Down);
    EXPECT_EQ(view.EditAddress(), 0x110u);
    EXPECT_EQ(view.PageAddress(), 0x20u) << "the view scrolls to keep the cursor";
    EXPECT_EQ(view.CursorRow(), 15);
    view.Move(CursorMove::PageDown);
    EXPECT_EQ(view.EditAddress(), 0x210u);
    view.Move(CursorMove::Last);
    EXPECT_EQ(view.EditAddress(), 0xFFFu);
    view.Advance();
    EXPECT_EQ(view.EditAddress(), 0xFFFu) << "nothing beyond the last address";
    view.Move(CursorMove::First);
    EXPECT_EQ(view.PageAddress(), 0u);
    // A jump shows its row at the top; one onto the page only moves the cursor.
    view.GoTo(0x505);
    EXPECT_EQ(view.PageAddress(), 0x500u);
    view.GoTo(0x513);
    EXPECT_EQ(view.PageAddress(), 0x500u);
    EXPECT_EQ(view.CursorRow(), 1);
    view.Move(CursorMove::First);

    // 16-bit cells move a word at a time on the hex side, a byte on the character side.
    view.SetWidth(CellWidth::Word);
    view.Move(CursorMove::Right);
    EXPECT_EQ(view.EditAddress(), 2u);
    view.SetSide(CursorSide::Character);
    view.Move(CursorMove::Right);
    EXPECT_EQ(view.EditAddress(), 3u);
    view.SetSide(CursorSide::Hex);
    EXPECT_EQ(view.EditAddress(), 2u) << "a word cell starts at an even address";

    // No cell beyond a device shorter than a page takes the cursor.
    view.Reset(20);
    EXPECT_FALSE(view.PlaceCursor(1, 4, CursorSide::Hex));
    EXPECT_TRUE(view.PlaceCursor(1, 3, CursorSide::Hex));
}

TEST(HexViewSelection, ShiftMovesClicksAndDragsRunFromWhereTheSelectionBegan) {
    HexView view;
    view.Reset(0x1000);
    view.GoTo(0x105);
    view.Move(CursorMove::Left, true);
    view.Move(CursorMove::Left, true);
    EXPECT_EQ(view.Selection(), (ByteRange{0x103, 3})) << "both end cells included";
    view.Move(CursorMove::RowEnd, true);
    EXPECT_EQ(view.Selection(), (ByteRange{0x105, 0xB})) << "back across the start";
    view.Move(CursorMove::Last, true);
    EXPECT_EQ(view.Selection(), (ByteRange{0x105, 0x1000 - 0x105}));
    view.Move(CursorMove::Up);
    EXPECT_FALSE(view.Selection());

    // A click begins a drag; a drag above the page scrolls a row at a time.
    view.GoTo(0x200);
    ASSERT_TRUE(view.Click(2, 4, CursorSide::Character, false));
    EXPECT_FALSE(view.Selection());
    view.DragTo(3, 1);
    EXPECT_EQ(view.Selection(), (ByteRange{0x224, 0xE}));
    view.DragTo(-1, 0);
    EXPECT_EQ(view.PageAddress(), 0x1F0u);
    EXPECT_EQ(view.Selection(), (ByteRange{0x1F0, 0x35}));
    ASSERT_TRUE(view.Click(5, 0, CursorSide::Character, true));
    EXPECT_EQ(view.Selection(), (ByteRange{0x224, 0x1D})) << "Shift+click";

    // 16-bit cells on the hex side select whole words, the last cut at the device's end.
    view.Reset(0x101);
    view.SetWidth(CellWidth::Word);
    view.GoTo(0xF0);
    view.Move(CursorMove::Last, true);
    EXPECT_EQ(view.Selection(), (ByteRange{0xF0, 0x11}));
    view.SelectAll();
    EXPECT_EQ(view.Selection(), (ByteRange{0, 0x101}));
    view.SelectBytes(0x41, 0x42);
    EXPECT_EQ(view.Selection(), (ByteRange{0x41, 2})) << "a find's match: exactly its bytes";
}

TEST(HexViewPage, ShowsBytesWordsAndFFBeyondTheFile) {
    TempDir dir;
    const BufferDocument document(test::WriteBuffer(dir, {0x01, 0x02, 0x41, 0x7F}));
    HexView view;
    view.Reset(0x1000);
    ASSERT_TRUE(view.Refresh(document));
    EXPECT_EQ(view.CellText(0, 0), "01");
    EXPECT_EQ(view.CellText(0, 4), "FF");
    EXPECT_EQ(view.CharacterAt(0, 2), 'A');
    EXPECT_EQ(view.CharacterAt(0, 3), '.');
    view.SetWidth(CellWidth::Word);
    EXPECT_EQ(view.CellText(0, 0), "0201") << "the odd byte first";
    EXPECT_EQ(view.CellText(0, 1), "7F41");
    EXPECT_EQ(view.CellsPerRow(), 8);

    view.SetScrollPosition(0x10);
    EXPECT_EQ(view.RowAddressText(1), "0000000088") << "word address of byte 0x110";
}

}  // namespace
}  // namespace torq::editor

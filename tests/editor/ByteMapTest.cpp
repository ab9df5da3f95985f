#include "torq/editor/ByteMap.h"

#include <gtest/gtest.h>

#include "EditorFixtures.h"

namespace torq::editor {
namespace {

using test::ByteVector;
using test::TempDir;

TEST(ByteMapClasses, ACellIsJudgedByItsFirst4096BytesOrAllOfASmallerCell) {
    TempDir dir;
    // 4 MiB device at 16 rows: 16 KiB cells. Cell 0 is FF for its first 4096 bytes and holds
    // data after them; cell 1 starts with zeros; the file ends inside cell 2.
    ByteVector bytes(0x8800, 0xFF);
    bytes[0x2000] = 0x12;
    std::fill(bytes.begin() + 0x4000, bytes.begin() + 0x5000, 0x00);
    bytes[0x8100] = 0x34;
    const BufferDocument document(test::WriteBuffer(dir, bytes));
    ByteMap map;
    map.Reset(0x400000);
    ASSERT_EQ(map.CellBytes(), 0x4000u);
    ASSERT_TRUE(map.Refresh(document));
    EXPECT_EQ(map.ClassAt(0, 0), MapClass::Erased);
    EXPECT_EQ(map.ClassAt(0, 1), MapClass::Zero);
    EXPECT_EQ(map.ClassAt(0, 2), MapClass::Data);
    EXPECT_EQ(map.ClassAt(15, 15), MapClass::Erased) << "beyond the file reads FF";

    // 64 KiB device: 256-byte cells are read whole.
    map.Reset(0x10000);
    ByteVector small(0x600, 0xFF);
    small[0x3FF] = 0x00;
    std::fill(small.begin() + 0x500, small.end(), 0x00);
    const BufferDocument smallDocument(test::WriteBuffer(dir, small));
    ASSERT_TRUE(map.Refresh(smallDocument));
    EXPECT_EQ(map.ClassAt(0, 3), MapClass::Data) << "a byte at the end of a small cell counts";
    EXPECT_EQ(map.ClassAt(0, 5), MapClass::Zero);
    EXPECT_EQ(map.ClassAt(0, 4), MapClass::Erased);
}

TEST(ByteMapZoom, RowsDoubleHalveAndStopAtTheirBoundsFollowingThePosition) {
    ByteMap map;
    map.Reset(0x100000);
    map.ShowPosition(0x80000);
    map.ZoomOut();
    EXPECT_EQ(map.Rows(), 16u);
    map.ZoomIn();
    EXPECT_EQ(map.Rows(), 32u);
    EXPECT_EQ(map.Pages(), 2u);
    EXPECT_EQ(map.RowBytes(), 0x8000u);
    EXPECT_EQ(map.TopRow(), 16u) << "the row that holds the position";
    map.Detail();
    EXPECT_EQ(map.Rows(), 0x100000u / 64);
    EXPECT_EQ(map.CellBytes(), 4u);
    map.ZoomIn();
    EXPECT_EQ(map.Rows(), 0x100000u / 64) << "never below 4 bytes a cell";
    EXPECT_EQ(map.CellStart(0, 0), 0x80000u);
    map.SetTopRow(UINT64_MAX);
    EXPECT_EQ(map.TopRow(), map.Rows() - 16);
    map.FullDevice();
    EXPECT_EQ(map.Rows(), 16u);
    EXPECT_EQ(map.TopRow(), 0u);
    EXPECT_EQ(map.PageNumber(), 1u);

    map.Reset(512);
    map.Detail();
    EXPECT_EQ(map.Rows(), 16u) << "devices below 1024 bytes";
    EXPECT_EQ(map.CellBytes(), 2u);
    map.Reset(100);
    EXPECT_EQ(map.CellBytes(), 1u);
    EXPECT_FALSE(map.CellInsideDevice(6, 4));
    EXPECT_TRUE(map.CellInsideDevice(6, 3));
}

TEST(ByteMapHints, NameTheCellsRangeAndClass) {
    TempDir dir;
    ByteVector bytes(0x2000, 0x00);
    const BufferDocument document(test::WriteBuffer(dir, bytes));
    ByteMap map;
    map.Reset(0x100000);  // 4 KiB cells
    ASSERT_TRUE(map.Refresh(document));
    EXPECT_EQ(map.Hint(0, 1),
              "Block Start Address : 0000001000\nBlock End Address : 0000001FFF\n"
              "This Block is 00h Block");
    EXPECT_EQ(map.Hint(1, 0).substr(0, 33), "Block Start Address : 0000010000\n");
    EXPECT_NE(map.Hint(1, 0).find("FFh Block"), std::string::npos);
    EXPECT_EQ(map.RowAddressText(2), "0000020000");
}

}  // namespace
}  // namespace torq::editor

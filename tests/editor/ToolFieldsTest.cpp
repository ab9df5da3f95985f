#include "torq/editor/ToolFields.h"

#include <gtest/gtest.h>

namespace torq::editor {
namespace {

TEST(TwinAddress, TheTypedSideDrivesItsTwin) {
    TwinAddress a = TwinAddress::Of(0x1FF);
    EXPECT_EQ(a.byteText, "00000001FF");
    EXPECT_EQ(a.wordText, "00000000FF");
    a.TypeByte("1000");
    EXPECT_EQ(a.wordText, "800");
    a.TypeWord("400");
    EXPECT_EQ(a.byteText, "800");
    EXPECT_EQ(a.ByteAddress(), 0x800u);
    for (const char* bad : {"", "12G"}) {
        a.TypeByte(bad);
        EXPECT_EQ(a.byteText, "0") << bad;
        EXPECT_EQ(a.wordText, "0") << bad;
        a.TypeWord("1");
        a.TypeWord(bad);
        EXPECT_EQ(a.byteText, "0") << bad;
    }
}

TEST(ToolDefaults, OpenOnTheWholeDeviceAndShowTheDestinationEnd) {
    const FillDialogValues fill = FillDialogDefaults(0x100000);
    EXPECT_EQ(fill.range.start.byteText, "0000000000");
    EXPECT_EQ(fill.range.end.byteText, "00000FFFFF");
    EXPECT_EQ(fill.range.end.wordText, "000007FFFF");
    EXPECT_EQ(fill.pattern, FillPattern::Random);
    EXPECT_EQ(fill.userByteText, "55");
    EXPECT_EQ(fill.userWordText, "FFFF");

    BlockDialogValues block = BlockDialogDefaults(0x100000);
    EXPECT_EQ(block.destination.byteText, "0");
    EXPECT_EQ(block.fillText, "FF");
    block.source.start.TypeByte("100");
    block.source.end.TypeByte("1FF");
    block.destination.TypeByte("1000");
    EXPECT_EQ(DestinationEnd(block).byteText, "00000010FF");
    EXPECT_EQ(DestinationEnd(block).wordText, "000000087F");
    block.source.end.TypeByte("10");
    EXPECT_EQ(DestinationEnd(block).byteText, "----------");

    EXPECT_EQ(TwinRange::WholeFile(0).end.byteText, "0000000000");
    EXPECT_EQ(RangeSumText(0x123456789AB), "123456789AB");
}

}  // namespace
}  // namespace torq::editor

#include "torq/devlib/SectorTable.h"

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "torq/devlib/Text.h"

namespace torq {
namespace {

TEST(At26FamilyOf, TakesTheFirstFamilyTheNameContains) {
    EXPECT_EQ(At26FamilyOf("AT26DF081A")->sectors, 19);
    EXPECT_EQ(At26FamilyOf("AT26DF081A")->blockLength, 128);
    EXPECT_EQ(At26FamilyOf("AT26DF041")->sectors, 6);
    EXPECT_EQ(At26FamilyOf("AT26DF161A")->sectors, 16);
    EXPECT_EQ(At26FamilyOf("AT26DF321")->blockLength, 384);
    EXPECT_FALSE(At26FamilyOf("AT26F004").has_value());
    EXPECT_TRUE(IsPerSectorProtected("AT26F004"));
    EXPECT_FALSE(IsPerSectorProtected("at26df081a"));  // the name test is case-sensitive
}

TEST(ReadSectorTable, ConsumesEachLineByTheEntryRules) {
    test::TempDir dir;
    const auto path = dir.Write("t.txt",
                                "0X000000,0X00FFFF,\r\n"           // one entry: 9 characters remain
                                "0x010000,0X020000,0X030000,\r\n"  // two entries, upper-cased
                                "40000,\r\n"                       // no prefix: read as hex
                                "0X050000,0X050000,0X060000,\r\n"  // occurs again: ends the line
                                ",0X070000,\r\n"                   // empty entry ends the line
                                "0X1234567\r\n");                  // no comma; low 24 bits
    const SectorTable table = ReadSectorTable(path, 6);
    EXPECT_EQ(table.starts,
              (std::vector<std::uint32_t>{0x000000, 0x010000, 0x020000, 0x040000, 0x234567}));
    EXPECT_EQ(table.entriesFound, 5);
    EXPECT_FALSE(table.Matches(6));
}

TEST(ReadSectorTable, StopsAfterTheLineThatExceedsTheCount) {
    test::TempDir dir;
    std::string text;
    for (int i = 0; i < 10; ++i)
        text += "0X0" + std::to_string(i) + "0000,\n";
    const auto path = dir.Write("t.txt", text);
    const SectorTable exact = ReadSectorTable(path, 10);
    EXPECT_TRUE(exact.Matches(10));
    EXPECT_EQ(exact.starts.back(), 0x090000u);
    const SectorTable tooMany = ReadSectorTable(path, 6);
    EXPECT_EQ(tooMany.starts.size(), 6u);
    EXPECT_EQ(tooMany.entriesFound, 7);
    EXPECT_FALSE(tooMany.Matches(6));
    EXPECT_EQ(ReadSectorTable(dir / "none.txt", 6).entriesFound, 0);
}

TEST(ReadSectorTable, HostileFilesEndQuickly) {
    test::TempDir dir;
    // One line of a million distinct entries stops once it has more than the family count.
    std::string line;
    for (int i = 0; i < 100000; ++i)
        line += HexText(static_cast<std::uint64_t>(i), 6) + ",";
    const SectorTable long_line = ReadSectorTable(dir.Write("long.txt", line), 6);
    EXPECT_EQ(long_line.entriesFound, 7);
    EXPECT_EQ(long_line.starts.size(), 6u);
    // Something that is no regular file is not read at all.
    EXPECT_EQ(ReadSectorTable("/dev/zero", 6).entriesFound, 0);
    EXPECT_EQ(ReadSectorTable(dir.Path(), 6).entriesFound, 0);
}

}  // namespace
}  // namespace torq

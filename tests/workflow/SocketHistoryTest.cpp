#include "torq/workflow/SocketHistory.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.h"

namespace torq {
namespace {

using test::TempDir;

LoadDialogState Dialog(std::string start, std::string end, std::string destination, bool fill,
                       std::string fillText, LoadFormat format) {
    LoadDialogState dialog;
    dialog.sourceStartText = std::move(start);
    dialog.sourceEndText = std::move(end);
    dialog.destinationText = std::move(destination);
    dialog.fillUnused = fill;
    dialog.fillText = std::move(fillText);
    dialog.format = format;
    dialog.chosenFormat = format;
    return dialog;
}

TEST(SocketHistory, RoundTripsAddressesAsSignedDecimalsInTheirOrder) {
    TempDir dir;
    const auto path = dir.Write("History.ini", "[Option]\r\nWatchAutoReload=1\r\n");
    const LoadDialogState dialog =
        Dialog("00000010", "FFFFFFFF", "80000000", false, "0", LoadFormat::MotorolaHex);
    ASSERT_TRUE(SaveSocketHistory(path, 1, 1, {"Winbond", "W25Q64", "/data/fw.hex", dialog}));

    const IniFile file(path);
    const std::vector<std::string> keys = {"Vendor",
                                           "Type",
                                           "Socket1File",
                                           "Socket1SourceSAdd",
                                           "Socket1SourceEAdd",
                                           "Socket1DestSAdd",
                                           "Socket1UnusedFill_Checked",
                                           "Socket1UnusedFill",
                                           "Socket1Format"};
    EXPECT_EQ(file.Keys("Device1"), keys);
    EXPECT_EQ(file.ReadString("Device1", "Socket1SourceEAdd"), "-1");
    EXPECT_EQ(file.ReadString("Device1", "Socket1DestSAdd"), "-2147483648");
    EXPECT_EQ(file.ReadString("Option", "WatchAutoReload"), "1");

    const StoredSocket stored = ReadSocketHistory(file, 1, 1);
    EXPECT_EQ(stored.vendor, "Winbond");
    EXPECT_EQ(stored.type, "W25Q64");
    EXPECT_EQ(stored.settings.workFile, "/data/fw.hex");
    EXPECT_EQ(stored.settings.sourceStartText, "00000010");
    EXPECT_EQ(stored.settings.sourceEndText, "FFFFFFFF");
    EXPECT_EQ(stored.settings.load.destinationText, "80000000");
    EXPECT_FALSE(stored.settings.load.fillEnabled);
    EXPECT_EQ(stored.settings.load.fillValue, 0);
    EXPECT_EQ(stored.settings.load.format, 5);
}

TEST(SocketHistory, AutoDetectIsKeptAsChosenNotAsTheLastFileResolvedIt) {
    TempDir dir;
    const auto path = dir / "History.ini";
    LoadDialogState dialog = Dialog("0", "0", "0", true, "FF", LoadFormat::IntelHex);
    dialog.chosenFormat = LoadFormat::AutoDetect;
    ASSERT_TRUE(SaveSocketHistory(path, 1, 1, {"V", "T", "/f.hex", dialog}));
    EXPECT_EQ(ReadSocketHistory(IniFile(path), 1, 1).settings.load.format, 0);
}

TEST(SocketHistory, OnlyUnitOneIsWritten) {
    TempDir dir;
    const auto path = dir / "History.ini";
    const LoadDialogState dialog;
    EXPECT_TRUE(SaveSocketHistory(path, 2, 1, {"V", "T", "/f", dialog}));
    EXPECT_TRUE(SaveSocketHistory(path, 1, 0, {"V", "T", "/f", dialog}));
    EXPECT_FALSE(std::filesystem::exists(path));

    // Any socket but 1 writes socket 2's keys; a field that is no 32-bit number is kept as 0.
    ASSERT_TRUE(SaveSocketHistory(
        path, 1, 7, {"V", "T", "/f", Dialog("", "1FFFFFFFF", "zz", true, "", LoadFormat::Binary)}));
    const IniFile file(path);
    EXPECT_EQ(file.ReadString("Device1", "Socket2File"), "/f");
    EXPECT_EQ(file.ReadString("Device1", "Socket2SourceSAdd"), "0");
    EXPECT_EQ(file.ReadString("Device1", "Socket2SourceEAdd"), "0");
    EXPECT_EQ(file.ReadString("Device1", "Socket2DestSAdd"), "0");
    EXPECT_EQ(file.ReadString("Device1", "Socket2UnusedFill"), "0");
    EXPECT_FALSE(file.HasKey("Device1", "Socket1File"));
}

TEST(SocketHistory, HandWrittenValuesAreCheckedBeforeUse) {
    TempDir dir;
    const std::string longName(5000, 'a');
    const IniFile file(dir.Write("History.ini",
                                 "[Device1]\r\n"
                                 "Vendor=Acme\r\n"
                                 "Socket1File=/" +
                                     longName +
                                     "\r\n"
                                     "Socket1SourceSAdd=0x100\r\n"
                                     "Socket1SourceEAdd=99999999999\r\n"
                                     "Socket1DestSAdd=256\r\n"
                                     "Socket1UnusedFill_Checked=256\r\n"
                                     "Socket1UnusedFill=0\r\n"
                                     "Socket1Format=1\r\n"
                                     "Socket2SourceSAdd=twelve\r\n"
                                     "Socket2UnusedFill_Checked=2\r\n"
                                     "Socket2UnusedFill=-1\r\n"
                                     "Socket2Format=200\r\n"
                                     "[Device2]\r\n"));
    const StoredSocket first = ReadSocketHistory(file, 1, 1);
    EXPECT_EQ(first.vendor, "Acme");
    EXPECT_EQ(first.type, "");
    EXPECT_LE(first.settings.workFile.size(), kIniValueLimit);
    EXPECT_EQ(first.settings.sourceStartText, "00000100");
    EXPECT_EQ(first.settings.sourceEndText, "00000000");  // not a 32-bit number
    EXPECT_EQ(first.settings.load.destinationText, "00000100");
    EXPECT_FALSE(first.settings.load.fillEnabled);  // kept in 8 bits
    EXPECT_EQ(first.settings.load.fillValue, 0);
    EXPECT_EQ(first.settings.load.format, 1);

    const StoredSocket second = ReadSocketHistory(file, 1, 2);
    EXPECT_EQ(second.settings.sourceStartText, "00000000");
    EXPECT_TRUE(second.settings.load.fillEnabled);
    EXPECT_EQ(second.settings.load.fillValue, 0xFF);
    EXPECT_EQ(second.settings.load.format, 0);  // outside the format list

    // A section without keys, and a missing file, give every default.
    for (const StoredSocket& empty :
         {ReadSocketHistory(file, 2, 1), ReadSocketHistory(IniFile(dir / "none.ini"), 1, 1)}) {
        EXPECT_EQ(empty.vendor, "");
        EXPECT_EQ(empty.settings.workFile, "");
        EXPECT_EQ(empty.settings.sourceEndText, "00000000");
        EXPECT_TRUE(empty.settings.load.fillEnabled);
        EXPECT_EQ(empty.settings.load.fillValue, 0xFF);
        EXPECT_EQ(empty.settings.load.format, 0);
    }
}

TEST(SocketHistory, ARestoreResetsTheOtherSocketsLoadSettings) {
    SavedSettings saved;
    for (SavedSocket& socket : saved.sockets) {
        socket.enabled = true;
        socket.workFile = "/f";
        socket.sourceEndText = "000000FF";
        socket.load = {"00000100", false, 0, 3, std::nullopt};
    }
    ResetOtherSocket(saved, 1);
    const SavedSocket& other = saved.sockets[1];
    EXPECT_EQ(other.sourceEndText, "00000000");
    EXPECT_EQ(other.load.destinationText, "00000000");
    EXPECT_TRUE(other.load.fillEnabled);
    EXPECT_EQ(other.load.fillValue, 0xFF);
    EXPECT_EQ(other.load.format, 0);
    EXPECT_EQ(other.workFile, "/f");
    EXPECT_EQ(saved.sockets[0].load.destinationText, "00000100");
}

}  // namespace
}  // namespace torq

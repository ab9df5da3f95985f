#include "torq/devlib/DeviceLibrary.h"

#include <gtest/gtest.h>

#include "TestSupport.h"

namespace torq {
namespace {

using test::ScriptedOperator;
using test::TempDir;

std::string SelectIni(const std::string& type, const std::string& body) {
    return "[Machine]\r\nType=" + type + "\r\nMainCode=0x10\r\n[Date]\r\nDate=2011/05/20\r\n" +
           body;
}

TEST(DeviceLibrary, RefusesAnIdentityThatIsNotExact) {
    for (const std::string type : {"torq-spi", "TORQ-SPI ", "", "TORQ"}) {
        TempDir dir;
        dir.Write("Select.ini", SelectIni(type, ""));
        const DeviceLibrary library(ProgramDirectory::Portable(dir.Path()));
        ScriptedOperator op;
        const auto result = library.Check(op);
        // Trailing blanks are not part of an INI value, so "TORQ-SPI " is accepted.
        const bool accepted = type == "TORQ-SPI ";
        EXPECT_EQ(result.identityOk, accepted) << '"' << type << '"';
        if (!accepted) {
            ASSERT_EQ(op.messages.size(), 1u);
            EXPECT_EQ(op.messages[0].text, "Device Library is incorrect .");
            EXPECT_EQ(op.messages[0].severity, Severity::Error);
        }
    }
    TempDir empty;
    ScriptedOperator op;
    EXPECT_FALSE(DeviceLibrary(ProgramDirectory::Portable(empty.Path())).Check(op).identityOk);
}

TEST(DeviceLibrary, ListsVendorsSortedAndReportsEmptyKeys) {
    TempDir dir;
    std::string vendors = "[Vendor]\r\nValue=12\r\n";
    for (int i = 1; i <= 12; ++i) {
        if (i == 5)
            continue;  // 0005 is empty
        vendors += NumberedKey(i) + "=V" + std::to_string(i) + "\r\n";
    }
    vendors += "0002=winbond\r\n000C=ATMEL\r\n000B=Macronix\r\n";
    dir.Write("Select.ini", SelectIni("TORQ-SPI", vendors));
    const DeviceLibrary library(ProgramDirectory::Portable(dir.Path()));
    ScriptedOperator op;
    const auto result = library.Check(op);
    EXPECT_TRUE(result.identityOk);
    EXPECT_EQ(result.dateText, "2011/05/20");
    EXPECT_EQ(library.MainCode(), 16);
    // Duplicate keys: the first wins, so 0002 is V2; 000B and 000C are the last two read.
    const std::vector<std::string> expected = {"V1", "V10", "V11", "V12", "V2", "V3",
                                               "V4", "V6",  "V7",  "V8",  "V9"};
    EXPECT_EQ(result.vendorList, expected);
    EXPECT_EQ(result.errors, std::vector<std::string>{"Error : SelectINI->[Vendor]->0005"});
    ASSERT_EQ(op.messages.size(), 1u);
    EXPECT_EQ(op.messages[0].text, "Error : SelectINI->[Vendor]->0005");
}

TEST(DeviceLibrary, AHostileListLengthCostsNoMoreThanTheKeysThereAre) {
    TempDir dir;
    // Two thousand vendors, each claiming 65535 types.
    std::string body = "[Vendor]\r\nValue=0xFFFF\r\n";
    for (int i = 1; i <= 2000; ++i)
        body += NumberedKey(static_cast<unsigned>(i)) + "=V" + std::to_string(i) + "\r\n";
    for (int i = 1; i <= 2000; ++i)
        body += "[V" + std::to_string(i) + "]\r\nValue=65535\r\n0002=T\r\n";
    dir.Write("Select.ini", SelectIni("TORQ-SPI", body));
    const DeviceLibrary library(ProgramDirectory::Portable(dir.Path()));
    const NameList vendors = library.Vendors();
    EXPECT_EQ(vendors.names.size(), 2000u);
    ASSERT_EQ(vendors.errors.size(), static_cast<std::size_t>(kNumberedListErrorLines) + 1);
    EXPECT_EQ(vendors.errors.front(), "Error : SelectINI->[Vendor]->07D1");
    EXPECT_EQ(vendors.errors.back(),
              "Error : SelectINI->[Vendor] : 63435 more keys empty or refused");
    std::size_t types = 0;
    for (const auto& vendor : library.VendorsInFileOrder()) {
        const NameList list = library.TypesOf(vendor);
        types += list.names.size();
        ASSERT_EQ(list.errors.size(), static_cast<std::size_t>(kNumberedListErrorLines) + 1);
        EXPECT_EQ(list.errors[0], "Error : SelectINI->[" + vendor + "]->0001");
        EXPECT_EQ(list.errors[1], "Error : SelectINI->[" + vendor + "]->0003");
    }
    EXPECT_EQ(types, 2000u);
}

TEST(DeviceLibrary, SortsWithoutRegardToCaseAndKeepsFileOrderForDetection) {
    TempDir dir;
    dir.Write(
        "Select.ini",
        SelectIni(
            "TORQ-SPI",
            "[Vendor]\r\nValue=3\r\n0001=winbond\r\n0002=ATMEL\r\n0003=Macronix\r\n"
            "[winbond]\r\nValue=3\r\n0001=W25Q64\r\n0003=w25X40\r\n"
            "W25Q64=w25q64.ini\r\nW25Q64_ManCode=0xEF401700\r\nW25Q64_DevCode=0xFFFFFF00\r\n"));
    const DeviceLibrary library(ProgramDirectory::Portable(dir.Path()));
    EXPECT_EQ(library.Vendors().names, (std::vector<std::string>{"ATMEL", "Macronix", "winbond"}));
    EXPECT_EQ(library.VendorsInFileOrder(),
              (std::vector<std::string>{"winbond", "ATMEL", "Macronix"}));
    const NameList types = library.TypesOf("WINBOND");
    EXPECT_EQ(types.names, (std::vector<std::string>{"W25Q64", "w25X40"}));
    EXPECT_EQ(types.errors, std::vector<std::string>{"Error : SelectINI->[WINBOND]->0002"});
    EXPECT_EQ(library.DeviceFileOf("winbond", "w25q64"), dir.Path() / "Ini" / "w25q64.ini");
    EXPECT_EQ(library.DetectManCode("winbond", "W25Q64"), 0xEF401700u);
    EXPECT_EQ(library.DetectDevCode("winbond", "W25Q64"), 0xFFFFFF00u);
    EXPECT_EQ(library.DetectManCode("winbond", "w25X40"), 0x55AAAA55u);
    EXPECT_EQ(library.DetectDevCode("winbond", "w25X40"), 0xFFFFFFFFu);
}

TEST(DeviceLibrary, LeavesOutTypesWhoseDeviceFileIsOutsideTheLibrary) {
    TempDir dir;
    dir.Write("secret/passwd", "root:x:0:0");
    dir.Write("lib/Ini/w25q64.ini", "[TORQ-SPI_ExternValue]\r\n");
    dir.Write("lib/Select.ini",
              SelectIni("TORQ-SPI",
                        "[Vendor]\r\nValue=1\r\n0001=Winbond\r\n[Winbond]\r\nValue=2\r\n"
                        "0001=W25Q64\r\n0002=W25X10\r\nW25Q64=W25Q64.INI\r\n"
                        "W25X10=..\\..\\secret\\passwd\r\n"));
    const DeviceLibrary library(ProgramDirectory::Portable(dir / "lib"));
    const NameList types = library.TypesOf("Winbond");
    EXPECT_EQ(types.names, std::vector<std::string>{"W25Q64"});
    const std::string refused =
        "Error : SelectINI->[Winbond]->W25X10 : ..\\..\\secret\\passwd is outside the device "
        "library";
    EXPECT_EQ(types.errors, std::vector<std::string>{refused});
    EXPECT_EQ(library.TypesInFileOrder("Winbond"), std::vector<std::string>{"W25Q64"});
    std::string refusal;
    EXPECT_TRUE(library.DeviceFileOf("Winbond", "W25X10", &refusal).empty());
    EXPECT_EQ(refusal, refused);
    EXPECT_EQ(library.DeviceFileOf("Winbond", "W25Q64"), dir / "lib" / "Ini" / "w25q64.ini");
}

TEST(DeviceLibrary, AnIndexThatIsNoRegularFileIsRefusedWithoutHanging) {
    TempDir dir;
    std::filesystem::create_symlink("/dev/zero", dir / "Select.ini");
    const DeviceLibrary library(ProgramDirectory::Portable(dir.Path()));
    ScriptedOperator op;
    EXPECT_FALSE(library.Check(op).identityOk);
    EXPECT_NE(library.Index().ReadProblem().find("not a regular file"), std::string::npos);
}

TEST(DeviceLibrary, ReadsDetectionEntriesAndLevels) {
    TempDir dir;
    dir.Write("Select.ini", SelectIni("TORQ-SPI",
                                      "[Read_ID]\r\nValue=3\r\n0001=0x9F,0\r\n0002= 0xAB ;; 3\r\n"
                                      "0003=0x190 0x103\r\n[VCC]\r\nV18=0\r\nV25=abc\r\n"));
    const DeviceLibrary library(ProgramDirectory::Portable(dir.Path()));
    const auto entries = library.ReadIdEntries();
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].opcode, 0x9F);
    EXPECT_EQ(entries[0].offset, 0);
    EXPECT_EQ(entries[1].opcode, 0xAB);
    EXPECT_EQ(entries[1].offset, 3);
    EXPECT_EQ(entries[2].opcode, 0x90);  // low 8 bits
    EXPECT_EQ(entries[2].offset, 3);
    EXPECT_FALSE(library.LevelEnabled(DetectionLevel::V18));
    EXPECT_TRUE(library.LevelEnabled(DetectionLevel::V25));  // unparsable: the default
    EXPECT_TRUE(library.LevelEnabled(DetectionLevel::V33));
}

TEST(IsValidLibraryDate, AcceptsCalendarDatesOnly) {
    EXPECT_TRUE(IsValidLibraryDate("2011/05/20"));
    EXPECT_TRUE(IsValidLibraryDate("2024/2/29"));
    EXPECT_TRUE(IsValidLibraryDate("2026-12-01"));
    for (const char* bad : {"", "None", "2011/13/01", "2011/02/29", "2011/05", "20/05/2011x",
                            "2011/05-20", "2011//05"}) {
        EXPECT_FALSE(IsValidLibraryDate(bad)) << bad;
    }
    TempDir dir;
    dir.Write("Select.ini", "[Machine]\nType=TORQ-SPI\n[Date]\nDate=someday\n");
    EXPECT_EQ(DeviceLibrary(ProgramDirectory::Portable(dir.Path())).DateText(), "None");
}

}  // namespace
}  // namespace torq

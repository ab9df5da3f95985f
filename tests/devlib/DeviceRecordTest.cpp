#include "torq/devlib/DeviceRecord.h"

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "torq/devlib/Ini.h"

namespace torq {
namespace {

using test::ScriptedOperator;
using test::TempDir;

TEST(DeviceSizeFromAddressTexts, JoinsTheHighAndLowTexts) {
    struct Case {
        const char* high;
        const char* low;
        std::uint64_t size;
    };
    const Case cases[] = {
        {"0x00", "0x80000", 524288},
        {"0x00", "0x200000", 2097152},
        {"0x00", "0x00", 0},
        {"0x01", "0x0000", 0x10000},
        {"0x01", "0x000000", 0x1000000},
        {"0x1", "0x00000000", 0x100000000ull},
        {"0x00", "", 0},
        {"junk", "0x10", 0},
        {"10", "0x24", 1024},
        {"0xFFFFFFFF", "0xFFFFFFFF", UINT64_MAX},
        {"0x1FFFFFFFF", "0xFFFFFFFF", 0},  // beyond 64 bits: no size, not a wrapped one
        {"99999999999", "0x999999999", 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DeviceSizeFromAddressTexts(c.high, c.low), c.size) << c.high << ' ' << c.low;
    }
}

class DeviceRecordTest : public ::testing::Test {
  protected:
    TempDir dir;
    ProgramDirectory dirs = ProgramDirectory::Portable(dir.Path());
    ScriptedOperator op;
};

TEST_F(DeviceRecordTest, MissingKeysGiveTheirDefaults) {
    dir.Write("Drv/SPI_25.drv", ":00000001FF\r\n");
    const auto file = dir.Write("Ini/min.ini",
                                "[TORQ-SPI_ExternValue]\r\nUserWav=spi_25.DRV\r\n"
                                "ManCode=abc\r\nDevCode=0x\r\n");
    const DeviceRecord r = LoadDeviceRecord(file, dirs, DeviceRecord{}, "Winbond", "W25X40", op);
    EXPECT_TRUE(op.messages.empty());
    EXPECT_EQ(r.brand, "Winbond");
    EXPECT_EQ(r.name, "W25X40");
    EXPECT_EQ(r.driverImagePath, dir.Path() / "Drv" / "SPI_25.drv");
    EXPECT_EQ(r.pageSize, 256);
    EXPECT_EQ(r.programRetry, 3);
    EXPECT_EQ(r.readStatusRegisterOpcodes[6], 5);
    EXPECT_EQ(r.erasePulseUnit, "mS");
    EXPECT_EQ(r.programPulseUnit, "uS");
    EXPECT_EQ(r.programTimes, 1);
    EXPECT_EQ(r.vio, 300);
    EXPECT_EQ(r.manCode, 0u);
    EXPECT_EQ(r.devCode, 0u);
    EXPECT_EQ(r.deviceSize, 0u);
}

TEST_F(DeviceRecordTest, ReadsEveryFieldWithItsWidth) {
    dir.Write("Drv/SPI_25.drv", ":00000001FF\r\n");
    const auto file = dir.Write(
        "Ini/w.ini",
        "[torq-spi_externvalue]\r\nBRAND=Winbond\r\nNAME=W25Q64\r\nUserWav=SPI_25.drv\r\n"
        "ManCode=0xEF4017\r\nDevCode=$FFFFFF\r\nmax_address_Hi=0x00\r\nmax_address_Low=0x800000\r\n"
        "Page_Size=256\r\nBlockCount=128\r\nPageOfBlock=256\r\nVcc_pin1=0x1FF\r\nVIO=0x12345\r\n"
        "program_retry=258\r\nid_mode=0x0003\r\nerase_mode=0x0100\r\nprog_mode=1\r\n"
        "Read_Status_Register=2\r\nRead_Status_Register_1=0x05\r\nRead_Status_Register_2=0x35\r\n"
        "Read_Status_Register_17=0x3\r\nSector_table=Sector\\x.txt\r\n");
    const DeviceRecord r = LoadDeviceRecord(file, dirs, DeviceRecord{}, "", "", op);
    EXPECT_EQ(r.manCode, 0xEF4017u);
    EXPECT_EQ(r.devCode, 0xFFFFFFu);
    EXPECT_EQ(r.deviceSize, 8u * 1024 * 1024);
    EXPECT_EQ(r.vccPin1, 0xFF);  // 8-bit field keeps the low bits
    EXPECT_EQ(r.vio, 0x2345);    // 16-bit field
    EXPECT_EQ(r.programRetry, 2);
    EXPECT_EQ(r.IdByteCount(), 3);
    EXPECT_EQ(r.IdSelector(), 0);
    EXPECT_EQ(r.EraseSelector(), 1);
    EXPECT_EQ(r.ProgramVariant(), 1);
    EXPECT_EQ(r.readStatusRegister, 2);
    EXPECT_EQ(r.readStatusRegisterOpcodes[0], 0x05);
    EXPECT_EQ(r.readStatusRegisterOpcodes[1], 0x35);
    EXPECT_EQ(r.readStatusRegisterOpcodes[16], 0x03);
    EXPECT_TRUE(r.sectorTablePath.empty());  // not an AT26 device: the key is not read
}

TEST_F(DeviceRecordTest, MissingDriverImageOrSectorTableWarnsAndContinues) {
    const auto file = dir.Write("Ini/at.ini",
                                "[TORQ-SPI_ExternValue]\r\nNAME=AT26DF081A\r\n"
                                "UserWav=none.drv\r\nSector_table=Sector\\none.txt\r\n"
                                "Page_Size=128\r\n");
    DeviceRecord previous;
    previous.sectorTablePath = "/old/table.txt";
    DeviceLoadNotes notes;
    const DeviceRecord r = LoadDeviceRecord(file, dirs, previous, "Atmel", "x", op, &notes);
    EXPECT_EQ(op.Texts(), (std::vector<std::string>{"The device library is wrong !",
                                                    "The device library is wrong !"}));
    EXPECT_TRUE(notes.libraryWrong);
    EXPECT_TRUE(r.driverImagePath.empty());
    EXPECT_TRUE(r.sectorTablePath.empty());
    EXPECT_EQ(r.pageSize, 128);  // loading went on

    // A device that is not AT26 keeps the previous sector table path.
    dir.Write("Drv/a.drv", "");
    const auto other = dir.Write("Ini/w.ini",
                                 "[TORQ-SPI_ExternValue]\r\nNAME=W25X40\r\nUserWav=a.drv\r\n"
                                 "Sector_table=Sector\\none.txt\r\n");
    ScriptedOperator quiet;
    EXPECT_EQ(LoadDeviceRecord(other, dirs, previous, "", "", quiet).sectorTablePath,
              "/old/table.txt");
    EXPECT_TRUE(quiet.messages.empty());
}

TEST_F(DeviceRecordTest, LoadRefillsMenuIniWithThePageDefaults) {
    dir.Write("Drv/a.drv", "");
    dir.Write("Menu.ini", "[CurrentUserPageSetup]\r\nPage0Com0Set=99\r\nStale=1\r\n");
    dir.Write("Menu/p.ini",
              "[CurrentUserPage]\r\nTotal=2\r\n[CurrentUserPage_0]\r\nComponentTotal=2\r\n"
              "[CurrentUserPage_1]\r\nComponentTotal=1\r\n[CurrentUserPageSetup]\r\n"
              "Page0Com0Set=3\r\nPage0Com1Set=1\r\nPage1Com0Set=AB\r\nPage2Com0Set=7\r\n");
    const auto file =
        dir.Write("Ini/w.ini", "[TORQ-SPI_ExternValue]\r\nUserWav=a.drv\r\nMenu=menu\\P.ini\r\n");
    const DeviceRecord r = LoadDeviceRecord(file, dirs, DeviceRecord{}, "", "", op);
    EXPECT_EQ(r.menuFilePath, dir.Path() / "Menu" / "p.ini");
    const IniFile menu(dir / "Menu.ini");
    EXPECT_EQ(menu.Keys("CurrentUserPageSetup"),
              (std::vector<std::string>{"Page0Com0Set", "Page0Com1Set", "Page1Com0Set"}));
    EXPECT_EQ(menu.ReadString("CurrentUserPageSetup", "Page0Com0Set"), "3");
    EXPECT_EQ(menu.ReadString("CurrentUserPageSetup", "Page1Com0Set"), "AB");

    // A device without a page file leaves no Menu.ini behind.
    const auto plain = dir.Write("Ini/x.ini", "[TORQ-SPI_ExternValue]\r\nUserWav=a.drv\r\n");
    LoadDeviceRecord(plain, dirs, DeviceRecord{}, "", "", op);
    EXPECT_FALSE(std::filesystem::exists(dir / "Menu.ini"));
}

TEST_F(DeviceRecordTest, PathsLeadingOutOfTheLibraryAreNotUsed) {
    TempDir outside;
    outside.Write("x_25.drv", ":00000001FF\r\n");
    outside.Write("p.ini", "[CurrentUserPage]\r\nTotal=1\r\n");
    outside.Write("t.txt", "0X000000,\r\n");
    const std::string up = "../../.." + outside.Path().string();
    std::filesystem::create_directory_symlink(outside.Path(), dir / "Menu");
    const auto file = dir.Write("Ini/at.ini",
                                "[TORQ-SPI_ExternValue]\r\nNAME=AT26DF041\r\n"
                                "UserWav=" +
                                    up +
                                    "/x_25.drv\r\nMenu=Menu\\p.ini\r\n"
                                    "Sector_table=" +
                                    up + "/t.txt\r\n");
    DeviceLoadNotes notes;
    const DeviceRecord r = LoadDeviceRecord(file, dirs, DeviceRecord{}, "", "", op, &notes);
    EXPECT_TRUE(notes.libraryWrong);
    EXPECT_TRUE(r.driverImagePath.empty());
    EXPECT_TRUE(r.menuFilePath.empty());
    EXPECT_TRUE(r.sectorTablePath.empty());
    const std::string wrong = "The device library is wrong !\nat.ini : ";
    EXPECT_EQ(op.Texts(),
              (std::vector<std::string>{
                  wrong + "UserWav=" + up + "/x_25.drv is outside the device library",
                  wrong + "Menu=Menu\\p.ini is outside the device library",
                  wrong + "Sector_table=" + up + "/t.txt is outside the device library"}));
    EXPECT_FALSE(std::filesystem::exists(dir / "Menu.ini"));  // nothing copied from outside
}

TEST(CheckDeviceRecord, RefusesRecordsTheOperationsCannotWorkWith) {
    // A 4 Mbit 25-series part and a 4 Mbit DataFlash with 264-byte pages, as the library has them.
    DeviceRecord serial;
    serial.driverImagePath = "/lib/Drv/SPI_25_33V.drv";
    serial.deviceSize = 0x80000;
    serial.idMode = 0x0003;
    serial.progMode = 1;
    serial.pageSize = 256;
    DeviceRecord flash = serial;
    flash.driverImagePath = "/lib/Drv/SPI_45_33V_264.drv";
    flash.deviceSize = 0x84000;
    flash.pageSpareSize = 8;
    flash.pageOfBlock = 8;
    flash.blockCount = 256;
    EXPECT_EQ(CheckDeviceRecord(serial), std::nullopt);
    EXPECT_EQ(CheckDeviceRecord(flash), std::nullopt);

    struct Case {
        const char* what;
        DeviceRecord record;
        const char* reason;  // a part of the sentence; empty when the record is usable
    };
    const auto with = [](DeviceRecord r, auto change) {
        change(r);
        return r;
    };
    const Case cases[] = {
        {"no size", with(serial, [](auto& r) { r.deviceSize = 0; }), "size is 0"},
        {"2^64-1", with(serial, [](auto& r) { r.deviceSize = UINT64_MAX; }), "beyond the 16 MiB"},
        {"16 MiB", with(serial, [](auto& r) { r.deviceSize = 1 << 24; }), ""},
        {"16 MiB + 1", with(serial, [](auto& r) { r.deviceSize = (1 << 24) + 1; }), "beyond"},
        {"no ID bytes", with(serial, [](auto& r) { r.idMode = 0x0100; }), "0 ID bytes"},
        {"9 ID bytes", with(serial, [](auto& r) { r.idMode = 9; }), "9 ID bytes"},
        {"8 ID bytes", with(serial, [](auto& r) { r.idMode = 8; }), ""},
        {"page 314", with(serial, [](auto& r) { r.pageSize = 314; }), "page program block"},
        {"page 0", with(serial, [](auto& r) { r.pageSize = 0; }), "page program block"},
        {"page 313", with(serial, [](auto& r) { r.pageSize = 313; }), ""},
        // Sequential programming sends 256-byte chunks: Page_Size is not consulted.
        {"sequential", with(serial, [](auto& r) { r.progMode = 2, r.pageSize = 0; }), ""},
        {"file cut", with(serial, [](auto& r) { r.readProblem = "x holds a NUL byte"; }), "NUL"},
        {"page 0x7FFFFFFF", with(flash, [](auto& r) { r.pageSize = 0x7FFFFFFF; }), "power of two"},
        {"page 1", with(flash, [](auto& r) { r.pageSize = 1, r.pageSpareSize = 0; }),
         "do not make the device size"},
        {"page 0x40000000",
         with(flash, [](auto& r) { r.pageSize = 0x40000000, r.pageSpareSize = 0; }),
         "do not make the device size"},
        {"spare 55", with(flash, [](auto& r) { r.pageSpareSize = 55; }), "PageSpareSize 55"},
        {"spare -1", with(flash, [](auto& r) { r.pageSpareSize = -1; }), "PageSpareSize -1"},
        {"no blocks", with(flash, [](auto& r) { r.blockCount = 0; }), "at least 1"},
        {"negative", with(flash, [](auto& r) { r.pageOfBlock = -8, r.blockCount = -256; }),
         "at least 1"},
        {"blocks short", with(flash, [](auto& r) { r.blockCount = 255; }), "do not make"},
        {"huge counts",
         with(flash, [](auto& r) { r.blockCount = INT32_MAX, r.pageOfBlock = INT32_MAX; }),
         "do not make"},
        {"pages past 3 bytes",
         with(flash, [](auto& r) { r.deviceSize = 4097 * 8 * 264, r.blockCount = 4097; }),
         "reach address 0x1000FFF"},
        {"binary pages", with(flash, [](auto& r) { r.pageSpareSize = 0, r.deviceSize = 0x80000; }),
         ""},
        // The family follows the image name even when the image itself is missing.
        {"image missing",
         with(flash,
              [](auto& r) {
                  r.driverImagePath.clear(), r.userWav = "SPI_45_33V_264.drv", r.blockCount = 1;
              }),
         "do not make"},
    };
    for (const auto& c : cases) {
        const auto reason = CheckDeviceRecord(c.record);
        if (std::string(c.reason).empty()) {
            EXPECT_EQ(reason, std::nullopt) << c.what;
        } else {
            ASSERT_TRUE(reason.has_value()) << c.what;
            EXPECT_NE(reason->find(c.reason), std::string::npos) << c.what << ": " << *reason;
        }
    }
}

TEST_F(DeviceRecordTest, TheLoadNotesCarryTheCheck) {
    dir.Write("Drv/SPI_45.drv", "");
    const auto file = dir.Write("Ini/d.ini",
                                "[TORQ-SPI_ExternValue]\r\nUserWav=SPI_45.drv\r\n"
                                "max_address_Low=0x084000\r\nid_mode=1\r\nPage_Size=0x7FFFFFFF\r\n"
                                "PageSpareSize=8\r\nPageOfBlock=8\r\nBlockCount=256\r\n");
    DeviceLoadNotes notes;
    ReadDeviceRecord(file, dirs, DeviceRecord{}, "", "", op, &notes);
    ASSERT_TRUE(notes.unusable.has_value());
    EXPECT_EQ(*notes.unusable, "Page_Size 2147483647 of a DataFlash device is not a power of two.");
}

TEST_F(DeviceRecordTest, GarbageDeviceFilesNeverCrash) {
    std::string junk;
    for (int i = 0; i < 50000; ++i)
        junk.push_back(static_cast<char>((i * 31 + 7) % 256));
    const std::string files[] = {
        junk,
        "[TORQ-SPI_ExternValue]\nmax_address_Hi=0xFFFFFFFFFFFFFFFFFF\nmax_address_Low=zz\n",
        "[TORQ-SPI_ExternValue]\nMenu=Menu\\h.ini\n",
    };
    dir.Write("Menu/h.ini",
              "[CurrentUserPage]\nTotal=2000000000\n[CurrentUserPage_0]\n"
              "ComponentTotal=2000000000\n");
    for (const auto& contents : files) {
        const auto file = dir.Write("Ini/g.ini", contents);
        ScriptedOperator any;
        const DeviceRecord r = LoadDeviceRecord(file, dirs, DeviceRecord{}, "V", "T", any);
        EXPECT_EQ(r.deviceSize, 0u);
    }
}

}  // namespace
}  // namespace torq

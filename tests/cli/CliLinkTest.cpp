#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <set>

#include "TestSupport.h"
#include "torq/devlib/Ini.h"

namespace torq {
namespace {

class CliLinkTest : public ::testing::Test {
  protected:
    void SetUp() override { test::CopySampleLibrary(home.Path()); }
    test::CommandResult Run(const std::string& args) {
        return test::RunCommand(test::CliPath() + " --home " + home.Path().string() + " " + args);
    }
    test::TempDir home;
};

TEST_F(CliLinkTest, DetectFindsADeviceOfEachFamilyAtItsVoltage) {
    struct Case {
        const char* chip;
        const char* found;
        const char* level;
    };
    for (const Case& c : std::vector<Case>{
             {"W25Q128FV", "Winbond -> W25Q128FV -> [EF401800]", "3.3 V"},  // JEDEC
             {"W25Q64FW", "Winbond -> W25Q64FW -> [EF601700]", "1.8 V"},    // 1.8 V part
             {"M25P05-A", "Micron -> M25P05-A -> [5000000]", "3.3 V"},      // signature only
             {"SST25VF010A", "SST -> SST25VF010A -> [BF490000]", "3.3 V"},  // byte AAI
             {"SST25VF016B", "SST -> SST25VF016B -> [BF254100]", "3.3 V"},  // word AAI
             {"AT25F512A", "Atmel -> AT25F512A -> [1F650000]", "3.3 V"},    // product ID 0x15
             {"AT26DF081A", "Atmel -> AT26DF081A -> [1F450100]", "3.3 V"},  // per-sector protection
             {"AT45DB041D", "Atmel -> AT45DB041D -> [1F240000]", "3.3 V"},  // DataFlash
             {"AT45DB041D,binary=1", "Atmel -> AT45DB041D_256 -> [9D9D9D9D]", "3.3 V"},  // status
             {"IS25LQ040B", "ISSI -> IS25LQ040B -> [9D401300]", "2.5 V"},  // 2.3-3.6 V part
         }) {
        const auto result = Run(std::string("--simulate ") + c.chip + " detect");
        EXPECT_EQ(result.exitCode, 0) << c.chip << result.err;
        EXPECT_NE(result.out.find(std::string("is found : ") + c.found + " : Total Time : "),
                  std::string::npos)
            << c.chip << "\n"
            << result.out;
        EXPECT_NE(result.out.find(std::string("Detected at ") + c.level), std::string::npos)
            << c.chip << result.out;
    }
    const auto nothing = Run("--simulate none detect");
    EXPECT_EQ(nothing.exitCode, 1);
    EXPECT_NE(nothing.out.find("Automatically detect the device ID is not found : Total Time : "),
              std::string::npos);
}

TEST_F(CliLinkTest, SelectIsRememberedAndIdChecksTheChip) {
    const auto selected = Run("select atmel at45db041d");
    ASSERT_EQ(selected.exitCode, 0) << selected.err;
    const IniFile history(home / "History.ini");
    EXPECT_EQ(history.ReadString("Device1", "Vendor"), "Atmel");
    EXPECT_EQ(history.ReadString("Device1", "Type"), "AT45DB041D");
    // As in the window, choosing a type re-creates the buffer at the device's size, erased.
    EXPECT_EQ(std::filesystem::file_size(home / "output.tmp"), 540672u);

    const auto pass = Run("--simulate AT45DB041D id");
    EXPECT_EQ(pass.exitCode, 0) << pass.err;
    EXPECT_NE(pass.out.find("Read ID : [0x9C] Pass"), std::string::npos) << pass.out;

    const auto fail = Run("--simulate AT45DB081D id");
    EXPECT_EQ(fail.exitCode, 1);
    EXPECT_NE(fail.out.find("Read ID : [0xA4] Fail"), std::string::npos) << fail.out;

    const auto unplugged = Run("--simulate AT45DB041D,unplug_after=12 id");
    EXPECT_EQ(unplugged.exitCode, 1);
    EXPECT_NE(unplugged.out.find("Error : Please check the status of communication devices !"),
              std::string::npos);

    EXPECT_EQ(Run("select Atmel NoSuchChip").exitCode, 2);
}

// A select that fails changes nothing: the buffer, Menu.ini and History.ini stay as they were and
// no temporary file is left, whichever of them could not be made, and a device without a sane
// size is refused before any buffer is written.
TEST_F(CliLinkTest, AFailedSelectChangesNothing) {
    struct Case {
        const char* name;
        std::function<void()> spoil;  // makes the select of W25X20 fail
        std::uint64_t fileSizeLimit;  // 0: none
        const char* reason;
    };
    const auto deviceSize = [this](const char* high, const char* low) {
        std::string text = test::ReadFile(home / "Ini" / "W25X20.ini");
        text.replace(text.find("max_address_Hi=0x00"), 19, std::string("max_address_Hi=") + high);
        text.replace(text.find("max_address_Low=0x040000"), 24,
                     std::string("max_address_Low=") + low);
        home.Write("Ini/W25X20.ini", text);
    };
    const std::vector<Case> cases{
        {"size 0", [&] { deviceSize("0x00", "0x"); }, 0, "The device size is 0 bytes"},
        {"64 MiB", [&] { deviceSize("0x04", "0x000000"); }, 0, "beyond the 16 MiB"},
        {"1 TiB", [&] { deviceSize("0x100", "0x0000000000"); }, 0, "beyond the 16 MiB"},
        {"buffer not written", [] {}, 200000, "The buffer file could not be written"},
        {"History.ini with a NUL byte",
         [this] {
             std::ofstream(home / "History.ini", std::ios::app) << std::string(1, '\0') << "x\n";
         },
         0, "not read whole"},
        {"History.ini read-only",
         [this] {
             std::filesystem::permissions(home / "History.ini",
                                          std::filesystem::perms::owner_read |
                                              std::filesystem::perms::group_read |
                                              std::filesystem::perms::others_read);
         },
         0, "History.ini is read-only"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::CopySampleLibrary(home.Path());
        std::filesystem::remove(home / "History.ini");
        ASSERT_EQ(Run("select Winbond W25X10").exitCode, 0);
        c.spoil();
        const std::string history = test::ReadFile(home / "History.ini");
        const std::string menu = test::ReadFile(home / "Menu.ini");
        const std::string buffer = test::ReadFile(home / "output.tmp");
        std::set<std::string> files;
        for (const auto& entry : std::filesystem::directory_iterator(home.Path()))
            files.insert(entry.path().filename().string());

        test::CommandResult refused;
        {
            std::optional<test::FileSizeLimit> limit;
            if (c.fileSizeLimit != 0)
                limit.emplace(c.fileSizeLimit);
            refused = Run("select Winbond W25X20");
        }
        EXPECT_EQ(refused.exitCode, 1);
        EXPECT_NE(refused.err.find("the device Winbond W25X20 was not selected: "),
                  std::string::npos)
            << refused.err;
        EXPECT_NE(refused.err.find(c.reason), std::string::npos) << refused.err;
        EXPECT_EQ(test::ReadFile(home / "History.ini"), history);
        EXPECT_EQ(test::ReadFile(home / "Menu.ini"), menu);
        EXPECT_EQ(test::ReadFile(home / "output.tmp"), buffer);
        std::set<std::string> after;
        for (const auto& entry : std::filesystem::directory_iterator(home.Path()))
            after.insert(entry.path().filename().string());
        EXPECT_EQ(after, files);
        std::filesystem::permissions(home / "History.ini", std::filesystem::perms::owner_write,
                                     std::filesystem::perm_options::add);
    }
}

// A driver image the device file names outside the library is refused; the warning at the
// programmer's start then names the device file and key, as there is no path to quote.
TEST_F(CliLinkTest, ARefusedDriverImageIsNamedByItsDeviceFileAndKey) {
    ASSERT_EQ(Run("select Winbond W25X10").exitCode, 0);
    std::string text = test::ReadFile(home / "Ini" / "W25X10.ini");
    text.replace(text.find("UserWav=SPI_25_33V.drv"), 22, "UserWav=../../outside/x_25.drv");
    home.Write("Ini/W25X10.ini", text);
    const auto refused = Run("--simulate W25X10 id");
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.err.find("W25X10.ini : UserWav=../../outside/x_25.drv is outside the device "
                               "library"),
              std::string::npos)
        << refused.err;
    EXPECT_NE(refused.err.find("The 'W25X10.ini : UserWav=../../outside/x_25.drv' not found."),
              std::string::npos)
        << refused.err;
}

TEST_F(CliLinkTest, ProgrammersListsEveryUnitWithItsPathAndState) {
    const auto one = Run("--simulate W25Q128FV programmers");
    EXPECT_EQ(one.exitCode, 0) << one.err;
    EXPECT_EQ(one.out,
              "Programmers: 1\n"
              "Unit 1: 4D51:0309 NOVU TORQ-SPI, serial SIM00001, device 0\n"
              "Firmware: 1.10\n"
              "Unit 1 at 1-1: firmware 1.10, ready\n");

    const auto three =
        Run("--simulate W25Q128FV*2,firmware=1.02 --simulate=W25X10,serial=LINE3 programmers");
    EXPECT_EQ(three.exitCode, 0) << three.err;
    EXPECT_EQ(three.out,
              "Programmers: 3\n"
              "Unit 1: 4D51:0309 NOVU TORQ-SPI, serial SIM00001, device 0\n"
              "Unit 2: 4D51:0309 NOVU TORQ-SPI, serial SIM00002, device 1\n"
              "Unit 3: 4D51:0309 NOVU TORQ-SPI, serial LINE3, device 2\n"
              "Firmware: 1.02\n"
              "Unit 1 at 1-1: firmware 1.02, ready\n"
              "Unit 2 at 1-2: firmware 1.02, ready\n"
              "Unit 3 at 1-3: firmware 1.10, ready\n");

    const auto five = Run("--simulate W25Q128FV*4 --simulate W25X10 programmers");
    EXPECT_EQ(five.exitCode, 2);
    EXPECT_NE(five.err.find("at most 4 simulated programmers, 5 given"), std::string::npos)
        << five.err;
}

TEST_F(CliLinkTest, ProgrammersWithAndWithoutHardware) {
    const auto simulated = Run("--simulate W25Q128FV,firmware=1.02 programmers");
    EXPECT_EQ(simulated.exitCode, 0) << simulated.err;
    EXPECT_NE(simulated.out.find("Programmers: 1"), std::string::npos);
    EXPECT_NE(simulated.out.find("4D51:0309 NOVU TORQ-SPI"), std::string::npos);
    EXPECT_NE(simulated.out.find("Firmware: 1.02"), std::string::npos);

    const auto wrongMaker = Run("--simulate W25Q128FV,manufacturer=novu programmers");
    EXPECT_EQ(wrongMaker.exitCode, 1);
    EXPECT_NE(wrongMaker.out.find("Programmers: 0"), std::string::npos);
    EXPECT_NE(wrongMaker.out.find("Firmware: None"), std::string::npos);

    // Read ID needs a selected device.
    const auto unselected = Run("--simulate W25Q128FV id");
    EXPECT_EQ(unselected.exitCode, 1);
    EXPECT_NE(unselected.err.find("select VENDOR TYPE"), std::string::npos);

    // Without --simulate the USB hardware is used; this machine has no programmer attached.
    ASSERT_EQ(Run("select Winbond W25Q128FV").exitCode, 0);
    const auto hardware = Run("id");
    EXPECT_EQ(hardware.exitCode, 1);
    EXPECT_NE(hardware.err.find("no programmer connected"), std::string::npos);

    const auto bad = Run("--simulate W25Q999 programmers");
    EXPECT_EQ(bad.exitCode, 2);
    EXPECT_NE(bad.err.find("unknown chip 'W25Q999'"), std::string::npos);
}

}  // namespace
}  // namespace torq

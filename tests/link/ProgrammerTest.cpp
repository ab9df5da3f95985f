#include <gtest/gtest.h>

#include "LinkFixtures.h"
#include "torq/link/Identification.h"
#include "torq/link/Programmer.h"

namespace torq {
namespace {

using test::Describe;
using Lines = std::vector<std::string>;

class ProgrammerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        image = home.Write("Drv/SPI_25_33V.drv", test::DriverImageText(25, 3300, 256));
    }
    test::TempDir home;
    std::filesystem::path image;
};

TEST_F(ProgrammerTest, EnumerationLoadsTheImageSetsTheUnitAndReadsTheVersion) {
    test::SimulatedLink link;
    const EnumerationResult result = link.programmer.EnumerateProgrammers(image, 1);
    EXPECT_EQ(result.programmers, 1);
    EXPECT_TRUE(result.downloaded);
    EXPECT_FALSE(result.imageMissing);
    EXPECT_EQ(result.firmwareVersion, "1.10");
    EXPECT_EQ(link.programmer.ProgrammerCount(), 1);
    EXPECT_EQ(link.programmer.UnitMap(), std::vector<std::uint8_t>{0});
    EXPECT_EQ(Describe(link.sim.Log()), (Lines{
                                            "out A0 E600 0000",  // hold
                                            "out A0 0000 0000",  // code stub
                                            "out A0 1F00 0000",  // descriptor record
                                            "out A0 E600 0000",  // release
                                            "out D1 0000 0000",  // unit mode 0
                                            "out D2 0001 0000",  // reset idle level, no pulse
                                            "in C2 0000 0000 5",
                                        }));
    EXPECT_EQ(link.sim.Log()[0].data, std::vector<std::uint8_t>{1});
    EXPECT_EQ(link.sim.Log()[3].data, std::vector<std::uint8_t>{0});
    EXPECT_EQ(link.sim.Log()[2].data.size(), 16u);
    EXPECT_EQ(link.sim.Firmware().Image()->millivolts, 3300);
    EXPECT_TRUE(link.op.messages.empty());
}

TEST_F(ProgrammerTest, FirmwareVersionTextsAndTheTargetBoardRequest) {
    struct Case {
        std::string answer;
        std::string shown;
        bool toldTargetBoard;
    };
    for (const Case& c : std::vector<Case>{{"1.02", "1.02", false},
                                           {"1.03", "1.03", true},
                                           {"1.10", "1.10", true},
                                           {"", "None", true},
                                           {"v1.2", "None", true},
                                           {"110", "None", true}}) {
        sim::ProgrammerSetup setup = test::SetupWith("W25Q128FV");
        setup.firmware.version = c.answer;
        test::SimulatedLink link(setup);
        EXPECT_EQ(link.Enumerate(image).firmwareVersion, c.shown) << c.answer;
        EXPECT_TRUE(link.programmer.SendTargetBoardMode(true));
        EXPECT_EQ(Describe(link.sim.Log()), c.toldTargetBoard ? Lines{"out E2 0001 0000"} : Lines{})
            << c.answer;
    }
    EXPECT_EQ(FirmwareVersionText(std::vector<std::uint8_t>{'1', '.', '0', '2', 0}), "1.02");
}

TEST_F(ProgrammerTest, OnlyTheExactIdentityIsAProgrammer) {
    for (auto change : std::vector<std::function<void(UsbIdentity&)>>{
             [](UsbIdentity& i) { i.manufacturer = "novu"; },
             [](UsbIdentity& i) { i.product = "TORQ-SPI "; },
             [](UsbIdentity& i) { i.vendorId = 0x4D52; },
             [](UsbIdentity& i) { i.productId = 0x0308; }}) {
        sim::ProgrammerSetup setup = test::SetupWith("W25Q128FV");
        change(setup.identity);
        test::SimulatedLink link(setup);
        const EnumerationResult result = link.programmer.EnumerateProgrammers(image, 0);
        EXPECT_EQ(result.programmers, 0);
        EXPECT_EQ(result.firmwareVersion, "None");
        EXPECT_FALSE(result.downloaded);
        EXPECT_TRUE(Describe(link.sim.Log()).empty());  // nothing loaded, nothing asked
    }
}

TEST_F(ProgrammerTest, ProgrammersBecomeUnitsInTheOrderOfTheirBusPaths) {
    // Six devices as the system lists them; the cabling puts 1-2 first and "1-10" after "1-4".
    sim::ProgrammerSetup first = test::SetupWith("W25Q64FV");
    first.busPath = "1-4";
    test::SimulatedLink link(first);
    UsbIdentity stranger = sim::ProgrammerIdentity();
    stranger.manufacturer = "Other";
    link.sim.AddForeignDevice(stranger, "1-1");
    const auto add = [&](const std::string& chip, const std::string& path,
                         const std::string& firmware = "1.10") {
        sim::ProgrammerSetup setup = test::SetupWith(chip);
        setup.busPath = path;
        setup.firmware.version = firmware;
        return link.sim.AddProgrammer(setup);
    };
    add("W25Q128FV", "1-2");
    add("MX25L6405D", "1-10", "1.02");
    add("W25X10", "1-3");
    const int fifth = add("W25Q16DV", "2-1");  // one more than the window has panels for

    const EnumerationResult result = link.programmer.EnumerateProgrammers(image, 1);
    EXPECT_EQ(result.programmers, 4);
    EXPECT_EQ(link.programmer.ProgrammerCount(), 4);
    EXPECT_EQ(link.programmer.UnitMap(), (std::vector<std::uint8_t>{2, 4, 0, 3, 0, 0}));
    std::vector<std::string> units;
    for (const ProgrammerUnit& unit : link.programmer.Units())
        units.push_back(unit.path + " " + unit.firmwareVersion + " " + UnitStateText(unit));
    EXPECT_EQ(units,
              (Lines{"1-2 1.10 ready", "1-3 1.10 ready", "1-4 1.10 ready", "1-10 1.02 ready"}));
    EXPECT_EQ(result.firmwareVersion, "1.10");  // unit 1's
    // Every unit got the image and its unit mode; unit 1 is left open.
    for (int device : {0, 2, 3, 4})
        EXPECT_EQ(link.sim.Firmware(device).Starts(), 1) << device;
    EXPECT_EQ(link.sim.Path(), "1-2");
    EXPECT_EQ(link.sim.Firmware(fifth).Outputs().unitModeRequests, 0);

    // Each unit opens its own programmer and reaches its own chip.
    const std::vector<std::uint8_t> expectedIds[] = {
        sim::FindChip("W25Q128FV")->jedecId, sim::FindChip("W25X10")->jedecId,
        sim::FindChip("W25Q64FV")->jedecId, sim::FindChip("MX25L6405D")->jedecId};
    for (int unit = 0; unit < 4; ++unit) {
        ASSERT_TRUE(link.programmer.OpenProgrammer(image, unit));
        EXPECT_EQ(link.sim.Path(), link.programmer.Units()[unit].path);
        IdAnswer answer{};
        ASSERT_TRUE(IdentificationExchange(link.programmer, 0x9F, answer));
        const auto& id = expectedIds[unit];
        EXPECT_TRUE(std::equal(id.begin(), id.end(), answer.begin())) << unit;
    }
    EXPECT_FALSE(link.programmer.OpenProgrammer(image, 4));

    // A stranger in front of the programmer: the programmer's own number is mapped.
    sim::ProgrammerSetup front = test::SetupWith("W25Q64FV");
    front.identity = stranger;
    test::SimulatedLink behind(front);
    behind.sim.AddProgrammer(test::SetupWith("W25Q64FV"));
    EXPECT_EQ(behind.programmer.EnumerateProgrammers(image, 0).programmers, 1);
    EXPECT_EQ(behind.programmer.UnitMap()[0], 1);
    EXPECT_EQ(behind.sim.Firmware(0).Starts(), 0);
    EXPECT_EQ(behind.sim.Firmware(1).Starts(), 1);
}

TEST(BusPaths, SortByBusThenPortNumbers) {
    const std::vector<std::string> ordered{"1-2", "1-2.1", "1-2.10", "1-10", "2-1", "10-1", ""};
    for (std::size_t i = 0; i < ordered.size(); ++i) {
        for (std::size_t j = 0; j < ordered.size(); ++j)
            EXPECT_EQ(PathBefore(ordered[i], ordered[j]), i < j) << ordered[i] << " " << ordered[j];
    }
}

TEST_F(ProgrammerTest, OpeningIsTriedFourTimesWithPauses) {
    test::SimulatedLink link;
    link.sim.FailOpens(3);
    EXPECT_EQ(link.programmer.EnumerateProgrammers(image, 0).programmers, 1);
    EXPECT_EQ(link.pauses, (std::vector<std::uint32_t>{100, 100, 100}));

    test::SimulatedLink refused;
    refused.sim.FailOpens(4);
    EXPECT_EQ(refused.programmer.EnumerateProgrammers(image, 0).programmers, 0);
    EXPECT_EQ(refused.pauses.size(), 3u);
    EXPECT_EQ(refused.sim.Opens(), 4);
}

TEST_F(ProgrammerTest, AMissingImageIsWarnedAboutAndEndsTheProgram) {
    test::SimulatedLink link;
    const auto missing = home / "Drv" / "NoSuch.drv";
    const EnumerationResult result = link.programmer.EnumerateProgrammers(missing, 0);
    EXPECT_TRUE(result.imageMissing);
    EXPECT_FALSE(result.downloaded);
    ASSERT_EQ(link.op.messages.size(), 1u);
    EXPECT_EQ(link.op.messages[0].text, "The '" + missing.string() + "' not found.");
    EXPECT_EQ(link.op.messages[0].severity, Severity::Warning);

    // No path at all (the device record refused the image): the device file and key are named.
    test::SimulatedLink refused;
    EXPECT_TRUE(
        refused.programmer.EnumerateProgrammers({}, 0, "W25X20.ini : UserWav=../../x_25.drv")
            .imageMissing);
    EXPECT_EQ(refused.op.messages.at(0).text,
              "The 'W25X20.ini : UserWav=../../x_25.drv' not found.");
}

TEST_F(ProgrammerTest, OpenProgrammerReloadsTheImageOnlyWhenAProgrammerIsRegistered) {
    test::SimulatedLink none(test::SetupWith("W25Q128FV"));
    EXPECT_FALSE(none.programmer.OpenProgrammer(image, 0));
    EXPECT_TRUE(none.sim.Log().empty());

    test::SimulatedLink link;
    link.Enumerate(image);
    const auto image18 = home.Write("Drv/SPI_25_18V.drv", test::DriverImageText(25, 1800, 256));
    EXPECT_TRUE(link.programmer.OpenProgrammer(image18, 0));
    EXPECT_EQ(link.sim.Firmware().Image()->millivolts, 1800);
    EXPECT_FALSE(link.programmer.OpenProgrammer(image18, 1));  // no such unit

    // An unreadable image: a line, and the programmer keeps what it ran.
    link.sim.ClearLog();
    EXPECT_TRUE(link.programmer.OpenProgrammer(home / "gone.drv", 0));
    EXPECT_EQ(test::Messages(link.log).back(),
              "Error : Cannot read the driver image '" + (home / "gone.drv").string() + "'.");
    EXPECT_TRUE(Describe(link.sim.Log()).empty());

    // A file far larger than any image (a device, a wrong name) is not read, nor sent.
    const auto huge = home.Write("Drv/huge.drv", std::string(kDriverImageFileLimit + 1, '0'));
    EXPECT_TRUE(link.programmer.OpenProgrammer(huge, 0));
    EXPECT_NE(test::Messages(link.log).back().find("is larger than 1048576 bytes"),
              std::string::npos)
        << test::Messages(link.log).back();
    EXPECT_TRUE(Describe(link.sim.Log()).empty());
}

TEST_F(ProgrammerTest, RestartWithNoOpenDeviceSendsNothingAndStopsTheOperation) {
    test::SimulatedLink link;
    link.Enumerate(image);
    link.sim.Close();
    EXPECT_FALSE(link.programmer.Restart());
    EXPECT_TRUE(link.sim.Log().empty());
    ASSERT_EQ(link.op.messages.size(), 1u);
    EXPECT_EQ(link.op.messages[0].text, "No USB Devices connected.");
    EXPECT_EQ(link.op.messages[0].severity, Severity::Error);

    ASSERT_TRUE(link.sim.Open(0));
    EXPECT_TRUE(link.programmer.Restart());
    EXPECT_EQ(Describe(link.sim.Log()), (Lines{"out A0 E600 0000", "out A0 E600 0000"}));
    EXPECT_TRUE(link.sim.Firmware().Running());
}

std::vector<std::pair<std::uint16_t, std::size_t>> Layout(const std::vector<ImageChunk>& chunks) {
    std::vector<std::pair<std::uint16_t, std::size_t>> layout;
    for (const auto& c : chunks)
        layout.emplace_back(c.address, c.bytes.size());
    return layout;
}

TEST(DriverImageChunks, LoadDataRecordsOnlyJoiningContiguousOnesBelow0x2000) {
    using test::HexRecord;
    const std::vector<std::uint8_t> sixteen(16, 0xAB);
    const auto lines = [](const std::string& text) {
        std::vector<std::string> result;
        std::size_t start = 0;
        for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos;
             start = end + 2) {
            result.push_back(text.substr(start, end - start));
        }
        return result;
    };
    using Layouts = std::vector<std::pair<std::uint16_t, std::size_t>>;

    // Extended-address and end records are dropped; contiguous records join; a gap starts anew.
    const auto joined = DriverImageChunks(
        lines(HexRecord(0, 4, {0x00, 0x00}) + HexRecord(0x0000, 0, sixteen) +
              HexRecord(0x0010, 0, sixteen) + HexRecord(0x0100, 0, sixteen) + HexRecord(0, 1, {})));
    EXPECT_EQ(Layout(joined), (Layouts{{0x0000, 32}, {0x0100, 16}}));

    // A record crossing 0x2000 is cut; one at 0x2000 is skipped.
    const auto cut =
        DriverImageChunks(lines(HexRecord(0x1FF8, 0, sixteen) + HexRecord(0x2000, 0, sixteen)));
    EXPECT_EQ(Layout(cut), (Layouts{{0x1FF8, 8}}));

    // 300 contiguous records: a new write starts when 4096 bytes have been counted.
    std::string many;
    for (std::uint16_t i = 0; i < 300; ++i)
        many += HexRecord(static_cast<std::uint16_t>(16 * i), 0, sixteen);
    EXPECT_EQ(Layout(DriverImageChunks(lines(many))), (Layouts{{0x0000, 4080}, {0x0FF0, 720}}));

    // Non-hexadecimal characters read as 0: a record type "ZZ" counts as data; blank lines
    // are ignored.
    const auto odd = DriverImageChunks({":020000ZZ1234", "", ":02000201FFFF"});
    ASSERT_EQ(odd.size(), 1u);
    EXPECT_EQ(odd[0].bytes, (std::vector<std::uint8_t>{0x12, 0x34}));
}

}  // namespace
}  // namespace torq

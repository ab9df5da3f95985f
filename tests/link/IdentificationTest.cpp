#include <gtest/gtest.h>

#include <set>

#include "LinkFixtures.h"
#include "torq/link/Identification.h"

namespace torq {
namespace {

using test::Describe;
using Lines = std::vector<std::string>;

DeviceRecord IdRecord(int selector, int bytes, std::uint32_t manCode, std::uint32_t devCode) {
    DeviceRecord record;
    record.idMode = (selector << 8) | bytes;
    record.manCode = manCode;
    record.devCode = devCode;
    return record;
}

sim::ProgrammerSetup CustomChip(const std::string& base,
                                const std::function<void(sim::ChipSpec&)>& change) {
    sim::ProgrammerSetup setup = test::SetupWith(base);
    change(*setup.chip);
    return setup;
}

class ReadIdTest : public ::testing::Test {
  protected:
    std::unique_ptr<test::SimulatedLink> LinkWith(sim::ProgrammerSetup setup) {
        auto link = std::make_unique<test::SimulatedLink>(std::move(setup));
        link->Enumerate(home.Write("Drv/SPI_25_33V.drv", test::DriverImageText(25, 3300, 256)));
        return link;
    }
    test::TempDir home;
};

TEST_F(ReadIdTest, EachSelectorReadsItsCommandAndFirstByte) {
    struct Case {
        const char* chip;
        DeviceRecord record;
        const char* line;
    };
    const auto zeroBf = CustomChip("SST25VF010A", [](sim::ChipSpec& s) {
        s.manufacturerDevice = {{0x00, 0xBF}};
    });
    const std::vector<std::pair<sim::ProgrammerSetup, Case>> cases{
        {test::SetupWith("W25Q64FV"),
         {"9F", IdRecord(0, 3, 0xEF4017, 0xFFFFFF), "Read ID : [0xEF4017] Pass"}},
        // Three dummy bytes before the signature: bytes 0-2 of the answer are ignored.
        {test::SetupWith("W25X40"), {"AB", IdRecord(1, 1, 0x12, 0xFF), "Read ID : [0x12] Pass"}},
        {test::SetupWith("AT45DB041D"),
         {"D7", IdRecord(2, 1, 0x9C, 0xBC), "Read ID : [0x9C] Pass"}},
        {test::SetupWith("AT25F512A"),
         {"15", IdRecord(3, 2, 0x1F65, 0xFFFF), "Read ID : [0x1F65] Pass"}},
        // Leading zeros are kept to reach 2n digits.
        {zeroBf, {"90", IdRecord(4, 2, 0x00BF, 0xFFFF), "Read ID : [0x00BF] Pass"}},
        // The mask applies before the comparison.
        {test::SetupWith("W25Q64FV"),
         {"mask", IdRecord(0, 3, 0xEF4000, 0xFFFF00), "Read ID : [0xEF4000] Pass"}},
        {test::SetupWith("W25Q64FV"),
         {"other", IdRecord(0, 3, 0xEF4018, 0xFFFFFF), "Read ID : [0xEF4017] Fail"}},
        // A ManCode with more than 2n digits never matches.
        {test::SetupWith("W25Q64FV"),
         {"long", IdRecord(0, 2, 0x1EF40, 0xFFFF), "Read ID : [0xEF40] Fail"}},
        // No ID bytes give no number: never a pass.
        {test::SetupWith("W25Q64FV"),
         {"none", IdRecord(0, 0, 0, 0xFFFFFFFF), "Read ID : [0x] Fail"}},
    };
    for (const auto& [setup, c] : cases) {
        auto link = LinkWith(setup);
        const bool passed = ReadId(link->programmer, c.record);
        EXPECT_EQ(passed, std::string(c.line).ends_with("Pass")) << c.chip;
        EXPECT_EQ(test::Messages(link->log), Lines{c.line}) << c.chip;
    }
}

TEST_F(ReadIdTest, ExchangeOnTheWireWithTheClosingPollOnlyAfterAMatch) {
    auto link = LinkWith(test::SetupWith("W25Q64FV"));
    ASSERT_TRUE(ReadId(link->programmer, IdRecord(0, 3, 0xEF4017, 0xFFFFFF)));
    EXPECT_EQ(
        Describe(link->sim.Log()),
        (Lines{"out A0 E600 0000", "out A0 E600 0000", "out 90 0051 0000", "in E0 0000 0000 2",
               "bulk-out 64", "in E1 0000 0000 2", "bulk-in 512", "in E0 0000 0000 2"}));
    const auto& script = link->sim.Log()[4].data;
    EXPECT_EQ(script[0], 0x9F);
    EXPECT_TRUE(std::all_of(script.begin() + 1, script.end(), [](auto b) { return b == 0; }));

    link->sim.ClearLog();
    EXPECT_FALSE(ReadId(link->programmer, IdRecord(0, 3, 0xC22017, 0xFFFFFF)));
    EXPECT_EQ(Describe(link->sim.Log()).back(), "bulk-in 512");  // no closing poll
}

TEST_F(ReadIdTest, UnknownSelectorFailsSilentlyAfterTheRestart) {
    auto link = LinkWith(test::SetupWith("W25Q64FV"));
    EXPECT_FALSE(ReadId(link->programmer, IdRecord(5, 3, 0xEF4017, 0xFFFFFF)));
    EXPECT_TRUE(link->log.Lines().empty());
    EXPECT_EQ(Describe(link->sim.Log()), (Lines{"out A0 E600 0000", "out A0 E600 0000"}));
}

TEST_F(ReadIdTest, CommunicationFailuresEndInTheFailureLine) {
    const std::vector<std::function<void(sim::SimulatedProgrammer&)>> faults{
        [](sim::SimulatedProgrammer& s) {
            s.FailEvery({sim::TransferKind::BulkIn, std::nullopt});
        },
        [](sim::SimulatedProgrammer& s) {
            s.FailEvery({sim::TransferKind::ControlOut, request::kStartOperation});
        },
        [](sim::SimulatedProgrammer& s) { s.Firmware().StallState(operation::kIdentify); },
        [](sim::SimulatedProgrammer& s) { s.Firmware().StallBlockReady(); },
        [](sim::SimulatedProgrammer& s) {
            s.Firmware().StallState(state::kFinished);
        },  // after a match
        [](sim::SimulatedProgrammer& s) { s.UnplugAfter(4); },
    };
    for (std::size_t i = 0; i < faults.size(); ++i) {
        auto link = LinkWith(test::SetupWith("W25Q64FV"));
        faults[i](link->sim);
        EXPECT_FALSE(ReadId(link->programmer, IdRecord(0, 3, 0xEF4017, 0xFFFFFF))) << i;
        EXPECT_EQ(test::Messages(link->log), Lines{std::string(kCommunicationFailureMessage)}) << i;
    }
    // One lost transfer is made up for by the second attempt.
    auto link = LinkWith(test::SetupWith("W25Q64FV"));
    link->sim.FailTransfer(3);  // the StartOperation
    EXPECT_TRUE(ReadId(link->programmer, IdRecord(0, 3, 0xEF4017, 0xFFFFFF)));
}

// A small library: vendors listed Zeta, Alpha (Alpha sorts first), detection images.
class DetectionTest : public ::testing::Test {
  protected:
    void SetUp() override { test::WriteDriverImages(home); }
    void WriteIndex(const std::string& vendors,
                    const std::string& readId = "Value=1\n0001=0x9F,0\n",
                    const std::string& vcc = "") {
        home.Write("Select.ini", "[Machine]\nType=TORQ-SPI\n" + vendors + "[Read_ID]\n" + readId +
                                     "[VCC]\n" + vcc);
    }
    DetectionResult Detect(test::SimulatedLink& link) {
        link.Enumerate(home / "Drv/SPI_25_33V.drv");
        const DeviceLibrary library(ProgramDirectory::Portable(home.Path()));
        return AutoDetectDevice(link.programmer, library, false);
    }
    // The supply voltage of every image loaded, in order.
    static std::vector<int> ImageVoltages(const sim::SimulatedProgrammer& sim) {
        std::vector<int> volts;
        for (const auto& t : sim.Log()) {
            if (t.request == request::kRamWrite && t.value == 0x1F00)
                volts.push_back((t.data[6] << 8) | t.data[7]);
        }
        return volts;
    }
    test::TempDir home;
};

const char* kTwoVendors =
    "[Vendor]\nValue=2\n0001=Zeta\n0002=Alpha\n"
    "[Zeta]\nValue=3\n0001=NoCode\n0002=Z64\n0003=Z64Later\n"
    "Z64_ManCode=0xEF401700\nZ64_DevCode=0xFFFFFF00\nZ64Later_ManCode=0xEF401700\nZ64Later_DevCode="
    "0xFFFFFF00\n"
    "[Alpha]\nValue=2\n0001=A64\n0002=A64Low\n"
    "A64_ManCode=0xEF401700\nA64_DevCode=0xFFFFFF00\nA64Low_ManCode=0x401700\nA64Low_DevCode="
    "0x00FFFFFF\n";

TEST_F(DetectionTest, FileOrderOfVendorsAndTypesDecides) {
    WriteIndex(kTwoVendors);
    test::SimulatedLink link(test::SetupWith("W25Q64FV"));
    const DetectionResult result = Detect(link);
    EXPECT_TRUE(result.found);
    EXPECT_EQ(result.vendor, "Zeta");  // listed first, though Alpha sorts first
    EXPECT_EQ(result.type, "Z64");     // the earlier of two matching types
    EXPECT_EQ(result.idText, "EF401700");
    EXPECT_EQ(result.level, DetectionLevel::V33);
    EXPECT_EQ(ImageVoltages(link.sim), (std::vector<int>{1800, 2500, 3300}));
}

// A match the caller cannot take is no match: the search goes on with the next device in file
// order, asks about each device once, and ends not found when none is left.
TEST_F(DetectionTest, AMatchTheCallerRefusesIsPassedOver) {
    WriteIndex(kTwoVendors, "Value=2\n0001=0x9F,0\n0002=0x9F,0\n");
    const DeviceLibrary library(ProgramDirectory::Portable(home.Path()));
    std::vector<std::string> asked;
    const auto refuse = [&](std::set<std::string> refused) {
        return [&asked, refused](const std::string& vendor, const std::string& type) {
            asked.push_back(vendor + "/" + type);
            return refused.count(type) == 0;
        };
    };
    test::SimulatedLink link(test::SetupWith("W25Q64FV"));
    link.Enumerate(home / "Drv/SPI_25_33V.drv");
    const DetectionResult next = AutoDetectDevice(link.programmer, library, false, refuse({"Z64"}));
    EXPECT_TRUE(next.found);
    EXPECT_EQ(next.vendor, "Zeta");
    EXPECT_EQ(next.type, "Z64Later");
    EXPECT_EQ(asked, (Lines{"Zeta/Z64", "Zeta/Z64Later"}));

    asked.clear();
    test::SimulatedLink none(test::SetupWith("W25Q64FV"));
    none.Enumerate(home / "Drv/SPI_25_33V.drv");
    const DetectionResult nothing =
        AutoDetectDevice(none.programmer, library, false, refuse({"Z64", "Z64Later", "A64"}));
    EXPECT_FALSE(nothing.found);
    EXPECT_EQ(nothing.vendor, "NULL");
    EXPECT_EQ(nothing.idText, "00000000");
    // Each refused device is asked about once, whatever the levels and entries that match it.
    EXPECT_EQ(asked, (Lines{"Zeta/Z64", "Zeta/Z64Later", "Alpha/A64"}));
}

TEST_F(DetectionTest, MasksAndTheDefaultCodes) {
    // 0x00FFFFFF with 0x401700 does not match EF 40 17 xx: the masked value is 0x4017xx.
    WriteIndex(
        "[Vendor]\nValue=1\n0001=Alpha\n[Alpha]\nValue=2\n0001=A64Low\n0002=NoCode\n"
        "A64Low_ManCode=0x401700\nA64Low_DevCode=0x00FFFFFF\n");
    test::SimulatedLink link(test::SetupWith("W25Q64FV"));
    EXPECT_FALSE(Detect(link).found);

    // A type without _ManCode matches only a chip whose ID is 0x55AAAA55.
    test::SimulatedLink odd(CustomChip("W25Q64FV", [](sim::ChipSpec& s) {
        s.jedecId = {0x55, 0xAA, 0xAA, 0x55};
    }));
    const DetectionResult result = Detect(odd);
    EXPECT_TRUE(result.found);
    EXPECT_EQ(result.type, "NoCode");
    EXPECT_EQ(result.idText, "55AAAA55");
}

TEST_F(DetectionTest, TheExchangePerEntryOnTheWire) {
    WriteIndex(kTwoVendors, "Value=2\n0001=0xAB,3\n0002=0x9F,0\n", "V18=0\nV25=0\n");
    test::SimulatedLink link(test::SetupWith("W25Q64FV"));
    EXPECT_TRUE(Detect(link).found);
    const Lines exchange{"out A0 E600 0000",  "out A0 E600 0000", "out 90 0051 0000",
                         "in E0 0000 0000 2", "bulk-out 64",      "in E1 0000 0000 2",
                         "bulk-in 512",       "in E0 0000 0000 2"};
    Lines expected{"out E2 0000 0000",  // target board mode: firmware 1.10 is told
                   "out A0 E600 0000", "out A0 0000 0000", "out A0 1F00 0000", "out A0 E600 0000"};
    for (int entry = 0; entry < 2; ++entry)
        expected.insert(expected.end(), exchange.begin(), exchange.end());
    EXPECT_EQ(Describe(link.sim.Log()), expected);
    EXPECT_EQ(link.sim.Log()[9].data[0], 0xAB);  // entries in key order
    EXPECT_EQ(link.sim.Log()[17].data[0], 0x9F);
    EXPECT_EQ(ImageVoltages(link.sim), std::vector<int>{3300});
}

TEST_F(DetectionTest, LevelsFollowTheChipAndTheEnableKeys) {
    WriteIndex(
        "[Vendor]\nValue=1\n0001=W\n[W]\nValue=1\n0001=W25Q64FW\n"
        "W25Q64FW_ManCode=0xEF601700\nW25Q64FW_DevCode=0xFFFFFF00\n");
    test::SimulatedLink low(test::SetupWith("W25Q64FW"));
    const DetectionResult result = Detect(low);
    EXPECT_EQ(result.level, DetectionLevel::V18);
    EXPECT_EQ(ImageVoltages(low.sim), std::vector<int>{1800});

    // The 1.8 V part does not answer at 3.3 V.
    WriteIndex(
        "[Vendor]\nValue=1\n0001=W\n[W]\nValue=1\n0001=W25Q64FW\n"
        "W25Q64FW_ManCode=0xEF601700\nW25Q64FW_DevCode=0xFFFFFF00\n",
        "Value=1\n0001=0x9F,0\n", "V18=0\nV25=0\n");
    test::SimulatedLink skipped(test::SetupWith("W25Q64FW"));
    EXPECT_FALSE(Detect(skipped).found);
    EXPECT_EQ(ImageVoltages(skipped.sim), std::vector<int>{3300});

    // All levels off: not found at once.
    WriteIndex(kTwoVendors, "Value=1\n0001=0x9F,0\n", "V18=0\nV25=0\nV33=0\n");
    test::SimulatedLink off(test::SetupWith("W25Q64FV"));
    const DetectionResult nothing = Detect(off);
    EXPECT_FALSE(nothing.found);
    EXPECT_EQ(nothing.idText, "00000000");
    EXPECT_EQ(nothing.vendor, "NULL");
    EXPECT_EQ(nothing.type, "NULL");
    EXPECT_EQ(Describe(off.sim.Log()), Lines{"out E2 0000 0000"});

    // A missing level image is passed over.
    std::filesystem::remove(home / "Drv/FLASH/SPI_25_18V.drv");
    WriteIndex(kTwoVendors);
    test::SimulatedLink noImage(test::SetupWith("W25Q64FV"));
    Detect(noImage);
    EXPECT_EQ(ImageVoltages(noImage.sim), (std::vector<int>{2500, 3300}));
}

TEST_F(DetectionTest, PullingThePlugEndsWithTheFailureLine) {
    WriteIndex(kTwoVendors);
    // Transfers: 1 target board mode, 2-5 image download, 6-7 restart, 8-13 the exchange.
    for (std::uint64_t after : {5, 7, 9, 11, 12}) {
        test::SimulatedLink link(test::SetupWith("W25Q64FV"));
        link.Enumerate(home / "Drv/SPI_25_33V.drv");
        link.sim.UnplugAfter(after);
        const DeviceLibrary library(ProgramDirectory::Portable(home.Path()));
        const DetectionResult result = AutoDetectDevice(link.programmer, library, false);
        EXPECT_FALSE(result.found) << after;
        EXPECT_TRUE(result.communicationFailed) << after;
        EXPECT_EQ(test::Messages(link.log), Lines{std::string(kCommunicationFailureMessage)})
            << after;
    }
    // Gone before the programmer could be opened: the restart finds no device and the
    // detection is stopped with the operator told.
    test::SimulatedLink gone(test::SetupWith("W25Q64FV"));
    gone.Enumerate(home / "Drv/SPI_25_33V.drv");
    gone.sim.UnplugAfter(0);
    const DeviceLibrary library(ProgramDirectory::Portable(home.Path()));
    EXPECT_FALSE(AutoDetectDevice(gone.programmer, library, false).found);
    EXPECT_TRUE(gone.log.Lines().empty());
    ASSERT_EQ(gone.op.messages.size(), 1u);
    EXPECT_EQ(gone.op.messages[0].text, "No USB Devices connected.");
}

TEST_F(DetectionTest, WithoutSelectIniNothingIsFound) {
    test::SimulatedLink link(test::SetupWith("W25Q64FV"));
    const DetectionResult result = Detect(link);
    EXPECT_FALSE(result.found);
    EXPECT_FALSE(result.communicationFailed);
}

TEST(DetectionLine, TextsAndTime) {
    EXPECT_EQ(SecondsText(1234), "1.234");
    EXPECT_EQ(SecondsText(5), "0.005");
    DetectionResult found;
    found.found = true;
    found.vendor = "Winbond";
    found.type = "W25Q64FV";
    found.idText = "EF401700";
    EXPECT_EQ(DetectionLine(found, 1234),
              "Automatically detect the device ID is found : Winbond -> W25Q64FV -> [EF401700] : "
              "Total Time : 1.234 Sec.");
    EXPECT_EQ(DetectionLine(DetectionResult{}, 0),
              "Automatically detect the device ID is not found : Total Time : 0.000 Sec.");
}

}  // namespace
}  // namespace torq

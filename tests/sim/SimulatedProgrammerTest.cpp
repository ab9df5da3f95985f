#include <gtest/gtest.h>

#include "../link/LinkFixtures.h"
#include "torq/link/CommandChannel.h"
#include "torq/sim/SimulateOption.h"

namespace torq::sim {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::Describe;

// A programmer that has run an image, with the channel the device operations use.
class SimulatorTest : public ::testing::Test {
  protected:
    void Start(const std::string& chip, std::uint8_t family = 25, std::uint16_t page = 256,
               std::uint16_t millivolts = 3300) {
        link = std::make_unique<test::SimulatedLink>(test::SetupWith(chip));
        link->Enumerate(home.Write("image.drv", test::DriverImageText(family, millivolts, page)));
    }
    CommandChannel& Channel() { return link->programmer.Channel(); }
    SimulatedProgrammer& Sim() { return link->sim; }
    SpiChip& Chip() { return *Sim().Chip(); }
    // Starts an operation and waits for its echo.
    void Begin(std::uint8_t code, std::uint16_t parameter) {
        ASSERT_TRUE(link->programmer.Restart());
        ASSERT_TRUE(Channel().StartOperation(code, parameter));
        ASSERT_TRUE(Channel().PollState(code));
    }
    Bytes Read(std::uint32_t address, std::size_t length) {
        return Chip().Transaction(
            Bytes{0x03, static_cast<std::uint8_t>(address >> 16),
                  static_cast<std::uint8_t>(address >> 8), static_cast<std::uint8_t>(address)},
            length);
    }
    void Unprotect() {  // the status-register script with S = 0
        Begin(operation::kStatusWrite, 0);
        ASSERT_TRUE(Channel().SendScript(
            Script().Byte(0x06).Zero().Byte(0x50).Zero().Byte(0x01).Byte(0).Byte(0x05).Zero().Byte(
                0)));
        ASSERT_TRUE(Channel().PollState(state::kStatusWritten));
    }
    test::TempDir home;
    std::unique_ptr<test::SimulatedLink> link;
};

TEST_F(SimulatorTest, OnlyAStartedImageAnswersTheProtocol) {
    SimulatedProgrammer sim(test::SetupWith("W25Q64FV"));
    ASSERT_TRUE(sim.Open(0));
    Bytes answer(2);
    EXPECT_FALSE(sim.ControlIn(request::kGetState, 0, 0, answer));  // nothing runs yet
    EXPECT_TRUE(sim.ControlOut(request::kRamWrite, 0xE600, 0, Bytes{1}));
    EXPECT_TRUE(sim.Firmware().Held());
    EXPECT_TRUE(sim.ControlOut(request::kRamWrite, 0x1F00, 0,
                               Bytes{'T', 'Q', 'D', 'I', 1, 45, 0x0C, 0xE4, 0x01, 0x08}));
    EXPECT_TRUE(sim.ControlOut(request::kRamWrite, 0xE600, 0, Bytes{0}));
    ASSERT_TRUE(sim.Firmware().Running());
    EXPECT_EQ(sim.Firmware().Image()->family, 45);
    EXPECT_EQ(sim.Firmware().Image()->pageSize, 264);
    EXPECT_EQ(sim.Chip()->Supply(), 3300u);
    EXPECT_TRUE(sim.ControlIn(request::kGetState, 0, 0, answer));

    // An image without our descriptor starts nothing that answers.
    sim.ControlOut(request::kRamWrite, 0xE600, 0, Bytes{1});
    sim.ControlOut(request::kRamWrite, 0x1F00, 0, Bytes(16, 0x00));
    sim.ControlOut(request::kRamWrite, 0xE600, 0, Bytes{0});
    EXPECT_FALSE(sim.Firmware().Running());
    EXPECT_FALSE(sim.ControlIn(request::kGetState, 0, 0, answer));
    EXPECT_FALSE(sim.Chip()->Powered());
}

TEST_F(SimulatorTest, ReadStreamsTheCountIn1024ByteBlocks) {
    Start("W25X40");
    Chip().Memory().Write(0x3E6, Bytes{0x01, 0x02});
    ASSERT_TRUE(link->programmer.Restart());
    ASSERT_TRUE(Channel().SetCount(1000 / 256));  // 768 bytes: one block
    ASSERT_TRUE(Channel().StartOperation(operation::kRead, 1));
    ASSERT_TRUE(Channel().SendScript(Script().Byte(0x03).Address(0)));
    Bytes block(1024);
    ASSERT_TRUE(Channel().PollBlockReady());
    ASSERT_TRUE(Channel().ReceiveBlock(block, 0xFF));
    EXPECT_EQ(block[0x3E6], 0x01);
    EXPECT_EQ(block[0x3E7], 0x02);
    EXPECT_FALSE(Channel().PollBlockReady());
    EXPECT_TRUE(Channel().PollState(state::kFinished));
}

TEST_F(SimulatorTest, EraseScriptErasesTheWholeChipAndReportsItsProgress) {
    for (std::uint8_t opcode : {0xC7, 0xD8, 0x20}) {
        Start("W25X40");
        link->sim.Firmware().Config().busyPolls = 3;
        Chip().Memory().Write(0x12345, Bytes{0x00});
        Chip().Memory().Write(0x7FFFF, Bytes{0x00});
        Begin(operation::kErase, 1);
        ASSERT_TRUE(
            Channel().SendScript(Script().Byte(0x06).Zero().Byte(opcode).Zero().Byte(0x05)));
        const PollOutcome underWay = Channel().PollState(state::kEraseUnderWay, state::kFinished);
        EXPECT_TRUE(underWay.met);
        EXPECT_EQ(Channel().Block()[0], state::kEraseUnderWay);
        const PollOutcome done = Channel().PollState(state::kFinished);
        EXPECT_EQ(done.requests, 3);
        EXPECT_EQ(Read(0x12345, 1), Bytes{0xFF}) << int{opcode};
        EXPECT_EQ(Read(0x7FFFF, 1), Bytes{0xFF}) << int{opcode};
    }
}

TEST_F(SimulatorTest, PageProgramBlocksCarryTheirLengthInTheClosingStatusRead) {
    Start("W25Q64FV");
    Begin(operation::kProgram, 1);
    // A 300-byte file: the second block carries 44 bytes at 0x000100, its 0x05 at offset 50.
    for (std::uint32_t page = 0; page < 2; ++page) {
        const std::size_t n = page == 0 ? 256 : 44;
        Script block(320);
        block.Byte(0x06).Zero().Byte(0x02).Address(page * 256);
        for (std::size_t i = 0; i < n; ++i)
            block.Byte(i % 2 == 0 ? 0x00 : 0x05);  // zeros and 0x05 inside the data
        block.Byte(0x05);
        ASSERT_TRUE(Channel().SendScript(block));
        ASSERT_TRUE(Channel().PollBlockReady());
    }
    EXPECT_TRUE(Channel().PollState(state::kFinished));
    EXPECT_EQ(Read(0x0FE, 4), (Bytes{0x00, 0x05, 0x00, 0x05}));
    EXPECT_EQ(Read(0x12A, 3), (Bytes{0x00, 0x05, 0xFF}));  // nothing after the 44 bytes
}

TEST_F(SimulatorTest, SequentialBlocksProgramSstParts) {
    for (const auto& [chip, mode] : {std::pair{"SST25VF016B", 2}, std::pair{"SST25VF010A", 3}}) {
        Start(chip);
        Unprotect();
        Begin(operation::kProgram, static_cast<std::uint16_t>(mode));
        Bytes data(256);
        for (std::size_t i = 0; i < 256; ++i)
            data[i] = static_cast<std::uint8_t>(i);
        const std::uint8_t op = mode == 2 ? 0xAD : 0xAF;
        Script block(576);
        block.Byte(0x06).Zero().Byte(op).Address(0x100).Byte(data[0]);
        if (mode == 2) {
            block.Byte(data[1]);
            for (int i = 0; i < 127; ++i)
                block.Byte(op).Zero().Byte(data[2 + 2 * i]).Byte(data[3 + 2 * i]);
        } else {
            block.Zero();
            for (int i = 0; i < 255; ++i)
                block.Byte(op).Byte(data[1 + i]);
        }
        block.Byte(0x04);
        ASSERT_EQ(block.Position(), mode == 2 ? 517u : 519u);
        ASSERT_TRUE(Channel().SendScript(block));
        ASSERT_TRUE(Channel().PollBlockReady());
        EXPECT_TRUE(Channel().PollState(state::kFinished));
        EXPECT_EQ(Read(0x100, 256), data) << chip;
    }
}

TEST_F(SimulatorTest, StatusScriptsWriteTheRegistersAndReadThemBack) {
    Start("W25X40");
    Begin(operation::kStatusWrite, 0);
    ASSERT_TRUE(Channel().SendScript(
        Script().Bytes(Bytes{0x06, 0x00, 0x50, 0x00, 0x01, 0x9C, 0x05, 0x00, 0x9C})));
    EXPECT_TRUE(Channel().PollState(state::kStatusWritten));
    EXPECT_EQ(dynamic_cast<SerialFlashChip&>(Chip()).Status(), 0x9C);
    EXPECT_EQ(Sim().Firmware().StatusReadBack(), Bytes{0x9C});

    Start("W25Q64FV");  // two registers, read back with 0x05 and 0x35
    Begin(operation::kStatusWrite, 0);
    ASSERT_TRUE(Channel().SendScript(Script().Bytes(
        Bytes{0x06, 0x00, 0x50, 0x00, 0x01, 0x1C, 0x02, 0x05, 0x00, 0x1C, 0x35, 0x00, 0x02})));
    EXPECT_TRUE(Channel().PollState(state::kStatusWritten));
    EXPECT_EQ(Sim().Firmware().StatusReadBack(), (Bytes{0x1C, 0x02}));
}

TEST_F(SimulatorTest, SectorBlockUnprotectsAt26Sectors) {
    Start("AT26DF041");
    Begin(operation::kSectorUnprotect, 0);
    Script block(64);
    for (std::uint32_t start : {0x00000, 0x20000, 0x40000, 0x50000, 0x60000, 0x70000}) {
        block.Byte(0x06).Zero().Byte(0x39).Address(start);
    }
    ASSERT_TRUE(Channel().SendScript(block));
    EXPECT_TRUE(Channel().PollState(state::kSectorsDone));
    auto& chip = dynamic_cast<SerialFlashChip&>(Chip());
    for (std::size_t sector = 0; sector < 6; ++sector)
        EXPECT_FALSE(chip.SectorProtected(sector));
}

TEST_F(SimulatorTest, DataFlashBlocksSetUpPagesAndProgramThem) {
    Start("AT45DB041D", 45, 264);
    Begin(operation::kProgram, 1);
    // Page 3 at 0x000600 (page << 9), the 0x88 byte at offset 268.
    Script block(256 + 64);
    block.Byte(0x84).Zero(3).Bytes(Bytes(264, 0x3C)).Byte(0x88).Address(3 << 9).Byte(0xD7);
    ASSERT_EQ(block.Data()[268], 0x88);
    ASSERT_TRUE(Channel().SendScript(block));
    ASSERT_TRUE(Channel().PollBlockReady());
    EXPECT_TRUE(Channel().PollState(state::kFinished));
    auto& flash = dynamic_cast<DataFlashChip&>(Chip());
    EXPECT_EQ(flash.ByteAt(3 * 264), 0x3C);
    EXPECT_EQ(flash.ByteAt(3 * 264 + 263), 0x3C);
    EXPECT_EQ(flash.ByteAt(4 * 264), 0xFF);

    Start("AT45DB041D", 45, 256);
    Begin(operation::kErase, 2);
    ASSERT_TRUE(Channel().SendScript(Script().Bytes(Bytes{0x3D, 0x2A, 0x80, 0xA6})));
    EXPECT_TRUE(Channel().PollState(state::kDataFlashEraseSetUp, state::kFinished));
    EXPECT_TRUE(dynamic_cast<DataFlashChip&>(Chip()).BinaryPages());
    ASSERT_TRUE(Channel().SendScript(Script().Byte(0x50).Address(2048).Byte(0xD7)));
    EXPECT_TRUE(Channel().PollBlockReady());
}

TEST_F(SimulatorTest, AScriptOutOfShapeIsNeverFinished) {
    Start("W25Q64FV");
    Begin(operation::kErase, 1);
    ASSERT_TRUE(Channel().SendScript(Script().Byte(0xC7)));  // no write enable frame
    EXPECT_EQ(Sim().Firmware().State(), kScriptErrorState);
    EXPECT_FALSE(Channel().PollState(state::kEraseUnderWay, state::kFinished));
}

TEST_F(SimulatorTest, FaultsPlugAndLatency) {
    Start("W25Q64FV");
    Bytes answer(2);
    Sim().FailTransfer(2);
    EXPECT_TRUE(Sim().ControlIn(request::kGetState, 0, 0, answer));
    EXPECT_FALSE(Sim().ControlIn(request::kGetState, 0, 0, answer));
    EXPECT_TRUE(Sim().ControlIn(request::kGetState, 0, 0, answer));

    // Data delivered, failure reported.
    Sim().FailTransfer(1, FaultEffect::FailAfterData);
    EXPECT_FALSE(Sim().ControlIn(request::kGetFirmwareVersion, 0, 0, answer));
    EXPECT_EQ(answer[0], '1');

    const double before = Sim().ModelledMicroseconds();
    Sim().FailTransfer(1, FaultEffect::Timeout);
    EXPECT_FALSE(Sim().BulkIn(answer));
    EXPECT_DOUBLE_EQ(Sim().ModelledMicroseconds() - before, 10'000'000.0);

    std::vector<UsbChange> changes;
    Sim().SetChangeHandler([&](UsbChange c) { changes.push_back(c); });
    Sim().UnplugAfter(1);
    EXPECT_TRUE(Sim().ControlIn(request::kGetState, 0, 0, answer));
    EXPECT_FALSE(Sim().ControlIn(request::kGetState, 0, 0, answer));
    EXPECT_TRUE(changes.empty());  // delivered from the event loop, not inside a transfer
    Sim().ProcessEvents();
    EXPECT_EQ(changes, std::vector<UsbChange>{UsbChange::Removal});
    EXPECT_EQ(Sim().DeviceCount(), 0);
    EXPECT_TRUE(Sim().IsOpen());  // the handle stays until closed
    Sim().Plug();
    Sim().ProcessEvents();
    EXPECT_EQ(changes.back(), UsbChange::Arrival);
    ASSERT_TRUE(Sim().Open(0));
    EXPECT_FALSE(Sim().ControlIn(request::kGetState, 0, 0, answer));  // powered up empty

    Sim().SetLatency({125, 125, 25});
    const double start = Sim().ModelledMicroseconds();
    Sim().ControlIn(request::kGetState, 0, 0, answer);
    Bytes block(1000);
    Sim().BulkOut(block);
    EXPECT_DOUBLE_EQ(Sim().ModelledMicroseconds() - start, 125 + 125 + 25.0);
}

TEST(SimulateOption, ParsesChipsAndOptions) {
    auto good = ParseSimulateOption(
        "w25q64fv,firmware=1.02,busy=2,fail=3,stall=0x51,manufacturer=novu,log=0");
    ASSERT_TRUE(good.programmer) << good.error;
    EXPECT_EQ(good.programmer->Chip()->Spec().name, "W25Q64FV");
    EXPECT_EQ(good.programmer->Firmware().Config().version, "1.02");
    EXPECT_EQ(good.programmer->Firmware().Config().busyPolls, 2);
    ASSERT_TRUE(good.programmer->Open(0));
    EXPECT_EQ(good.programmer->Identity().manufacturer, "novu");

    auto empty = ParseSimulateOption("none,firmware=");
    ASSERT_TRUE(empty.programmer);
    EXPECT_EQ(empty.programmer->Chip(), nullptr);
    EXPECT_EQ(empty.programmer->Firmware().Config().version, "");

    for (const char* bad :
         {"W25Q999", "W25Q64FV,busy", "W25Q64FV,busy=x", "W25Q64FV,colour=red",
          "W25Q64FV,fail_bulk=sideways", "W25Q64FV,fail=0", "W25Q64FV,file=/no/such/dir/x.bin"}) {
        const auto parsed = ParseSimulateOption(bad);
        EXPECT_FALSE(parsed.programmer) << bad;
        EXPECT_FALSE(parsed.error.empty()) << bad;
    }
    EXPECT_NE(ParseSimulateOption("W25Q999").error.find("W25Q128FV"),
              std::string::npos);  // names the choices

    test::TempDir dir;
    const std::string file = (dir / "content.bin").string();
    {
        auto backed = ParseSimulateOption("AT26DF041,file=" + file);
        ASSERT_TRUE(backed.programmer) << backed.error;
        backed.programmer->Chip()->Memory().Write(10, Bytes{0x42});
    }
    auto reopened = ParseSimulateOption("AT26DF041,file=" + file);
    ASSERT_TRUE(reopened.programmer);
    EXPECT_EQ(reopened.programmer->Chip()->Memory().ReadByte(10), 0x42);
}

}  // namespace
}  // namespace torq::sim

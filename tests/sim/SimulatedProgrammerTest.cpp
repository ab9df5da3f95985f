#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "../link/LinkFixtures.h"
#include "torq/link/CommandChannel.h"
#include "torq/sim/SimClock.h"
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
    // W25X40 erases the chip with 0xC7 only: 0x60 reaches the part and does nothing.
    for (const auto& [opcode, erases] :
         {std::pair<std::uint8_t, bool>{0xC7, true}, {0xD8, true}, {0x20, true}, {0x60, false}}) {
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
        const Bytes expected{static_cast<std::uint8_t>(erases ? 0xFF : 0x00)};
        EXPECT_EQ(Read(0x12345, 1), expected) << int{opcode};
        EXPECT_EQ(Read(0x7FFFF, 1), expected) << int{opcode};
    }
}

TEST_F(SimulatorTest, AChipStoreThatCannotBeWrittenFailsTheTransfer) {
    auto setup = test::SetupWith("W25X40");
    setup.contentFile = "/dev/full";
    link = std::make_unique<test::SimulatedLink>(setup);
    ASSERT_TRUE(Sim().SetupProblem().empty()) << Sim().SetupProblem();
    link->Enumerate(home.Write("image.drv", test::DriverImageText(25, 3300, 256)));
    Begin(operation::kErase, 1);
    EXPECT_FALSE(Channel().SendScript(Script().Byte(0x06).Zero().Byte(0xC7).Zero().Byte(0x05)));
    EXPECT_FALSE(Channel().PollState(state::kFinished));  // the step never reports done

    Begin(operation::kProgram, 1);
    Script block(320);
    block.Byte(0x06).Zero().Byte(0x02).Address(0).Byte(0x12).Byte(0x05);
    EXPECT_FALSE(Channel().SendScript(block));
    EXPECT_FALSE(Channel().PollBlockReady());
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

// Real time on a clock that jumps when the simulator waits: the hardware's timing, checked
// without waiting for it.
class RealTimeTest : public SimulatorTest {
  protected:
    void StartTimed(const std::string& chip, std::uint8_t family = 25, std::uint16_t page = 256) {
        Start(chip, family, page);
        clock = std::make_shared<VirtualClock>();
        Sim().SetLatency(kHighSpeedBus);
        Sim().SetRealTime(clock);
    }
    double Seconds() const { return std::chrono::duration<double>(clock->Now()).count(); }
    std::shared_ptr<VirtualClock> clock;
};

TEST_F(RealTimeTest, AnEraseTakesThePartsTimeWithinTheHostsPolls) {
    struct Case {
        const char* chip;
        std::uint8_t opcode;
        double seconds;  // the part's busy time for the whole chip
    };
    const auto& w25q128 = *FindChip("W25Q128FV");
    for (const Case& c :
         {Case{"W25Q128FV", 0xC7, w25q128.chipEraseMicros / 1e6},
          // 4096 sector erases one after the other: minutes
          Case{"W25Q128FV", 0x20, 4096 * w25q128.FindErase(0x20)->typicalMicros / 1e6},
          Case{"W25X40", 0x60, 0.0}}) {  // not a command of the part: no time
        SCOPED_TRACE(std::string(c.chip) + " " + std::to_string(c.opcode));
        StartTimed(c.chip);
        Begin(operation::kErase, 1);
        const double start = Seconds();
        ASSERT_TRUE(
            Channel().SendScript(Script().Byte(0x06).Zero().Byte(c.opcode).Zero().Byte(0x05)));
        const PollOutcome underWay = Channel().PollState(state::kEraseUnderWay, state::kFinished);
        ASSERT_TRUE(underWay.met);
        const PollOutcome done = Channel().PollState(state::kFinished);
        ASSERT_TRUE(done.met) << done.requests;
        EXPECT_LE(underWay.requests + done.requests, 66);
        const double took = Seconds() - start;
        EXPECT_GE(took, c.seconds);
        EXPECT_LT(took, c.seconds * 1.02 + 0.05);
        // The part's own share of the time is kept apart from the bus's.
        EXPECT_NEAR(std::chrono::duration<double>(Sim().Chip()->BusyTotal()).count(), c.seconds,
                    1e-6);
    }
}

TEST_F(RealTimeTest, TheChipShowsItIsBusyAndPollsAreHeldBriefly) {
    StartTimed("W25Q64FV");
    Begin(operation::kErase, 1);
    ASSERT_TRUE(Channel().SendScript(Script().Byte(0x06).Zero().Byte(0xC7).Zero().Byte(0x05)));
    // A poll answers "under way" after a fraction of the erase, not after all of it.
    const double before = Seconds();
    ASSERT_TRUE(Channel().PollState(state::kEraseUnderWay));
    EXPECT_LT(Seconds() - before, FindChip("W25Q64FV")->chipEraseMicros / 1e6 / 32);

    // The host restarts and reads the status: the part is still erasing.
    const auto status = [&] {
        Begin(operation::kIdentify, 0);
        EXPECT_TRUE(Channel().SendScript(Script().Byte(0x05)));
        EXPECT_TRUE(Channel().PollBlockReady());
        Bytes answer(512);
        EXPECT_TRUE(Channel().ReceiveBlock(answer, 0x00));
        return answer[0];
    };
    EXPECT_EQ(status() & 0x01, 0x01);
    clock->Advance(std::chrono::seconds(60));
    EXPECT_EQ(status() & 0x01, 0x00);

    // A page program: one block poll, held until the page is written.
    Begin(operation::kProgram, 1);
    const double start = Seconds();
    Script block(320);
    block.Byte(0x06).Zero().Byte(0x02).Address(0x100).Byte(0x12).Byte(0x05);
    ASSERT_TRUE(Channel().SendScript(block));
    const PollOutcome ready = Channel().PollBlockReady();
    EXPECT_TRUE(ready.met);
    EXPECT_EQ(ready.requests, 1);
    EXPECT_GE(Seconds() - start, FindChip("W25Q64FV")->pageProgramMicros / 1e6);
    EXPECT_EQ(Read(0x100, 1), Bytes{0x12});
}

TEST_F(RealTimeTest, TheWallClockReallyWaits) {
    Start("W25Q64FV");
    Sim().SetRealTime(std::make_shared<WallClock>());
    Begin(operation::kProgram, 1);
    const auto start = std::chrono::steady_clock::now();
    Script block(320);
    block.Byte(0x06).Zero().Byte(0x02).Address(0).Byte(0x12).Byte(0x05);
    ASSERT_TRUE(Channel().SendScript(block));
    ASSERT_TRUE(Channel().PollBlockReady());
    EXPECT_GE(std::chrono::steady_clock::now() - start,
              std::chrono::microseconds(FindChip("W25Q64FV")->pageProgramMicros));
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

    EXPECT_FALSE(good.programmer->LogEnabled());  // off unless asked for
    EXPECT_EQ(good.programmer->RealTimeClock(), nullptr);

    auto timed = ParseSimulateOption("W25Q64FV,realtime=1,control_us=500,log=1");
    ASSERT_TRUE(timed.programmer) << timed.error;
    EXPECT_NE(timed.programmer->RealTimeClock(), nullptr);
    EXPECT_TRUE(timed.programmer->LogEnabled());
    EXPECT_EQ(timed.programmer->Latency().controlMicroseconds, 500);
    EXPECT_EQ(timed.programmer->Latency().bulkMicroseconds, kHighSpeedBus.bulkMicroseconds);

    for (const char* bad :
         {"W25Q999", "W25Q64FV,busy", "W25Q64FV,busy=x", "W25Q64FV,colour=red",
          "W25Q64FV,fail_bulk=sideways", "W25Q64FV,fail=0", "W25Q64FV,file=/no/such/dir/x.bin",
          "W25Q64FV,control_us=nan", "W25Q64FV,bulk_us=inf", "W25Q64FV,bulk_ns_per_byte=-1",
          "W25Q64FV,control_us=1e99", "W25Q64FV,control_us=", "W25Q64FV,busy=-1",
          "W25Q64FV,vid=0x10000", "W25Q64FV,stall=256", "W25Q64FV,fail_request=0x1FF",
          "W25Q64FV,binary=2", "W25Q64FV,log=yes", "W25Q64FV,realtime=2"}) {
        const auto parsed = ParseSimulateOption(bad);
        EXPECT_FALSE(parsed.programmer) << bad;
        EXPECT_FALSE(parsed.error.empty()) << bad;
    }
    EXPECT_NE(ParseSimulateOption("W25Q64FV,control_us=nan").error.find("from 0 to 10000000"),
              std::string::npos);
    EXPECT_NE(ParseSimulateOption("W25Q999").error.find("W25Q128FV"),
              std::string::npos);  // names the choices

    // wp=1: the chip's WP# pin held low, its status register locked with every block protected.
    auto held = ParseSimulateOption("W25Q64FV,wp=1");
    ASSERT_TRUE(held.programmer) << held.error;
    const auto* flash = dynamic_cast<const SerialFlashChip*>(held.programmer->Chip());
    ASSERT_NE(flash, nullptr);
    EXPECT_TRUE(flash->WriteProtectHeld());
    EXPECT_EQ(flash->Status(), 0x9C);
    for (const char* bad : {"W25Q64FV,wp=2", "AT26DF081A,wp=1", "AT45DB041D,wp=1", "AT25080A,wp=1"})
        EXPECT_FALSE(ParseSimulateOption(bad).programmer) << bad;
    EXPECT_NE(ParseSimulateOption("AT26DF081A,wp=1").error.find("AT26DF081A"), std::string::npos);

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
    reopened.programmer.reset();
    // The same file for a chip of another size is refused, not cut to size.
    const auto other = ParseSimulateOption("W25Q64FV,file=" + file);
    EXPECT_FALSE(other.programmer);
    EXPECT_NE(other.error.find("holds 524288 bytes"), std::string::npos) << other.error;
    EXPECT_EQ(std::filesystem::file_size(file), 512u * 1024);
}

TEST(SimulateOption, SeveralProgrammersShareOneBus) {
    test::TempDir dir;
    const std::string file = (dir / "chip.bin").string();
    auto bus = ParseSimulateOptions(
        {"W25Q64FV*2,file=" + file + ",control_us=100", "w25x10,fail=2,serial=LINE3"});
    ASSERT_TRUE(bus.programmer) << bus.error;
    SimulatedProgrammer& sim = *bus.programmer;
    ASSERT_EQ(sim.DeviceCount(), 3);
    std::vector<std::string> seen;
    for (int device = 0; device < 3; ++device) {
        ASSERT_TRUE(sim.Open(device));
        seen.push_back(sim.Path() + " " + sim.Identity().serialNumber + " " +
                       sim.Chip(device)->Spec().name);
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"1-1 SIM00001 W25Q64FV", "1-2 SIM00002 W25Q64FV",
                                              "1-3 LINE3 W25X10"}));
    // Each copy keeps its chip in a file of its own.
    EXPECT_EQ(std::filesystem::file_size(dir / "chip.bin"), 8u * 1024 * 1024);
    EXPECT_EQ(std::filesystem::file_size(dir / "chip-2.bin"), 8u * 1024 * 1024);
    EXPECT_EQ(SimulatedCopyFile("a/chip.bin", 3), std::filesystem::path("a/chip-3.bin"));

    // fail=2 counts the third programmer's own transfers: the others' traffic does not move it,
    // and they never see it.
    const Bytes hold{1};
    const auto transfers = [&](int device) {
        EXPECT_TRUE(sim.Open(device));
        std::string results;
        for (int i = 0; i < 3; ++i)
            results += sim.ControlOut(0xA0, 0xE600, 0, hold) ? '+' : '-';
        return results;
    };
    EXPECT_EQ(transfers(0), "+++");
    EXPECT_EQ(transfers(2), "+-+");
    EXPECT_EQ(transfers(1), "+++");
    // The bus carries one transfer at a time: its time is the sum of every programmer's.
    EXPECT_DOUBLE_EQ(sim.ModelledMicroseconds(), 900.0);
    EXPECT_DOUBLE_EQ(
        sim.ModelledMicroseconds(0) + sim.ModelledMicroseconds(1) + sim.ModelledMicroseconds(2),
        900.0);
    EXPECT_DOUBLE_EQ(sim.ModelledMicroseconds(2), 300.0);

    const std::vector<std::vector<std::string>> refused{
        {"W25Q64FV*5"},
        {"W25Q64FV*3", "W25X10*2"},
        {"W25Q64FV", "W25Q64FV", "W25Q64FV", "W25Q64FV", "W25X10"},
        {"W25Q64FV*0"},
        {"W25Q64FV*two"},
        {"W25Q64FV,file=" + file, "W25X10,file=" + file},
        {"W25Q64FV,log=1", "W25X10,log=0"},
        {"W25Q64FV", "W25Q999"},
    };
    for (const auto& texts : refused) {
        const auto parsed = ParseSimulateOptions(texts);
        EXPECT_FALSE(parsed.programmer) << texts.front();
        EXPECT_FALSE(parsed.error.empty()) << texts.front();
    }
    EXPECT_NE(ParseSimulateOptions({"W25Q64FV*3", "W25X10*2"}).error.find("at most 4"),
              std::string::npos);
}

// Each worker's handle opens its own programmer and moves its transfers while the others do:
// the bus counts them all, charges each device its own bus time, and a fault of one device hits
// only the handle that drives it.
TEST(SimulatedBus, HandlesDriveTheirOwnProgrammersFromSeveralThreads) {
    SimulatedProgrammer bus;
    for (int i = 1; i < 4; ++i)
        bus.AddProgrammer({});
    bus.SetLatency(kHighSpeedBus);
    bus.FailEveryOn(2, {TransferKind::ControlOut, std::nullopt});
    constexpr int kTransfers = 300;
    std::array<int, 4> succeeded{};
    std::array<std::string, 4> paths;
    {
        std::vector<std::jthread> workers;
        for (int device = 0; device < 4; ++device) {
            workers.emplace_back([&, device] {
                const std::unique_ptr<UsbDevice> handle = bus.NewHandle();
                ASSERT_TRUE(handle->OpenAt("1-" + std::to_string(device + 1)));
                paths[static_cast<std::size_t>(device)] = handle->Path();
                const std::array<std::uint8_t, 4> bytes{1, 2, 3, 4};
                for (int i = 0; i < kTransfers; ++i)
                    succeeded[static_cast<std::size_t>(device)] +=
                        handle->ControlOut(request::kRamWrite, 0x1000, 0, bytes) ? 1 : 0;
            });
        }
    }
    EXPECT_EQ(paths, (std::array<std::string, 4>{"1-1", "1-2", "1-3", "1-4"}));
    EXPECT_EQ(bus.Transfers(), 4u * kTransfers);
    EXPECT_EQ(succeeded[2], 0);
    for (int device : {0, 1, 3})
        EXPECT_EQ(succeeded[static_cast<std::size_t>(device)], kTransfers) << device;
    for (int device = 0; device < 4; ++device)
        EXPECT_DOUBLE_EQ(bus.ModelledMicroseconds(device), kTransfers * 125.0) << device;
    EXPECT_FALSE(bus.IsOpen());  // the bus's own handle opened nothing
}

}  // namespace
}  // namespace torq::sim

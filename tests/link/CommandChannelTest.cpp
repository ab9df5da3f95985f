#include <gtest/gtest.h>

#include <deque>

#include "LinkFixtures.h"
#include "torq/link/CommandChannel.h"

namespace torq {
namespace {

using test::Describe;

class CommandChannelTest : public ::testing::Test {
  protected:
    void SetUp() override {
        home.Write("image_25.drv", test::DriverImageText(25, 3300, 256));
        link.Enumerate(home / "image_25.drv");
    }
    CommandChannel& Channel() { return link.programmer.Channel(); }
    int Count(std::uint8_t request) {
        int n = 0;
        for (const auto& t : link.sim.Log())
            n += t.request == request ? 1 : 0;
        return n;
    }
    test::TempDir home;
    test::SimulatedLink link;
};

TEST_F(CommandChannelTest, WithNoProgrammerRegisteredNothingReachesTheBus) {
    test::SimulatedLink fresh;  // never enumerated: ProgrammerCount 0
    ASSERT_TRUE(fresh.sim.Open(0));
    CommandChannel& channel = fresh.programmer.Channel();
    std::vector<std::uint8_t> buffer(64);
    EXPECT_FALSE(channel.ControlIn(request::kGetState, 0, 0, buffer));
    EXPECT_FALSE(channel.ControlOut(request::kEndRun, 0, 0));
    EXPECT_FALSE(channel.BulkIn(buffer));
    EXPECT_FALSE(channel.BulkOut(buffer));
    EXPECT_FALSE(channel.StartOperation(operation::kIdentify, 0));
    EXPECT_FALSE(channel.PollState(state::kFinished));
    EXPECT_TRUE(fresh.sim.Log().empty());
}

TEST_F(CommandChannelTest, PollMakesAtMost101RequestsAndStopsAtTheFirstMatch) {
    link.sim.FailEvery({sim::TransferKind::ControlIn, request::kGetState});
    const PollOutcome failed = Channel().PollState(state::kFinished);
    EXPECT_FALSE(failed.met);
    EXPECT_EQ(failed.requests, 101);
    EXPECT_EQ(Count(request::kGetState), 101);

    link.sim.ClearFaults();
    link.sim.ClearLog();
    ASSERT_TRUE(Channel().StartOperation(operation::kIdentify, 0));
    const PollOutcome echo = Channel().PollState(operation::kIdentify);
    EXPECT_TRUE(echo.met);
    EXPECT_TRUE(echo.lastTransferOk);
    EXPECT_EQ(Count(request::kGetState), 1);
}

TEST_F(CommandChannelTest, TheFinishedStateDoesNotSatisfyAnEchoPoll) {
    // After a completed identification the programmer reports 0x02.
    std::vector<std::uint8_t> answer(512);
    ASSERT_TRUE(Channel().StartOperation(operation::kIdentify, 0));
    ASSERT_TRUE(Channel().SendScript(Script().Byte(0x9F)));
    ASSERT_TRUE(Channel().ReceiveBlock(answer, 0x00));
    ASSERT_TRUE(Channel().PollState(state::kFinished));
    link.sim.ClearLog();
    const PollOutcome echo = Channel().PollState(operation::kErase);
    EXPECT_FALSE(echo.met);
    EXPECT_EQ(echo.requests, 101);
    EXPECT_TRUE(Channel().PollState(operation::kErase, state::kFinished).met);
}

TEST_F(CommandChannelTest, BlockPollWaitsForANonZeroByte) {
    ASSERT_TRUE(Channel().StartOperation(operation::kIdentify, 0));
    EXPECT_FALSE(Channel().PollBlockReady());  // no script sent: nothing is ready
    ASSERT_TRUE(Channel().SendScript(Script().Byte(0x9F)));
    link.sim.ClearLog();
    EXPECT_TRUE(Channel().PollBlockReady());
    EXPECT_EQ(Describe(link.sim.Log()), (std::vector<std::string>{"in E1 0000 0000 2"}));
}

TEST_F(CommandChannelTest, EveryVendorRequestCarriesItsValueAndIndex) {
    struct Case {
        std::function<bool(CommandChannel&)> send;
        const char* wire;
    };
    const std::vector<Case> cases{
        {[](CommandChannel& c) { return c.StartOperation(operation::kProgram, 2); },
         "out 90 0011 0002"},
        {[](CommandChannel& c) { return c.SetCount(33554432 / 256); }, "out 91 0002 0000"},
        {[](CommandChannel& c) { return c.SetCount(65535); }, "out 91 0000 FFFF"},
        {[](CommandChannel& c) { return c.SetCount(0x12345678); }, "out 91 1234 5678"},
        {[](CommandChannel& c) { return c.EndRun(); }, "out C3 0000 0000"},
        {[](CommandChannel& c) { return c.SetLamp(1, 1); }, "out D0 0001 0100"},
        {[](CommandChannel& c) { return c.SetLamp(1, 0); }, "out D0 0001 0000"},
        {[](CommandChannel& c) { return c.SetLampIndex(0, 5); }, "out D0 0000 0005"},
        {[](CommandChannel& c) { return c.SetUnitMode(0x40); }, "out D1 0040 0000"},
        {[](CommandChannel& c) { return c.TargetReset(0x0101, 200); }, "out D2 0101 00C8"},
        {[](CommandChannel& c) { return c.SetTargetBoard(1); }, "out E2 0001 0000"},
        {[](CommandChannel& c) { return c.GetFirmwareVersion(); }, "in C2 0000 0000 5"},
        {[](CommandChannel& c) { return c.PollState(state::kFinished, 0).met || true; },
         "in E0 0000 0000 2"},
    };
    for (const auto& c : cases) {
        link.sim.ClearLog();
        EXPECT_TRUE(c.send(Channel())) << c.wire;
        ASSERT_FALSE(link.sim.Log().empty());
        EXPECT_EQ(Describe(link.sim.Log().front()), c.wire);
    }
    const auto& outputs = link.sim.Firmware().Outputs();
    EXPECT_EQ(outputs.resetValue, 0x0101);
    EXPECT_EQ(outputs.resetPulseMs, 200);
    EXPECT_EQ(outputs.unitMode, 0x40);
}

// Records what each bulk receive finds in its buffer; the first attempt fails after
// scribbling over the buffer.
class ScribblingUsb final : public UsbDevice {
  public:
    int DeviceCount() override { return 1; }
    bool Open(int) override { return true; }
    void Close() override {}
    bool IsOpen() const override { return true; }
    UsbIdentity Identity() const override { return {}; }
    bool ControlIn(std::uint8_t, std::uint16_t, std::uint16_t, std::span<std::uint8_t>) override {
        return false;
    }
    bool ControlOut(std::uint8_t, std::uint16_t, std::uint16_t,
                    std::span<const std::uint8_t>) override {
        return false;
    }
    bool BulkIn(std::span<std::uint8_t> data) override {
        seen.emplace_back(data.begin(), data.end());
        std::fill(data.begin(), data.end(), 0x5A);
        return seen.size() > 1;
    }
    bool BulkOut(std::span<const std::uint8_t>) override { return false; }
    void SetTimeout(UsbEndpoint endpoint, std::uint32_t ms) override {
        timeouts[static_cast<int>(endpoint)] = ms;
    }
    std::uint32_t Timeout(UsbEndpoint endpoint) const override {
        return timeouts[static_cast<int>(endpoint)];
    }
    std::vector<std::vector<std::uint8_t>> seen;
    std::uint32_t timeouts[3] = {0, 0, 0};
};

class CountingPump final : public Pump {
  public:
    void ProcessPendingMessages() override { ++calls; }
    int calls = 0;
};

TEST(CommandChannelRetry, RefillsTheBufferAndPumpsBeforeTheSecondAttempt) {
    ScribblingUsb usb;
    CountingPump pump;
    CommandChannel channel(usb, pump);
    channel.SetProgrammerCount(1);
    std::vector<std::uint8_t> block(1024, 0x00);
    EXPECT_TRUE(channel.ReceiveBlock(block, 0xFF));
    ASSERT_EQ(usb.seen.size(), 2u);
    EXPECT_EQ(usb.seen[1], std::vector<std::uint8_t>(1024, 0xFF));
    EXPECT_EQ(pump.calls, 1);
    EXPECT_EQ(usb.Timeout(UsbEndpoint::BulkIn), kDefaultUsbTimeoutMs);

    // Two failures are the end: no third attempt.
    int attempts = 0;
    EXPECT_FALSE(channel.SendWithRetry([&] { return ++attempts > 5; }));
    EXPECT_EQ(attempts, 2);
}

TEST(ScriptBuilder, WritesAddressesMostSignificantFirstIntoAZeroFilledBlock) {
    const Script script = Script().Byte(0x06).Zero().Byte(0x02).Address(0x123456);
    const std::vector<std::uint8_t> expected{0x06, 0x00, 0x02, 0x12, 0x34, 0x56};
    ASSERT_EQ(script.Size(), kCommandBlockSize);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), script.Data().begin()));
    EXPECT_TRUE(
        std::all_of(script.Data().begin() + 6, script.Data().end(), [](auto b) { return b == 0; }));
    EXPECT_FALSE(script.Overflowed());

    Script fixed(11);
    fixed.At(8).Byte(0x88).Address(0x000600);
    EXPECT_TRUE(fixed.Overflowed());  // the last address byte falls off the end
    EXPECT_EQ(fixed.Size(), 11u);
    EXPECT_EQ(fixed.Data()[8], 0x88);
    EXPECT_EQ(fixed.Data()[10], 0x06);
}

TEST(SpiFamilies, FollowTheImageName) {
    EXPECT_EQ(SpiFamilyOf("Drv/SPI_45_33V_264.drv"), SpiFamily::Series45);
    EXPECT_EQ(SpiFamilyOf("Drv/SPI_25_33V.drv"), SpiFamily::Series25);
    EXPECT_EQ(ReadOpcodeOf("Drv/SPI_25_33V.drv"), 0x03);
    EXPECT_EQ(ReadOpcodeOf("Drv/SPI_45_33V_264.drv"), 0xE8);
    EXPECT_EQ(ReadOpcodeOf("Drv/other.drv"), std::nullopt);
    // The folders above the image do not count.
    EXPECT_EQ(SpiFamilyOf("/home/a_45/Drv/SPI_25_33V.drv"), SpiFamily::Series25);
    EXPECT_EQ(ReadOpcodeOf("/build_25/Drv/SPI_45_33V_264.drv"), 0xE8);
}

}  // namespace
}  // namespace torq

#include <gtest/gtest.h>

#include <array>
#include <map>

#include "LinkFixtures.h"
#include "torq/link/LibusbDevice.h"

namespace torq {
namespace {

// The bus as a fake libusb sees it: devices with their strings and what opening them gives.
struct FakeDevice {
    LibusbDeviceEntry entry;
    std::vector<std::uint16_t> languages{0x0409};
    std::map<std::pair<std::uint8_t, std::uint16_t>, std::string> strings;
    LibusbStatus openStatus = LibusbStatus::Ok;
    LibusbStatus claimStatus = LibusbStatus::Ok;
    LibusbStatus settingStatus = LibusbStatus::Ok;
    LibusbStatus transferStatus = LibusbStatus::Ok;
    LibusbInterfaceLayout layout{0, 0x86, 0x02};
};

struct Wire {
    std::vector<std::string> calls;
};

class FakeHandle final : public LibusbHandle {
  public:
    FakeHandle(const FakeDevice& device, Wire& wire) : device_(device), wire_(wire) {}
    std::vector<std::uint16_t> Languages() override { return device_.languages; }
    std::optional<std::string> String(std::uint8_t index, std::uint16_t language) override {
        const auto found = device_.strings.find({index, language});
        if (found == device_.strings.end())
            return std::nullopt;
        return found->second;
    }
    LibusbStatus Layout(LibusbInterfaceLayout& layout) override {
        layout = device_.layout;
        return LibusbStatus::Ok;
    }
    LibusbStatus Claim(int interfaceNumber) override {
        wire_.calls.push_back("claim " + std::to_string(interfaceNumber));
        return device_.claimStatus;
    }
    LibusbStatus SelectAlternateSetting(int interfaceNumber, int setting) override {
        wire_.calls.push_back("setting " + std::to_string(interfaceNumber) + " " +
                              std::to_string(setting));
        return device_.settingStatus;
    }
    void Release(int interfaceNumber) override {
        wire_.calls.push_back("release " + std::to_string(interfaceNumber));
    }
    LibusbStatus Control(std::uint8_t type, std::uint8_t request, std::uint16_t value,
                         std::uint16_t index, std::span<std::uint8_t> data, std::uint32_t timeout,
                         const std::function<void()>&) override {
        char text[64];
        std::snprintf(text, sizeof text, "control %02X %02X %04X %04X %zu %u", type, request, value,
                      index, data.size(), timeout);
        wire_.calls.push_back(text);
        return device_.transferStatus;
    }
    LibusbStatus Bulk(std::uint8_t endpoint, std::span<std::uint8_t> data, std::uint32_t timeout,
                      const std::function<void()>&) override {
        char text[64];
        std::snprintf(text, sizeof text, "bulk %02X %zu %u", endpoint, data.size(), timeout);
        wire_.calls.push_back(text);
        return timeout == 1 ? LibusbStatus::Timeout : device_.transferStatus;
    }

  private:
    const FakeDevice& device_;
    Wire& wire_;
};

class FakeLibusb final : public LibusbApi {
  public:
    FakeLibusb(std::vector<FakeDevice>& devices, Wire& wire, bool hotplug)
        : devices_(devices), wire_(wire), hotplug_(hotplug) {}
    std::vector<LibusbDeviceEntry> Devices() override {
        std::vector<LibusbDeviceEntry> entries;
        for (const auto& d : devices_)
            entries.push_back(d.entry);
        return entries;
    }
    LibusbStatus Open(const LibusbDeviceEntry& entry,
                      std::unique_ptr<LibusbHandle>& handle) override {
        for (const auto& d : devices_) {
            if (d.entry.bus != entry.bus || d.entry.address != entry.address)
                continue;
            if (d.openStatus == LibusbStatus::Ok)
                handle = std::make_unique<FakeHandle>(d, wire_);
            return d.openStatus;
        }
        return LibusbStatus::NoDevice;
    }
    bool StartHotplug(std::uint16_t, std::uint16_t, std::function<void(bool)> callback) override {
        callback_ = std::move(callback);
        return hotplug_;
    }
    void HandleEvents() override {
        for (bool arrived : queued)
            callback_(arrived);
        queued.clear();
    }
    std::vector<bool> queued;

  private:
    std::vector<FakeDevice>& devices_;
    Wire& wire_;
    bool hotplug_;
    std::function<void(bool)> callback_;
};

FakeDevice Programmer(std::uint8_t address, std::string manufacturer = "NOVU") {
    FakeDevice d;
    d.entry = {1, address, 0x4D51, 0x0309, 1, 2, 3, {4, address}};  // behind a hub on port 4
    d.strings = {
        {{1, 0x0409}, std::move(manufacturer)}, {{2, 0x0409}, "TORQ-SPI"}, {{3, 0x0409}, "A1"}};
    return d;
}

class LibusbDeviceTest : public ::testing::Test {
  protected:
    LibusbDevice& Make(bool hotplug = true) {
        auto api = std::make_unique<FakeLibusb>(devices, wire, hotplug);
        fake = api.get();
        usb = std::make_unique<LibusbDevice>(std::move(api));
        return *usb;
    }
    std::vector<FakeDevice> devices;
    Wire wire;
    FakeLibusb* fake = nullptr;
    std::unique_ptr<LibusbDevice> usb;
};

TEST_F(LibusbDeviceTest, CountsOnlyTheProgrammersIdsAndReadsTheStrings) {
    FakeDevice keyboard;
    keyboard.entry = {1, 2, 0x046D, 0xC31C, 1, 2, 0, {}};
    devices = {keyboard, Programmer(7, "novu"), Programmer(9)};
    LibusbDevice& device = Make();
    ASSERT_EQ(device.DeviceCount(), 2);
    ASSERT_TRUE(device.Open(1));
    EXPECT_EQ(device.Identity().manufacturer, "NOVU");
    EXPECT_EQ(device.Identity().serialNumber, "A1");
    EXPECT_EQ(device.Path(), "1-4.9");
    EXPECT_TRUE(IsProgrammerIdentity(device.Identity()));
    ASSERT_TRUE(device.Open(0));  // closes the first
    EXPECT_EQ(device.Identity().manufacturer, "novu");
    EXPECT_FALSE(IsProgrammerIdentity(device.Identity()));
    EXPECT_EQ(wire.calls, (std::vector<std::string>{"claim 0", "setting 0 0", "release 0",
                                                    "claim 0", "setting 0 0"}));
    EXPECT_FALSE(device.Open(2));
    EXPECT_FALSE(device.IsOpen());
    EXPECT_EQ(device.Path(), "");
}

TEST_F(LibusbDeviceTest, StringsInEnglishWhenListedElseTheFirstLanguage) {
    FakeDevice german = Programmer(4);
    german.languages = {0x0407, 0x040C};
    german.strings = {{{1, 0x0407}, "NOVU"}, {{2, 0x0407}, "TORQ-SPI"}, {{1, 0x0409}, "wrong"}};
    FakeDevice both = Programmer(5);
    both.languages = {0x0407, 0x0409};
    both.strings[{1, 0x0407}] = "wrong";
    devices = {german, both};
    LibusbDevice& device = Make();
    ASSERT_EQ(device.DeviceCount(), 2);
    ASSERT_TRUE(device.Open(0));
    EXPECT_EQ(device.Identity().manufacturer, "NOVU");
    EXPECT_EQ(device.Identity().serialNumber, "");  // index 3 has no text in that language
    ASSERT_TRUE(device.Open(1));
    EXPECT_EQ(device.Identity().manufacturer, "NOVU");
}

TEST_F(LibusbDeviceTest, APermissionProblemIsNamedWithItsFix) {
    FakeDevice locked = Programmer(6);
    locked.openStatus = LibusbStatus::Access;
    devices = {locked};
    LibusbDevice& device = Make();
    test::FixedClock clock;
    InformationLog log(clock);
    test::ScriptedOperator op;
    Pump pump;
    torq::Programmer programmer(device, log, op, pump);
    programmer.SetPause([](std::uint32_t) {});
    EXPECT_EQ(programmer.EnumerateProgrammers("image.drv", 0).programmers, 0);
    const auto lines = test::Messages(log);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("No permission"), std::string::npos);
    EXPECT_NE(lines[0].find("60-torq-spi.rules"), std::string::npos);
    EXPECT_NE(lines[0].find("bus 1, address 6"), std::string::npos);

    devices[0].openStatus = LibusbStatus::Ok;
    devices[0].claimStatus = LibusbStatus::Busy;
    EXPECT_FALSE(device.Open(0));
    EXPECT_NE(device.OpenProblem().find("in use by another program"), std::string::npos);
}

TEST_F(LibusbDeviceTest, TransfersUseTheVendorRequestTypesEndpointsAndTimeOuts) {
    devices = {Programmer(3)};
    LibusbDevice& device = Make();
    EXPECT_FALSE(device.ControlOut(0x90, 0, 0, {}));  // nothing open
    device.DeviceCount();
    ASSERT_TRUE(device.Open(0));
    wire.calls.clear();
    std::vector<std::uint8_t> buffer(512);
    EXPECT_TRUE(device.ControlIn(0xE0, 0, 0, std::span(buffer).first(2)));
    EXPECT_TRUE(device.ControlOut(0x90, 0x51, 0, {}));
    EXPECT_TRUE(device.BulkOut(std::span(buffer).first(64)));
    EXPECT_TRUE(device.BulkIn(buffer));
    device.SetTimeout(UsbEndpoint::BulkIn, 1);
    EXPECT_FALSE(device.BulkIn(buffer));  // timed out
    EXPECT_EQ(wire.calls, (std::vector<std::string>{
                              "control C0 E0 0000 0000 2 10000", "control 40 90 0051 0000 0 10000",
                              "bulk 02 64 10000", "bulk 86 512 10000", "bulk 86 512 1"}));

    devices[0].layout.bulkIn = 0;  // an interface without a bulk IN endpoint
    ASSERT_TRUE(device.Open(0));
    EXPECT_FALSE(device.BulkIn(buffer));
}

TEST_F(LibusbDeviceTest, ArrivalsAndRemovalsFromHotplugOrFromARescan) {
    devices = {Programmer(3)};
    std::vector<UsbChange> changes;
    LibusbDevice& hot = Make(true);
    hot.SetChangeHandler([&](UsbChange c) { changes.push_back(c); });
    fake->queued = {false, true};
    hot.ProcessEvents();
    EXPECT_EQ(changes, (std::vector<UsbChange>{UsbChange::Removal, UsbChange::Arrival}));

    changes.clear();
    LibusbDevice& polled = Make(false);
    polled.SetChangeHandler([&](UsbChange c) { changes.push_back(c); });
    polled.ProcessEvents();
    EXPECT_TRUE(changes.empty());
    devices = {Programmer(4)};  // unplugged and plugged in again elsewhere
    polled.ProcessEvents();
    EXPECT_EQ(changes, (std::vector<UsbChange>{UsbChange::Removal, UsbChange::Arrival}));
}

TEST(LibusbSystem, WithoutProgrammersNothingIsCounted) {
    // The real libusb on this machine: a programmer is not expected to be attached.
    LibusbDevice device(CreateSystemLibusb());
    if (device.DeviceCount() > 0)
        GTEST_SKIP() << "a programmer is attached";
    EXPECT_FALSE(device.Open(0));
    test::FixedClock clock;
    InformationLog log(clock);
    test::ScriptedOperator op;
    Pump pump;
    torq::Programmer programmer(device, log, op, pump);
    EXPECT_EQ(programmer.EnumerateProgrammers("image.drv", 0).programmers, 0);
    EXPECT_EQ(programmer.FirmwareVersion(), "None");
}

// Firmware with a single alternate setting may refuse the request for setting 0: the device is
// still open and usable.
TEST_F(LibusbDeviceTest, ARefusedAlternateSettingDoesNotFailTheOpen) {
    devices = {Programmer(7)};
    devices[0].settingStatus = LibusbStatus::Pipe;
    LibusbDevice& device = Make();
    ASSERT_EQ(device.DeviceCount(), 1);
    EXPECT_TRUE(device.Open(0));
    EXPECT_TRUE(device.IsOpen());
    EXPECT_EQ(wire.calls, (std::vector<std::string>{"claim 0", "setting 0 0"}));
}

// A programmer pulled out mid-transfer reads as closed, so the next operation reports that no
// device is connected instead of failing transfer by transfer.
TEST_F(LibusbDeviceTest, ADeviceGoneFromTheBusIsClosed) {
    devices = {Programmer(7)};
    LibusbDevice& device = Make();
    ASSERT_EQ(device.DeviceCount(), 1);
    ASSERT_TRUE(device.Open(0));
    devices[0].transferStatus = LibusbStatus::NoDevice;
    std::array<std::uint8_t, 2> answer{};
    EXPECT_FALSE(device.ControlIn(0xE0, 0, 0, answer));
    EXPECT_FALSE(device.IsOpen());
    EXPECT_EQ(wire.calls.back(), "release 0");
}

}  // namespace
}  // namespace torq

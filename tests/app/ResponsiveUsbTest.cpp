// Transfers beside the window's thread: the window handles its events while a slow transfer is
// under way, calls reach the device one at a time, and arrivals wait for the transfer in flight.
#include <QTimer>
#include <atomic>
#include <thread>

#include "WindowFixture.h"
#include "seams/ResponsiveUsb.h"

namespace torq::app::test {
namespace {

// A device whose control transfers take `delay` and note how many run at once.
class SlowDevice final : public UsbDevice {
  public:
    std::chrono::milliseconds delay{150};
    std::atomic<int> running{0};
    std::atomic<int> mostAtOnce{0};
    std::atomic<int> calls{0};
    std::atomic<bool> onWorker{false};
    std::thread::id caller = std::this_thread::get_id();

    int DeviceCount() override { return 1; }
    bool Open(int) override { return true; }
    void Close() override {}
    bool IsOpen() const override { return true; }
    UsbIdentity Identity() const override { return {}; }
    bool ControlIn(std::uint8_t request, std::uint16_t, std::uint16_t,
                   std::span<std::uint8_t> data) override {
        const int now = ++running;
        mostAtOnce = std::max(mostAtOnce.load(), now);
        onWorker = onWorker || std::this_thread::get_id() != caller;
        std::this_thread::sleep_for(delay);
        if (!data.empty())
            data[0] = request;
        ++calls;
        --running;
        return true;
    }
    bool ControlOut(std::uint8_t, std::uint16_t, std::uint16_t,
                    std::span<const std::uint8_t>) override {
        return true;
    }
    bool BulkIn(std::span<std::uint8_t>) override { return true; }
    bool BulkOut(std::span<const std::uint8_t>) override { return true; }
    void SetTimeout(UsbEndpoint, std::uint32_t) override {}
    std::uint32_t Timeout(UsbEndpoint) const override { return 0; }
    void ProcessEvents() override {
        if (arrive) {
            arrive = false;
            NotifyChange(UsbChange::Arrival);
        }
    }
    bool arrive = false;
};

TEST(ResponsiveUsbTest, TheWindowHandlesEventsWhileASlowTransferRuns) {
    App();
    auto owned = std::make_unique<SlowDevice>();
    SlowDevice& device = *owned;
    ResponsiveUsb usb(std::move(owned));
    std::vector<UsbChange> told;
    usb.SetChangeHandler([&](UsbChange change) { told.push_back(change); });

    // While the first transfer is held: ticks arrive, an event handler's own transfer waits for
    // it, and an arrival is not told yet.
    int ticks = 0;
    int doneAtThirdTick = -1;
    bool nestedResult = false;
    QTimer timer;
    timer.setInterval(10);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (++ticks != 3)
            return;
        doneAtThirdTick = device.calls;
        device.arrive = true;
        usb.ProcessEvents();
        std::array<std::uint8_t, 1> nested{};
        nestedResult = usb.ControlIn(0x22, 0, 0, nested) && nested[0] == 0x22;
    });
    timer.start();
    std::array<std::uint8_t, 1> data{};
    EXPECT_TRUE(usb.ControlIn(0x11, 0, 0, data));
    timer.stop();
    EXPECT_EQ(data[0], 0x11);
    EXPECT_EQ(doneAtThirdTick, 0);  // the third tick came while the first transfer was held
    EXPECT_TRUE(nestedResult);
    EXPECT_EQ(device.calls, 2);
    EXPECT_EQ(device.mostAtOnce, 1);
    EXPECT_TRUE(device.onWorker);
    EXPECT_TRUE(told.empty());
    // Told once no transfer is in flight.
    usb.ProcessEvents();
    EXPECT_EQ(told, std::vector<UsbChange>{UsbChange::Arrival});
}

}  // namespace
}  // namespace torq::app::test

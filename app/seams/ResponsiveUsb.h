// The USB layer as the window uses it: every transfer runs on a worker thread while the window's
// thread, which waits for it, keeps handling its events. The workflow stays synchronous (a call
// returns when its transfer is done), but a transfer the device holds for long (a chip erase
// polls for seconds) no longer freezes the window. Only one call reaches the device at a time:
// a call made from an event handled during a transfer waits for that transfer first, and the
// arrival and removal events stay queued until no transfer is in flight.
#pragma once

#include <QElapsedTimer>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "torq/usb/UsbDevice.h"

class QEventLoop;

namespace torq::app {

class ResponsiveUsb final : public UsbDevice {
  public:
    explicit ResponsiveUsb(std::unique_ptr<UsbDevice> inner);
    ~ResponsiveUsb() override;
    ResponsiveUsb(const ResponsiveUsb&) = delete;
    ResponsiveUsb& operator=(const ResponsiveUsb&) = delete;

    UsbDevice& Inner() { return *inner_; }

    int DeviceCount() override;
    bool Open(int deviceNumber) override;
    void Close() override;
    bool IsOpen() const override;
    UsbIdentity Identity() const override;
    std::string OpenProblem() const override;
    bool ControlIn(std::uint8_t request, std::uint16_t value, std::uint16_t index,
                   std::span<std::uint8_t> data) override;
    bool ControlOut(std::uint8_t request, std::uint16_t value, std::uint16_t index,
                    std::span<const std::uint8_t> data) override;
    bool BulkIn(std::span<std::uint8_t> data) override;
    bool BulkOut(std::span<const std::uint8_t> data) override;
    void SetTimeout(UsbEndpoint endpoint, std::uint32_t milliseconds) override;
    std::uint32_t Timeout(UsbEndpoint endpoint) const override;
    void ProcessEvents() override;

  private:
    // Runs `call` on the worker and handles the window's events until it has returned.
    void Run(const std::function<void()>& call);
    template <typename Result>
    Result Call(const std::function<Result()>& call) {
        Result result{};
        Run([&] { result = call(); });
        return result;
    }
    void Work();

    std::unique_ptr<UsbDevice> inner_;
    mutable std::mutex deviceMutex_;  // held while a call is on the device
    std::mutex jobMutex_;
    std::condition_variable jobChanged_;
    std::function<void()> job_;
    bool jobDone_ = false;
    bool stopping_ = false;
    QEventLoop* waiting_ = nullptr;  // the loop the window's thread waits in
    bool inFlight_ = false;
    QElapsedTimer sinceEvents_;  // since the window's events were last handled
    std::mutex changesMutex_;
    std::deque<UsbChange> changes_;  // arrivals and removals not yet told
    std::thread worker_;
};

}  // namespace torq::app

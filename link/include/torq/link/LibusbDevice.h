// The real USB backend on libusb-1.0. The few libusb calls it makes sit behind LibusbApi and
// LibusbHandle, so its enumeration and identity logic can be tested with a fake.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "torq/usb/UsbDevice.h"

namespace torq {

enum class LibusbStatus { Ok, Access, NoDevice, NotFound, Busy, Timeout, Pipe, Other };

// A device as the bus lists it, before it is opened.
struct LibusbDeviceEntry {
    std::uint8_t bus = 0;
    std::uint8_t address = 0;
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::uint8_t manufacturerIndex = 0;  // string descriptor indexes; 0 = none
    std::uint8_t productIndex = 0;
    std::uint8_t serialIndex = 0;
    std::vector<std::uint8_t> ports;  // from the root hub down; empty when not known
    bool operator<(const LibusbDeviceEntry& other) const {
        return std::pair(bus, address) < std::pair(other.bus, other.address);
    }
};

// The interface the backend uses: the first one of the active configuration, alternate
// setting 0, with its first bulk endpoint of each direction (0 when there is none).
struct LibusbInterfaceLayout {
    int interfaceNumber = 0;
    std::uint8_t bulkIn = 0;
    std::uint8_t bulkOut = 0;
};

class LibusbHandle {
  public:
    virtual ~LibusbHandle() = default;
    // The language IDs of string descriptor 0.
    virtual std::vector<std::uint16_t> Languages() = 0;
    virtual std::optional<std::string> String(std::uint8_t index, std::uint16_t language) = 0;
    virtual LibusbStatus Layout(LibusbInterfaceLayout& layout) = 0;
    // Detaches a kernel driver if one is bound and claims the interface.
    virtual LibusbStatus Claim(int interfaceNumber) = 0;
    virtual LibusbStatus SelectAlternateSetting(int interfaceNumber, int setting) = 0;
    virtual void Release(int interfaceNumber) = 0;
    // Transfers that return when done; on a time-out the transfer is cancelled before they
    // return. While one waits, `waiting` (when set) is called every few milliseconds.
    virtual LibusbStatus Control(std::uint8_t requestType, std::uint8_t request,
                                 std::uint16_t value, std::uint16_t index,
                                 std::span<std::uint8_t> data, std::uint32_t timeoutMs,
                                 const std::function<void()>& waiting) = 0;
    virtual LibusbStatus Bulk(std::uint8_t endpoint, std::span<std::uint8_t> data,
                              std::uint32_t timeoutMs, const std::function<void()>& waiting) = 0;
};

class LibusbApi {
  public:
    virtual ~LibusbApi() = default;
    virtual std::vector<LibusbDeviceEntry> Devices() = 0;
    virtual LibusbStatus Open(const LibusbDeviceEntry& entry,
                              std::unique_ptr<LibusbHandle>& handle) = 0;
    // Arrival (true) and removal (false) of devices with these IDs; false when the platform
    // has no hot-plug support.
    virtual bool StartHotplug(std::uint16_t vendorId, std::uint16_t productId,
                              std::function<void(bool arrived)> callback) = 0;
    // Runs pending libusb events (hot-plug callbacks) without waiting.
    virtual void HandleEvents() = 0;
};

// libusb itself; null when libusb cannot be initialised.
std::unique_ptr<LibusbApi> CreateSystemLibusb();

class LibusbDevice final : public UsbDevice {
  public:
    // Counts the devices with the programmer's vendor and product IDs: the devices a driver
    // bound to the programmer would list. The identity strings are checked by the caller.
    explicit LibusbDevice(std::unique_ptr<LibusbApi> api, std::uint16_t vendorId = 0x4D51,
                          std::uint16_t productId = 0x0309);
    ~LibusbDevice() override;

    int DeviceCount() override;
    bool Open(int deviceNumber) override;
    void Close() override;
    bool IsOpen() const override { return handle_ != nullptr; }
    UsbIdentity Identity() const override { return identity_; }
    std::string Path() const override { return path_; }
    std::string OpenProblem() const override { return openProblem_; }
    bool ControlIn(std::uint8_t request, std::uint16_t value, std::uint16_t index,
                   std::span<std::uint8_t> data) override;
    bool ControlOut(std::uint8_t request, std::uint16_t value, std::uint16_t index,
                    std::span<const std::uint8_t> data) override;
    bool BulkIn(std::span<std::uint8_t> data) override;
    bool BulkOut(std::span<const std::uint8_t> data) override;
    void SetTimeout(UsbEndpoint endpoint, std::uint32_t milliseconds) override;
    std::uint32_t Timeout(UsbEndpoint endpoint) const override;
    // Hot-plug events where libusb has them, else a re-scan of the bus compared with the last.
    void ProcessEvents() override;
    // A handle of its own on libusb's devices (a context of its own), for a worker thread.
    std::unique_ptr<UsbDevice> NewHandle() override;

  private:
    std::vector<LibusbDeviceEntry> Candidates();
    bool Completed(LibusbStatus status);

    std::unique_ptr<LibusbApi> api_;
    std::uint16_t vendorId_, productId_;
    std::vector<LibusbDeviceEntry> entries_;  // as counted by the last DeviceCount
    std::unique_ptr<LibusbHandle> handle_;
    LibusbInterfaceLayout layout_;
    UsbIdentity identity_;
    std::string path_;
    std::string openProblem_;
    std::uint32_t timeouts_[3] = {kDefaultUsbTimeoutMs, kDefaultUsbTimeoutMs, kDefaultUsbTimeoutMs};
    bool hotplug_ = false;
    std::deque<UsbChange> events_;
    std::set<LibusbDeviceEntry> lastSeen_;
};

}  // namespace torq

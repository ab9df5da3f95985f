// The USB access layer the programmer link is written against: one object for the whole program
// that counts the candidate devices, has at most one of them open, and moves vendor control
// requests and bulk blocks. Backends: libusb (real hardware) and the simulated programmer.
//
// This header depends on the C++ standard library only, so the simulator can implement it
// without the rest of the link.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>

namespace torq {

inline constexpr std::uint32_t kDefaultUsbTimeoutMs = 10000;

enum class UsbEndpoint { Control, BulkIn, BulkOut };

// What the device descriptor and its string descriptors say about a device.
struct UsbIdentity {
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::string manufacturer;
    std::string product;
    std::string serialNumber;
};

enum class UsbChange { Arrival, Removal };

class UsbDevice {
  public:
    virtual ~UsbDevice() = default;

    // Number of candidate devices present now; device numbers run from 0 to count - 1.
    virtual int DeviceCount() = 0;
    // Closes any open device, then opens device n, reads its identity and claims its interface
    // (alternate setting 0). True when the device is open afterwards.
    virtual bool Open(int deviceNumber) = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;
    // The identity of the open device; empty when none is open.
    virtual UsbIdentity Identity() const = 0;
    // Where the open device sits: the bus number and the port numbers from the root hub down
    // ("1-2.3"), so that a programmer keeps its unit number while the cabling stays. Empty when
    // none is open or the backend cannot tell.
    virtual std::string Path() const { return {}; }
    // Why the last Open failed when the operator can do something about it (for example a
    // missing device permission), else empty.
    virtual std::string OpenProblem() const { return {}; }
    // Opens the device that sits at `path` (see Path). False when none there opens.
    bool OpenAt(std::string_view path);

    // Another handle on the same bus with nothing open, for a worker thread that drives one
    // device while this handle (and others) drive the rest: its transfers, waits and open device
    // are its own. Null when the backend cannot give one. Arrival and removal are reported by
    // this handle only.
    virtual std::unique_ptr<UsbDevice> NewHandle() { return nullptr; }

    // Vendor requests to the device (request type 0x40 out, 0xC0 in). True when the transfer
    // completed without error; how many bytes moved is the caller's business.
    virtual bool ControlIn(std::uint8_t request, std::uint16_t value, std::uint16_t index,
                           std::span<std::uint8_t> data) = 0;
    virtual bool ControlOut(std::uint8_t request, std::uint16_t value, std::uint16_t index,
                            std::span<const std::uint8_t> data) = 0;
    // Transfers on the first bulk IN / OUT endpoint of the open interface.
    virtual bool BulkIn(std::span<std::uint8_t> data) = 0;
    virtual bool BulkOut(std::span<const std::uint8_t> data) = 0;

    // Per-endpoint time-out; a transfer that does not complete in time is cancelled and fails.
    virtual void SetTimeout(UsbEndpoint endpoint, std::uint32_t milliseconds) = 0;
    virtual std::uint32_t Timeout(UsbEndpoint endpoint) const = 0;

    // Arrival and removal notifications. They are delivered from ProcessEvents, which the owner
    // calls from its event loop (a timer in the window), never from inside a transfer.
    void SetChangeHandler(std::function<void(UsbChange)> handler) {
        changeHandler_ = std::move(handler);
    }
    virtual void ProcessEvents() {}

    // Called every few milliseconds while a transfer waits for the device (a programmer may hold
    // a state poll until a long erase is done), so the window keeps processing its messages.
    void SetWaitHook(std::function<void()> hook) { waitHook_ = std::move(hook); }

  protected:
    void NotifyChange(UsbChange change) {
        if (changeHandler_)
            changeHandler_(change);
    }
    void Waiting() const {
        if (waitHook_)
            waitHook_();
    }
    const std::function<void()>& WaitHook() const { return waitHook_; }

  private:
    std::function<void(UsbChange)> changeHandler_;
    std::function<void()> waitHook_;
};

inline bool UsbDevice::OpenAt(std::string_view path) {
    const int count = DeviceCount();
    for (int number = 0; number < count; ++number) {
        if (Open(number) && Path() == path)
            return true;
    }
    Close();
    return false;
}

}  // namespace torq

// The simulated programmer as the program sees it through USB: one bus with one programmer, or
// up to four for gang runs (and, for tests, other devices), plug and unplug, fault injection, a
// transfer log and a latency model.
#pragma once

#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "torq/sim/ProgrammerFirmware.h"
#include "torq/sim/SimClock.h"
#include "torq/sim/SpiChip.h"
#include "torq/usb/UsbDevice.h"

namespace torq::sim {

UsbIdentity ProgrammerIdentity();

struct ProgrammerSetup {
    UsbIdentity identity = ProgrammerIdentity();
    FirmwareConfig firmware;
    std::optional<ChipSpec> chip;       // none: an empty socket
    std::filesystem::path contentFile;  // chip content kept in this file; empty: in memory
    bool binaryPages = false;           // DataFlash already set to power-of-two pages
    // The board holds the chip's WP# pin low and the chip came locked (its status register's
    // protect bit and every block-protect bit set): its protection cannot be cleared. Only for
    // 25-series parts with block-protect bits.
    bool writeProtectHeld = false;
    // Where the programmer sits on the bus ("1-3"); empty: port n + 1 of bus 1 for the n-th
    // device added (the first is "1-1").
    std::string busPath;
};

enum class TransferKind { ControlIn, ControlOut, BulkIn, BulkOut };

struct SimTransfer {
    TransferKind kind;
    int device;                // device number at the time (-1 when none was open)
    std::uint8_t request = 0;  // control transfers only
    std::uint16_t value = 0, index = 0;
    std::uint32_t length = 0;
    std::vector<std::uint8_t> data;  // bytes sent, or bytes received when it succeeded
    bool ok = false;
};

enum class FaultEffect {
    Fail,           // the transfer is lost: the programmer never sees it
    FailAfterData,  // the programmer acts on it and data move, but the status reports failure
    Timeout,        // no answer within the endpoint's time-out
    Unplug,         // the plug is pulled during this transfer
};

// Which transfers a standing fault hits; an empty field matches anything.
struct TransferMatch {
    std::optional<TransferKind> kind;
    std::optional<std::uint8_t> request;
    bool Matches(TransferKind k, std::uint8_t r) const {
        return (!kind || *kind == k) && (!request || *request == r);
    }
};

// Modelled bus time per transfer (all zero by default).
struct LatencyModel {
    double controlMicroseconds = 0;
    double bulkMicroseconds = 0;
    double bulkNanosecondsPerByte = 0;
};
// A high-speed USB bus: about 125 us per control round trip, 60 us per bulk transfer plus 25 ns
// per byte (some 40 MB/s of payload).
inline constexpr LatencyModel kHighSpeedBus{125, 60, 25};

class SimulatedProgrammer final : public UsbDevice {
  public:
    explicit SimulatedProgrammer(ProgrammerSetup setup = {});

    // More devices on the bus, after the first; returns the device's index.
    int AddProgrammer(ProgrammerSetup setup);
    int AddForeignDevice(UsbIdentity identity, std::string busPath = {});
    int Devices() const { return static_cast<int>(devices_.size()); }
    // Why a content file could not be used (the chip then keeps its content in memory); the
    // option parser refuses such a set-up.
    const std::string& SetupProblem() const { return setupProblem_; }

    // UsbDevice
    int DeviceCount() override;
    bool Open(int deviceNumber) override;
    void Close() override;
    bool IsOpen() const override { return main_.open >= 0; }
    UsbIdentity Identity() const override;
    std::string Path() const override;
    bool ControlIn(std::uint8_t request, std::uint16_t value, std::uint16_t index,
                   std::span<std::uint8_t> data) override;
    bool ControlOut(std::uint8_t request, std::uint16_t value, std::uint16_t index,
                    std::span<const std::uint8_t> data) override;
    bool BulkIn(std::span<std::uint8_t> data) override;
    bool BulkOut(std::span<const std::uint8_t> data) override;
    void SetTimeout(UsbEndpoint endpoint, std::uint32_t milliseconds) override;
    std::uint32_t Timeout(UsbEndpoint endpoint) const override;
    void ProcessEvents() override;
    // A handle of its own on this bus (a worker's): the devices, their faults, the transfer log
    // and the bus time are the bus's, shared by every handle; its open device, time-outs and
    // wait hook are its own. The handle must not outlive the bus.
    std::unique_ptr<UsbDevice> NewHandle() override;

    // Plug and unplug device `index` (0: the first programmer). Notifications are queued and
    // delivered by ProcessEvents.
    void Unplug(int index = 0);
    void Plug(int index = 0);
    bool Plugged(int index = 0) const {
        return devices_.at(static_cast<std::size_t>(index)).plugged;
    }

    // Fault injection. Transfers are counted from the call: 1 is the next transfer.
    void FailTransfer(std::uint64_t nth, FaultEffect effect = FaultEffect::Fail);
    void FailEvery(TransferMatch match, FaultEffect effect = FaultEffect::Fail);
    // The next `transfers` transfers work; the plug is pulled during the one after.
    void UnplugAfter(std::uint64_t transfers);
    void FailOpens(int count) { failOpens_ = count; }
    void ClearFaults();
    // The same faults for one device only (its index as added), with transfers counted among
    // those it sees: so one programmer of several can fail while the others go on.
    void FailTransferOn(int device, std::uint64_t nth, FaultEffect effect = FaultEffect::Fail);
    void FailEveryOn(int device, TransferMatch match, FaultEffect effect = FaultEffect::Fail);
    void UnplugAfterOn(int device, std::uint64_t transfers);
    void FailOpensOn(int device, int count);

    ProgrammerFirmware& Firmware(int index = 0);
    SpiChip* Chip(int index = 0) { return Firmware(index).Chip(); }

    // The transfer log is off unless asked for, so that long runs do not grow.
    const std::vector<SimTransfer>& Log() const { return log_; }
    void ClearLog() { log_.clear(); }
    void EnableLog(bool enabled) { logEnabled_ = enabled; }
    bool LogEnabled() const { return logEnabled_; }
    std::uint64_t Transfers() const { return transfers_; }
    int Opens() const { return opens_; }

    void SetLatency(const LatencyModel& latency) { latency_ = latency; }
    const LatencyModel& Latency() const { return latency_; }
    // Bus time the transfers so far would have taken (latency model and time-outs). All
    // programmers share the one high-speed bus, which carries one transfer at a time: this total
    // is what the bus is busy for, however many programmers the transfers went to.
    double ModelledMicroseconds() const { return modelledMicroseconds_; }
    // The part of it spent on one device's transfers.
    double ModelledMicroseconds(int device) const {
        return devices_.at(static_cast<std::size_t>(device)).modelledMicroseconds;
    }

    // Real-time mode (null: off, every transfer and chip command is instantaneous): each
    // transfer takes its modelled bus time on this clock and the chips are busy for their
    // typical times (see ProgrammerFirmware::SetClock).
    void SetRealTime(std::shared_ptr<SimClock> clock);
    SimClock* RealTimeClock() const { return clock_.get(); }

  private:
    class Handle;
    // What each handle has of its own: the open device (an index into devices_, -1 when none),
    // the time-outs, and its wait hook, which a chip's busy time inside its transfers calls.
    struct HandleState {
        int open = -1;
        std::uint32_t timeouts[3] = {kDefaultUsbTimeoutMs, kDefaultUsbTimeoutMs,
                                     kDefaultUsbTimeoutMs};
        std::function<void()> waiting;
    };
    bool OpenFor(HandleState& handle, int deviceNumber);
    UsbIdentity IdentityFor(const HandleState& handle) const;
    std::string PathFor(const HandleState& handle) const;
    // The bus lock is held by the caller.
    void UnplugLocked(int index);
    struct Fault {
        std::uint64_t at = 0;  // transfer number, or 0 for a standing fault
        TransferMatch match;
        FaultEffect effect;
    };
    struct Device {
        UsbIdentity identity;
        std::unique_ptr<ProgrammerFirmware> firmware;  // null: not a programmer
        std::string path;
        bool plugged = true;
        // Faults of this device alone, counted in its own transfers.
        std::uint64_t transfers = 0;
        std::vector<Fault> faults;
        std::optional<std::uint64_t> unplugAt;
        int failOpens = 0;
        double modelledMicroseconds = 0;
    };
    Device& At(int device) { return devices_.at(static_cast<std::size_t>(device)); }
    static std::optional<FaultEffect> DueFault(std::vector<Fault>& faults, std::uint64_t number,
                                               TransferKind kind, std::uint8_t request);
    template <typename Act>
    bool Transfer(HandleState& handle, TransferKind kind, std::uint8_t request, std::uint16_t value,
                  std::uint16_t index, std::span<const std::uint8_t> sent,
                  std::span<std::uint8_t> received, Act act);
    std::unique_ptr<ProgrammerFirmware> MakeFirmware(const ProgrammerSetup& setup);

    // Guards the bus's shared state between handles on several threads; a transfer's waits and
    // its device's firmware run outside it (each device is driven by one handle at a time).
    mutable std::mutex mutex_;
    std::vector<Device> devices_;
    HandleState main_;
    std::string setupProblem_;
    std::deque<UsbChange> events_;
    std::vector<Fault> faults_;
    std::optional<std::uint64_t> unplugAt_;
    int failOpens_ = 0;
    int opens_ = 0;
    std::uint64_t transfers_ = 0;
    std::vector<SimTransfer> log_;
    bool logEnabled_ = false;
    LatencyModel latency_;
    double modelledMicroseconds_ = 0;
    std::shared_ptr<SimClock> clock_;
    std::unique_ptr<SlicedClock> slicedClock_;  // clock_'s waits, in slices
    SimTime busFreeAt_{0};  // real-time mode: when the bus has carried the transfers so far
    // Longer than any oversleep: a gap this long between transfers is the host pausing.
    static constexpr SimTime kHostPause = std::chrono::milliseconds(2);
};

}  // namespace torq::sim

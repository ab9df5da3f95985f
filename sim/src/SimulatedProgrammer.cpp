#include "torq/sim/SimulatedProgrammer.h"

#include <algorithm>
#include <stdexcept>

#include "torq/sim/ChipMemory.h"

namespace torq::sim {

namespace {

// The handle whose transfer the calling thread is in: a chip's busy time gives its wait hook a
// turn, so that a worker's waits never call the window's.
thread_local const std::function<void()>* currentWaiting = nullptr;

class CurrentWaiting {
  public:
    explicit CurrentWaiting(const std::function<void()>& waiting) : previous_(currentWaiting) {
        currentWaiting = &waiting;
    }
    ~CurrentWaiting() { currentWaiting = previous_; }
    CurrentWaiting(const CurrentWaiting&) = delete;
    CurrentWaiting& operator=(const CurrentWaiting&) = delete;

  private:
    const std::function<void()>* previous_;
};

void CallCurrentWaiting() {
    if (currentWaiting != nullptr && *currentWaiting)
        (*currentWaiting)();
}

}  // namespace

UsbIdentity ProgrammerIdentity() {
    return {0x4D51, 0x0309, "NOVU", "TORQ-SPI", "SIM00001"};
}

SimulatedProgrammer::SimulatedProgrammer(ProgrammerSetup setup) {
    main_.waiting = [this] { Waiting(); };
    AddProgrammer(std::move(setup));
}

std::unique_ptr<ProgrammerFirmware> SimulatedProgrammer::MakeFirmware(
    const ProgrammerSetup& setup) {
    std::unique_ptr<SpiChip> chip;
    if (setup.chip) {
        std::unique_ptr<ChipMemory> memory;
        if (!setup.contentFile.empty()) {
            std::string problem;
            memory = FileMemory::Open(setup.contentFile, setup.chip->size, problem);
            if (!memory)
                setupProblem_ = problem;
        }
        chip = MakeChip(*setup.chip, std::move(memory));
        if (auto* dataFlash = dynamic_cast<DataFlashChip*>(chip.get())) {
            dataFlash->SetBinaryPages(setup.binaryPages && setup.chip->binaryPageSize != 0);
        }
        if (setup.writeProtectHeld) {
            auto* flash = dynamic_cast<SerialFlashChip*>(chip.get());
            if (flash != nullptr && setup.chip->kind == ChipKind::SerialFlash &&
                setup.chip->sectorStarts.empty()) {
                flash->LockStatusRegister();
                flash->HoldWriteProtect(true);
            } else {
                setupProblem_ =
                    "the WP# pin locks only the block-protect bits of a 25-series "
                    "flash; " +
                    setup.chip->name + " has none";
            }
        }
    }
    auto firmware = std::make_unique<ProgrammerFirmware>(setup.firmware, std::move(chip));
    firmware->SetClock(slicedClock_.get());
    return firmware;
}

namespace {

std::string DefaultPath(std::size_t index) {
    return "1-" + std::to_string(index + 1);
}

}  // namespace

int SimulatedProgrammer::AddProgrammer(ProgrammerSetup setup) {
    Device device;
    device.identity = setup.identity;
    device.firmware = MakeFirmware(setup);
    device.path = setup.busPath.empty() ? DefaultPath(devices_.size()) : setup.busPath;
    devices_.push_back(std::move(device));
    return static_cast<int>(devices_.size()) - 1;
}

void SimulatedProgrammer::SetRealTime(std::shared_ptr<SimClock> clock) {
    clock_ = std::move(clock);
    // Every wait of the simulator gives the host's wait hook a turn every few milliseconds.
    slicedClock_ = clock_ ? std::make_unique<SlicedClock>(*clock_, CallCurrentWaiting) : nullptr;
    busFreeAt_ = clock_ ? clock_->Now() : SimTime{0};
    for (auto& device : devices_) {
        if (device.firmware)
            device.firmware->SetClock(slicedClock_.get());
    }
}

int SimulatedProgrammer::AddForeignDevice(UsbIdentity identity, std::string busPath) {
    Device device;
    device.identity = std::move(identity);
    device.path = busPath.empty() ? DefaultPath(devices_.size()) : std::move(busPath);
    devices_.push_back(std::move(device));
    return static_cast<int>(devices_.size()) - 1;
}

class SimulatedProgrammer::Handle final : public UsbDevice {
  public:
    explicit Handle(SimulatedProgrammer& bus) : bus_(bus) {
        state_.waiting = [this] { Waiting(); };
    }
    int DeviceCount() override { return bus_.DeviceCount(); }
    bool Open(int deviceNumber) override { return bus_.OpenFor(state_, deviceNumber); }
    void Close() override { state_.open = -1; }
    bool IsOpen() const override { return state_.open >= 0; }
    UsbIdentity Identity() const override { return bus_.IdentityFor(state_); }
    std::string Path() const override { return bus_.PathFor(state_); }
    bool ControlIn(std::uint8_t request, std::uint16_t value, std::uint16_t index,
                   std::span<std::uint8_t> data) override {
        return bus_.Transfer(
            state_, TransferKind::ControlIn, request, value, index, {}, data,
            [&](ProgrammerFirmware& f) { return f.ControlIn(request, value, index, data); });
    }
    bool ControlOut(std::uint8_t request, std::uint16_t value, std::uint16_t index,
                    std::span<const std::uint8_t> data) override {
        return bus_.Transfer(
            state_, TransferKind::ControlOut, request, value, index, data, {},
            [&](ProgrammerFirmware& f) { return f.ControlOut(request, value, index, data); });
    }
    bool BulkIn(std::span<std::uint8_t> data) override {
        return bus_.Transfer(state_, TransferKind::BulkIn, 0, 0, 0, {}, data,
                             [&](ProgrammerFirmware& f) { return f.BulkIn(data); });
    }
    bool BulkOut(std::span<const std::uint8_t> data) override {
        return bus_.Transfer(state_, TransferKind::BulkOut, 0, 0, 0, data, {},
                             [&](ProgrammerFirmware& f) { return f.BulkOut(data); });
    }
    void SetTimeout(UsbEndpoint endpoint, std::uint32_t milliseconds) override {
        state_.timeouts[static_cast<int>(endpoint)] = milliseconds;
    }
    std::uint32_t Timeout(UsbEndpoint endpoint) const override {
        return state_.timeouts[static_cast<int>(endpoint)];
    }

  private:
    SimulatedProgrammer& bus_;
    HandleState state_;
};

std::unique_ptr<UsbDevice> SimulatedProgrammer::NewHandle() {
    return std::make_unique<Handle>(*this);
}

int SimulatedProgrammer::DeviceCount() {
    const std::lock_guard lock(mutex_);
    int count = 0;
    for (const auto& device : devices_)
        count += device.plugged ? 1 : 0;
    return count;
}

bool SimulatedProgrammer::Open(int deviceNumber) {
    return OpenFor(main_, deviceNumber);
}

bool SimulatedProgrammer::OpenFor(HandleState& handle, int deviceNumber) {
    const std::lock_guard lock(mutex_);
    handle.open = -1;
    ++opens_;
    if (failOpens_ > 0) {
        --failOpens_;
        return false;
    }
    // Device numbers count the devices present now, in bus order.
    int number = 0;
    for (std::size_t i = 0; i < devices_.size(); ++i) {
        if (!devices_[i].plugged)
            continue;
        if (number++ == deviceNumber) {
            if (devices_[i].failOpens > 0) {
                --devices_[i].failOpens;
                return false;
            }
            handle.open = static_cast<int>(i);
            for (auto& t : handle.timeouts)
                t = kDefaultUsbTimeoutMs;
            return true;
        }
    }
    return false;
}

void SimulatedProgrammer::Close() {
    main_.open = -1;
}

UsbIdentity SimulatedProgrammer::Identity() const {
    return IdentityFor(main_);
}

std::string SimulatedProgrammer::Path() const {
    return PathFor(main_);
}

UsbIdentity SimulatedProgrammer::IdentityFor(const HandleState& handle) const {
    const std::lock_guard lock(mutex_);
    return handle.open >= 0 ? devices_[static_cast<std::size_t>(handle.open)].identity
                            : UsbIdentity{};
}

std::string SimulatedProgrammer::PathFor(const HandleState& handle) const {
    const std::lock_guard lock(mutex_);
    return handle.open >= 0 ? devices_[static_cast<std::size_t>(handle.open)].path : std::string();
}

void SimulatedProgrammer::SetTimeout(UsbEndpoint endpoint, std::uint32_t milliseconds) {
    main_.timeouts[static_cast<int>(endpoint)] = milliseconds;
}

std::uint32_t SimulatedProgrammer::Timeout(UsbEndpoint endpoint) const {
    return main_.timeouts[static_cast<int>(endpoint)];
}

void SimulatedProgrammer::ProcessEvents() {
    std::deque<UsbChange> events;
    {
        const std::lock_guard lock(mutex_);
        events.swap(events_);
    }
    for (const UsbChange change : events)
        NotifyChange(change);
}

void SimulatedProgrammer::Unplug(int index) {
    const std::lock_guard lock(mutex_);
    UnplugLocked(index);
}

void SimulatedProgrammer::UnplugLocked(int index) {
    Device& device = devices_.at(static_cast<std::size_t>(index));
    if (!device.plugged)
        return;
    device.plugged = false;
    if (device.firmware)
        device.firmware->PowerOff();
    events_.push_back(UsbChange::Removal);
}

void SimulatedProgrammer::Plug(int index) {
    const std::lock_guard lock(mutex_);
    Device& device = devices_.at(static_cast<std::size_t>(index));
    if (device.plugged)
        return;
    device.plugged = true;
    if (device.firmware)
        device.firmware->PowerOff();  // boots with empty memory
    events_.push_back(UsbChange::Arrival);
}

void SimulatedProgrammer::FailTransfer(std::uint64_t nth, FaultEffect effect) {
    const std::lock_guard lock(mutex_);
    faults_.push_back({transfers_ + nth, {}, effect});
}

void SimulatedProgrammer::FailEvery(TransferMatch match, FaultEffect effect) {
    const std::lock_guard lock(mutex_);
    faults_.push_back({0, match, effect});
}

void SimulatedProgrammer::UnplugAfter(std::uint64_t transfers) {
    const std::lock_guard lock(mutex_);
    unplugAt_ = transfers_ + transfers + 1;
}

void SimulatedProgrammer::ClearFaults() {
    const std::lock_guard lock(mutex_);
    faults_.clear();
    unplugAt_.reset();
    failOpens_ = 0;
    for (Device& device : devices_) {
        device.faults.clear();
        device.unplugAt.reset();
        device.failOpens = 0;
    }
}

void SimulatedProgrammer::FailTransferOn(int device, std::uint64_t nth, FaultEffect effect) {
    const std::lock_guard lock(mutex_);
    Device& d = At(device);
    d.faults.push_back({d.transfers + nth, {}, effect});
}

void SimulatedProgrammer::FailEveryOn(int device, TransferMatch match, FaultEffect effect) {
    const std::lock_guard lock(mutex_);
    At(device).faults.push_back({0, match, effect});
}

void SimulatedProgrammer::UnplugAfterOn(int device, std::uint64_t transfers) {
    const std::lock_guard lock(mutex_);
    Device& d = At(device);
    d.unplugAt = d.transfers + transfers + 1;
}

void SimulatedProgrammer::FailOpensOn(int device, int count) {
    const std::lock_guard lock(mutex_);
    At(device).failOpens = count;
}

std::optional<FaultEffect> SimulatedProgrammer::DueFault(std::vector<Fault>& faults,
                                                         std::uint64_t number, TransferKind kind,
                                                         std::uint8_t request) {
    std::optional<FaultEffect> effect;
    for (auto it = faults.begin(); it != faults.end();) {
        if (it->at == number) {
            effect = it->effect;
            it = faults.erase(it);
            continue;
        }
        if (it->at == 0 && it->match.Matches(kind, request))
            effect = it->effect;
        ++it;
    }
    return effect;
}

ProgrammerFirmware& SimulatedProgrammer::Firmware(int index) {
    auto& firmware = devices_.at(static_cast<std::size_t>(index)).firmware;
    if (!firmware)
        throw std::logic_error("device is not a programmer");
    return *firmware;
}

template <typename Act>
bool SimulatedProgrammer::Transfer(HandleState& handle, TransferKind kind, std::uint8_t request,
                                   std::uint16_t value, std::uint16_t index,
                                   std::span<const std::uint8_t> sent,
                                   std::span<std::uint8_t> received, Act act) {
    const bool control = kind == TransferKind::ControlIn || kind == TransferKind::ControlOut;
    const std::size_t length =
        control ? std::max(sent.size(), received.size())
                : (kind == TransferKind::BulkOut ? sent.size() : received.size());
    double busMicroseconds = control ? latency_.controlMicroseconds
                                     : latency_.bulkMicroseconds + latency_.bulkNanosecondsPerByte *
                                                                       static_cast<double>(length) /
                                                                       1000.0;
    const int open = handle.open;
    std::optional<FaultEffect> effect;
    ProgrammerFirmware* firmware = nullptr;
    SimTime busSlotEnd{0};
    {
        const std::lock_guard lock(mutex_);
        const std::uint64_t number = ++transfers_;
        effect = DueFault(faults_, number, kind, request);
        if (unplugAt_ && number >= *unplugAt_) {
            unplugAt_.reset();
            effect = FaultEffect::Unplug;
        }
        Device* device = open >= 0 ? &devices_[static_cast<std::size_t>(open)] : nullptr;
        if (device) {
            const std::uint64_t own = ++device->transfers;
            if (const auto deviceEffect = DueFault(device->faults, own, kind, request))
                effect = deviceEffect;
            if (device->unplugAt && own >= *device->unplugAt) {
                device->unplugAt.reset();
                effect = FaultEffect::Unplug;
            }
        }
        if (effect == FaultEffect::Unplug && device)
            UnplugLocked(open);
        const bool answered = device && device->plugged && device->firmware;
        if (answered && effect == FaultEffect::Timeout) {
            const UsbEndpoint endpoint = control                        ? UsbEndpoint::Control
                                         : kind == TransferKind::BulkIn ? UsbEndpoint::BulkIn
                                                                        : UsbEndpoint::BulkOut;
            busMicroseconds += 1000.0 * handle.timeouts[static_cast<int>(endpoint)];
        }
        modelledMicroseconds_ += busMicroseconds;
        if (device)
            device->modelledMicroseconds += busMicroseconds;
        if (clock_) {
            // The bus carries one transfer after another, whichever programmer it is for: each
            // transfer takes the next slot. Sleeping to the running total of bus time keeps
            // oversleeping from adding up; only a pause of the host restarts the count.
            const SimTime now = clock_->Now();
            if (now > busFreeAt_ + kHostPause)
                busFreeAt_ = now;
            busFreeAt_ += SimTime{static_cast<std::int64_t>(busMicroseconds * 1000.0)};
            busSlotEnd = busFreeAt_;
        }
        if (answered && effect != FaultEffect::Timeout && effect != FaultEffect::Fail)
            firmware = device->firmware.get();
    }
    // The waits and the firmware's work run outside the bus lock, so that the other handles' chips
    // are busy at the same time.
    const CurrentWaiting waiting(handle.waiting);
    if (clock_)
        slicedClock_->SleepUntil(busSlotEnd);
    bool ok = false;
    if (firmware != nullptr)
        ok = act(*firmware) && effect != FaultEffect::FailAfterData;
    const std::lock_guard lock(mutex_);
    if (logEnabled_) {
        SimTransfer entry{kind, open, request, value, index, static_cast<std::uint32_t>(length),
                          {},   ok};
        if (kind == TransferKind::ControlOut || kind == TransferKind::BulkOut) {
            entry.data.assign(sent.begin(), sent.end());
        } else if (ok || effect == FaultEffect::FailAfterData) {
            entry.data.assign(received.begin(), received.end());
        }
        log_.push_back(std::move(entry));
    }
    return ok;
}

bool SimulatedProgrammer::ControlIn(std::uint8_t request, std::uint16_t value, std::uint16_t index,
                                    std::span<std::uint8_t> data) {
    return Transfer(
        main_, TransferKind::ControlIn, request, value, index, {}, data,
        [&](ProgrammerFirmware& f) { return f.ControlIn(request, value, index, data); });
}

bool SimulatedProgrammer::ControlOut(std::uint8_t request, std::uint16_t value, std::uint16_t index,
                                     std::span<const std::uint8_t> data) {
    return Transfer(
        main_, TransferKind::ControlOut, request, value, index, data, {},
        [&](ProgrammerFirmware& f) { return f.ControlOut(request, value, index, data); });
}

bool SimulatedProgrammer::BulkIn(std::span<std::uint8_t> data) {
    return Transfer(main_, TransferKind::BulkIn, 0, 0, 0, {}, data,
                    [&](ProgrammerFirmware& f) { return f.BulkIn(data); });
}

bool SimulatedProgrammer::BulkOut(std::span<const std::uint8_t> data) {
    return Transfer(main_, TransferKind::BulkOut, 0, 0, 0, data, {},
                    [&](ProgrammerFirmware& f) { return f.BulkOut(data); });
}

}  // namespace torq::sim

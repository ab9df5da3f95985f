#include "torq/sim/SimulatedProgrammer.h"

#include <algorithm>
#include <stdexcept>

#include "torq/sim/ChipMemory.h"

namespace torq::sim {

UsbIdentity ProgrammerIdentity() {
    return {0x4D51, 0x0309, "NOVU", "TORQ-SPI", "SIM00001"};
}

SimulatedProgrammer::SimulatedProgrammer(ProgrammerSetup setup) {
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
    slicedClock_ = clock_ ? std::make_unique<SlicedClock>(*clock_, [this] { Waiting(); }) : nullptr;
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

int SimulatedProgrammer::DeviceCount() {
    int count = 0;
    for (const auto& device : devices_)
        count += device.plugged ? 1 : 0;
    return count;
}

bool SimulatedProgrammer::Open(int deviceNumber) {
    Close();
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
            open_ = static_cast<int>(i);
            for (auto& t : timeouts_)
                t = kDefaultUsbTimeoutMs;
            return true;
        }
    }
    return false;
}

void SimulatedProgrammer::Close() {
    open_ = -1;
}

UsbIdentity SimulatedProgrammer::Identity() const {
    return open_ >= 0 ? devices_[static_cast<std::size_t>(open_)].identity : UsbIdentity{};
}

std::string SimulatedProgrammer::Path() const {
    return open_ >= 0 ? devices_[static_cast<std::size_t>(open_)].path : std::string();
}

void SimulatedProgrammer::SetTimeout(UsbEndpoint endpoint, std::uint32_t milliseconds) {
    timeouts_[static_cast<int>(endpoint)] = milliseconds;
}

std::uint32_t SimulatedProgrammer::Timeout(UsbEndpoint endpoint) const {
    return timeouts_[static_cast<int>(endpoint)];
}

void SimulatedProgrammer::ProcessEvents() {
    while (!events_.empty()) {
        const UsbChange change = events_.front();
        events_.pop_front();
        NotifyChange(change);
    }
}

void SimulatedProgrammer::Unplug(int index) {
    Device& device = devices_.at(static_cast<std::size_t>(index));
    if (!device.plugged)
        return;
    device.plugged = false;
    if (device.firmware)
        device.firmware->PowerOff();
    events_.push_back(UsbChange::Removal);
}

void SimulatedProgrammer::Plug(int index) {
    Device& device = devices_.at(static_cast<std::size_t>(index));
    if (device.plugged)
        return;
    device.plugged = true;
    if (device.firmware)
        device.firmware->PowerOff();  // boots with empty memory
    events_.push_back(UsbChange::Arrival);
}

void SimulatedProgrammer::FailTransfer(std::uint64_t nth, FaultEffect effect) {
    faults_.push_back({transfers_ + nth, {}, effect});
}

void SimulatedProgrammer::FailEvery(TransferMatch match, FaultEffect effect) {
    faults_.push_back({0, match, effect});
}

void SimulatedProgrammer::UnplugAfter(std::uint64_t transfers) {
    unplugAt_ = transfers_ + transfers + 1;
}

void SimulatedProgrammer::ClearFaults() {
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
    Device& d = At(device);
    d.faults.push_back({d.transfers + nth, {}, effect});
}

void SimulatedProgrammer::FailEveryOn(int device, TransferMatch match, FaultEffect effect) {
    At(device).faults.push_back({0, match, effect});
}

void SimulatedProgrammer::UnplugAfterOn(int device, std::uint64_t transfers) {
    Device& d = At(device);
    d.unplugAt = d.transfers + transfers + 1;
}

void SimulatedProgrammer::FailOpensOn(int device, int count) {
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
bool SimulatedProgrammer::Transfer(TransferKind kind, std::uint8_t request, std::uint16_t value,
                                   std::uint16_t index, std::span<const std::uint8_t> sent,
                                   std::span<std::uint8_t> received, Act act) {
    const std::uint64_t number = ++transfers_;
    const bool control = kind == TransferKind::ControlIn || kind == TransferKind::ControlOut;
    const std::size_t length =
        control ? std::max(sent.size(), received.size())
                : (kind == TransferKind::BulkOut ? sent.size() : received.size());
    double busMicroseconds = control ? latency_.controlMicroseconds
                                     : latency_.bulkMicroseconds + latency_.bulkNanosecondsPerByte *
                                                                       static_cast<double>(length) /
                                                                       1000.0;

    std::optional<FaultEffect> effect = DueFault(faults_, number, kind, request);
    if (unplugAt_ && number >= *unplugAt_) {
        unplugAt_.reset();
        effect = FaultEffect::Unplug;
    }

    bool ok = false;
    Device* device = open_ >= 0 ? &devices_[static_cast<std::size_t>(open_)] : nullptr;
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
        Unplug(open_);
    const bool answered = device && device->plugged && device->firmware;
    if (answered && effect == FaultEffect::Timeout) {
        const UsbEndpoint endpoint = control                        ? UsbEndpoint::Control
                                     : kind == TransferKind::BulkIn ? UsbEndpoint::BulkIn
                                                                    : UsbEndpoint::BulkOut;
        busMicroseconds += 1000.0 * Timeout(endpoint);
    }
    modelledMicroseconds_ += busMicroseconds;
    if (device)
        device->modelledMicroseconds += busMicroseconds;
    if (clock_) {
        // The bus carries one transfer after another. Sleeping to the running total of bus time
        // keeps oversleeping from adding up; only a pause of the host restarts the count.
        const SimTime now = clock_->Now();
        if (now > busFreeAt_ + kHostPause)
            busFreeAt_ = now;
        busFreeAt_ += SimTime{static_cast<std::int64_t>(busMicroseconds * 1000.0)};
        slicedClock_->SleepUntil(busFreeAt_);
    }
    if (answered && effect != FaultEffect::Timeout && effect != FaultEffect::Fail)
        ok = act(*device->firmware) && effect != FaultEffect::FailAfterData;
    if (logEnabled_) {
        SimTransfer entry{kind, open_, request, value, index, static_cast<std::uint32_t>(length),
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
        TransferKind::ControlIn, request, value, index, {}, data,
        [&](ProgrammerFirmware& f) { return f.ControlIn(request, value, index, data); });
}

bool SimulatedProgrammer::ControlOut(std::uint8_t request, std::uint16_t value, std::uint16_t index,
                                     std::span<const std::uint8_t> data) {
    return Transfer(
        TransferKind::ControlOut, request, value, index, data, {},
        [&](ProgrammerFirmware& f) { return f.ControlOut(request, value, index, data); });
}

bool SimulatedProgrammer::BulkIn(std::span<std::uint8_t> data) {
    return Transfer(TransferKind::BulkIn, 0, 0, 0, {}, data,
                    [&](ProgrammerFirmware& f) { return f.BulkIn(data); });
}

bool SimulatedProgrammer::BulkOut(std::span<const std::uint8_t> data) {
    return Transfer(TransferKind::BulkOut, 0, 0, 0, data, {},
                    [&](ProgrammerFirmware& f) { return f.BulkOut(data); });
}

}  // namespace torq::sim

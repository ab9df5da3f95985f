#include "torq/link/CommandChannel.h"

#include "SpiOpcodes.h"
#include "torq/devlib/DeviceRecord.h"

#include <algorithm>

#include "torq/devlib/Text.h"

namespace torq {

// Only the image's own name is looked at: a folder such as "build_25" must not turn a
// DataFlash image into a 25-series one.
SpiFamily SpiFamilyOf(const std::filesystem::path& driverImage) {
    return IsDataFlashImage(driverImage) ? SpiFamily::Series45 : SpiFamily::Series25;
}

std::optional<std::uint8_t> ReadOpcodeOf(const std::filesystem::path& driverImage) {
    const std::string path = driverImage.filename().string();
    if (Contains(path, "_25"))
        return spi::kRead;
    if (Contains(path, "_45"))
        return spi::kDataFlashContinuousRead;
    return std::nullopt;
}

Script& Script::Byte(std::uint8_t value) {
    if (position_ < bytes_.size()) {
        bytes_[position_] = value;
    } else {
        overflowed_ = true;
    }
    ++position_;
    return *this;
}

Script& Script::Bytes(std::span<const std::uint8_t> values) {
    for (std::uint8_t value : values)
        Byte(value);
    return *this;
}

Script& Script::Address(std::uint32_t address) {
    return Byte(static_cast<std::uint8_t>(address >> 16))
        .Byte(static_cast<std::uint8_t>(address >> 8))
        .Byte(static_cast<std::uint8_t>(address));
}

Script& Script::Zero(std::size_t count) {
    for (std::size_t i = 0; i < count; ++i)
        Byte(0x00);
    return *this;
}

Script& Script::At(std::size_t offset) {
    position_ = offset;
    return *this;
}

bool CommandChannel::Gate() {
    if (programmerCount_ != 0)
        return true;
    lastTransferOk_ = false;
    return false;
}

bool CommandChannel::ControlIn(std::uint8_t code, std::uint16_t value, std::uint16_t index,
                               std::span<std::uint8_t> buffer) {
    if (!Gate())
        return false;
    return lastTransferOk_ = usb_->ControlIn(code, value, index, buffer);
}

bool CommandChannel::ControlOut(std::uint8_t code, std::uint16_t value, std::uint16_t index,
                                std::span<const std::uint8_t> data) {
    if (!Gate())
        return false;
    return lastTransferOk_ = usb_->ControlOut(code, value, index, data);
}

bool CommandChannel::BulkIn(std::span<std::uint8_t> buffer) {
    if (!Gate())
        return false;
    usb_->SetTimeout(UsbEndpoint::BulkIn, kDefaultUsbTimeoutMs);
    return lastTransferOk_ = usb_->BulkIn(buffer);
}

bool CommandChannel::BulkOut(std::span<const std::uint8_t> data) {
    if (!Gate())
        return false;
    usb_->SetTimeout(UsbEndpoint::BulkOut, kDefaultUsbTimeoutMs);
    return lastTransferOk_ = usb_->BulkOut(data);
}

bool CommandChannel::SendWithRetry(const std::function<bool()>& attempt) {
    bool ok = attempt();
    for (int made = 1; !ok && made < kAttempts; ++made) {
        pump_->ProcessPendingMessages();
        ok = attempt();
    }
    return ok;
}

bool CommandChannel::StartOperation(std::uint8_t code, std::uint16_t parameter) {
    return SendWithRetry([&] { return ControlOut(request::kStartOperation, code, parameter); });
}

bool CommandChannel::SetCount(std::uint32_t count) {
    const auto high = static_cast<std::uint16_t>(count >> 16),
               low = static_cast<std::uint16_t>(count);
    return SendWithRetry([&] { return ControlOut(request::kSetCount, high, low); });
}

bool CommandChannel::SendBlock(std::span<const std::uint8_t> block) {
    return SendWithRetry([&] { return BulkOut(block); });
}

bool CommandChannel::ReceiveBlock(std::span<std::uint8_t> buffer, std::uint8_t fill) {
    return SendWithRetry([&] {
        std::fill(buffer.begin(), buffer.end(), fill);
        return BulkIn(buffer);
    });
}

PollOutcome CommandChannel::Poll(std::uint8_t code,
                                 const std::function<bool(std::uint8_t)>& condition) {
    PollOutcome outcome;
    for (int counter = kPollCounter;; --counter) {
        ClearBlock();
        outcome.lastTransferOk = ControlIn(code, 0, 0, std::span(block_).first(2));
        ++outcome.requests;
        if (!outcome.lastTransferOk)
            pump_->ProcessPendingMessages();
        if (condition(block_[0])) {
            outcome.met = true;
            return outcome;
        }
        if (counter == 0)
            return outcome;
    }
}

PollOutcome CommandChannel::PollState(std::uint8_t expected) {
    return Poll(request::kGetState, [=](std::uint8_t s) { return s == expected; });
}

PollOutcome CommandChannel::PollState(std::uint8_t expected, std::uint8_t alternative) {
    return Poll(request::kGetState,
                [=](std::uint8_t s) { return s == expected || s == alternative; });
}

PollOutcome CommandChannel::PollBlockReady() {
    return Poll(request::kGetBlockReady, [](std::uint8_t s) { return s != 0; });
}

bool CommandChannel::GetFirmwareVersion() {
    ClearBlock();
    return ControlIn(request::kGetFirmwareVersion, 0, 0, std::span(block_).first(5));
}

bool CommandChannel::EndRun() {
    return ControlOut(request::kEndRun, 0, 0);
}

bool CommandChannel::SetLamp(std::uint16_t value, std::uint8_t indexByte) {
    return ControlOut(request::kSetLamp, value, static_cast<std::uint16_t>(indexByte << 8));
}

bool CommandChannel::SetLampIndex(std::uint16_t value, std::uint8_t index) {
    return ControlOut(request::kSetLamp, value, index);
}

bool CommandChannel::SetUnitMode(std::uint16_t mode) {
    return ControlOut(request::kSetUnitMode, mode, 0);
}

bool CommandChannel::TargetReset(std::uint16_t value, std::uint16_t pulseMs) {
    return ControlOut(request::kTargetReset, value, pulseMs);
}

bool CommandChannel::SetTargetBoard(std::uint16_t value) {
    return ControlOut(request::kSetTargetBoard, value, 0);
}

bool CommandChannel::RamWrite(std::uint16_t address, std::span<const std::uint8_t> data) {
    return lastTransferOk_ = usb_->ControlOut(request::kRamWrite, address, 0, data);
}

}  // namespace torq

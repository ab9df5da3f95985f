#include "torq/link/LibusbDevice.h"

#include <algorithm>
#include <cstdio>

namespace torq {

namespace {

constexpr std::uint16_t kEnglishUs = 0x0409;

std::string Describe(const LibusbDeviceEntry& entry) {
    char text[80];
    std::snprintf(text, sizeof text, "USB device %04x:%04x on bus %u, address %u", entry.vendorId,
                  entry.productId, entry.bus, entry.address);
    return text;
}

}  // namespace

LibusbDevice::LibusbDevice(std::unique_ptr<LibusbApi> api, std::uint16_t vendorId,
                           std::uint16_t productId)
    : api_(std::move(api)), vendorId_(vendorId), productId_(productId) {
    if (!api_)
        return;
    hotplug_ = api_->StartHotplug(vendorId_, productId_, [this](bool arrived) {
        events_.push_back(arrived ? UsbChange::Arrival : UsbChange::Removal);
    });
    const auto now = Candidates();
    lastSeen_ = std::set<LibusbDeviceEntry>(now.begin(), now.end());
}

LibusbDevice::~LibusbDevice() {
    Close();
}

std::vector<LibusbDeviceEntry> LibusbDevice::Candidates() {
    std::vector<LibusbDeviceEntry> found;
    if (!api_)
        return found;
    for (const auto& entry : api_->Devices()) {
        if (entry.vendorId == vendorId_ && entry.productId == productId_)
            found.push_back(entry);
    }
    return found;
}

int LibusbDevice::DeviceCount() {
    entries_ = Candidates();
    return static_cast<int>(entries_.size());
}

std::unique_ptr<UsbDevice> LibusbDevice::NewHandle() {
    auto api = CreateSystemLibusb();
    if (!api)
        return nullptr;
    return std::make_unique<LibusbDevice>(std::move(api), vendorId_, productId_);
}

bool LibusbDevice::Open(int deviceNumber) {
    Close();
    openProblem_.clear();
    if (deviceNumber < 0 || static_cast<std::size_t>(deviceNumber) >= entries_.size())
        return false;
    const LibusbDeviceEntry& entry = entries_[static_cast<std::size_t>(deviceNumber)];
    std::unique_ptr<LibusbHandle> handle;
    const LibusbStatus opened = api_->Open(entry, handle);
    if (opened == LibusbStatus::Access) {
        openProblem_ = "No permission to open the programmer (" + Describe(entry) +
                       "). Install the udev rule 60-torq-spi.rules from the program's data folder "
                       "into /etc/udev/rules.d, run 'sudo udevadm control --reload-rules && sudo "
                       "udevadm trigger', then plug the programmer in again.";
        return false;
    }
    if (opened != LibusbStatus::Ok || !handle)
        return false;

    UsbIdentity identity{entry.vendorId, entry.productId, {}, {}, {}};
    const std::vector<std::uint16_t> languages = handle->Languages();
    const std::uint16_t language =
        languages.empty() ||
                std::find(languages.begin(), languages.end(), kEnglishUs) != languages.end()
            ? kEnglishUs
            : languages.front();
    const auto text = [&](std::uint8_t index) {
        return index == 0 ? std::string() : handle->String(index, language).value_or(std::string());
    };
    identity.manufacturer = text(entry.manufacturerIndex);
    identity.product = text(entry.productIndex);
    identity.serialNumber = text(entry.serialIndex);

    LibusbInterfaceLayout layout;
    if (handle->Layout(layout) != LibusbStatus::Ok)
        return false;
    const LibusbStatus claimed = handle->Claim(layout.interfaceNumber);
    if (claimed == LibusbStatus::Busy) {
        openProblem_ = "The programmer (" + Describe(entry) + ") is in use by another program.";
        return false;
    }
    if (claimed != LibusbStatus::Ok)
        return false;
    // Setting 0 is what the firmware starts in; firmware with a single setting may refuse the
    // request, which does not make the device unusable.
    handle->SelectAlternateSetting(layout.interfaceNumber, 0);
    handle_ = std::move(handle);
    layout_ = layout;
    identity_ = std::move(identity);
    path_ = std::to_string(entry.bus);
    for (std::size_t i = 0; i < entry.ports.size(); ++i)
        path_ += (i == 0 ? "-" : ".") + std::to_string(entry.ports[i]);
    if (entry.ports.empty())
        path_.clear();  // a bus number alone does not tell programmers apart
    for (auto& t : timeouts_)
        t = kDefaultUsbTimeoutMs;
    return true;
}

void LibusbDevice::Close() {
    if (handle_)
        handle_->Release(layout_.interfaceNumber);
    handle_.reset();
    identity_ = {};
    path_.clear();
}

// A device that has gone from the bus is closed at once, so the next operation's firmware
// restart reports "No USB Devices connected." instead of failing transfer by transfer.
bool LibusbDevice::Completed(LibusbStatus status) {
    if (status == LibusbStatus::NoDevice)
        Close();
    return status == LibusbStatus::Ok;
}

bool LibusbDevice::ControlIn(std::uint8_t request, std::uint16_t value, std::uint16_t index,
                             std::span<std::uint8_t> data) {
    if (!handle_)
        return false;
    return Completed(handle_->Control(0xC0, request, value, index, data, timeouts_[0], WaitHook()));
}

bool LibusbDevice::ControlOut(std::uint8_t request, std::uint16_t value, std::uint16_t index,
                              std::span<const std::uint8_t> data) {
    if (!handle_)
        return false;
    // libusb takes a mutable buffer for both directions; an OUT transfer only reads it.
    std::vector<std::uint8_t> copy(data.begin(), data.end());
    return Completed(handle_->Control(0x40, request, value, index, copy, timeouts_[0], WaitHook()));
}

bool LibusbDevice::BulkIn(std::span<std::uint8_t> data) {
    if (!handle_ || layout_.bulkIn == 0)
        return false;
    return Completed(handle_->Bulk(layout_.bulkIn, data, timeouts_[1], WaitHook()));
}

bool LibusbDevice::BulkOut(std::span<const std::uint8_t> data) {
    if (!handle_ || layout_.bulkOut == 0)
        return false;
    std::vector<std::uint8_t> copy(data.begin(), data.end());
    return Completed(handle_->Bulk(layout_.bulkOut, copy, timeouts_[2], WaitHook()));
}

void LibusbDevice::SetTimeout(UsbEndpoint endpoint, std::uint32_t milliseconds) {
    timeouts_[static_cast<int>(endpoint)] = milliseconds;
}

std::uint32_t LibusbDevice::Timeout(UsbEndpoint endpoint) const {
    return timeouts_[static_cast<int>(endpoint)];
}

void LibusbDevice::ProcessEvents() {
    if (!api_)
        return;
    if (hotplug_) {
        api_->HandleEvents();
    } else {
        const auto now = Candidates();
        const std::set<LibusbDeviceEntry> seen(now.begin(), now.end());
        for (const auto& entry : lastSeen_) {
            if (!seen.count(entry))
                events_.push_back(UsbChange::Removal);
        }
        for (const auto& entry : seen) {
            if (!lastSeen_.count(entry))
                events_.push_back(UsbChange::Arrival);
        }
        lastSeen_ = seen;
    }
    while (!events_.empty()) {
        const UsbChange change = events_.front();
        events_.pop_front();
        NotifyChange(change);
    }
}

}  // namespace torq

// LibusbApi on libusb-1.0 itself.
#include <libusb.h>

#include <sys/time.h>

#include <algorithm>
#include <functional>
#include <vector>

#include "torq/link/LibusbDevice.h"

namespace torq {

namespace {

LibusbStatus StatusOf(int code) {
    if (code >= 0)
        return LibusbStatus::Ok;
    switch (code) {
        case LIBUSB_ERROR_ACCESS:
            return LibusbStatus::Access;
        case LIBUSB_ERROR_NO_DEVICE:
            return LibusbStatus::NoDevice;
        case LIBUSB_ERROR_NOT_FOUND:
            return LibusbStatus::NotFound;
        case LIBUSB_ERROR_BUSY:
            return LibusbStatus::Busy;
        case LIBUSB_ERROR_TIMEOUT:
            return LibusbStatus::Timeout;
        case LIBUSB_ERROR_PIPE:
            return LibusbStatus::Pipe;
        default:
            return LibusbStatus::Other;
    }
}

// One asynchronous transfer, freed with its owner.
class Transfer {
  public:
    Transfer() : transfer_(libusb_alloc_transfer(0)) {}
    ~Transfer() { libusb_free_transfer(transfer_); }
    Transfer(const Transfer&) = delete;
    Transfer& operator=(const Transfer&) = delete;
    libusb_transfer* get() const { return transfer_; }
    libusb_transfer* operator->() const { return transfer_; }

  private:
    libusb_transfer* transfer_;
};

LibusbStatus StatusOfTransfer(libusb_transfer_status status) {
    switch (status) {
        case LIBUSB_TRANSFER_COMPLETED:
            return LibusbStatus::Ok;
        case LIBUSB_TRANSFER_TIMED_OUT:
            return LibusbStatus::Timeout;
        case LIBUSB_TRANSFER_STALL:
            return LibusbStatus::Pipe;
        case LIBUSB_TRANSFER_NO_DEVICE:
            return LibusbStatus::NoDevice;
        default:
            return LibusbStatus::Other;
    }
}

// How often a waiting transfer gives the window a turn.
constexpr int kWaitSliceMicroseconds = 10000;

class SystemHandle final : public LibusbHandle {
  public:
    SystemHandle(libusb_context* context, libusb_device* device, libusb_device_handle* handle)
        : context_(context), device_(libusb_ref_device(device)), handle_(handle) {}
    ~SystemHandle() override {
        libusb_close(handle_);
        libusb_unref_device(device_);
    }

    std::vector<std::uint16_t> Languages() override {
        unsigned char buffer[255];
        const int length = libusb_get_string_descriptor(handle_, 0, 0, buffer, sizeof buffer);
        std::vector<std::uint16_t> languages;
        for (int i = 2; i + 1 < length; i += 2) {
            languages.push_back(static_cast<std::uint16_t>(buffer[i] | (buffer[i + 1] << 8)));
        }
        return languages;
    }

    std::optional<std::string> String(std::uint8_t index, std::uint16_t language) override {
        unsigned char buffer[255];
        const int length =
            libusb_get_string_descriptor(handle_, index, language, buffer, sizeof buffer);
        if (length < 2 || buffer[1] != LIBUSB_DT_STRING)
            return std::nullopt;
        // UTF-16LE to UTF-8 (the basic plane is enough for descriptor texts).
        std::string text;
        for (int i = 2; i + 1 < std::min<int>(length, buffer[0]); i += 2) {
            const unsigned code = buffer[i] | (buffer[i + 1] << 8);
            if (code < 0x80) {
                text.push_back(static_cast<char>(code));
            } else if (code < 0x800) {
                text.push_back(static_cast<char>(0xC0 | (code >> 6)));
                text.push_back(static_cast<char>(0x80 | (code & 0x3F)));
            } else {
                text.push_back(static_cast<char>(0xE0 | (code >> 12)));
                text.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
                text.push_back(static_cast<char>(0x80 | (code & 0x3F)));
            }
        }
        return text;
    }

    LibusbStatus Layout(LibusbInterfaceLayout& layout) override {
        libusb_config_descriptor* config = nullptr;
        const int result = libusb_get_active_config_descriptor(device_, &config);
        if (result != 0)
            return StatusOf(result);
        layout = {};
        if (config->bNumInterfaces > 0 && config->interface[0].num_altsetting > 0) {
            const libusb_interface_descriptor& setting = config->interface[0].altsetting[0];
            layout.interfaceNumber = setting.bInterfaceNumber;
            for (int e = 0; e < setting.bNumEndpoints; ++e) {
                const libusb_endpoint_descriptor& endpoint = setting.endpoint[e];
                if ((endpoint.bmAttributes & 0x03) != LIBUSB_TRANSFER_TYPE_BULK)
                    continue;
                const bool in = (endpoint.bEndpointAddress & LIBUSB_ENDPOINT_IN) != 0;
                std::uint8_t& slot = in ? layout.bulkIn : layout.bulkOut;
                if (slot == 0)
                    slot = endpoint.bEndpointAddress;
            }
        }
        libusb_free_config_descriptor(config);
        return LibusbStatus::Ok;
    }

    LibusbStatus Claim(int interfaceNumber) override {
        libusb_set_auto_detach_kernel_driver(handle_, 1);
        return StatusOf(libusb_claim_interface(handle_, interfaceNumber));
    }

    LibusbStatus SelectAlternateSetting(int interfaceNumber, int setting) override {
        return StatusOf(libusb_set_interface_alt_setting(handle_, interfaceNumber, setting));
    }

    void Release(int interfaceNumber) override {
        libusb_release_interface(handle_, interfaceNumber);
    }

    LibusbStatus Control(std::uint8_t requestType, std::uint8_t request, std::uint16_t value,
                         std::uint16_t index, std::span<std::uint8_t> data, std::uint32_t timeoutMs,
                         const std::function<void()>& waiting) override {
        std::vector<unsigned char> buffer(LIBUSB_CONTROL_SETUP_SIZE + data.size());
        libusb_fill_control_setup(buffer.data(), requestType, request, value, index,
                                  static_cast<std::uint16_t>(data.size()));
        const bool in = (requestType & LIBUSB_ENDPOINT_IN) != 0;
        if (!in)
            std::copy(data.begin(), data.end(), buffer.begin() + LIBUSB_CONTROL_SETUP_SIZE);
        Transfer transfer;
        libusb_fill_control_transfer(transfer.get(), handle_, buffer.data(), &OnDone, nullptr,
                                     timeoutMs);
        const LibusbStatus status = Run(transfer, waiting);
        if (status == LibusbStatus::Ok && in) {
            const auto moved = std::min<std::size_t>(
                data.size(), static_cast<std::size_t>(transfer->actual_length));
            std::copy_n(buffer.begin() + LIBUSB_CONTROL_SETUP_SIZE, moved, data.begin());
        }
        return status;
    }

    LibusbStatus Bulk(std::uint8_t endpoint, std::span<std::uint8_t> data, std::uint32_t timeoutMs,
                      const std::function<void()>& waiting) override {
        Transfer transfer;
        libusb_fill_bulk_transfer(transfer.get(), handle_, endpoint, data.data(),
                                  static_cast<int>(data.size()), &OnDone, nullptr, timeoutMs);
        return Run(transfer, waiting);
    }

  private:
    static void LIBUSB_CALL OnDone(libusb_transfer* transfer) {
        *static_cast<int*>(transfer->user_data) = 1;
    }

    // Submits the transfer and handles libusb's events in short slices until it is done, giving
    // `waiting` a turn after each slice. libusb ends it at its time-out (cancelled first).
    LibusbStatus Run(Transfer& transfer, const std::function<void()>& waiting) {
        int completed = 0;
        transfer->user_data = &completed;
        if (const int submitted = libusb_submit_transfer(transfer.get()); submitted != 0)
            return StatusOf(submitted);
        while (!completed) {
            timeval slice{0, kWaitSliceMicroseconds};
            const int handled =
                libusb_handle_events_timeout_completed(context_, &slice, &completed);
            if (handled < 0 && handled != LIBUSB_ERROR_INTERRUPTED) {
                // The event loop failed: cancel, and wait for the cancellation to come back.
                libusb_cancel_transfer(transfer.get());
                while (!completed)
                    libusb_handle_events_completed(context_, &completed);
                return StatusOf(handled);
            }
            if (!completed && waiting)
                waiting();
        }
        return StatusOfTransfer(transfer->status);
    }

    libusb_context* context_;
    libusb_device* device_;
    libusb_device_handle* handle_;
};

class SystemLibusb final : public LibusbApi {
  public:
    explicit SystemLibusb(libusb_context* context) : context_(context) {}
    ~SystemLibusb() override {
        if (hotplugHandle_)
            libusb_hotplug_deregister_callback(context_, *hotplugHandle_);
        libusb_exit(context_);
    }

    std::vector<LibusbDeviceEntry> Devices() override {
        std::vector<LibusbDeviceEntry> entries;
        libusb_device** list = nullptr;
        const ssize_t count = libusb_get_device_list(context_, &list);
        for (ssize_t i = 0; i < count; ++i) {
            libusb_device_descriptor descriptor{};
            if (libusb_get_device_descriptor(list[i], &descriptor) != 0)
                continue;
            entries.push_back({libusb_get_bus_number(list[i]),
                               libusb_get_device_address(list[i]),
                               descriptor.idVendor,
                               descriptor.idProduct,
                               descriptor.iManufacturer,
                               descriptor.iProduct,
                               descriptor.iSerialNumber,
                               {}});
            std::uint8_t ports[8] = {};  // USB 3 allows at most seven tiers below the root
            const int depth = libusb_get_port_numbers(list[i], ports, sizeof ports);
            if (depth > 0)
                entries.back().ports.assign(ports, ports + depth);
        }
        if (count >= 0)
            libusb_free_device_list(list, 1);
        return entries;
    }

    LibusbStatus Open(const LibusbDeviceEntry& entry,
                      std::unique_ptr<LibusbHandle>& handle) override {
        libusb_device** list = nullptr;
        const ssize_t count = libusb_get_device_list(context_, &list);
        LibusbStatus status = LibusbStatus::NoDevice;
        for (ssize_t i = 0; i < count; ++i) {
            if (libusb_get_bus_number(list[i]) != entry.bus ||
                libusb_get_device_address(list[i]) != entry.address) {
                continue;
            }
            libusb_device_handle* opened = nullptr;
            status = StatusOf(libusb_open(list[i], &opened));
            if (status == LibusbStatus::Ok)
                handle = std::make_unique<SystemHandle>(context_, list[i], opened);
            break;
        }
        if (count >= 0)
            libusb_free_device_list(list, 1);
        return status;
    }

    bool StartHotplug(std::uint16_t vendorId, std::uint16_t productId,
                      std::function<void(bool)> callback) override {
        if (!libusb_has_capability(LIBUSB_CAP_HAS_HOTPLUG))
            return false;
        callback_ = std::move(callback);
        libusb_hotplug_callback_handle handle = 0;
        const int result = libusb_hotplug_register_callback(
            context_,
            static_cast<libusb_hotplug_event>(LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED |
                                              LIBUSB_HOTPLUG_EVENT_DEVICE_LEFT),
            LIBUSB_HOTPLUG_NO_FLAGS, vendorId, productId, LIBUSB_HOTPLUG_MATCH_ANY,
            &SystemLibusb::OnHotplug, this, &handle);
        if (result != LIBUSB_SUCCESS)
            return false;
        hotplugHandle_ = handle;
        return true;
    }

    void HandleEvents() override {
        timeval zero{0, 0};
        libusb_handle_events_timeout_completed(context_, &zero, nullptr);
    }

  private:
    static int LIBUSB_CALL OnHotplug(libusb_context*, libusb_device*, libusb_hotplug_event event,
                                     void* self) {
        auto* api = static_cast<SystemLibusb*>(self);
        if (api->callback_)
            api->callback_(event == LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED);
        return 0;  // stay registered
    }

    libusb_context* context_;
    std::function<void(bool)> callback_;
    std::optional<libusb_hotplug_callback_handle> hotplugHandle_;
};

}  // namespace

std::unique_ptr<LibusbApi> CreateSystemLibusb() {
    libusb_context* context = nullptr;
    if (libusb_init(&context) != 0)
        return nullptr;
    return std::make_unique<SystemLibusb>(context);
}

}  // namespace torq

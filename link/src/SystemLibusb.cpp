// LibusbApi on libusb-1.0 itself.
#include <libusb.h>

#include <sys/time.h>

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

class SystemHandle final : public LibusbHandle {
  public:
    SystemHandle(libusb_device* device, libusb_device_handle* handle)
        : device_(libusb_ref_device(device)), handle_(handle) {}
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
                         std::uint16_t index, std::span<std::uint8_t> data,
                         std::uint32_t timeoutMs) override {
        return StatusOf(
            libusb_control_transfer(handle_, requestType, request, value, index, data.data(),
                                    static_cast<std::uint16_t>(data.size()), timeoutMs));
    }

    LibusbStatus Bulk(std::uint8_t endpoint, std::span<std::uint8_t> data,
                      std::uint32_t timeoutMs) override {
        int transferred = 0;
        return StatusOf(libusb_bulk_transfer(handle_, endpoint, data.data(),
                                             static_cast<int>(data.size()), &transferred,
                                             timeoutMs));
    }

  private:
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
            entries.push_back({libusb_get_bus_number(list[i]), libusb_get_device_address(list[i]),
                               descriptor.idVendor, descriptor.idProduct, descriptor.iManufacturer,
                               descriptor.iProduct, descriptor.iSerialNumber});
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
                handle = std::make_unique<SystemHandle>(list[i], opened);
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

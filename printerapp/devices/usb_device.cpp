#include "printerapp/devices/usb_device.h"

#include <libusb.h>

#include <algorithm>
#include <cstring>

namespace {

// The printer class's IEEE 1284 device ID request: class, to the interface,
// answered device to host.
constexpr std::uint8_t kGetDeviceId = 0;
constexpr std::uint8_t kDeviceIdRequestType = 0xA1;
constexpr int kControlWithinMs = 5000;
constexpr std::size_t kLargestTransfer = 64 * 1024;

// A printer-class interface setting: bulk-out, and bulk-in when it can
// answer (protocol 2, bidirectional, preferred).
struct PrinterInterface {
    int number = -1;
    int setting = 0;
    int protocol = 0;
    unsigned char out = 0;
    unsigned char in = 0;
};

PrinterInterface printerInterfaceOf(const libusb_config_descriptor& config) {
    PrinterInterface best;
    for (int i = 0; i < config.bNumInterfaces; ++i) {
        const libusb_interface& interface = config.interface[i];
        for (int s = 0; s < interface.num_altsetting; ++s) {
            const libusb_interface_descriptor& setting = interface.altsetting[s];
            if (setting.bInterfaceClass != LIBUSB_CLASS_PRINTER ||
                setting.bInterfaceSubClass != 1 ||
                (setting.bInterfaceProtocol != 1 && setting.bInterfaceProtocol != 2) ||
                setting.bInterfaceProtocol <= best.protocol)
                continue;
            PrinterInterface found{setting.bInterfaceNumber, setting.bAlternateSetting,
                                   setting.bInterfaceProtocol};
            for (int e = 0; e < setting.bNumEndpoints; ++e) {
                const libusb_endpoint_descriptor& endpoint = setting.endpoint[e];
                if ((endpoint.bmAttributes & 3) != LIBUSB_TRANSFER_TYPE_BULK)
                    continue;
                if (endpoint.bEndpointAddress & LIBUSB_ENDPOINT_IN)
                    found.in = found.in ? found.in : endpoint.bEndpointAddress;
                else
                    found.out = found.out ? found.out : endpoint.bEndpointAddress;
            }
            if (found.out)
                best = found;
        }
    }
    return best;
}

// The printer's device ID: two bytes of length (big-endian, counting
// themselves), then the text.
std::string deviceIdOf(libusb_device_handle* handle, int config, const PrinterInterface& printer) {
    unsigned char answer[1024] = {};
    const int got = libusb_control_transfer(
        handle, kDeviceIdRequestType, kGetDeviceId, static_cast<std::uint16_t>(config),
        static_cast<std::uint16_t>(printer.number << 8 | printer.setting), answer, sizeof answer,
        kControlWithinMs);
    if (got < 2)
        return {};
    const std::size_t length = std::min<std::size_t>(
        static_cast<std::size_t>(answer[0] << 8 | answer[1]), static_cast<std::size_t>(got));
    return length > 2 ? std::string(reinterpret_cast<char*>(answer) + 2, length - 2) : "";
}

std::string usbSerialOf(libusb_device* device, libusb_device_handle* handle) {
    libusb_device_descriptor descriptor{};
    unsigned char serial[256] = {};
    if (libusb_get_device_descriptor(device, &descriptor) != 0 || !descriptor.iSerialNumber ||
        libusb_get_string_descriptor_ascii(handle, descriptor.iSerialNumber, serial,
                                           sizeof serial) <= 0)
        return {};
    return reinterpret_cast<char*>(serial);
}

} // namespace

UsbPrinter::~UsbPrinter() {
    close();
    if (context_)
        libusb_exit(context_);
}

bool UsbPrinter::tryDevice(libusb_device* device) {
    libusb_config_descriptor* config = nullptr;
    if (libusb_get_active_config_descriptor(device, &config) != 0 &&
        libusb_get_config_descriptor(device, 0, &config) != 0)
        return false;
    const PrinterInterface printer = printerInterfaceOf(*config);
    const int configValue = config->bConfigurationValue;
    libusb_free_config_descriptor(config);
    if (printer.number < 0)
        return false;
    libusb_device_handle* handle = nullptr;
    if (const int failed = libusb_open(device, &handle)) {
        if (failed == LIBUSB_ERROR_ACCESS)
            error_ = "no permission to use the USB printers (" +
                     std::string(libusb_error_name(failed)) + ")";
        return false;
    }
    const std::string id = deviceIdOf(handle, configValue - 1, printer);
    if (!sameUsbPrinter(wanted_, usbIdentityOfDeviceId(id, usbSerialOf(device, handle)))) {
        libusb_close(handle);
        return false;
    }
    // The system's own printer driver lets go of the interface while the
    // program has it.
    libusb_set_auto_detach_kernel_driver(handle, 1);
    if (const int failed = libusb_claim_interface(handle, printer.number)) {
        error_ = "the USB printer is in use (" + std::string(libusb_error_name(failed)) + ")";
        libusb_close(handle);
        return false;
    }
    if (printer.setting != 0)
        libusb_set_interface_alt_setting(handle, printer.number, printer.setting);
    handle_ = handle;
    interface_ = printer.number;
    out_ = printer.out;
    in_ = printer.in;
    deviceId_ = id;
    return true;
}

bool UsbPrinter::connect(std::string& error) {
    close();
    if (!context_ && libusb_init(&context_) != 0) {
        context_ = nullptr;
        error = error_ = "USB cannot be used here";
        return false;
    }
    error_ = "the USB printer " + wanted_.make + " " + wanted_.model + " is not connected";
    libusb_device** devices = nullptr;
    const ssize_t count = libusb_get_device_list(context_, &devices);
    for (ssize_t i = 0; i < count && !handle_; ++i)
        tryDevice(devices[i]);
    if (devices)
        libusb_free_device_list(devices, 1);
    if (!handle_) {
        error = error_;
        return false;
    }
    written_ = 0;
    error_.clear();
    return true;
}

void UsbPrinter::close() {
    if (!handle_)
        return;
    libusb_release_interface(handle_, interface_);
    libusb_close(handle_);
    handle_ = nullptr;
}

bool UsbPrinter::write(const void* bytes, std::size_t count) {
    auto* next = static_cast<unsigned char*>(const_cast<void*>(bytes));
    WriteWatch watch(*this);
    while (count > 0) {
        if (!handle_) {
            error_ = "the USB printer is not connected";
            return false;
        }
        if (!watch.keepWaiting())
            return false;
        int sent = 0;
        const int result = libusb_bulk_transfer(handle_, out_, next,
                                                static_cast<int>(std::min(count, kLargestTransfer)),
                                                &sent, static_cast<unsigned>(kLookEvery.count()));
        if (sent > 0) {
            next += sent;
            count -= static_cast<std::size_t>(sent);
            written_ += static_cast<std::uint64_t>(sent);
            watch.progressed();
        }
        if (result == 0 || result == LIBUSB_ERROR_TIMEOUT || result == LIBUSB_ERROR_INTERRUPTED)
            continue;
        if (result == LIBUSB_ERROR_PIPE && libusb_clear_halt(handle_, out_) == 0)
            continue; // the printer halted the endpoint; it takes data again
        error_ = "the USB printer went away (" + std::string(libusb_error_name(result)) + ")";
        close();
        return false;
    }
    return true;
}

long UsbPrinter::read(void* bytes, std::size_t count, std::chrono::milliseconds within) {
    if (!handle_ || !in_)
        return -1;
    // A whole packet, whatever is asked for: a shorter buffer would overflow.
    unsigned char packet[512];
    int got = 0;
    const int result =
        libusb_bulk_transfer(handle_, in_, packet, sizeof packet, &got,
                             static_cast<unsigned>(std::max<long>(within.count(), 1)));
    if (result != 0 && result != LIBUSB_ERROR_TIMEOUT) {
        if (result == LIBUSB_ERROR_NO_DEVICE || result == LIBUSB_ERROR_IO) {
            error_ = "the USB printer went away (" + std::string(libusb_error_name(result)) + ")";
            close();
        }
        return -1;
    }
    const std::size_t kept = std::min(count, static_cast<std::size_t>(got));
    std::memcpy(bytes, packet, kept);
    return static_cast<long>(kept);
}

void UsbPrinter::dropUnread() {
    unsigned char stale[64];
    for (int i = 0; i < 8 && read(stale, sizeof stale, std::chrono::milliseconds(1)) > 0; ++i) {
    }
}

namespace {

bool openDevice(pappl_device_t* device, const char* uri, const char*) {
    const std::string given = userUri(uri);
    std::optional<UsbIdentity> wanted = usbIdentityOfUri(given);
    if (!wanted) {
        papplDeviceError(device, "Bad printer address '%s'.", given.c_str());
        return false;
    }
    return openLink(device, given, std::make_unique<UsbPrinter>(std::move(*wanted)));
}

char* deviceId(pappl_device_t* device, char* buffer, size_t size) {
    if (!size)
        return nullptr;
    const auto* printer =
        static_cast<UsbPrinter*>(static_cast<PrinterLink*>(papplDeviceGetData(device)));
    std::snprintf(buffer, size, "%s", printer->deviceId().c_str());
    return buffer;
}

} // namespace

void addUsbScheme() {
    addLinkScheme(kUsbScheme, PAPPL_DEVTYPE_USB, openDevice, deviceId);
}

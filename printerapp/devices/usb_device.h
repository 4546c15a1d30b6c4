// A USB printer (usb://MAKE/MODEL?serial=SERIAL) as the program opens it, with
// libusb: the printer-class interface's bulk-out endpoint for the job's
// bytes, written a tenth of a second at a time, and its bulk-in endpoint,
// where it has one, for the status answer. A printer unplugged fails the
// write; connecting again finds it by its make, model and serial once it is
// plugged back.
#pragma once

#include "printerapp/devices/printer_link.h"
#include "printerapp/devices/usb_identity.h"

#include <string>

struct libusb_context;
struct libusb_device;
struct libusb_device_handle;

// The scheme PAPPL knows the program's USB printers by.
inline constexpr char kUsbScheme[] = "label-usb";

class UsbPrinter final : public PrinterLink {
  public:
    explicit UsbPrinter(UsbIdentity wanted) : wanted_(std::move(wanted)) {}
    ~UsbPrinter() override;

    bool connect(std::string& error) override;
    void close() override;
    bool connected() const override { return handle_ != nullptr; }
    bool write(const void* bytes, std::size_t count) override;
    long read(void* bytes, std::size_t count, std::chrono::milliseconds within) override;
    // A bulk transfer that completed was taken by the printer.
    std::uint64_t acknowledged() override { return written_; }
    // A bulk transfer has ended when the printer took it.
    bool drain() override { return connected(); }

    // The printer's IEEE 1284 device ID, as it gave it at connect().
    const std::string& deviceId() const { return deviceId_; }

  private:
    void dropUnread() override;
    // Opens `device` when it is the printer wanted; false, with error_, when
    // it is not or cannot be had.
    bool tryDevice(libusb_device* device);

    UsbIdentity wanted_;
    libusb_context* context_ = nullptr;
    libusb_device_handle* handle_ = nullptr;
    int interface_ = -1;
    unsigned char out_ = 0;
    unsigned char in_ = 0; // 0: the printer cannot answer
    std::string deviceId_;
};

// Makes PAPPL open usb:// printers through UsbPrinter.
void addUsbScheme();

// Which USB printer a usb:// URI names, as PAPPL lists USB printers:
// usb://MAKE/MODEL?serial=SERIAL, from the printer's IEEE 1284 device ID
// (its serial number from the device ID, or else from its USB descriptor).
#pragma once

#include <optional>
#include <string>

struct UsbIdentity {
    std::string make;
    std::string model;
    std::string serial; // empty when none is known
};

// Make, model and serial of "usb://MAKE/MODEL[?serial=SERIAL]", decoded;
// none when the URI is not one.
std::optional<UsbIdentity> usbIdentityOfUri(const std::string& uri);

// Make, model and serial of a printer from its IEEE 1284 device ID, the
// serial number of its USB descriptor standing in for one the ID lacks.
UsbIdentity usbIdentityOfDeviceId(const std::string& deviceId, const std::string& usbSerial);

// Whether `found` is the printer `wanted` names: the same make and model,
// letter case aside, and the same serial when `wanted` gives one.
bool sameUsbPrinter(const UsbIdentity& wanted, const UsbIdentity& found);

#include "printerapp/devices/usb_identity.h"

#include <cups/cups.h>
#include <pappl/pappl.h>

#include <strings.h>

namespace {

// The first of `keys` the device ID has; empty when none.
std::string valueOf(int count, cups_option_t* pairs, std::initializer_list<const char*> keys) {
    for (const char* key : keys) {
        if (const char* value = cupsGetOption(key, count, pairs))
            return value;
    }
    return {};
}

} // namespace

std::optional<UsbIdentity> usbIdentityOfUri(const std::string& uri) {
    char scheme[32], userpass[256], host[256], resource[1024];
    int port = 0;
    if (httpSeparateURI(HTTP_URI_CODING_ALL, uri.c_str(), scheme, sizeof scheme, userpass,
                        sizeof userpass, host, sizeof host, &port, resource,
                        sizeof resource) < HTTP_URI_STATUS_OK ||
        std::string(scheme) != "usb" || !host[0])
        return std::nullopt;
    UsbIdentity identity;
    identity.make = host;
    std::string path = resource;
    const std::size_t query = path.find('?');
    if (query != std::string::npos) {
        const std::string options = path.substr(query + 1);
        path.erase(query);
        for (std::size_t start = 0; start <= options.size();) {
            std::size_t end = options.find('&', start);
            if (end == std::string::npos)
                end = options.size();
            const std::string option = options.substr(start, end - start);
            if (option.rfind("serial=", 0) == 0)
                identity.serial = option.substr(7);
            start = end + 1;
        }
    }
    if (path.size() < 2 || path.front() != '/')
        return std::nullopt;
    identity.model = path.substr(1);
    return identity;
}

UsbIdentity usbIdentityOfDeviceId(const std::string& deviceId, const std::string& usbSerial) {
    cups_option_t* pairs = nullptr;
    const int count = papplDeviceParseID(deviceId.c_str(), &pairs);
    UsbIdentity identity;
    identity.make = valueOf(count, pairs, {"MANUFACTURER", "MFG"});
    identity.model = valueOf(count, pairs, {"MODEL", "MDL"});
    identity.serial = valueOf(count, pairs, {"SERIALNUMBER", "SERN", "SN"});
    if (identity.serial.empty())
        identity.serial = usbSerial;
    cupsFreeOptions(count, pairs);
    return identity;
}

bool sameUsbPrinter(const UsbIdentity& wanted, const UsbIdentity& found) {
    return strcasecmp(wanted.make.c_str(), found.make.c_str()) == 0 &&
           strcasecmp(wanted.model.c_str(), found.model.c_str()) == 0 &&
           (wanted.serial.empty() || wanted.serial == found.serial);
}

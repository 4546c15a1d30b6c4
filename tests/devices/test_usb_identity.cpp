#include "printerapp/devices/usb_identity.h"

#include <gtest/gtest.h>

namespace {

struct UriCase {
    const char* uri;
    bool valid;
    UsbIdentity expected;
};

TEST(UsbIdentity, OfTheUrisUsbPrintersAreListedBy) {
    const UriCase cases[] = {
        {"usb://Maker/Model?serial=123", true, {"Maker", "Model", "123"}},
        {"usb://Maker/Model", true, {"Maker", "Model", ""}},
        {"usb://Label%20Maker/LP%202844?serial=A%2F1", true, {"Label Maker", "LP 2844", "A/1"}},
        {"usb://Maker/Model?interface=0&serial=9", true, {"Maker", "Model", "9"}},
        {"usb://Maker", false, {}},
        {"usb://Maker/", false, {}},
        {"socket://Maker/Model", false, {}},
        {"not a uri", false, {}},
    };
    for (const UriCase& c : cases) {
        SCOPED_TRACE(c.uri);
        const std::optional<UsbIdentity> got = usbIdentityOfUri(c.uri);
        ASSERT_EQ(got.has_value(), c.valid);
        if (!got)
            continue;
        EXPECT_EQ(got->make, c.expected.make);
        EXPECT_EQ(got->model, c.expected.model);
        EXPECT_EQ(got->serial, c.expected.serial);
    }
}

TEST(UsbIdentity, FindsThePrinterTheUriNames) {
    struct Case {
        const char* deviceId;
        const char* usbSerial;
        const char* uri;
        bool same;
    };
    const Case cases[] = {
        {"MFG:Maker;MDL:Model;CMD:LABEL;SN:123;", "", "usb://Maker/Model?serial=123", true},
        {"MANUFACTURER:Maker;MODEL:Model;SERIALNUMBER:123;", "", "usb://Maker/Model?serial=123",
         true},
        // The serial number of the USB descriptor where the ID gives none.
        {"MFG:Maker;MDL:Model;", "123", "usb://Maker/Model?serial=123", true},
        {"MFG:MAKER;MDL:model;SN:123;", "", "usb://Maker/Model?serial=123", true},
        {"MFG:Maker;MDL:Model;SN:124;", "", "usb://Maker/Model?serial=123", false},
        {"MFG:Maker;MDL:Other;SN:123;", "", "usb://Maker/Model?serial=123", false},
        // A URI without a serial takes the first printer of its model.
        {"MFG:Maker;MDL:Model;SN:5;", "", "usb://Maker/Model", true},
        {"", "", "usb://Maker/Model", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.deviceId) + " / " + c.uri);
        EXPECT_EQ(sameUsbPrinter(*usbIdentityOfUri(c.uri),
                                 usbIdentityOfDeviceId(c.deviceId, c.usbSerial)),
                  c.same);
    }
}

} // namespace

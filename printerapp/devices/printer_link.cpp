#include "printerapp/devices/printer_link.h"

#include "printerapp/devices/printer_status.h"
#include "printerapp/devices/socket_device.h"
#include "printerapp/devices/usb_device.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>

namespace {

// The program's own schemes, and the ones the user writes for them.
constexpr std::pair<const char*, const char*> kSchemes[] = {{"socket", kSocketScheme},
                                                            {"usb", kUsbScheme}};

std::mutex linksLock;
std::map<pappl_device_t*, PrinterLink*> links;
pappl_system_t* theSystem = nullptr;

} // namespace

bool PrinterLink::WriteWatch::keepWaiting() {
    if (link_.abandon && link_.abandon()) {
        link_.error_ = "canceled";
        return false;
    }
    if (!toldStalled_ && std::chrono::steady_clock::now() - lastProgress_ >= kStalledAfter) {
        toldStalled_ = true;
        if (link_.stalled)
            link_.stalled();
    }
    return true;
}

void PrinterLink::WriteWatch::progressed() {
    lastProgress_ = std::chrono::steady_clock::now();
    if (toldStalled_) {
        toldStalled_ = false;
        if (link_.resumed)
            link_.resumed();
    }
}

std::optional<std::uint8_t> PrinterLink::queryStatus() {
    if (!connected())
        return std::nullopt;
    dropUnread();
    if (!write(kStatusQuery, sizeof kStatusQuery))
        return std::nullopt;
    std::uint8_t answer = 0;
    const auto deadline = std::chrono::steady_clock::now() + kStatusAnswerWithin;
    while (std::chrono::steady_clock::now() < deadline) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        const long got = read(&answer, 1, std::max(left, std::chrono::milliseconds(1)));
        if (got == 1)
            return answer;
        if (got < 0)
            return std::nullopt;
    }
    return std::nullopt;
}

PrinterLink* linkOf(pappl_device_t* device) {
    const std::lock_guard<std::mutex> hold(linksLock);
    const auto found = links.find(device);
    return found == links.end() ? nullptr : found->second;
}

bool answersBack(const char* uri) {
    if (!uri)
        return false;
    for (const auto& [user, ours] : kSchemes) {
        const std::size_t length = std::strlen(user);
        if (std::strncmp(uri, user, length) == 0 && std::strncmp(uri + length, "://", 3) == 0)
            return true;
    }
    return false;
}

std::string userUri(const char* uri) {
    for (const auto& [user, ours] : kSchemes) {
        const std::size_t length = std::strlen(ours);
        if (std::strncmp(uri, ours, length) == 0 && uri[length] == ':')
            return user + std::string(uri + length);
    }
    return uri;
}

namespace {

// PAPPL holds the printer's lock while it opens the device, and lets it go
// while it waits to try again: another thread says so meanwhile.
void reportUnreachable(const std::string& uri, const std::string& why) {
    if (!theSystem)
        return;
    std::thread([uri, why] {
        pappl_printer_t* printer = papplSystemFindPrinter(theSystem, nullptr, 0, uri.c_str());
        if (!printer)
            return;
        printerStatuses().setOffline(papplPrinterGetID(printer), true,
                                     "The printer cannot be reached: " + why);
        papplPrinterSetReasons(printer, PAPPL_PREASON_OFFLINE, PAPPL_PREASON_NONE);
    }).detach();
}

PrinterLink* deviceLink(pappl_device_t* device) {
    return static_cast<PrinterLink*>(papplDeviceGetData(device));
}

void closeLink(pappl_device_t* device) {
    {
        const std::lock_guard<std::mutex> hold(linksLock);
        links.erase(device);
    }
    delete deviceLink(device);
}

ssize_t readLink(pappl_device_t* device, void* buffer, size_t bytes) {
    return deviceLink(device)->read(buffer, bytes, kStatusAnswerWithin);
}

ssize_t writeLink(pappl_device_t* device, const void* buffer, size_t bytes) {
    return deviceLink(device)->write(buffer, bytes) ? static_cast<ssize_t>(bytes) : -1;
}

pappl_preason_t linkStatus(pappl_device_t*) {
    return PAPPL_PREASON_NONE; // the driver asks the printer itself
}

} // namespace

bool openLink(pappl_device_t* device, const std::string& uri, std::unique_ptr<PrinterLink> link) {
    std::string error;
    if (!link->connect(error)) {
        papplDeviceError(device, "%s", error.c_str());
        reportUnreachable(uri, error);
        return false;
    }
    const std::lock_guard<std::mutex> hold(linksLock);
    links[device] = link.get();
    papplDeviceSetData(device, link.release());
    return true;
}

void addLinkScheme(const char* scheme, pappl_devtype_t type, pappl_devopen_cb_t open,
                   pappl_devid_cb_t id) {
    papplDeviceAddScheme(scheme, type, nullptr, open, closeLink, readLink, writeLink, linkStatus,
                         id);
}

void addPrinterLinkSchemes(pappl_system_t* system) {
    theSystem = system;
    // PAPPL registers its own schemes at its first device listing, unless
    // another scheme came first: a listing of files (which finds nothing and
    // asks nobody) comes before.
    papplDeviceList(
        PAPPL_DEVTYPE_FILE, [](const char*, const char*, const char*, void*) { return false; },
        nullptr, [](const char*, void*) {}, nullptr);
    addSocketScheme();
    addUsbScheme();
}

// PAPPL opens a printer's device with papplDeviceOpen (through its
// procedure linkage table): socket:// and usb:// printers open with the
// program's own schemes, the URI the user gave staying the printer's (and
// PAPPL's USB listing still finding the printers).
extern "C" pappl_device_t* papplDeviceOpen(const char* uri, const char* name,
                                           pappl_deverror_cb_t error, void* data) {
    using Open = pappl_device_t* (*)(const char*, const char*, pappl_deverror_cb_t, void*);
    static const auto library = reinterpret_cast<Open>(dlsym(RTLD_NEXT, "papplDeviceOpen"));
    for (const auto& [user, ours] : kSchemes) {
        const std::size_t length = std::strlen(user);
        if (uri && std::strncmp(uri, user, length) == 0 &&
            std::strncmp(uri + length, "://", 3) == 0)
            return library((ours + std::string(uri + length)).c_str(), name, error, data);
    }
    return library(uri, name, error, data);
}

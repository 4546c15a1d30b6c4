// What the fuzz targets that drive whole devices share: the plug-in linked
// in, a job's stand-in and device, and a clean module between inputs.
#pragma once

#include "host/standin.h"
#include "page/page_hooks.h"
#include "platform/host/test_controls.h"
#include "settings/command_callback.h"
#include "tests/support/linked_module.h"
#include "text/font_file.h"
#include "text/text_capture.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

namespace fuzzing {

// Tells what an input does, one call a line on standard error, when
// LABEL_FUZZ_TRACE is set: how a crashing input is read.
[[gnu::format(printf, 1, 2)]] inline void trace(const char* format, ...) {
    static const bool wanted = std::getenv("LABEL_FUZZ_TRACE") != nullptr;
    if (!wanted)
        return;
    va_list arguments;
    va_start(arguments, format);
    std::vfprintf(stderr, format, arguments);
    va_end(arguments);
    std::fputc('\n', stderr);
}

// A finding that no sanitizer reports: a broken promise of the plug-in.
inline void require(bool condition) {
    if (!condition)
        std::abort();
}

// The stand-in with the plug-in started and one enabled device; the device
// goes before the stand-in shuts the plug-in down.
class Session {
  public:
    Session() : unidrv(linkedModule()) {}
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
    ~Session() { close(); }

    // False when the plug-in refuses to start or to enable the device, as
    // it may when an allocation fails.
    bool open(const standin::PaperSettings& paper,
              const std::function<void(OemDevMode&)>& edit = {}) {
        std::string error;
        if (!unidrv.startUp(error))
            return false;
        const DEVMODEW publicDm = standin::makePublicDevMode(paper);
        OemDevMode privateDm{};
        if (!unidrv.privateSettingsFor(publicDm, privateDm, error, edit))
            return false;
        device = unidrv.makeDevice(publicDm, privateDm);
        return SUCCEEDED(device->enable());
    }

    // Disables and re-enables the device; false when it stays disabled.
    bool reenable() {
        disable();
        return SUCCEEDED(device->enable());
    }

    // Disables the device and shuts the plug-in down; the spool stays.
    void close() {
        if (device) {
            disable();
            spool = device->spool();
            device.reset();
        }
        unidrv.shutDown();
    }

    // The enabled device; only while open() succeeded.
    standin::Device& dev() { return *device; }
    std::vector<BYTE> spool;

  private:
    // The engine never disables a device inside a document: one left open
    // is aborted first.
    void disable() {
        if (device->enabled()) {
            device->endDoc(ED_ABORTDOC);
            device->disable();
        }
    }

    standin::UnidrvStandIn unidrv;
    std::unique_ptr<standin::Device> device;
};

// The module as freshly loaded: label mode, no text waiting, no font image,
// no allocation set to fail. Returns the blocks held now, which an input
// must leave as it found them.
inline std::int64_t freshModule() {
    platform::host::failNthAllocation(0);
    textMode.store(0);
    firstPage.store(1);
    dropFontImage();
    platform::host::takeDebugOutput();
    return platform::host::liveAllocations();
}

// A 16-bit field: mostly everyday values, sometimes any at all.
inline SHORT shortIn(FuzzedDataProvider& data, SHORT low, SHORT high) {
    return data.ConsumeIntegralInRange(0, 7) == 0 ? data.ConsumeIntegral<SHORT>()
                                                  : data.ConsumeIntegralInRange(low, high);
}

} // namespace fuzzing

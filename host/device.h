// One device context as Unidrv keeps it for the plug-in: the DEVOBJ with its
// devmodes and spool stream, the drawing surface, and the calls that reached
// Unidrv's own entry points.
#pragma once

#include "host/page_bitmap.h"
#include "host/spool_sink.h"
#include "host/write_paths.h"
#include "platform/unidrv.h"
#include "settings/oem_devmode.h"

#include <string>
#include <vector>

namespace standin {

class Device {
  public:
    // `pluginHooks` is the table the plug-in's EnableDriver returned; the
    // device calls the plug-in's hooks through it, as the engine does.
    Device(IPrintOemUni& plugin, const DRVENABLEDATA& pluginHooks, const DEVMODEW& publicSettings,
           const OemDevMode& privateSettings,
           WritePaths::ServiceTable serviceTable = WritePaths::ServiceTable::kFilled);
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;
    ~Device();

    static Device& of(PDEVOBJ pdevobj);
    static Device& of(SURFOBJ* pso);

    // EnablePDEV with Unidrv's own table (the stand-in's, unless given).
    HRESULT enable(const DRVENABLEDATA* unidrvTable = nullptr);
    HRESULT disable();
    bool enabled() const { return devobj().pdevOEM != nullptr; }

    BOOL startDoc(const WCHAR* documentName = u"label", DWORD jobId = 1);
    BOOL startPage();
    BOOL sendPage();
    BOOL endDoc(FLONG flags = 0);
    // Hands the page to the plug-in band by band: DrvStartBanding, each band
    // through ImageProcessing, DrvNextBand between bands.
    void renderPage(const PageView& page, LONG bandHeight, DWORD callbackId = 1);
    void renderPage(const PageBitmap& page, LONG bandHeight, DWORD callbackId = 1) {
        renderPage(page.view(), bandHeight, callbackId);
    }
    HRESULT commandCallback(DWORD callbackId);

    // Appends to the spool stream, counting the writes of each way in.
    // Reports 0 bytes taken once a sink has failed.
    DWORD takeSpoolBytes(const void* bytes, DWORD count, SpoolRoute route);
    // Unidrv's own commands (the job setup) into the stream: not a write of
    // the plug-in's, so not counted among them.
    bool writeUnidrvCommands(const std::vector<BYTE>& bytes);
    // From now on the stream goes to `sink` instead of being kept.
    void streamTo(SpoolSink* sink) { spoolSink = sink; }
    BOOL recordUnidrvCall(const char* call);
    // Whether unidrvCalls() keeps every call's name; a long job that
    // streams its output has no use for them.
    void keepUnidrvCalls(bool keep) { keepCalls = keep; }

    const std::vector<BYTE>& spool() const { return spoolBytes; }
    const std::vector<DWORD>& spoolWrites() const { return writeSizes; }
    std::size_t writesThrough(SpoolRoute route) const { return routeWrites[route]; }
    const std::vector<std::string>& unidrvCalls() const { return calls; }
    // What Unidrv's own entry points answer (TRUE unless a test says).
    void setUnidrvResult(BOOL result) { unidrvResult = result; }

    DEVOBJ& devobj() { return binding.devobj; }
    const DEVOBJ& devobj() const { return binding.devobj; }
    SURFOBJ* surface() { return &surf; }
    DEVMODEW& publicSettings() { return publicDm; }
    OemDevMode& privateSettings() { return privateDm; }
    DEVINFO& devInfo() { return info; }

    // The plug-in's hook for an engine function, as EnableDriver listed it;
    // null when it hooks no such function.
    template <typename Fn> Fn pluginHook(ULONG index) const {
        for (ULONG i = 0; i < hooks.c; ++i) {
            if (hooks.pdrvfn[i].iFunc == index)
                return functionCast<Fn>(hooks.pdrvfn[i].pfn);
        }
        return nullptr;
    }
    IPrintOemUni& pluginObject() { return plugin; }

  private:
    void sendBand(BYTE* band, LONG width, LONG lines, bool blank, DWORD callbackId);

    // The DEVOBJ comes first, so the plug-in's PDEVOBJ leads back here.
    struct Binding {
        DEVOBJ devobj;
        Device* owner;
    } binding{};
    IPrintOemUni& plugin;
    const DRVENABLEDATA& hooks;
    DRVPROCS procs{};
    DEVMODEW publicDm;
    OemDevMode privateDm;
    SURFOBJ surf{};
    DEVINFO info{};
    std::vector<BYTE> spoolBytes;
    std::vector<DWORD> writeSizes;
    std::size_t routeWrites[kSpoolRouteCount] = {};
    SpoolSink* spoolSink = nullptr;
    std::vector<std::string> calls;
    bool keepCalls = true;
    BOOL unidrvResult = TRUE;
};

} // namespace standin

#include "support/fake_device.h"

#include "host/band_description.h"

#include "page/band_capture.h"
#include "page/page_hooks.h"
#include "plugin/driver_lifecycle.h"
#include "settings/command_callback.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>

namespace fake {
namespace {

// Every stand-in finds its device through the engine handle, which the
// device points at itself.
FakeDevice& ownerOf(PDEVOBJ pdevobj) {
    return *static_cast<FakeDevice*>(pdevobj->hEngine);
}
FakeDevice& ownerOf(SURFOBJ* pso) {
    return ownerOf(static_cast<PDEVOBJ>(pso->dhpdev));
}

DWORD STDCALL recordSpoolWrite(PDEVOBJ pdevobj, PVOID buffer, DWORD count) {
    FakeDevice& device = ownerOf(pdevobj);
    if (count > 0 && !buffer) {
        ADD_FAILURE() << "spool write of " << count << " bytes from a null buffer";
        return 0;
    }
    const auto* bytes = static_cast<const std::uint8_t*>(buffer);
    std::vector<std::uint8_t> write(bytes, bytes + count);
    device.spool.insert(device.spool.end(), write.begin(), write.end());
    device.writes.push_back(std::move(write));
    return count;
}

BOOL unidrvAnswer(SURFOBJ* pso, UnidrvHookRow row) {
    FakeDevice& device = ownerOf(pso);
    device.unidrvCalls.push_back({row, device.spool.size(), device.writes.size()});
    device.lastSurface = pso;
    return device.unidrvResult[row];
}

BOOL STDCALL unidrvBitBlt(SURFOBJ* pso, SURFOBJ*, SURFOBJ*, CLIPOBJ*, XLATEOBJ*, RECTL*, POINTL*,
                          POINTL*, BRUSHOBJ*, POINTL*, ROP4) {
    return unidrvAnswer(pso, kRowBitBlt);
}

BOOL STDCALL unidrvStretchBlt(SURFOBJ* pso, SURFOBJ*, SURFOBJ*, CLIPOBJ*, XLATEOBJ*,
                              COLORADJUSTMENT*, POINTL*, RECTL*, RECTL*, POINTL*, ULONG) {
    return unidrvAnswer(pso, kRowStretchBlt);
}

BOOL STDCALL unidrvTextOut(SURFOBJ* pso, STROBJ*, FONTOBJ*, CLIPOBJ*, RECTL*, RECTL*, BRUSHOBJ*,
                           BRUSHOBJ*, POINTL*, MIX) {
    return unidrvAnswer(pso, kRowTextOut);
}

BOOL STDCALL unidrvStrokePath(SURFOBJ* pso, PATHOBJ*, CLIPOBJ*, XFORMOBJ*, BRUSHOBJ*, POINTL*,
                              LINEATTRS*, MIX) {
    return unidrvAnswer(pso, kRowStrokePath);
}

BOOL STDCALL unidrvStartPage(SURFOBJ* pso) {
    return unidrvAnswer(pso, kRowStartPage);
}

BOOL STDCALL unidrvSendPage(SURFOBJ* pso) {
    return unidrvAnswer(pso, kRowSendPage);
}

BOOL STDCALL unidrvStartDoc(SURFOBJ* pso, LPWSTR docName, DWORD jobId) {
    ownerOf(pso).lastDocName = docName;
    ownerOf(pso).lastJobId = jobId;
    return unidrvAnswer(pso, kRowStartDoc);
}

BOOL STDCALL unidrvEndDoc(SURFOBJ* pso, FLONG flags) {
    ownerOf(pso).lastEndDocFlags = flags;
    return unidrvAnswer(pso, kRowEndDoc);
}

BOOL STDCALL unidrvNextBand(SURFOBJ* pso, POINTL* point) {
    ownerOf(pso).lastBandPoint = point;
    return unidrvAnswer(pso, kRowNextBand);
}

BOOL STDCALL unidrvStartBanding(SURFOBJ* pso, POINTL* point) {
    ownerOf(pso).lastBandPoint = point;
    return unidrvAnswer(pso, kRowStartBanding);
}

const PFN stubs[kUnidrvHookCount] = {
    functionCast<PFN>(unidrvBitBlt),    functionCast<PFN>(unidrvStretchBlt),
    functionCast<PFN>(unidrvTextOut),   functionCast<PFN>(unidrvStrokePath),
    functionCast<PFN>(unidrvStartPage), functionCast<PFN>(unidrvSendPage),
    functionCast<PFN>(unidrvStartDoc),  functionCast<PFN>(unidrvEndDoc),
    functionCast<PFN>(unidrvNextBand),  functionCast<PFN>(unidrvStartBanding),
};

// DDI index of each hook row, written out here rather than taken from the
// plug-in's table so that a wrong row in that table shows.
constexpr ULONG rowIndexes[kUnidrvHookCount] = {
    INDEX_DrvBitBlt,    INDEX_DrvStretchBlt,   INDEX_DrvTextOut,  INDEX_DrvStrokePath,
    INDEX_DrvStartPage, INDEX_DrvSendPage,     INDEX_DrvStartDoc, INDEX_DrvEndDoc,
    INDEX_DrvNextBand,  INDEX_DrvStartBanding,
};

} // namespace

std::vector<DRVFN> unidrvEntryPoints() {
    std::vector<DRVFN> table;
    for (int row = 0; row < kUnidrvHookCount; ++row)
        table.push_back({rowIndexes[row], stubs[row]});
    return table;
}

PFN unidrvStub(UnidrvHookRow row) {
    return stubs[row];
}

void resetModuleState() {
    textMode.store(0);
    firstPage.store(1);
}

void setCommand(WCHAR (&field)[kCommandTextUnits], std::u16string_view hex) {
    std::fill(std::begin(field), std::end(field), WCHAR{0});
    for (std::size_t i = 0; i < hex.size() && i + 1 < kCommandTextUnits; ++i)
        field[i] = hex[i];
}

FakeDevice::FakeDevice(SHORT orientation) : unidrvTable(unidrvEntryPoints()) {
    enable(orientation);
}

FakeDevice::FakeDevice(SHORT orientation, std::vector<DRVFN> table)
    : unidrvTable(std::move(table)) {
    enable(orientation);
}

void FakeDevice::enable(SHORT orientation) {
    resetModuleState();
    for (BOOL& result : unidrvResult)
        result = TRUE;

    publicDM.dmSize = sizeof(DEVMODEW);
    publicDM.dmDriverExtra = kOemDevModeSize;
    publicDM.dmOrientation = orientation;
    publicDM.dmPaperLength = 1000;
    publicDM.dmPaperWidth = 1000;
    publicDM.dmPrintQuality = 203;
    publicDM.dmYResolution = 203;
    publicDM.dmColor = DMCOLOR_MONOCHROME;
    defaultDevMode(&publicDM, &settings);

    procs.DrvWriteSpoolBuf = recordSpoolWrite;
    devobj.dwSize = sizeof(DEVOBJ);
    devobj.hEngine = this;
    devobj.pPublicDM = &publicDM;
    devobj.pOEMDM = &settings;
    devobj.pDrvProcs = &procs;
    surfobj.dhpdev = &devobj;

    unidrvData.iDriverVersion = DDI_DRIVER_VERSION_NT5;
    unidrvData.c = static_cast<ULONG>(unidrvTable.size());
    unidrvData.pdrvfn = unidrvTable.data();
    enableResult = enablePdev(&devInfo, &unidrvData, &devobj.pdevOEM);
}

FakeDevice::~FakeDevice() {
    if (devobj.pdevOEM)
        disablePdev(&devobj);
}

void FakeDevice::clearRecords() {
    spool.clear();
    writes.clear();
    unidrvCalls.clear();
}

int FakeDevice::callsOf(UnidrvHookRow row) const {
    int count = 0;
    for (const UnidrvCall& call : unidrvCalls)
        count += call.row == row;
    return count;
}

HRESULT feedBand(FakeDevice& device, LONG biWidth, const std::vector<std::vector<BYTE>>& lines,
                 DWORD callbackId) {
    std::vector<BYTE> bitmap;
    for (const auto& line : lines)
        bitmap.insert(bitmap.end(), line.begin(), line.end());
    standin::BandDescription band =
        standin::describeBand(biWidth, static_cast<LONG>(lines.size()), 1, false);
    PBYTE result = nullptr;
    return captureBand(device.device(), bitmap.empty() ? nullptr : bitmap.data(), &band.header,
                       callbackId, &band.params, &result);
}

HRESULT feedBlankBand(FakeDevice& device, LONG biWidth, LONG lineCount) {
    standin::BandDescription band = standin::describeBand(biWidth, lineCount, 1, true);
    PBYTE result = nullptr;
    return captureBand(device.device(), nullptr, &band.header, 1, &band.params, &result);
}

} // namespace fake

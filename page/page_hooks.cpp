#include "page/page_hooks.h"

#include "page/hex_command.h"
#include "page/label_output.h"
#include "plugin/hook_dispatch.h"
#include "settings/command_callback.h"
#include "text/text_capture.h"

std::atomic<DWORD> firstPage{1};

namespace {

constexpr LONG kSpareLines = 10;

// Frees every captured line and the table; the next page starts without one.
void releasePageRows(OemPDEV* pdev) {
    if (!pdev->rows)
        return;
    for (LONG r = 0; r < pdev->rowCount; ++r) {
        PageRow& slot = pdev->rows[r];
        if (slot.inUse == 1) {
            platform::heapFree(pdev->heap, slot.bits);
            slot = {};
        }
    }
    platform::heapFree(pdev->heap, pdev->rows);
    pdev->rows = nullptr;
}

// The label program and the release of the captured rows. A page whose table
// could not be allocated has nothing captured, so no label is written for it.
void finishPage(PDEVOBJ pdevobj, OemPDEV* pdev) {
    const bool labelMode = textMode.load(std::memory_order_relaxed) == 0;
    if (labelMode && pdev->rows)
        emitLabelPage(pdevobj);
    releasePageRows(pdev);
    if (labelMode)
        pdev->pageOpen = 0;
}

} // namespace

LONG pageCapacity(const DEVMODEW& dm) {
    const LONG dots = dm.dmOrientation == DMORIENT_PORTRAIT
                          ? LONG{dm.dmPaperLength} * dm.dmYResolution / 254
                          : LONG{dm.dmPaperWidth} * dm.dmPrintQuality / 254;
    return dots + kSpareLines;
}

BOOL STDCALL DrvStartDoc(SURFOBJ* pso, LPWSTR pwszDocName, DWORD dwJobId) {
    firstPage.store(1, std::memory_order_relaxed);
    return passOnToUnidrv<PFN_DrvStartDoc>(oemPdevOf(deviceOf(pso)), kRowStartDoc, pso,
                                           pwszDocName, dwJobId);
}

BOOL STDCALL DrvStartPage(SURFOBJ* pso) {
    PDEVOBJ pdevobj = deviceOf(pso);
    OemPDEV* pdev = oemPdevOf(pdevobj);
    const LONG capacity = pageCapacity(*pdevobj->pPublicDM);
    releasePageRows(pdev); // a page that never reached DrvSendPage
    if (capacity >= 0)
        pdev->rows = static_cast<PageRow*>(platform::heapAllocZero(
            pdev->heap, static_cast<std::size_t>(capacity) * sizeof(PageRow)));
    if (!pdev->rows)
        return FALSE;
    pdev->approHeight = capacity;
    pdev->rowCount = 0;
    pdev->pageOpen = 0; // a page ended in text mode must not lend this one its line width
    return passOnToUnidrv<PFN_DrvStartPage>(pdev, kRowStartPage, pso);
}

BOOL STDCALL DrvSendPage(SURFOBJ* pso) {
    PDEVOBJ pdevobj = deviceOf(pso);
    OemPDEV* pdev = oemPdevOf(pdevobj);
    const OemDevMode& settings = *oemDevModeOf(pdevobj);
    if (firstPage.exchange(0, std::memory_order_relaxed))
        sendHexCommand(pdevobj, settings.jobStartOn, settings.jobStartCmd);
    sendHexCommand(pdevobj, settings.pageStartOn, settings.pageStartCmd);
    const BOOL result = passOnToUnidrv<PFN_DrvSendPage>(pdev, kRowSendPage, pso);
    endTextLine(pdevobj); // the page's last text line is not held for the next page
    finishPage(pdevobj, pdev);
    sendHexCommand(pdevobj, settings.pageEndOn, settings.pageEndCmd);
    return result;
}

BOOL STDCALL DrvEndDoc(SURFOBJ* pso, FLONG fl) {
    PDEVOBJ pdevobj = deviceOf(pso);
    const OemDevMode& settings = *oemDevModeOf(pdevobj);
    // Text after the last page is sent; an aborted document's is dropped.
    endTextLine(pdevobj, (fl & ED_ABORTDOC) != 0);
    sendHexCommand(pdevobj, settings.jobEndOn, settings.jobEndCmd);
    return passOnToUnidrv<PFN_DrvEndDoc>(oemPdevOf(pdevobj), kRowEndDoc, pso, fl);
}

BOOL STDCALL DrvStartBanding(SURFOBJ* pso, POINTL* pptl) {
    return passOnToUnidrv<PFN_DrvStartBanding>(oemPdevOf(deviceOf(pso)), kRowStartBanding, pso,
                                               pptl);
}

BOOL STDCALL DrvNextBand(SURFOBJ* pso, POINTL* pptl) {
    return passOnToUnidrv<PFN_DrvNextBand>(oemPdevOf(deviceOf(pso)), kRowNextBand, pso, pptl);
}

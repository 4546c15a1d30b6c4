#include "plugin/driver_lifecycle.h"

#include "page/page_hooks.h"
#include "plugin/oem_pdev.h"
#include "text/colour_filter.h"
#include "text/font_file.h"
#include "text/font_metrics.h"
#include "text/text_hook.h"

namespace {

template <typename Fn> DRVFN hook(ULONG index, Fn fn) {
    return {index, functionCast<PFN>(fn)};
}

// Unidrv's entry point for `index`: the first entry that names it, or null.
PFN findUnidrvHook(const DRVENABLEDATA* pded, ULONG index) {
    if (!pded || !pded->pdrvfn)
        return nullptr;
    for (ULONG i = 0; i < pded->c; ++i) {
        if (pded->pdrvfn[i].iFunc == index)
            return pded->pdrvfn[i].pfn;
    }
    return nullptr;
}

} // namespace

// Rows 0 to 9 are passed on to Unidrv, from the slot of the same number.
const DRVFN hookTable[kHookCount] = {
    hook(INDEX_DrvBitBlt, DrvBitBlt),
    hook(INDEX_DrvStretchBlt, DrvStretchBlt),
    hook(INDEX_DrvTextOut, DrvTextOut),
    hook(INDEX_DrvStrokePath, DrvStrokePath),
    hook(INDEX_DrvStartPage, DrvStartPage),
    hook(INDEX_DrvSendPage, DrvSendPage),
    hook(INDEX_DrvStartDoc, DrvStartDoc),
    hook(INDEX_DrvEndDoc, DrvEndDoc),
    hook(INDEX_DrvNextBand, DrvNextBand),
    hook(INDEX_DrvStartBanding, DrvStartBanding),
    hook(INDEX_DrvQueryFontData, DrvQueryFontData),
    hook(INDEX_DrvQueryAdvanceWidths, DrvQueryAdvanceWidths),
};

HRESULT enableDriver(DRVENABLEDATA* pded) {
    if (pded) {
        pded->iDriverVersion = DDI_DRIVER_VERSION_NT5;
        pded->c = kHookCount;
        pded->pdrvfn = const_cast<DRVFN*>(hookTable);
    }
    return S_OK;
}

HRESULT enablePdev(DEVINFO* pDevInfo, const DRVENABLEDATA* pded, PVOID* pDevOem,
                   IPrintOemDriverUni* driverServices) {
    auto* pdev = static_cast<OemPDEV*>(platform::globalAllocZero(sizeof(OemPDEV)));
    if (!pdev) {
        *pDevOem = nullptr;
        return E_FAIL;
    }
    if (pDevInfo)
        pDevInfo->cFonts = 1; // the printer-resident font
    for (int row = 0; row < kUnidrvHookCount; ++row)
        pdev->unidrvHooks[row] = findUnidrvHook(pded, hookTable[row].iFunc);
    pdev->heap = platform::heapCreate();
    if (!pdev->heap) {
        platform::globalFree(pdev);
        *pDevOem = nullptr;
        return E_FAIL;
    }
    installFontImage(loadFontImage());
    // The device keeps its own reference, so the services outlive it even
    // when the driver lets go of them first.
    if (driverServices) {
        driverServices->AddRef();
        pdev->driverServices = driverServices;
    }
    *pDevOem = pdev;
    return S_OK;
}

HRESULT disablePdev(PDEVOBJ pdevobj) {
    if (auto* pdev = pdevobj ? static_cast<OemPDEV*>(pdevobj->pdevOEM) : nullptr) {
        platform::heapDestroy(pdev->heap);
        if (pdev->driverServices)
            pdev->driverServices->Release();
        platform::globalFree(pdev);
    }
    dropFontImage();
    return S_OK;
}

#include "host/unidrv_hooks.h"

#include "host/device.h"

namespace standin {
namespace {

BOOL record(SURFOBJ* pso, const char* call) {
    return Device::of(pso).recordUnidrvCall(call);
}

BOOL STDCALL unidrvBitBlt(SURFOBJ* pso, SURFOBJ*, SURFOBJ*, CLIPOBJ*, XLATEOBJ*, RECTL*, POINTL*,
                          POINTL*, BRUSHOBJ*, POINTL*, ROP4) {
    return record(pso, "DrvBitBlt");
}

BOOL STDCALL unidrvStretchBlt(SURFOBJ* pso, SURFOBJ*, SURFOBJ*, CLIPOBJ*, XLATEOBJ*,
                              COLORADJUSTMENT*, POINTL*, RECTL*, RECTL*, POINTL*, ULONG) {
    return record(pso, "DrvStretchBlt");
}

BOOL STDCALL unidrvTextOut(SURFOBJ* pso, STROBJ*, FONTOBJ*, CLIPOBJ*, RECTL*, RECTL*, BRUSHOBJ*,
                           BRUSHOBJ*, POINTL*, MIX) {
    return record(pso, "DrvTextOut");
}

BOOL STDCALL unidrvStrokePath(SURFOBJ* pso, PATHOBJ*, CLIPOBJ*, XFORMOBJ*, BRUSHOBJ*, POINTL*,
                              LINEATTRS*, MIX) {
    return record(pso, "DrvStrokePath");
}

BOOL STDCALL unidrvStartPage(SURFOBJ* pso) {
    return record(pso, "DrvStartPage");
}

BOOL STDCALL unidrvSendPage(SURFOBJ* pso) {
    return record(pso, "DrvSendPage");
}

BOOL STDCALL unidrvStartDoc(SURFOBJ* pso, LPWSTR, DWORD) {
    return record(pso, "DrvStartDoc");
}

BOOL STDCALL unidrvEndDoc(SURFOBJ* pso, FLONG) {
    return record(pso, "DrvEndDoc");
}

BOOL STDCALL unidrvNextBand(SURFOBJ* pso, POINTL*) {
    return record(pso, "DrvNextBand");
}

BOOL STDCALL unidrvStartBanding(SURFOBJ* pso, POINTL*) {
    return record(pso, "DrvStartBanding");
}

template <typename Fn> DRVFN entry(ULONG index, Fn fn) {
    return {index, functionCast<PFN>(fn)};
}

} // namespace

const DRVENABLEDATA& unidrvHookTable() {
    static DRVFN functions[] = {
        entry(INDEX_DrvStartDoc, unidrvStartDoc),
        entry(INDEX_DrvEndDoc, unidrvEndDoc),
        entry(INDEX_DrvStartPage, unidrvStartPage),
        entry(INDEX_DrvSendPage, unidrvSendPage),
        entry(INDEX_DrvStartBanding, unidrvStartBanding),
        entry(INDEX_DrvNextBand, unidrvNextBand),
        entry(INDEX_DrvBitBlt, unidrvBitBlt),
        entry(INDEX_DrvStretchBlt, unidrvStretchBlt),
        entry(INDEX_DrvStrokePath, unidrvStrokePath),
        entry(INDEX_DrvTextOut, unidrvTextOut),
    };
    static DRVENABLEDATA table = {DDI_DRIVER_VERSION_NT5, sizeof functions / sizeof functions[0],
                                  functions};
    return table;
}

} // namespace standin

#include "text/colour_filter.h"

#include "plugin/hook_dispatch.h"

ColourClass classifyColour(ULONG colour) {
    switch (colour) {
    case 0x000000FF:
        return kRed;
    case 0x0000FF00:
        return kGreen;
    case 0x00FF0000:
        return kBlue;
    case 0x0000FFFF:
        return kYellow;
    case 0x00FF00FF:
        return kMagenta;
    case 0x00FFFF00:
        return kCyan;
    default:
        return kOther;
    }
}

ColourClass brushClass(const BRUSHOBJ* pbo) {
    return pbo ? classifyColour(pbo->iSolidColor) : kOther;
}

bool textColourPrints(const OemDevMode& settings, const BRUSHOBJ* pboFore) {
    return settings.colourFlags[brushClass(pboFore)].printText != 0;
}

BOOL STDCALL DrvBitBlt(SURFOBJ* psoTrg, SURFOBJ* psoSrc, SURFOBJ* psoMask, CLIPOBJ* pco,
                       XLATEOBJ* pxlo, RECTL* prclTrg, POINTL* pptlSrc, POINTL* pptlMask,
                       BRUSHOBJ* pbo, POINTL* pptlBrush, ROP4 rop4) {
    PDEVOBJ pdevobj = deviceOf(psoTrg);
    if (!oemDevModeOf(pdevobj)->colourFlags[brushClass(pbo)].printBitmaps)
        return TRUE;
    return passOnToUnidrv<PFN_DrvBitBlt>(oemPdevOf(pdevobj), kRowBitBlt, psoTrg, psoSrc, psoMask,
                                         pco, pxlo, prclTrg, pptlSrc, pptlMask, pbo, pptlBrush,
                                         rop4);
}

BOOL STDCALL DrvStretchBlt(SURFOBJ* psoDest, SURFOBJ* psoSrc, SURFOBJ* psoMask, CLIPOBJ* pco,
                           XLATEOBJ* pxlo, COLORADJUSTMENT* pca, POINTL* pptlHTOrg,
                           RECTL* prclDest, RECTL* prclSrc, POINTL* pptlMask, ULONG iMode) {
    PDEVOBJ pdevobj = deviceOf(psoDest);
    if (!oemDevModeOf(pdevobj)->colourFlags[kOther].printBitmaps)
        return TRUE;
    return passOnToUnidrv<PFN_DrvStretchBlt>(oemPdevOf(pdevobj), kRowStretchBlt, psoDest, psoSrc,
                                             psoMask, pco, pxlo, pca, pptlHTOrg, prclDest,
                                             prclSrc, pptlMask, iMode);
}

BOOL STDCALL DrvStrokePath(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, XFORMOBJ* pxo, BRUSHOBJ* pbo,
                           POINTL* pptlBrushOrg, LINEATTRS* plineattrs, MIX mix) {
    PDEVOBJ pdevobj = deviceOf(pso);
    if (!oemDevModeOf(pdevobj)->colourFlags[brushClass(pbo)].printLines)
        return TRUE;
    return passOnToUnidrv<PFN_DrvStrokePath>(oemPdevOf(pdevobj), kRowStrokePath, pso, ppo, pco,
                                             pxo, pbo, pptlBrushOrg, plineattrs, mix);
}

#include "text/text_hook.h"

#include "plugin/hook_dispatch.h"
#include "text/colour_filter.h"

BOOL STDCALL DrvTextOut(SURFOBJ* pso, STROBJ* pstro, FONTOBJ* pfo, CLIPOBJ* pco, RECTL* prclExtra,
                        RECTL* prclOpaque, BRUSHOBJ* pboFore, BRUSHOBJ* pboOpaque, POINTL* pptlOrg,
                        MIX mix) {
    PDEVOBJ pdevobj = deviceOf(pso);
    if (!textColourPrints(*oemDevModeOf(pdevobj), pboFore))
        return TRUE;
    return passOnToUnidrv<PFN_DrvTextOut>(oemPdevOf(pdevobj), kRowTextOut, pso, pstro, pfo, pco,
                                          prclExtra, prclOpaque, pboFore, pboOpaque, pptlOrg, mix);
}

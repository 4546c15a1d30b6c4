#include "text/text_hook.h"

#include "plugin/hook_dispatch.h"
#include "settings/command_callback.h"
#include "text/colour_filter.h"
#include "text/text_capture.h"

// Text in the printer font, and all text once in text mode, is captured and
// never drawn, whatever its colour; other text is drawn by Unidrv unless its
// colour class has text switched off.
BOOL STDCALL DrvTextOut(SURFOBJ* pso, STROBJ* pstro, FONTOBJ* pfo, CLIPOBJ* pco, RECTL* prclExtra,
                        RECTL* prclOpaque, BRUSHOBJ* pboFore, BRUSHOBJ* pboOpaque, POINTL* pptlOrg,
                        MIX mix) {
    PDEVOBJ pdevobj = deviceOf(pso);
    if (textMode.load(std::memory_order_relaxed) != 0 || isPrinterFont(pfo)) {
        captureText(pdevobj, pstro);
        return TRUE;
    }
    if (!textColourPrints(*oemDevModeOf(pdevobj), pboFore))
        return TRUE;
    return passOnToUnidrv<PFN_DrvTextOut>(oemPdevOf(pdevobj), kRowTextOut, pso, pstro, pfo, pco,
                                          prclExtra, prclOpaque, pboFore, pboOpaque, pptlOrg, mix);
}

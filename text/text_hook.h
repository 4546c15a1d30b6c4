// The text hook: text mode takes text for the printer's own font, anything
// else passes the colour gate on its way to Unidrv.
#pragma once

#include "platform/unidrv.h"

BOOL STDCALL DrvTextOut(SURFOBJ* pso, STROBJ* pstro, FONTOBJ* pfo, CLIPOBJ* pco, RECTL* prclExtra,
                        RECTL* prclOpaque, BRUSHOBJ* pboFore, BRUSHOBJ* pboOpaque, POINTL* pptlOrg,
                        MIX mix);

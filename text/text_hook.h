// The text hook: the colour gate for text drawn by Unidrv.
#pragma once

#include "platform/unidrv.h"

BOOL STDCALL DrvTextOut(SURFOBJ* pso, STROBJ* pstro, FONTOBJ* pfo, CLIPOBJ* pco, RECTL* prclExtra,
                        RECTL* prclOpaque, BRUSHOBJ* pboFore, BRUSHOBJ* pboOpaque, POINTL* pptlOrg,
                        MIX mix);

// The colour-class gate: drawing calls in a solid colour whose class the
// user switched off are dropped and reported as done.
#pragma once

#include "platform/unidrv.h"
#include "settings/oem_devmode.h"

enum ColourClass : int { kOther = 0, kRed, kGreen, kBlue, kYellow, kMagenta, kCyan };

// Exact match of all 32 bits of a solid colour (0x00BBGGRR); anything else,
// a non-solid brush included, is class 0.
ColourClass classifyColour(ULONG colour);

// The class of a call's brush: class 0 without one.
ColourClass brushClass(const BRUSHOBJ* pbo);

// What the switch of the brush's class says for text.
bool textColourPrints(const OemDevMode& settings, const BRUSHOBJ* pboFore);

BOOL STDCALL DrvBitBlt(SURFOBJ* psoTrg, SURFOBJ* psoSrc, SURFOBJ* psoMask, CLIPOBJ* pco,
                       XLATEOBJ* pxlo, RECTL* prclTrg, POINTL* pptlSrc, POINTL* pptlMask,
                       BRUSHOBJ* pbo, POINTL* pptlBrush, ROP4 rop4);
BOOL STDCALL DrvStretchBlt(SURFOBJ* psoDest, SURFOBJ* psoSrc, SURFOBJ* psoMask, CLIPOBJ* pco,
                           XLATEOBJ* pxlo, COLORADJUSTMENT* pca, POINTL* pptlHTOrg,
                           RECTL* prclDest, RECTL* prclSrc, POINTL* pptlMask, ULONG iMode);
BOOL STDCALL DrvStrokePath(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, XFORMOBJ* pxo, BRUSHOBJ* pbo,
                           POINTL* pptlBrushOrg, LINEATTRS* plineattrs, MIX mix);

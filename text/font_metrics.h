// The graphics engine's metric queries for the printer-resident font.
#pragma once

#include "platform/unidrv.h"

LONG STDCALL DrvQueryFontData(DHPDEV dhpdev, FONTOBJ* pfo, ULONG iMode, HGLYPH hg, GLYPHDATA* pgd,
                              PVOID pv, ULONG cjSize);
BOOL STDCALL DrvQueryAdvanceWidths(DHPDEV dhpdev, FONTOBJ* pfo, ULONG iMode, HGLYPH* phg,
                                   PVOID pvWidths, ULONG cGlyphs);

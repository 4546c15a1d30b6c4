// The graphics engine's metric queries for the printer-resident font,
// answered from its font transform and the metrics file.
#pragma once

#include "platform/unidrv.h"

#include <cstdint>

// The integer length of (x, y): the smallest r with r × r ≥ x × x + y × y,
// exact for every pair of 32-bit values.
std::int64_t vectorLength(LONG x, LONG y);

// A 28.4 value brought to the nearest whole device pixel, halves going up.
std::int64_t snapToPixel(std::int64_t value);

LONG STDCALL DrvQueryFontData(DHPDEV dhpdev, FONTOBJ* pfo, ULONG iMode, HGLYPH hg, GLYPHDATA* pgd,
                              PVOID pv, ULONG cjSize);
BOOL STDCALL DrvQueryAdvanceWidths(DHPDEV dhpdev, FONTOBJ* pfo, ULONG iMode, HGLYPH* phg,
                                   PVOID pvWidths, ULONG cGlyphs);

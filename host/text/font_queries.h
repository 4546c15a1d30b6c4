// The engine's font queries to a device: through the plug-in's hook table,
// with the device's PDEVOBJ as dhpdev and a realised font as FONTOBJ.
#pragma once

#include "host/device.h"
#include "host/text/engine_objects.h"

namespace standin {

// DrvQueryFontData as the engine calls it; FD_ERROR when the plug-in does not
// answer the query.
inline LONG queryFontData(Device& device, EngineFont& font, ULONG iMode, HGLYPH hg, GLYPHDATA* pgd,
                          PVOID pv, ULONG cjSize) {
    const auto hook = device.pluginHook<PFN_DrvQueryFontData>(INDEX_DrvQueryFontData);
    return hook ? hook(&device.devobj(), &font.fontobj, iMode, hg, pgd, pv, cjSize) : FD_ERROR;
}

// The device metrics of the font (QFD_MAXEXTENTS) into `metrics`.
inline LONG queryDeviceMetrics(Device& device, EngineFont& font, FD_DEVICEMETRICS& metrics) {
    return queryFontData(device, font, QFD_MAXEXTENTS, 0, nullptr, &metrics, sizeof metrics);
}

// The glyph data of one glyph (QFD_GLYPHANDBITMAP) into `glyph`.
inline LONG queryGlyphData(Device& device, EngineFont& font, HGLYPH hg, GLYPHDATA& glyph) {
    return queryFontData(device, font, QFD_GLYPHANDBITMAP, hg, &glyph, nullptr, 0);
}

// DrvQueryAdvanceWidths as the engine calls it; FALSE when the plug-in does
// not answer the query.
inline BOOL queryAdvanceWidths(Device& device, EngineFont& font, ULONG iMode, HGLYPH* phg,
                               USHORT* widths, ULONG cGlyphs) {
    const auto hook = device.pluginHook<PFN_DrvQueryAdvanceWidths>(INDEX_DrvQueryAdvanceWidths);
    return hook ? hook(&device.devobj(), &font.fontobj, iMode, phg, widths, cGlyphs) : FALSE;
}

} // namespace standin

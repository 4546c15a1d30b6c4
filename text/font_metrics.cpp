#include "text/font_metrics.h"

// The font's metrics are not answered yet: every query fails as it does
// without a metrics file.
LONG STDCALL DrvQueryFontData(DHPDEV, FONTOBJ*, ULONG, HGLYPH, GLYPHDATA*, PVOID, ULONG) {
    return FD_ERROR;
}

BOOL STDCALL DrvQueryAdvanceWidths(DHPDEV, FONTOBJ*, ULONG, HGLYPH*, PVOID, ULONG) {
    return FALSE;
}

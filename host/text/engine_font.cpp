// The engine's font transform services: a realised font's notional-to-device
// transform, and its application to integer points.
#include "host/text/engine_export.h"
#include "host/text/engine_objects.h"

#include <cmath>
#include <limits>

namespace {

using standin::EngineFont;

// The transform behind the XFORMOBJ the engine handed out.
const EngineFont::Transform& transformOf(XFORMOBJ* pxo) {
    return *reinterpret_cast<const EngineFont::Transform*>(pxo);
}

// Rounds to the nearest integer, halves away from zero; false when the value
// has no 32-bit integer.
bool roundToLong(double value, LONG& out) {
    const double rounded = std::round(value);
    if (!(rounded >= std::numeric_limits<LONG>::min() &&
          rounded <= std::numeric_limits<LONG>::max()))
        return false;
    out = static_cast<LONG>(rounded);
    return true;
}

} // namespace

// The font's transform, or null for a font without one.
ENGINE_EXPORT XFORMOBJ* STDCALL FONTOBJ_pxoGetXform(FONTOBJ* pfo) {
    if (!pfo)
        return nullptr;
    EngineFont& font = EngineFont::of(pfo);
    return font.hasTransform ? &font.transform.xformobj : nullptr;
}

// Integer points to whole device units (XF_LTOL) or to 28.4 (XF_LTOFX); any
// other mode, or a point that leaves the 32-bit range, fails.
ENGINE_EXPORT BOOL STDCALL XFORMOBJ_bApplyXform(XFORMOBJ* pxo, ULONG iMode, ULONG cPoints,
                                                PVOID pvIn, PVOID pvOut) {
    if (!pxo || (iMode != XF_LTOL && iMode != XF_LTOFX) || (cPoints != 0 && (!pvIn || !pvOut)))
        return FALSE;
    const EngineFont::Transform& m = transformOf(pxo);
    const double scale = iMode == XF_LTOFX ? 16.0 : 1.0;
    const auto* in = static_cast<const POINTL*>(pvIn);
    for (ULONG i = 0; i < cPoints; ++i) {
        const double x = in[i].x, y = in[i].y;
        POINTL device{};
        if (!roundToLong((x * m.m11 + y * m.m21) * scale, device.x) ||
            !roundToLong((x * m.m12 + y * m.m22) * scale, device.y))
            return FALSE;
        if (iMode == XF_LTOFX)
            static_cast<POINTFIX*>(pvOut)[i] = {device.x, device.y};
        else
            static_cast<POINTL*>(pvOut)[i] = device;
    }
    return TRUE;
}

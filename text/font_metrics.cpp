#include "text/font_metrics.h"

#include "platform/engine_callbacks.h"
#include "platform/last_error.h"
#include "platform/muldiv.h"
#include "text/font_file.h"
#include "text/font_file_layout.h"

#include <bit>

namespace {

constexpr LONG kDeviceMetricsSize = sizeof(FD_DEVICEMETRICS);
constexpr BYTE kFixedPitch = 0x01;
constexpr BYTE kRomanBit = 0x10;
constexpr BYTE kSwissBit = 0x20;
constexpr SHORT kBaseResolution = 203;

using namespace fontfile;

// The font's own figures, in font units.
struct FontFields {
    BYTE pitchAndFamily;
    SHORT maxCharInc;
    SHORT underscoreSize;
    SHORT underscorePosition;
    SHORT strikeoutPosition;
    LONG top;
    LONG bottom;

    bool fixedPitch() const { return pitchAndFamily & kFixedPitch; }
};

// The file is little-endian whatever the build, and may sit at any address.
DWORD readU32(const BYTE* at) {
    return DWORD{at[0]} | DWORD{at[1]} << 8 | DWORD{at[2]} << 16 | DWORD{at[3]} << 24;
}
SHORT readS16(const BYTE* at) {
    return static_cast<SHORT>(at[0] | at[1] << 8);
}

// False when the image is absent or too short for any field used.
bool readFontFields(const FontImage* image, FontFields& font) {
    if (!image || image->size < kIfiOffsetField + 4)
        return false;
    const BYTE* bytes = image->bytes();
    const DWORD ifi = readU32(bytes + kIfiOffsetField);
    if (ifi > image->size || image->size - ifi < kIfiBytesRead)
        return false;
    const BYTE* record = bytes + ifi;
    font.pitchAndFamily = record[kPitchAndFamily];
    font.maxCharInc = readS16(record + kMaxCharInc);
    font.underscoreSize = readS16(record + kUnderscoreSize);
    font.underscorePosition = readS16(record + kUnderscorePosition);
    font.strikeoutPosition = readS16(record + kStrikeoutPosition);
    font.top = static_cast<LONG>(readU32(record + kFontBoxTop));
    font.bottom = static_cast<LONG>(readU32(record + kFontBoxBottom));
    return true;
}

// Reads the fields from the module's image, loading the file if none is held.
bool currentFontFields(FontFields& font) {
    const FontImageUse image;
    return readFontFields(image.get(), font);
}

// The low 32 bits, as the platform's 32-bit arithmetic keeps them.
LONG low32(std::int64_t value) {
    return static_cast<LONG>(value);
}

// The float's bits in the engine's FLOATL.
FLOATL floatBits(float value) {
    return std::bit_cast<FLOATL>(value);
}

// The font's notional-to-device transform, applied through the engine one
// point at a time. A failed application spoils every answer built on it.
class FontTransform {
  public:
    // False when the font has no transform or the engine cannot apply one.
    bool find(FONTOBJ* pfo) {
        const PFN_FONTOBJ_pxoGetXform getXform = platform::engineFontObjGetXform();
        apply = platform::engineXformObjApplyXform();
        xform = pfo && getXform && apply ? getXform(pfo) : nullptr;
        return xform != nullptr;
    }

    // F: into 28.4 device units.
    POINTFIX toFix(LONG x, LONG y) {
        POINTL in{x, y};
        POINTFIX out{};
        if (!apply(xform, XF_LTOFX, 1, &in, &out))
            failed = true;
        return out;
    }

    // G: into whole device units.
    POINTL toDevice(LONG x, LONG y) {
        POINTL in{x, y};
        POINTL out{};
        if (!apply(xform, XF_LTOL, 1, &in, &out))
            failed = true;
        return out;
    }

    // len(F(x, y)).
    std::int64_t fixLength(LONG x, LONG y) {
        const POINTFIX point = toFix(x, y);
        return vectorLength(point.x, point.y);
    }

    bool failed = false;

  private:
    PFN_XFORMOBJ_bApplyXform apply = nullptr;
    XFORMOBJ* xform = nullptr;
};

// The length of a vertical font distance in 28.4, signed as the distance is.
std::int64_t signedFixLength(FontTransform& transform, LONG distance) {
    const std::int64_t length = transform.fixLength(0, distance);
    return distance < 0 ? -length : length;
}

// Every glyph gets the same metrics: the font box for ink, 26 font units of
// advance.
LONG glyphData(FontTransform& transform, const FontFields& font, HGLYPH hg, GLYPHDATA* pgd) {
    if (!pgd)
        return 0;
    const std::int64_t inkBottom = signedFixLength(transform, font.bottom);
    const std::int64_t inkTop = signedFixLength(transform, font.top);
    const POINTFIX unit = transform.toFix(4096, 0);
    if (transform.failed)
        return FD_ERROR;
    const std::int64_t advance = vectorLength(unit.x, unit.y);
    pgd->fxInkBottom = low32(snapToPixel(inkBottom));
    pgd->fxInkTop = low32(snapToPixel(inkTop));
    pgd->fxD = low32(snapToPixel((advance * 26) >> 12));
    pgd->fxAB = pgd->fxD;
    pgd->fxA = 0;
    pgd->ptqD.x = {0, low32(snapToPixel((std::int64_t{unit.x} * 26) >> 12))};
    pgd->ptqD.y = {0, low32(snapToPixel((std::int64_t{unit.y} * 26) >> 12))};
    pgd->hg = hg;
    return 0;
}

// Lines between rows on the 203-dpi scale, chosen by single family bits.
LONG externalLeading(BYTE pitchAndFamily, LONG scaledHeight) {
    if (pitchAndFamily & kRomanBit)
        return 2;
    if (pitchAndFamily & kSwissBit) {
        const auto height = static_cast<ULONG>(scaledHeight); // a negative height counts as large
        return height <= 12 ? 2 : height == 13 ? 3 : 4;
    }
    return platform::mulDiv(scaledHeight, 196, 24);
}

// The realized font's extents. A transform that flattens the font to nothing
// has no direction to report, so it is refused.
LONG deviceMetrics(FontTransform& transform, const FontFields& font, PDEVOBJ pdevobj,
                   FD_DEVICEMETRICS* metrics) {
    if (!metrics)
        return kDeviceMetricsSize;
    if (!pdevobj || !pdevobj->pPublicDM)
        return FD_ERROR;
    const SHORT resolution = pdevobj->pPublicDM->dmPrintQuality;
    const bool fixed = font.fixedPitch();

    const POINTFIX base = transform.toFix(26, 0);
    const POINTFIX side = transform.toFix(0, -26);
    const POINTL widest = transform.toDevice(font.maxCharInc, 0);
    const std::int64_t ascender = transform.fixLength(0, font.top);
    const std::int64_t bottomDepth = font.bottom < 0 ? -std::int64_t{font.bottom} : font.bottom;
    std::int64_t depth = bottomDepth;
    if (fixed) {
        depth = std::int64_t{font.bottom} - font.top + bottomDepth + 24;
        if (depth < 0)
            depth = 0;
    }
    const std::int64_t descender = transform.fixLength(0, low32(depth));
    const POINTL underline = transform.toDevice(0, -font.underscorePosition);
    const POINTL strikeOut = transform.toDevice(0, -font.strikeoutPosition);
    const POINTL thickness = transform.toDevice(0, font.underscoreSize);
    if (transform.failed)
        return FD_ERROR;
    const std::int64_t baseLength = vectorLength(base.x, base.y);
    const std::int64_t sideLength = vectorLength(side.x, side.y);
    if (baseLength == 0 || sideLength == 0)
        return FD_ERROR;

    const LONG height = low32(sideLength >> 4);
    const LONG scaledHeight = platform::mulDiv(height, kBaseResolution, resolution);
    const LONG extLeading = externalLeading(font.pitchAndFamily, scaledHeight);
    LONG intLeading =
        platform::mulDiv(low32(std::int64_t{font.top} - font.bottom - 24), height, 24);
    if (intLeading < 0)
        intLeading = 0;
    const LONG leading = low32(
        (std::int64_t{platform::mulDiv(extLeading, resolution, kBaseResolution)} - intLeading) *
        16);
    const std::int64_t width = vectorLength(widest.x, widest.y);

    metrics->flRealizedType = 0;
    metrics->pteBase = {floatBits(static_cast<float>(base.x) / static_cast<float>(baseLength)),
                        floatBits(static_cast<float>(base.y) / static_cast<float>(baseLength))};
    metrics->pteSide = {floatBits(static_cast<float>(side.x) / static_cast<float>(sideLength)),
                        floatBits(static_cast<float>(side.y) / static_cast<float>(sideLength))};
    metrics->lNonLinearExtLeading = leading < 0 || fixed ? 0 : leading;
    if (fixed)
        metrics->lNonLinearIntLeading = 0;
    metrics->cxMax = static_cast<ULONG>(width);
    metrics->lD = fixed ? low32(width) : 0;
    metrics->fxMaxAscender = low32(snapToPixel(ascender));
    metrics->fxMaxDescender = low32(snapToPixel(descender));
    metrics->ptlUnderline1 = underline;
    metrics->ptlStrikeOut = strikeOut;
    metrics->ptlULThickness = thickness;
    metrics->ptlSOThickness = thickness;
    return kDeviceMetricsSize;
}

} // namespace

// Rounds the exact square root up, digit by digit, so huge vectors cost no
// more than small ones.
std::int64_t vectorLength(LONG x, LONG y) {
    const std::uint64_t ax = x < 0 ? 0 - static_cast<std::uint64_t>(std::int64_t{x}) : x;
    const std::uint64_t ay = y < 0 ? 0 - static_cast<std::uint64_t>(std::int64_t{y}) : y;
    if (ax == 0 || ay == 0)
        return static_cast<std::int64_t>(ax + ay);
    const std::uint64_t square = ax * ax + ay * ay; // at most 2^63
    std::uint64_t remainder = square, root = 0, bit = std::uint64_t{1} << 62;
    while (bit > remainder)
        bit >>= 2;
    while (bit != 0) {
        if (remainder >= root + bit) {
            remainder -= root + bit;
            root = (root >> 1) + bit;
        } else {
            root >>= 1;
        }
        bit >>= 2;
    }
    return static_cast<std::int64_t>(root + (remainder != 0 ? 1 : 0));
}

// One device pixel is 16 units in 28.4; clearing the low bits of value + 8
// rounds to the nearest.
std::int64_t snapToPixel(std::int64_t value) {
    return (value + 8) & ~std::int64_t{15};
}

// Glyph data (modes 1 and 4) and device metrics (mode 3) for any device font,
// from the metrics file loaded on demand and the font's transform.
LONG STDCALL DrvQueryFontData(DHPDEV dhpdev, FONTOBJ* pfo, ULONG iMode, HGLYPH hg, GLYPHDATA* pgd,
                              PVOID pv, ULONG) {
    FontFields font;
    if (!currentFontFields(font))
        return FD_ERROR;
    FontTransform transform;
    if (!transform.find(pfo))
        return FD_ERROR;
    switch (iMode) {
    case QFD_GLYPHANDBITMAP:
    case QFD_TT_GLYPHANDBITMAP:
        return glyphData(transform, font, hg, pgd);
    case QFD_MAXEXTENTS:
        return deviceMetrics(transform, font, static_cast<PDEVOBJ>(dhpdev),
                             static_cast<FD_DEVICEMETRICS*>(pv));
    default:
        return FD_ERROR;
    }
}

// Every glyph advances 24 font units, brought to a whole device pixel.
BOOL STDCALL DrvQueryAdvanceWidths(DHPDEV, FONTOBJ* pfo, ULONG iMode, HGLYPH*, PVOID pvWidths,
                                   ULONG cGlyphs) {
    if (iMode != QAW_GETWIDTHS && iMode != QAW_GETEASYWIDTHS) {
        platform::setLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (cGlyphs == 0)
        return TRUE;
    if (!pvWidths) {
        platform::setLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    FontTransform transform;
    if (!transform.find(pfo))
        return FALSE;
    const std::int64_t unit = transform.fixLength(4096, 0);
    if (transform.failed)
        return FALSE;
    const auto width = static_cast<USHORT>((((unit * 24) >> 12) + 8) & 0xFFF0);
    auto* widths = static_cast<USHORT*>(pvWidths);
    for (ULONG i = 0; i < cGlyphs; ++i)
        widths[i] = width;
    return TRUE;
}

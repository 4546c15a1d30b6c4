#include "page/label_output.h"

#include "page/page_transform.h"
#include "platform/memory.h"
#include "plugin/hook_dispatch.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

constexpr char kTrailer[] = "\r\nPRINT 1,1\r\n";

int densitySent(SHORT density) {
    return density == 0 ? 4 : density - 1;
}

void writeHeader(PDEVOBJ pdevobj, const OemDevMode& settings, LONG widthBytes, LONG heightDots) {
    char header[200];
    const int length = std::snprintf(
        header, sizeof header,
        "Density %d\r\nDIRECTION %d,0\r\nSIZE %d mm, %d mm\r\nCLS\r\nBITMAP 0,0,%d,%d,1,",
        densitySent(settings.density), settings.direction, widthBytes, heightDots / 8, widthBytes,
        heightDots);
    writeSpool(pdevobj, header, static_cast<DWORD>(length));
}

void writeTrailer(PDEVOBJ pdevobj) {
    writeSpool(pdevobj, kTrailer, sizeof kTrailer - 1);
}

// Portrait lines go out straight from the captured slots, one write each.
void emitPortrait(PDEVOBJ pdevobj, const OemDevMode& settings, const OemPDEV& pdev, LONG width,
                  LONG height) {
    writeHeader(pdevobj, settings, width, height);
    for (LONG r = 0; r < height; ++r)
        writeSpool(pdevobj, pdev.rows[r].bits, static_cast<DWORD>(width));
    writeTrailer(pdevobj);
}

// Bytes of turned lines held at a time: a landscape page goes out band by
// band, so its working memory stays small whatever the page's size.
constexpr std::size_t kBandBufferBytes = 120 * 1024;

// Source bytes per band: as many as fit the buffer, whole tiles of eight
// where possible, at least one.
LONG landscapeBandBytes(LONG width, std::size_t bytesPerSourceByte) {
    if (bytesPerSourceByte == 0)
        return std::max<LONG>(width, 1);
    const std::size_t fit = kBandBufferBytes / bytesPerSourceByte;
    LONG band = static_cast<LONG>(std::min<std::size_t>(fit, static_cast<std::size_t>(width)));
    if (band >= 8)
        band -= band % 8;
    return std::max<LONG>(band, 1);
}

// Turned lines go out from output line 0, which comes from the last source
// byte, so the bands walk the source lines from their end.
void emitLandscape(PDEVOBJ pdevobj, const OemDevMode& settings, const OemPDEV& pdev, LONG width,
                   LONG height) {
    if (width > INT32_MAX / 8)
        return;
    const LONG outWidth = rotatedWidthBytes(height);
    const std::size_t lineBytes = static_cast<std::size_t>(outWidth);
    const LONG band = landscapeBandBytes(width, 8 * lineBytes);
    auto* buffer = static_cast<BYTE*>(
        platform::globalAllocZero(std::max<std::size_t>(8 * lineBytes * band, 1)));
    if (!buffer)
        return;
    writeHeader(pdevobj, settings, outWidth, rotatedHeightDots(width));
    for (LONG end = width; end > 0; end -= band) {
        const LONG first = std::max<LONG>(0, end - band);
        const LONG lines = 8 * (end - first);
        std::memset(buffer, 0, lineBytes * static_cast<std::size_t>(lines));
        rotatePageBand(pdev.rows, width, height, first, end - first, buffer);
        for (LONG y = 0; y < lines; ++y)
            writeSpool(pdevobj, buffer + static_cast<std::size_t>(y) * lineBytes,
                       static_cast<DWORD>(outWidth));
    }
    platform::globalFree(buffer);
    writeTrailer(pdevobj);
}

} // namespace

void emitLabelPage(PDEVOBJ pdevobj) {
    const OemPDEV& pdev = *oemPdevOf(pdevobj);
    const OemDevMode& settings = *oemDevModeOf(pdevobj);
    const LONG width = std::max<LONG>(pdev.rowBytes, 0);
    const LONG height = pdev.rows ? pdev.rowCount : 0;
    shiftPageImage(pdev.rows, width, height, settings.shiftX, settings.shiftY);
    if (pdevobj->pPublicDM->dmOrientation == DMORIENT_LANDSCAPE)
        emitLandscape(pdevobj, settings, pdev, width, height);
    else
        emitPortrait(pdevobj, settings, pdev, width, height);
}

#include "page/label_output.h"

#include "page/page_transform.h"
#include "platform/memory.h"
#include "plugin/hook_dispatch.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

namespace {

constexpr char kTrailer[] = "\r\nPRINT 1,1\r\n";

int densitySent(SHORT density) { return density == 0 ? 4 : density - 1; }

void writeHeader(PDEVOBJ pdevobj, const OemDevMode& settings, LONG widthBytes, LONG heightDots) {
    char header[200];
    const int length = std::snprintf(
        header, sizeof header,
        "Density %d\r\nDIRECTION %d,0\r\nSIZE %d mm, %d mm\r\nCLS\r\nBITMAP 0,0,%d,%d,1,",
        densitySent(settings.density), settings.direction, widthBytes, heightDots / 8, widthBytes,
        heightDots);
    writeSpool(pdevobj, header, static_cast<DWORD>(length));
}

void writeTrailer(PDEVOBJ pdevobj) { writeSpool(pdevobj, kTrailer, sizeof kTrailer - 1); }

// Portrait lines go out straight from the captured slots, one write each.
void emitPortrait(PDEVOBJ pdevobj, const OemDevMode& settings, const OemPDEV& pdev, LONG width,
                  LONG height) {
    writeHeader(pdevobj, settings, width, height);
    for (LONG r = 0; r < height; ++r)
        writeSpool(pdevobj, pdev.rows[r].bits, static_cast<DWORD>(width));
    writeTrailer(pdevobj);
}

void emitLandscape(PDEVOBJ pdevobj, const OemDevMode& settings, const OemPDEV& pdev, LONG width,
                   LONG height) {
    if (width > INT32_MAX / 8)
        return;
    const LONG outWidth = rotatedWidthBytes(height);
    const LONG outHeight = rotatedHeightDots(width);
    const std::uint64_t bytes = static_cast<std::uint64_t>(outWidth) * std::uint64_t(outHeight);
    if (bytes > SIZE_MAX)
        return;
    auto* image = static_cast<BYTE*>(platform::globalAllocZero(static_cast<std::size_t>(bytes)));
    if (!image)
        return;
    rotatePageImage(pdev.rows, width, height, image);
    writeHeader(pdevobj, settings, outWidth, outHeight);
    for (LONG y = 0; y < outHeight; ++y)
        writeSpool(pdevobj, image + static_cast<std::size_t>(y) * static_cast<std::size_t>(outWidth),
                   static_cast<DWORD>(outWidth));
    platform::globalFree(image);
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

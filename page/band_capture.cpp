#include "page/band_capture.h"

#include "plugin/hook_dispatch.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace {

constexpr BYTE kBlank = 0xFF;
constexpr LONG kFirstTableGrowth = 64;
// No devmode describes a wider line: 32767 tenths of a millimetre at 32767
// dpi is 4.2 million dots, 12.7 MB at 24 bits a dot.
constexpr long long kMaxLineBytes = 1 << 24;
// The most one page may hold, counting a line's slot and heap block as 64
// bytes besides the line: a quarter of what a 32-bit process can address. A
// blank band claims its lines without handing any over; only this bounds them.
constexpr long long kMaxPageBytes = 1 << 29;
constexpr long long kLineOverhead = 64;

// DWORD-aligned stride of one line: 24 bits a dot for callback 24, else 1.
// A width whose stride is wider than any line may be, or does not fit 32
// bits, gives -1, which stores nothing.
LONG strideOf(LONG biWidth, DWORD dwCallbackID) {
    const long long bits = static_cast<long long>(biWidth) * (dwCallbackID == 24 ? 24 : 1);
    const long long stride = (bits + 31) / 32 * 4;
    return stride > kMaxLineBytes || stride < INT_MIN ? -1 : static_cast<LONG>(stride);
}

// Makes room for one more line once the table is full. Unidrv may deliver
// more lines than the paper length promised; they are kept, not dropped.
bool ensureFreeSlot(OemPDEV* pdev) {
    if (pdev->rowCount < pdev->approHeight)
        return true;
    const long long grown =
        static_cast<long long>(pdev->approHeight) + std::max(pdev->approHeight, kFirstTableGrowth);
    if (grown > INT_MAX / static_cast<long long>(sizeof(PageRow)))
        return false;
    auto* table = static_cast<PageRow*>(
        platform::heapAllocZero(pdev->heap, static_cast<std::size_t>(grown) * sizeof(PageRow)));
    if (!table)
        return false;
    std::memcpy(table, pdev->rows, static_cast<std::size_t>(pdev->rowCount) * sizeof(PageRow));
    platform::heapFree(pdev->heap, pdev->rows);
    pdev->rows = table;
    pdev->approHeight = static_cast<LONG>(grown);
    return true;
}

} // namespace

BOOL appendBandRows(OemPDEV* pdev, const BYTE* source, const BITMAPINFOHEADER* header,
                    const IPPARAMS* params) {
    if (!pdev->rows || !header || header->biHeight <= 0)
        return TRUE;
    if (pdev->rowBytes < 0)
        return FALSE;
    const long long lines = static_cast<long long>(pdev->rowCount) + header->biHeight;
    if (lines > kMaxPageBytes / (pdev->rowBytes + kLineOverhead))
        return FALSE;
    const auto stride = static_cast<std::size_t>(pdev->rowBytes);
    const bool blank = params && params->bBlankBand;
    for (LONG line = 0; line < header->biHeight; ++line) {
        if (!ensureFreeSlot(pdev))
            return FALSE;
        PageRow& slot = pdev->rows[pdev->rowCount];
        if (slot.bits) {
            platform::heapFree(pdev->heap, slot.bits);
            slot = {};
        }
        slot.bits = static_cast<BYTE*>(platform::heapAllocZero(pdev->heap, stride));
        if (!slot.bits)
            return FALSE;
        slot.inUse = 1;
        if (blank) {
            std::memset(slot.bits, kBlank, stride);
        } else {
            std::memcpy(slot.bits, source, stride);
            source += stride;
        }
        ++pdev->rowCount;
    }
    return TRUE;
}

HRESULT captureBand(PDEVOBJ pdevobj, PBYTE pSrcBitmap, const BITMAPINFOHEADER* header,
                    DWORD dwCallbackID, const IPPARAMS* params, PBYTE* ppbResult) {
    OemPDEV* pdev = pdevobj ? oemPdevOf(pdevobj) : nullptr;
    if (pdev && header) {
        if (!pdev->pageOpen) {
            pdev->rowCount = 0;
            pdev->rowBytes = strideOf(header->biWidth, dwCallbackID);
            pdev->pageOpen = 1;
        }
        appendBandRows(pdev, pSrcBitmap, header, params);
    }
    if (ppbResult)
        *ppbResult = pSrcBitmap;
    return S_OK;
}

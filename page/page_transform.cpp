#include "page/page_transform.h"

#include <algorithm>
#include <cstring>

namespace {
constexpr BYTE kBlank = 0xFF;
}

void shiftPageImage(PageRow* rows, LONG width, LONG height, LONG shiftX, LONG shiftY) {
    if (width <= 0 || height <= 0)
        return;
    const std::size_t w = static_cast<std::size_t>(width);
    if (shiftX != 0) {
        const std::size_t moved = std::min<std::size_t>(w, static_cast<std::size_t>(
                                                               shiftX > 0 ? shiftX : -shiftX));
        for (LONG r = 0; r < height; ++r) {
            BYTE* line = rows[r].bits;
            if (shiftX > 0) {
                std::memmove(line + moved, line, w - moved);
                std::memset(line, kBlank, moved);
            } else {
                std::memmove(line, line + moved, w - moved);
                std::memset(line + (w - moved), kBlank, moved);
            }
        }
    }
    if (shiftY != 0) {
        // Whole lines move by rotating the slots; the lines that fall out of
        // the frame come back in at the other end, blanked.
        const LONG moved = std::min<LONG>(height, shiftY > 0 ? shiftY : -shiftY);
        if (shiftY > 0)
            std::rotate(rows, rows + moved, rows + height);
        else
            std::rotate(rows, rows + (height - moved), rows + height);
        PageRow* uncovered = shiftY > 0 ? rows + (height - moved) : rows;
        for (LONG r = 0; r < moved; ++r)
            std::memset(uncovered[r].bits, kBlank, w);
    }
}

void rotatePageImage(const PageRow* rows, LONG width, LONG height, BYTE* out) {
    const std::size_t outWidth = static_cast<std::size_t>(rotatedWidthBytes(height));
    for (LONG r = 0; r < height; ++r) {
        const BYTE* line = rows[r].bits;
        const BYTE outBit = static_cast<BYTE>(0x80 >> (r % 8));
        for (LONG b = 0; b < width; ++b) {
            const BYTE source = line[b];
            if (!source)
                continue;
            for (int k = 0; k < 8; ++k) {
                if (source & (1 << k)) {
                    const std::size_t y = 8 * static_cast<std::size_t>(width - 1 - b) + k;
                    out[y * outWidth + static_cast<std::size_t>(r / 8)] |= outBit;
                }
            }
        }
    }
}

#include "page/page_transform.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

namespace {

constexpr BYTE kBlank = 0xFF;

// Magnitude of a shift as an unsigned count, so that the most negative LONG
// has one too.
std::uint32_t magnitude(LONG shift) {
    const auto bits = static_cast<std::uint32_t>(shift);
    return shift < 0 ? 0u - bits : bits;
}

// ---------------------------------------------------------------------------
// The quarter turn works on tiles of 64 source lines × 8 source bytes: 64
// words of 64 bits, turned as one bit matrix, give 64 output lines × 8
// output bytes. Words are loaded and stored in little-endian order, which
// puts dot j of a byte at bit 7 − j; the index mapping below absorbs that.
using Word = std::uint64_t;
constexpr int kTileLines = 64;        // source lines per tile = output dots
constexpr std::size_t kTileBytes = 8; // source bytes per tile = output bytes
// Source bytes handled before moving down the page again: 64 bytes feed 512
// output lines, whose partly written cache lines (32 KB) stay in the first
// level cache until the tiles below complete them.
constexpr std::size_t kChunkBytes = 64;

// The word as little-endian bytes: byte i of memory is bits 8i..8i+7.
Word littleEndian(Word w) {
    if constexpr (std::endian::native == std::endian::big) {
        w = (w << 32) | (w >> 32);
        w = ((w & 0x0000FFFF0000FFFFull) << 16) | ((w >> 16) & 0x0000FFFF0000FFFFull);
        w = ((w & 0x00FF00FF00FF00FFull) << 8) | ((w >> 8) & 0x00FF00FF00FF00FFull);
    }
    return w;
}

Word loadWord(const BYTE* p) {
    Word w;
    std::memcpy(&w, p, sizeof w);
    return littleEndian(w);
}

void storeWord(BYTE* p, Word w) {
    w = littleEndian(w);
    std::memcpy(p, &w, sizeof w);
}

// Little-endian word of the first `count` (< 8) bytes at p; the rest is 0.
Word loadPartial(const BYTE* p, std::size_t count) {
    Word w = 0;
    for (std::size_t i = count; i-- > 0;)
        w = (w << 8) | p[i];
    return w;
}

void storePartial(BYTE* p, Word w, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i, w >>= 8)
        p[i] = static_cast<BYTE>(w);
}

// The 64 × 64 bit transpose is six stages; stage J trades bit J of the row
// index with bit J of the column index (column c of a row is bit c of its
// word): in every 2J × 2J block, the J × J block at (row k, columns J..2J−1)
// trades places with the one at (row k + J, columns 0..J−1). The stages
// commute, so they run in two passes that each keep eight words in
// registers: stages 1, 2, 4 within groups of eight consecutive rows, then
// stages 8, 16, 32 across rows x, x + 8, ..., x + 56.
template <typename T> inline void deltaSwap(T& low, T& high, int j, Word lowMask) {
    const T t = ((low >> j) ^ high) & lowMask;
    high ^= t;
    low ^= t << j;
}

template <typename T>
inline void swapStages(T& v0, T& v1, T& v2, T& v3, T& v4, T& v5, T& v6, T& v7, int step, Word mask1,
                       Word mask2, Word mask4) {
    // v0..v7 are rows k, k + J, ..., k + 7J for the stages J = step, 2·step,
    // 4·step.
    deltaSwap(v0, v4, 4 * step, mask4);
    deltaSwap(v1, v5, 4 * step, mask4);
    deltaSwap(v2, v6, 4 * step, mask4);
    deltaSwap(v3, v7, 4 * step, mask4);
    deltaSwap(v0, v2, 2 * step, mask2);
    deltaSwap(v1, v3, 2 * step, mask2);
    deltaSwap(v4, v6, 2 * step, mask2);
    deltaSwap(v5, v7, 2 * step, mask2);
    deltaSwap(v0, v1, step, mask1);
    deltaSwap(v2, v3, step, mask1);
    deltaSwap(v4, v5, step, mask1);
    deltaSwap(v6, v7, step, mask1);
}

// Source line i of the tile becomes row i ^ 7 (so that its dots, once turned,
// land MSB first within each output byte). After the transpose, row q is
// tile output line q ^ 56, counted from the lowest output line of the tile.
// `load(i)` gives the word of source line i; `store(m, word)` takes output
// line m; `rows` holds the 64 words between the passes. T is a Word, or a
// vector of words that turns that many tiles side by side.
template <typename T, typename Load, typename Store>
inline void turnTile(Load load, Store store, T* rows) {
    for (int g = 0; g < kTileLines; g += 8) {
        T v0 = load(g + 7), v1 = load(g + 6), v2 = load(g + 5), v3 = load(g + 4);
        T v4 = load(g + 3), v5 = load(g + 2), v6 = load(g + 1), v7 = load(g + 0);
        swapStages(v0, v1, v2, v3, v4, v5, v6, v7, 1, 0x5555555555555555ull, 0x3333333333333333ull,
                   0x0F0F0F0F0F0F0F0Full);
        rows[g + 0] = v0, rows[g + 1] = v1, rows[g + 2] = v2, rows[g + 3] = v3;
        rows[g + 4] = v4, rows[g + 5] = v5, rows[g + 6] = v6, rows[g + 7] = v7;
    }
    for (int x = 0; x < 8; ++x) {
        T v0 = rows[x], v1 = rows[x + 8], v2 = rows[x + 16], v3 = rows[x + 24];
        T v4 = rows[x + 32], v5 = rows[x + 40], v6 = rows[x + 48], v7 = rows[x + 56];
        swapStages(v0, v1, v2, v3, v4, v5, v6, v7, 8, 0x00FF00FF00FF00FFull, 0x0000FFFF0000FFFFull,
                   0x00000000FFFFFFFFull);
        // Row x + 8y is output line (x + 8y) ^ 56 = x + 8 (7 − y).
        store(x + 56, v0), store(x + 48, v1), store(x + 40, v2), store(x + 32, v3);
        store(x + 24, v4), store(x + 16, v5), store(x + 8, v6), store(x + 0, v7);
    }
}

struct RotateGeometry {
    std::size_t width;     // source bytes per line
    std::size_t outWidth;  // output bytes per line
    std::size_t firstLine; // the output line that `out` starts with
    std::size_t end;       // source bytes from `end` on are not turned
};

#if defined(__GNUC__) && defined(__SSE2__)
// Two tiles side by side, source bytes b..b+15, in GCC's generic vectors of
// two words, which map onto SSE2 registers: one load per line fetches both,
// every shift and mask works on both. Without SSE2 (a plain i686 build) the
// tiles go one at a time in scalar words.
constexpr bool kTurnPairs = true;
typedef Word WordPair __attribute__((vector_size(2 * sizeof(Word))));

void rotateTilePair(const RotateGeometry& g, const BYTE* const* lines, std::size_t b,
                    std::size_t r0, BYTE* out) {
    static_assert(std::endian::native == std::endian::little);
    WordPair rows[kTileLines];
    const std::size_t stride = g.outWidth;
    // Lowest output line of the tile of bytes b..b+7; the one of bytes
    // b+8..b+15 lies 64 lines below it.
    BYTE* first = out + (8 * (g.width - 8 - b) - g.firstLine) * stride + r0 / 8;
    BYTE* second = first - 64 * stride;
    turnTile<WordPair>(
        [lines, b](int i) {
            WordPair pair;
            std::memcpy(&pair, lines[i] + b, sizeof pair);
            return pair;
        },
        [first, second, stride](int m, WordPair pair) {
            const std::size_t offset = static_cast<std::size_t>(m) * stride;
            storeWord(first + offset, pair[0]);
            storeWord(second + offset, pair[1]);
        },
        rows);
}
#else
constexpr bool kTurnPairs = false;
void rotateTilePair(const RotateGeometry&, const BYTE* const*, std::size_t, std::size_t, BYTE*) {}
#endif

// Turns the tile of source bytes b..b+7 of the lines r0.. in `lines`. Its
// output lines run from 8 × (width − 8 − b) (bit 0 of byte b + 7) up to
// 8 × (width − b) − 1 (bit 7 of byte b); those of bytes from g.end on do
// not exist.
void rotateTile(const RotateGeometry& g, const BYTE* const* lines, std::size_t lineCount,
                std::size_t b, std::size_t r0, BYTE* out) {
    Word rows[kTileLines];
    const std::size_t bytes = std::min(kTileBytes, g.end - b);
    const std::size_t outByte = r0 / 8;
    const std::size_t outBytes = std::min(kTileBytes, g.outWidth - outByte);
    const std::size_t yTop = 8 * (g.width - b) - 1;
    if (lineCount == kTileLines && bytes == kTileBytes && outBytes == kTileBytes) {
        BYTE* base = out + (yTop - 63 - g.firstLine) * g.outWidth + outByte;
        const std::size_t stride = g.outWidth;
        turnTile<Word>([lines, b](int i) { return loadWord(lines[i] + b); },
                       [base, stride](int m, Word w) {
                           storeWord(base + static_cast<std::size_t>(m) * stride, w);
                       },
                       rows);
        return;
    }
    const std::size_t missingLines = 8 * (kTileBytes - bytes);
    turnTile<Word>(
        [&](int i) -> Word {
            if (static_cast<std::size_t>(i) >= lineCount)
                return 0;
            return bytes == kTileBytes ? loadWord(lines[i] + b) : loadPartial(lines[i] + b, bytes);
        },
        [&](int m, Word w) {
            const auto line = static_cast<std::size_t>(m);
            if (line < missingLines)
                return;
            // yTop − 63 + m ≥ firstLine here; the unsigned wrap cancels.
            BYTE* target = out + (yTop - 63 + line - g.firstLine) * g.outWidth + outByte;
            if (outBytes == kTileBytes)
                storeWord(target, w);
            else
                storePartial(target, w, outBytes);
        },
        rows);
}

} // namespace

void shiftPageImage(PageRow* rows, LONG width, LONG height, LONG shiftX, LONG shiftY) {
    if (width <= 0 || height <= 0)
        return;
    const std::size_t w = static_cast<std::size_t>(width);
    if (shiftX != 0) {
        const std::size_t moved = std::min<std::size_t>(w, magnitude(shiftX));
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
        const auto moved = static_cast<LONG>(
            std::min<std::uint32_t>(static_cast<std::uint32_t>(height), magnitude(shiftY)));
        if (shiftY > 0)
            std::rotate(rows, rows + moved, rows + height);
        else
            std::rotate(rows, rows + (height - moved), rows + height);
        PageRow* uncovered = shiftY > 0 ? rows + (height - moved) : rows;
        for (LONG r = 0; r < moved; ++r)
            std::memset(uncovered[r].bits, kBlank, w);
    }
}

void rotatePageBand(const PageRow* rows, LONG width, LONG height, LONG firstByte, LONG byteCount,
                    BYTE* out) {
    if (width <= 0 || height <= 0 || firstByte < 0 || byteCount <= 0 ||
        byteCount > width - firstByte)
        return;
    const std::size_t c0 = static_cast<std::size_t>(firstByte);
    const std::size_t end = c0 + static_cast<std::size_t>(byteCount);
    const RotateGeometry g{static_cast<std::size_t>(width),
                           static_cast<std::size_t>(rotatedWidthBytes(height)),
                           8 * (static_cast<std::size_t>(width) - end), end};
    const auto sourceLines = static_cast<std::size_t>(height);
    const BYTE* lines[kTileLines];
    for (std::size_t chunk = c0; chunk < end; chunk += kChunkBytes) {
        const std::size_t c1 = std::min(end, chunk + kChunkBytes);
        for (std::size_t r0 = 0; r0 < sourceLines; r0 += kTileLines) {
            const std::size_t lineCount = std::min<std::size_t>(kTileLines, sourceLines - r0);
            for (std::size_t i = 0; i < lineCount; ++i)
                lines[i] = rows[r0 + i].bits;
            std::size_t b = chunk;
            if (kTurnPairs && lineCount == kTileLines && r0 / 8 + kTileBytes <= g.outWidth) {
                for (; b + 2 * kTileBytes <= c1; b += 2 * kTileBytes)
                    rotateTilePair(g, lines, b, r0, out);
            }
            for (; b < c1; b += kTileBytes)
                rotateTile(g, lines, lineCount, b, r0, out);
        }
    }
}

void rotatePageImage(const PageRow* rows, LONG width, LONG height, BYTE* out) {
    rotatePageBand(rows, width, height, 0, width, out);
}

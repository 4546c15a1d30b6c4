// Differential tests of the page image transforms: the real shift and quarter
// turn against plain per-byte and per-bit reference versions written here
// from the definitions, over random pages of many sizes.
#include "page/page_transform.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::vector<BYTE>>;

// A captured page: every line in a heap block of exactly `width` bytes, so
// that the sanitizers see any access beyond a line.
struct Page {
    Page(LONG width, const Lines& lines) : storage(lines) {
        for (auto& line : storage) {
            line.resize(static_cast<std::size_t>(width));
            rows.push_back(PageRow{line.data(), 1});
        }
    }
    Lines contents(LONG width) const {
        Lines out;
        for (const PageRow& row : rows)
            out.emplace_back(row.bits, row.bits + width);
        return out;
    }
    Lines storage;
    std::vector<PageRow> rows;
};

// Random line contents; `kind` picks the kind of page.
Lines randomLines(std::mt19937& rng, LONG width, LONG height, int kind) {
    Lines lines(static_cast<std::size_t>(height),
                std::vector<BYTE>(static_cast<std::size_t>(width)));
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<int> percent(0, 99);
    for (auto& line : lines) {
        for (auto& b : line) {
            const auto noise = static_cast<BYTE>(byte(rng));
            if (kind % 4 == 0) // noise
                b = noise;
            else if (kind % 4 == 1) // mostly blank
                b = percent(rng) < 90 ? BYTE{0xFF} : noise;
            else if (kind % 4 == 2) // mostly black
                b = percent(rng) < 90 ? BYTE{0x00} : noise;
            else // single dots
                b = static_cast<BYTE>(1u << (noise & 7));
        }
    }
    return lines;
}

// Per-bit reference of the quarter turn, straight from the definition.
std::vector<BYTE> referenceRotate(const Lines& lines, LONG width, LONG height) {
    const std::size_t outWidth = static_cast<std::size_t>((height + 7) / 8);
    std::vector<BYTE> out(outWidth * 8 * static_cast<std::size_t>(width), 0);
    for (LONG r = 0; r < height; ++r)
        for (LONG b = 0; b < width; ++b)
            for (int k = 0; k < 8; ++k)
                if (lines[r][b] & (1 << k)) {
                    const std::size_t y = 8 * static_cast<std::size_t>(width - 1 - b) + k;
                    out[y * outWidth + static_cast<std::size_t>(r / 8)] |=
                        static_cast<BYTE>(0x80 >> (r % 8));
                }
    return out;
}

// Per-byte reference of the shift, straight from the definition.
void referenceShift(Lines& lines, LONG width, LONG height, LONG shiftX, LONG shiftY) {
    const long long w = width, h = height, sx = shiftX, sy = shiftY;
    for (auto& line : lines) {
        if (sx > 0) {
            for (long long j = w - 1; j >= sx; --j)
                line[j] = line[j - sx];
            for (long long j = 0; j < std::min(sx, w); ++j)
                line[j] = 0xFF;
        } else if (sx < 0) {
            const long long n = w + sx;
            for (long long j = 0; j < n; ++j)
                line[j] = line[j - sx];
            for (long long j = std::max(n, 0LL); j < w; ++j)
                line[j] = 0xFF;
        }
    }
    for (long long j = 0; j < w; ++j) {
        if (sy > 0) {
            for (long long r = 0; r < h - sy; ++r)
                lines[r][j] = lines[r + sy][j];
            for (long long r = std::max(h - sy, 0LL); r < h; ++r)
                lines[r][j] = 0xFF;
        } else if (sy < 0) {
            for (long long r = h - 1; r >= -sy; --r)
                lines[r][j] = lines[r + sy][j];
            for (long long r = 0; r < std::min(-sy, h); ++r)
                lines[r][j] = 0xFF;
        }
    }
}

std::vector<BYTE> rotate(const Page& page, LONG width, LONG height) {
    std::vector<BYTE> out(static_cast<std::size_t>(rotatedWidthBytes(height)) *
                              static_cast<std::size_t>(rotatedHeightDots(width)),
                          0);
    rotatePageImage(page.rows.data(), width, height, out.data());
    return out;
}

std::string where(LONG width, LONG height, LONG shiftX = 0, LONG shiftY = 0, int kind = 0) {
    return "width " + std::to_string(width) + " height " + std::to_string(height) + " shift " +
           std::to_string(shiftX) + "," + std::to_string(shiftY) + " kind " + std::to_string(kind);
}

// Shifts that matter for a dimension of `size`: none, small, around the
// size, beyond it, and the extremes of the type.
std::vector<LONG> shiftsFor(LONG size) {
    std::vector<LONG> shifts{0, 1, -1, 2, -2, 3, -7, 8, -9};
    for (LONG s : {size - 1, size, size + 1, size + 5, 2 * size + 3}) {
        shifts.push_back(s);
        shifts.push_back(-s);
    }
    shifts.push_back(std::numeric_limits<LONG>::max());
    shifts.push_back(std::numeric_limits<LONG>::min());
    std::set<LONG> unique(shifts.begin(), shifts.end());
    return {unique.begin(), unique.end()};
}

// Widths and heights: degenerate and small, then odd, around the 8-byte and
// 64-line tile edges, and a real label width.
const std::vector<LONG> kWidths{0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  11,  13,
                                15, 16, 17, 23, 31, 63, 64, 65, 67, 71, 129, 152};
const std::vector<LONG> kHeights{0,  1,  2,  3,  4,  5,  6,  7,   8,   9,   13,
                                 15, 17, 31, 33, 63, 64, 65, 127, 129, 191, 257};

TEST(RotatePageImage, WorkedExample) {
    const Lines lines{{0x80, 0x00, 0x00, 0x00}, {0x00, 0x00, 0x00, 0x01}, {0x00, 0x00, 0x00, 0x00}};
    Page page(4, lines);
    std::vector<BYTE> expected(32, 0x00);
    expected.front() = 0x40;
    expected.back() = 0x80;
    EXPECT_EQ(rotate(page, 4, 3), expected);
    EXPECT_EQ(referenceRotate(lines, 4, 3), expected);
}

TEST(RotatePageImage, EmptyPagesWriteNothing) {
    BYTE out[4] = {1, 2, 3, 4};
    Page page(5, Lines(3, std::vector<BYTE>(5, 0xFF)));
    rotatePageImage(page.rows.data(), 0, 3, out);
    rotatePageImage(page.rows.data(), 5, 0, out);
    rotatePageImage(nullptr, 0, 0, out);
    EXPECT_EQ(out[0], 1);
    EXPECT_EQ(out[3], 4);
}

TEST(RotatePageImage, MatchesPerBitReference) {
    std::mt19937 rng(20240611);
    for (LONG width : kWidths)
        for (LONG height : kHeights)
            for (int kind = 0; kind < 4; ++kind) {
                const Lines lines = randomLines(rng, width, height, kind);
                const Page page(width, lines);
                ASSERT_EQ(rotate(page, width, height), referenceRotate(lines, width, height))
                    << where(width, height, 0, 0, kind);
            }
}

TEST(RotatePageImage, BlankAndBlackPages) {
    for (LONG width : {1, 7, 9, 152})
        for (LONG height : {1, 7, 65, 130}) {
            for (BYTE fill : {BYTE{0x00}, BYTE{0xFF}}) {
                const Lines lines(static_cast<std::size_t>(height),
                                  std::vector<BYTE>(static_cast<std::size_t>(width), fill));
                const Page page(width, lines);
                ASSERT_EQ(rotate(page, width, height), referenceRotate(lines, width, height))
                    << where(width, height) << " fill " << int{fill};
            }
        }
}

TEST(RotatePageImage, FullLabelPage) {
    // 4 × 6 inches at 300 dpi: 1200 dots in 152 bytes, 1800 lines.
    std::mt19937 rng(7);
    const LONG width = 152, height = 1800;
    const Lines lines = randomLines(rng, width, height, 0);
    const Page page(width, lines);
    EXPECT_EQ(rotate(page, width, height), referenceRotate(lines, width, height));
}

TEST(ShiftPageImage, HorizontalExamples) {
    const Lines line{{0x11, 0x22, 0x33, 0x44}};
    {
        Page page(4, line);
        shiftPageImage(page.rows.data(), 4, 1, 2, 0);
        EXPECT_EQ(page.contents(4), (Lines{{0xFF, 0xFF, 0x11, 0x22}}));
    }
    {
        Page page(4, line);
        shiftPageImage(page.rows.data(), 4, 1, -1, 0);
        EXPECT_EQ(page.contents(4), (Lines{{0x22, 0x33, 0x44, 0xFF}}));
    }
    Lines reference = line;
    referenceShift(reference, 4, 1, 2, 0);
    EXPECT_EQ(reference, (Lines{{0xFF, 0xFF, 0x11, 0x22}}));
    reference = line;
    referenceShift(reference, 4, 1, -1, 0);
    EXPECT_EQ(reference, (Lines{{0x22, 0x33, 0x44, 0xFF}}));
}

TEST(ShiftPageImage, VerticalExamples) {
    const Lines lines{{0x01, 0x02}, {0x03, 0x04}, {0x05, 0x06}};
    {
        Page page(2, lines);
        shiftPageImage(page.rows.data(), 2, 3, 0, 1);
        EXPECT_EQ(page.contents(2), (Lines{{0x03, 0x04}, {0x05, 0x06}, {0xFF, 0xFF}}));
    }
    {
        Page page(2, lines);
        shiftPageImage(page.rows.data(), 2, 3, 0, -2);
        EXPECT_EQ(page.contents(2), (Lines{{0xFF, 0xFF}, {0xFF, 0xFF}, {0x01, 0x02}}));
    }
}

TEST(ShiftPageImage, MatchesPerByteReferenceAndMovesWholeLines) {
    std::mt19937 rng(1789);
    const std::vector<LONG> widths{0, 1, 2, 3, 4, 5, 7, 8, 9, 13, 31, 33};
    const std::vector<LONG> heights{0, 1, 2, 3, 5, 8, 9, 17, 31};
    for (LONG width : widths)
        for (LONG height : heights)
            for (LONG shiftX : shiftsFor(width))
                for (LONG shiftY : shiftsFor(height)) {
                    const int kind = static_cast<int>(rng() % 4);
                    Lines expected = randomLines(rng, width, height, kind);
                    Page page(width, expected);
                    const std::vector<PageRow> before = page.rows;
                    shiftPageImage(page.rows.data(), width, height, shiftX, shiftY);
                    referenceShift(expected, width, height, shiftX, shiftY);
                    ASSERT_EQ(page.contents(width), expected)
                        << where(width, height, shiftX, shiftY, kind);

                    // The slots are a permutation of the lines' own buffers,
                    // and a vertical shift moved the kept lines as slots.
                    std::multiset<const BYTE*> was, is;
                    for (std::size_t r = 0; r < before.size(); ++r) {
                        was.insert(before[r].bits);
                        is.insert(page.rows[r].bits);
                    }
                    ASSERT_EQ(was, is) << where(width, height, shiftX, shiftY);
                    if (width > 0) {
                        const long long h = height, sy = shiftY;
                        for (long long r = 0; r < h; ++r) {
                            const long long from = r + sy;
                            if (from >= 0 && from < h) {
                                ASSERT_EQ(page.rows[r].bits, before[from].bits)
                                    << where(width, height, shiftX, shiftY) << " line " << r;
                            }
                        }
                    }
                }
}

TEST(PageTransforms, ShiftThenRotateMatchesReference) {
    // The order a landscape label uses: the user's offset, then the turn.
    std::mt19937 rng(31337);
    for (LONG width : {4, 5, 9, 17, 65, 152})
        for (LONG height : {4, 7, 9, 64, 67, 200})
            for (int trial = 0; trial < 4; ++trial) {
                std::uniform_int_distribution<LONG> sx(-width - 2, width + 2);
                std::uniform_int_distribution<LONG> sy(-height - 2, height + 2);
                const LONG shiftX = trial == 0 ? 0 : sx(rng);
                const LONG shiftY = trial == 0 ? 0 : sy(rng);
                Lines expected = randomLines(rng, width, height, trial);
                Page page(width, expected);
                shiftPageImage(page.rows.data(), width, height, shiftX, shiftY);
                referenceShift(expected, width, height, shiftX, shiftY);
                ASSERT_EQ(rotate(page, width, height), referenceRotate(expected, width, height))
                    << where(width, height, shiftX, shiftY, trial);
            }
}

} // namespace

TEST(RotatePageBand, BandsPutTogetherAreTheWholeTurn) {
    // A landscape page goes out band by band: every split of the source
    // bytes must give exactly the lines of the whole turn.
    for (const LONG width : {1, 7, 9, 20, 77, 152}) {
        for (const LONG height : {1, 5, 64, 67, 130}) {
            for (const LONG band : {1, 3, 8, 16, 64}) {
                SCOPED_TRACE(::testing::Message() << width << " x " << height << ", band " << band);
                std::mt19937 rng(static_cast<unsigned>(width * height + band));
                Page page(width, randomLines(rng, width, height, 0));
                const std::size_t outWidth = static_cast<std::size_t>(rotatedWidthBytes(height));
                std::vector<BYTE> whole(outWidth * 8 * static_cast<std::size_t>(width), 0);
                rotatePageImage(page.rows.data(), width, height, whole.data());
                std::vector<BYTE> banded;
                for (LONG end = width; end > 0; end -= band) {
                    const LONG first = std::max<LONG>(0, end - band);
                    std::vector<BYTE> part(outWidth * 8 * static_cast<std::size_t>(end - first), 0);
                    rotatePageBand(page.rows.data(), width, height, first, end - first,
                                   part.data());
                    banded.insert(banded.end(), part.begin(), part.end());
                }
                ASSERT_EQ(banded, whole);
            }
        }
    }
}

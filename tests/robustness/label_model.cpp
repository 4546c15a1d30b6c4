#include "robustness/label_model.h"

#include <algorithm>
#include <random>

namespace model {
namespace {

constexpr BYTE kBlank = 0xFF;

// Moves whole bytes and whole lines, filling what is uncovered with blank.
Lines shifted(Lines lines, std::size_t width, long shiftX, long shiftY) {
    if (shiftX == 0 && shiftY == 0)
        return lines;
    const long w = static_cast<long>(width), h = static_cast<long>(lines.size());
    Lines out(lines.size(), Bytes(width, kBlank));
    for (long y = 0; y < h; ++y) {
        const long from = y + shiftY;
        if (from < 0 || from >= h)
            continue;
        for (long x = 0; x < w; ++x) {
            const long column = x - shiftX;
            if (column >= 0 && column < w)
                out[y][x] = lines[from][column];
        }
    }
    return out;
}

// Output line y, dot x is the dot at column 8W − 1 − y of line x; dots past
// the last line stay 0.
Bytes turned(const Lines& lines, std::size_t width) {
    const std::size_t height = lines.size(), outWidth = (height + 7) / 8;
    Bytes out(outWidth * 8 * width, 0);
    for (std::size_t y = 0; y < 8 * width; ++y) {
        const std::size_t column = 8 * width - 1 - y;
        for (std::size_t x = 0; x < height; ++x)
            if (lines[x][column / 8] & (0x80 >> (column % 8)))
                out[y * outWidth + x / 8] |= static_cast<BYTE>(0x80 >> (x % 8));
    }
    return out;
}

} // namespace

standin::PageBitmap randomPage(LONG width, LONG height, unsigned seed, LONG blankFrom,
                               LONG blankTo) {
    standin::PageBitmap page{width, height, {}};
    page.bits.resize(page.stride() * static_cast<std::size_t>(height));
    std::mt19937 random(seed);
    for (BYTE& byte : page.bits)
        byte = static_cast<BYTE>(random() & random());
    for (LONG y = std::max<LONG>(blankFrom, 0); y < std::min(blankTo, height); ++y)
        std::fill_n(page.bits.begin() + static_cast<std::ptrdiff_t>(page.stride() * y),
                    page.stride(), 0);
    return page;
}

Lines capturedLines(const standin::PageBitmap& page) {
    const std::size_t stride = (static_cast<std::size_t>(page.width) + 31) / 32 * 4;
    Lines lines(static_cast<std::size_t>(page.height), Bytes(stride, kBlank));
    for (LONG y = 0; y < page.height; ++y)
        for (LONG x = 0; x < page.width; ++x)
            if (page.bits[static_cast<std::size_t>(y) * page.stride() + x / 8] & (0x80 >> (x % 8)))
                lines[y][x / 8] &= static_cast<BYTE>(~(0x80 >> (x % 8)));
    return lines;
}

std::string labelProgram(const Lines& lines, std::size_t width, const Label& settings) {
    const Lines moved = shifted(lines, width, settings.shiftX, settings.shiftY);
    std::size_t widthBytes = width, heightDots = lines.size();
    Bytes bitmap;
    if (settings.landscape) {
        widthBytes = (lines.size() + 7) / 8;
        heightDots = 8 * width;
        bitmap = turned(moved, width);
    } else {
        for (const Bytes& line : moved)
            bitmap.insert(bitmap.end(), line.begin(), line.end());
    }
    const int density = settings.density == 0 ? 4 : settings.density - 1;
    std::string out = "Density " + std::to_string(density) + "\r\nDIRECTION " +
                      std::to_string(settings.direction) + ",0\r\nSIZE " +
                      std::to_string(widthBytes) + " mm, " + std::to_string(heightDots / 8) +
                      " mm\r\nCLS\r\nBITMAP 0,0," + std::to_string(widthBytes) + "," +
                      std::to_string(heightDots) + ",1,";
    out.append(bitmap.begin(), bitmap.end());
    return out + "\r\nPRINT 1,1\r\n";
}

std::string labelProgram(const standin::PageBitmap& page, const Label& settings) {
    return labelProgram(capturedLines(page), (static_cast<std::size_t>(page.width) + 31) / 32 * 4,
                        settings);
}

standin::PaperSettings paperFor(const std::vector<standin::PageBitmap>& pages, bool landscape) {
    LONG height = 0, width = 0;
    for (const standin::PageBitmap& page : pages) {
        height = std::max(height, page.height);
        width = std::max(width, page.width);
    }
    const auto tenths = [](LONG dots) { return static_cast<SHORT>((dots * 254 + 202) / 203); };
    standin::PaperSettings paper;
    paper.orientation = landscape ? DMORIENT_LANDSCAPE : DMORIENT_PORTRAIT;
    paper.paperLength = landscape ? tenths(width) : tenths(height);
    paper.paperWidth = landscape ? tenths(height) : tenths(width);
    return paper;
}

void applyLabelSettings(OemDevMode& devmode, const Label& settings) {
    devmode.density = settings.density;
    devmode.direction = settings.direction;
    devmode.shiftX = settings.shiftX;
    devmode.shiftY = settings.shiftY;
}

standin::LabelJob labelJob(std::vector<standin::PageBitmap> pages, const Label& settings) {
    standin::LabelJob job;
    job.paper = paperFor(pages, settings.landscape);
    job.editSettings = [settings](OemDevMode& devmode) { applyLabelSettings(devmode, settings); };
    job.pages = std::move(pages);
    return job;
}

} // namespace model

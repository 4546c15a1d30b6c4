#include "printerapp/rendering/raster_page.h"

#include <algorithm>
#include <cstring>
#include <new>

std::string RasterPage::problemWith(const cups_page_header2_t& header) {
    const std::uint64_t dots = std::uint64_t{header.cupsWidth} * header.cupsHeight;
    if (header.cupsWidth == 0 || header.cupsHeight == 0)
        return "the page has no dots";
    if (dots > kMaxRasterDots || header.cupsWidth > 65535 || header.cupsHeight > 65535)
        return "the page is too large (" + std::to_string(header.cupsWidth) + " x " +
               std::to_string(header.cupsHeight) + " dots)";
    if (header.cupsBytesPerLine > kMaxRasterLineBytes)
        return "the raster lines are too long (" + std::to_string(header.cupsBytesPerLine) +
               " bytes)";
    // A client's header may hold any number where an enumeration is declared.
    unsigned space = 0;
    std::memcpy(&space, &header.cupsColorSpace, sizeof space);
    const bool black1 = header.cupsBitsPerPixel == 1 && space == CUPS_CSPACE_K;
    const bool grey8 = header.cupsBitsPerPixel == 8 && header.cupsBitsPerColor == 8 &&
                       (space == CUPS_CSPACE_SW || space == CUPS_CSPACE_W);
    if (!black1 && !grey8)
        return "unsupported raster type (colour space " + std::to_string(space) + ", " +
               std::to_string(header.cupsBitsPerPixel) + " bits a pixel)";
    if (header.cupsBytesPerLine <
        (std::uint64_t{header.cupsWidth} * header.cupsBitsPerPixel + 7) / 8)
        return "the raster lines are shorter than the page is wide";
    return {};
}

bool RasterPage::start(const cups_page_header2_t& header, bool dither, std::string& error) {
    error = problemWith(header);
    if (!error.empty())
        return false;
    linesSeen_ = 0;
    dots_ = BilevelImage::blank(static_cast<int>(header.cupsWidth),
                                static_cast<int>(header.cupsHeight));
    if (dots_.bits.empty()) {
        error = "out of memory";
        return false;
    }
    grey_.reset();
    if (header.cupsBitsPerPixel == 8)
        grey_ = std::make_unique<DotMaker>(dots_, dither);
    return true;
}

void RasterPage::addLine(unsigned y, const unsigned char* line) {
    if (y >= static_cast<unsigned>(dots_.height))
        return;
    if (grey_) {
        // Dithering carries each line's error to the next.
        if (y != linesSeen_)
            return;
        grey_->addRow(static_cast<int>(y), line, 1);
        linesSeen_ = y + 1;
        return;
    }
    linesSeen_ = std::max(linesSeen_, y + 1);
    // black_1 is dots already: 1 = printed, leftmost in the top bit. Bits
    // past the width stay clear, as every picture keeps them.
    std::uint8_t* row = dots_.bits.data() + y * dots_.stride();
    std::memcpy(row, line, dots_.stride());
    if (const int spare = dots_.width % 8)
        row[dots_.stride() - 1] &= static_cast<std::uint8_t>(0xFF00u >> spare);
}

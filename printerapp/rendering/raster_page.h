// One raster page, line by line, as PAPPL hands it to the driver or as it is
// read from a raster file: black_1 lines are the page's dots as they are;
// 8-bit grey lines are made into dots as pictures are (threshold at mid
// grey, or dither).
#pragma once

#include "host/page_bitmap.h"
#include "imaging/bilevel_image.h"
#include "imaging/dot_maker.h"

#include <cups/raster.h>

#include <cstdint>
#include <memory>
#include <string>

// Larger pages are refused before anything is set aside for them.
inline constexpr std::uint64_t kMaxRasterDots = std::uint64_t{1} << 28;
inline constexpr std::uint32_t kMaxRasterLineBytes = 16u << 20;

class RasterPage {
  public:
    // Empty when a page with this header can be printed; the reason, as the
    // job's message gives it, otherwise.
    static std::string problemWith(const cups_page_header2_t& header);

    // Sets the page up for `header`'s lines, grey ones dithered when
    // `dither`; false, with `error`, when it cannot be printed or no memory
    // can be had.
    bool start(const cups_page_header2_t& header, bool dither, std::string& error);

    // Line `y` of the page, cupsBytesPerLine bytes; lines past the page's
    // end, and grey lines out of order, are ignored.
    void addLine(unsigned y, const unsigned char* line);

    // Whether every line of the page arrived: a stream that ends inside a
    // page is damaged, not a short label.
    bool complete() const { return linesSeen_ == static_cast<unsigned>(dots_.height); }
    unsigned linesSeen() const { return linesSeen_; }

    standin::PageView view() const { return {dots_.width, dots_.height, dots_.bits.data()}; }

  private:
    BilevelImage dots_;
    std::unique_ptr<DotMaker> grey_; // for 8-bit grey pages
    unsigned linesSeen_ = 0;
};

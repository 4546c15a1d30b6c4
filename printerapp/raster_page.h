// One raster page as PAPPL hands it to the driver, line by line. The driver
// takes black_1 lines only (PAPPL makes grey pages into dots with the
// driver's threshold or dither matrix), which are the page's dots as they
// are.
#pragma once

#include "host/page_bitmap.h"
#include "imaging/bilevel_image.h"

#include <cups/raster.h>

#include <cstdint>
#include <string>

// Larger pages are refused before anything is set aside for them.
inline constexpr std::uint64_t kMaxRasterDots = std::uint64_t{1} << 28;
inline constexpr std::uint32_t kMaxRasterLineBytes = 16u << 20;

class RasterPage {
  public:
    // Empty when a page with this header can be printed; the reason, as the
    // job's message gives it, otherwise.
    static std::string problemWith(const cups_page_header2_t& header);

    // Sets the page up for `header`'s lines; false, with `error`, when it
    // cannot be printed or no memory can be had.
    bool start(const cups_page_header2_t& header, std::string& error);

    // Line `y` of the page, cupsBytesPerLine bytes; lines past the page's
    // end are ignored.
    void addLine(unsigned y, const unsigned char* line);

    // Whether every line of the page arrived: a stream that ends inside a
    // page is damaged, not a short label.
    bool complete() const { return linesSeen_ == static_cast<unsigned>(dots_.height); }
    unsigned linesSeen() const { return linesSeen_; }

    standin::PageView view() const { return {dots_.width, dots_.height, dots_.bits.data()}; }

  private:
    BilevelImage dots_;
    unsigned linesSeen_ = 0;
};

// A page as an application draws it: 1 bit a dot, 1 = printed.
#pragma once

#include "platform/win_types.h"

#include <string>
#include <vector>

namespace standin {

// Rows of (width + 7) / 8 bytes, leftmost dot in the top bit, held elsewhere:
// in a PageBitmap, or in a buffer a page file was read into.
struct PageView {
    LONG width = 0;
    LONG height = 0;
    const BYTE* bits = nullptr;

    std::size_t stride() const { return (static_cast<std::size_t>(width) + 7) / 8; }
};

struct PageBitmap {
    LONG width = 0;         // dots per line
    LONG height = 0;        // lines
    std::vector<BYTE> bits; // rows of stride() bytes, leftmost dot in the top bit

    std::size_t stride() const { return (static_cast<std::size_t>(width) + 7) / 8; }
    PageView view() const { return {width, height, bits.data()}; }
};

// A job's pages handed over one at a time, so that a long job never needs
// all of them in memory.
class PageSource {
  public:
    virtual std::size_t count() const = 0;
    // Page `index`, valid until the next call; false, with `error` set, when
    // it cannot be had.
    virtual bool page(std::size_t index, PageView& page, std::string& error) = 0;

  protected:
    ~PageSource() = default;
};

} // namespace standin

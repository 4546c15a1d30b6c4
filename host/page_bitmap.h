// A page as an application draws it: 1 bit a dot, 1 = printed.
#pragma once

#include "platform/win_types.h"

#include <vector>

namespace standin {

struct PageBitmap {
    LONG width = 0;         // dots per line
    LONG height = 0;        // lines
    std::vector<BYTE> bits; // rows of stride() bytes, leftmost dot in the top bit

    std::size_t stride() const { return (static_cast<std::size_t>(width) + 7) / 8; }
};

} // namespace standin

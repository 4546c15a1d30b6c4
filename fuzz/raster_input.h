// What the raster targets share: which inputs libcups would set memory
// aside for beyond any client's page.
#pragma once

#include "printerapp/rendering/raster_page.h"

#include <cstdint>
#include <cstring>

namespace fuzzing {

inline std::uint32_t bigEndianAt(const unsigned char* bytes, std::size_t offset) {
    return std::uint32_t{bytes[offset]} << 24 | std::uint32_t{bytes[offset + 1]} << 16 |
           std::uint32_t{bytes[offset + 2]} << 8 | bytes[offset + 3];
}

// libcups sets a line buffer aside for a page header before anyone can look
// at it, as PAPPL's own reading does; an input whose first page needs lines
// no client's page needs is not read, so that a run measures the code under
// test, not the allocator. Only the first page of an input is read, as later
// headers lie where the compressed lines before them end.
inline bool outlandish(const std::uint8_t* data, std::size_t size) {
    if (size >= 12 + 32 && std::memcmp(data, "UNIRAST", 8) == 0) { // Apple raster
        const std::uint64_t width = bigEndianAt(data, 24), height = bigEndianAt(data, 28);
        return width * height > kMaxRasterDots || width * data[12] / 8 > kMaxRasterLineBytes;
    }
    if (size < 4 + 1796)
        return false;
    const bool swapped = data[0] != 'R';
    const auto field = [&](std::size_t offset) {
        const std::uint32_t value = bigEndianAt(data, 4 + offset);
        return swapped ? __builtin_bswap32(value) : value;
    };
    return field(392) > kMaxRasterLineBytes ||
           std::uint64_t{field(372)} * field(376) > kMaxRasterDots;
}

} // namespace fuzzing

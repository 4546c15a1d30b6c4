// The paper a page of dots needs, as the programs that print pages size it.
#pragma once

#include "platform/win_types.h"

#include <climits>
#include <cstdint>
#include <optional>

namespace standin {

// Tenths of a millimetre for `dots` at `dpi`, rounded up; nullopt beyond
// what a DEVMODE's 16 bits hold.
inline std::optional<SHORT> tenthsOfMillimetre(std::int64_t dots, int dpi) {
    const std::int64_t tenths = (dots * 254 + dpi - 1) / dpi;
    if (tenths > SHRT_MAX || tenths < 0)
        return std::nullopt;
    return static_cast<SHORT>(tenths);
}

} // namespace standin

// The platform's scaling of a 32-bit value by a ratio of two others.
#pragma once

#include <cstdint>

namespace platform {

// number × numerator / denominator over a 64-bit product, to the nearest
// integer with halves away from zero; −1 for a zero denominator or a result
// that does not fit 32 bits.
std::int32_t mulDiv(std::int32_t number, std::int32_t numerator, std::int32_t denominator);

} // namespace platform

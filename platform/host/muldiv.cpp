// What Windows' MulDiv answers, for the host build.
#include "platform/muldiv.h"

#include <limits>

namespace platform {

// Rounds the magnitude and puts the sign back, so halves go away from zero.
std::int32_t mulDiv(std::int32_t number, std::int32_t numerator, std::int32_t denominator) {
    if (denominator == 0)
        return -1;
    const std::int64_t product = std::int64_t{number} * numerator;
    const bool negative = (product < 0) != (denominator < 0);
    const std::uint64_t magnitude =
        product < 0 ? 0 - static_cast<std::uint64_t>(product) : static_cast<std::uint64_t>(product);
    const std::uint64_t divisor = denominator < 0
                                      ? 0 - static_cast<std::uint64_t>(std::int64_t{denominator})
                                      : static_cast<std::uint64_t>(denominator);
    const std::uint64_t quotient = (magnitude + divisor / 2) / divisor;
    constexpr std::uint64_t kMostPositive = std::numeric_limits<std::int32_t>::max();
    if (quotient > kMostPositive + (negative ? 1 : 0))
        return -1;
    return negative ? static_cast<std::int32_t>(0 - quotient) : static_cast<std::int32_t>(quotient);
}

} // namespace platform

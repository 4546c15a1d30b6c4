// The platform's MulDiv as the font metrics rely on it.
#include "platform/muldiv.h"

#include <gtest/gtest.h>

#include <limits>

TEST(MulDiv, RoundsHalvesAwayFromZeroAndFailsAsMinusOne) {
    constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
    constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
    const struct {
        std::int32_t number, numerator, denominator, result;
    } cases[] = {
        {26, 196, 24, 212},
        {26, 203, 300, 18},
        {1, 1, 2, 1},
        {-1, 1, 2, -1},
        {1, -1, 2, -1},
        {-1, -1, 2, 1},
        {-5, 1, -2, 3},
        {5, 1, 3, 2},
        {4, 1, 3, 1},
        {-4, 1, 3, -1},
        {7, 3, 0, -1},
        {0, 5, 0, -1},
        {kMax, 2, 1, -1},
        {kMax, kMax, kMax, kMax},
        {kMin, 1, 1, kMin},
        {kMin, -1, 1, -1},
        {kMin, kMin, kMin, kMin},
        {1, 1, kMin, 0},
        {kMax, kMax, 1, -1},
        {kMin, kMax, kMax, kMin},
    };
    for (const auto& c : cases)
        EXPECT_EQ(platform::mulDiv(c.number, c.numerator, c.denominator), c.result)
            << c.number << " × " << c.numerator << " / " << c.denominator;
}

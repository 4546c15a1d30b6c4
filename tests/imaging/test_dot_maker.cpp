#include "imaging/dot_maker.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

// Grey rows take a shorter way than grey-and-alpha ones; an opaque pixel
// must print the same dot either way, at every grey and wherever the row
// ends inside a byte.
TEST(DotMaker, GreyRowsPrintAsOpaqueGreyAndAlphaRows) {
    for (int width : {1, 7, 8, 9, 16, 17, 256, 813}) {
        SCOPED_TRACE(width);
        std::vector<std::uint8_t> grey(static_cast<std::size_t>(width));
        std::vector<std::uint8_t> greyAlpha(2 * grey.size());
        for (int x = 0; x < width; ++x) {
            grey[x] = static_cast<std::uint8_t>((x * 37 + width) % 256);
            greyAlpha[2 * x] = grey[x];
            greyAlpha[2 * x + 1] = 255;
        }
        BilevelImage fromGrey = BilevelImage::blank(width, 1);
        BilevelImage fromGreyAlpha = BilevelImage::blank(width, 1);
        DotMaker(fromGrey, false).addRow(0, grey.data(), 1);
        DotMaker(fromGreyAlpha, false).addRow(0, greyAlpha.data(), 2);
        EXPECT_EQ(fromGrey.bits, fromGreyAlpha.bits);
        for (int x = 0; x < width; ++x)
            ASSERT_EQ(fromGrey.dot(x, 0), grey[x] < 128) << "grey " << int(grey[x]);
    }
}

} // namespace

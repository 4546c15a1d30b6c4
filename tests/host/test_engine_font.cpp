// The stand-in's font transform, found by name as the plug-in finds it.
#include "host/text/engine_objects.h"
#include "platform/engine_callbacks.h"

#include <gtest/gtest.h>

namespace {

using standin::EngineFont;

TEST(EngineFont, TransformsPointsToDeviceUnitsAndTo28Point4) {
    const auto getXform = platform::engineFontObjGetXform();
    const auto apply = platform::engineXformObjApplyXform();
    ASSERT_NE(getXform, nullptr);
    ASSERT_NE(apply, nullptr);

    EngineFont font;
    font.transform = {{}, 0.75, 0.5, -0.5, 1.25};
    XFORMOBJ* pxo = getXform(&font.fontobj);
    ASSERT_EQ(pxo, &font.transform.xformobj);
    POINTL in[] = {{2, 0}, {0, 2}, {1, 1}, {-3, 0}};
    POINTL whole[4];
    ASSERT_TRUE(apply(pxo, XF_LTOL, 4, in, whole));
    // (1.5, 1) → (2, 1); (−1, 2.5) → (−1, 3); (0.25, 1.75) → (0, 2); (−2.25, −1.5) → (−2, −2)
    const LONG expectedWhole[4][2] = {{2, 1}, {-1, 3}, {0, 2}, {-2, -2}};
    POINTFIX fix[4];
    ASSERT_TRUE(apply(pxo, XF_LTOFX, 4, in, fix));
    const LONG expectedFix[4][2] = {{24, 16}, {-16, 40}, {4, 28}, {-36, -24}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(whole[i].x, expectedWhole[i][0]) << i;
        EXPECT_EQ(whole[i].y, expectedWhole[i][1]) << i;
        EXPECT_EQ(fix[i].x, expectedFix[i][0]) << i;
        EXPECT_EQ(fix[i].y, expectedFix[i][1]) << i;
    }

    EXPECT_FALSE(apply(pxo, XF_INV_LTOL, 1, in, whole));
    EXPECT_FALSE(apply(pxo, XF_LTOFX, 1, in, nullptr));
    font.transform.m11 = 1e9;
    EXPECT_FALSE(apply(pxo, XF_LTOFX, 1, in, fix)) << "beyond 32 bits";

    font.hasTransform = false;
    EXPECT_EQ(getXform(&font.fontobj), nullptr);
    EXPECT_EQ(getXform(nullptr), nullptr);
}

} // namespace

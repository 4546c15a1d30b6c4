// The colour-class gate on the drawing hooks: which calls reach Unidrv, and
// what the hook answers for those it drops.
#include "support/fake_device.h"
#include "text/colour_filter.h"

#include <gtest/gtest.h>

namespace {

TEST(ColourClass, OnlyTheSixPureColoursHaveAClassOfTheirOwn) {
    struct Case {
        ULONG colour;
        ColourClass expected;
    };
    const Case cases[] = {
        {0x000000FF, kRed},     {0x0000FF00, kGreen}, {0x00FF0000, kBlue},  {0x0000FFFF, kYellow},
        {0x00FF00FF, kMagenta}, {0x00FFFF00, kCyan},  {0x00000000, kOther}, {0x00FFFFFF, kOther},
        {0xFF0000FF, kOther},   {0x010000FF, kOther}, {0x000000FE, kOther}, {0x00808080, kOther},
        {0xFFFFFFFF, kOther}, // a non-solid brush
    };
    for (const Case& c : cases)
        EXPECT_EQ(classifyColour(c.colour), c.expected) << std::hex << c.colour;
}

enum class Hook { kBitBlt, kStretchBlt, kStrokePath };

// Calls one drawing hook as the engine would, with `brush` where the call
// has one.
BOOL callHook(fake::FakeDevice& device, Hook hook, BRUSHOBJ* brush) {
    RECTL rect{0, 0, 8, 8};
    POINTL origin{0, 0};
    switch (hook) {
    case Hook::kBitBlt:
        return DrvBitBlt(device.surface(), nullptr, nullptr, nullptr, nullptr, &rect, nullptr,
                         nullptr, brush, &origin, 0xF0F0);
    case Hook::kStretchBlt:
        return DrvStretchBlt(device.surface(), device.surface(), nullptr, nullptr, nullptr, nullptr,
                             &origin, &rect, &rect, nullptr, 3);
    case Hook::kStrokePath:
        return DrvStrokePath(device.surface(), nullptr, nullptr, nullptr, brush, &origin, nullptr,
                             0x0D0D);
    }
    return FALSE;
}

UnidrvHookRow rowOf(Hook hook) {
    return hook == Hook::kBitBlt       ? kRowBitBlt
           : hook == Hook::kStretchBlt ? kRowStretchBlt
                                       : kRowStrokePath;
}

TEST(ColourGate, EachHookFollowsItsOwnSwitchOfTheBrushesClass) {
    struct Case {
        const char* what;
        Hook hook;
        bool hasBrush;
        ULONG colour;
        int offClass;    // the class whose switch is turned off
        bool offIsLines; // printLines rather than printBitmaps
        bool reachesUnidrv;
    };
    const Case cases[] = {
        {"red blit, red bitmaps off", Hook::kBitBlt, true, 0x000000FF, kRed, false, false},
        {"red blit, red lines off", Hook::kBitBlt, true, 0x000000FF, kRed, true, true},
        {"red blit, green bitmaps off", Hook::kBitBlt, true, 0x000000FF, kGreen, false, true},
        {"blit without brush, class 0 off", Hook::kBitBlt, false, 0, kOther, false, false},
        {"patterned blit, class 0 off", Hook::kBitBlt, true, 0xFFFFFFFF, kOther, false, false},
        {"white blit, class 0 off", Hook::kBitBlt, true, 0x00FFFFFF, kOther, false, false},
        {"red with top byte, class 0 off", Hook::kBitBlt, true, 0x010000FF, kOther, false, false},
        {"stretch, class 0 bitmaps off", Hook::kStretchBlt, false, 0, kOther, false, false},
        {"stretch, red bitmaps off", Hook::kStretchBlt, false, 0, kRed, false, true},
        {"stretch, class 0 lines off", Hook::kStretchBlt, false, 0, kOther, true, true},
        {"blue stroke, blue lines off", Hook::kStrokePath, true, 0x00FF0000, kBlue, true, false},
        {"blue stroke, blue bitmaps off", Hook::kStrokePath, true, 0x00FF0000, kBlue, false, true},
        {"cyan stroke, blue lines off", Hook::kStrokePath, true, 0x00FFFF00, kBlue, true, true},
        {"stroke without brush, class 0 off", Hook::kStrokePath, false, 0, kOther, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (const BOOL unidrvAnswer : {TRUE, FALSE}) {
            fake::FakeDevice device;
            ColourFlags& flags = device.settings.colourFlags[c.offClass];
            (c.offIsLines ? flags.printLines : flags.printBitmaps) = 0;
            device.unidrvResult[rowOf(c.hook)] = unidrvAnswer;
            BRUSHOBJ brush{c.colour, nullptr, 0};
            const BOOL result = callHook(device, c.hook, c.hasBrush ? &brush : nullptr);
            EXPECT_EQ(device.callsOf(rowOf(c.hook)), c.reachesUnidrv ? 1 : 0);
            EXPECT_EQ(device.unidrvCalls.size(), c.reachesUnidrv ? 1u : 0u);
            EXPECT_EQ(result, c.reachesUnidrv ? unidrvAnswer : TRUE);
            EXPECT_TRUE(device.spool.empty());
        }
    }
}

TEST(ColourGate, AnyNonZeroSwitchPrints) {
    fake::FakeDevice device;
    device.settings.colourFlags[kRed].printBitmaps = 0x80000000;
    BRUSHOBJ red{0x000000FF, nullptr, 0};
    EXPECT_EQ(callHook(device, Hook::kBitBlt, &red), TRUE);
    EXPECT_EQ(device.callsOf(kRowBitBlt), 1);
}

TEST(ColourGate, WithTheDefaultsEveryCallReachesUnidrvUnchanged) {
    fake::FakeDevice device;
    for (const Hook hook : {Hook::kBitBlt, Hook::kStretchBlt, Hook::kStrokePath}) {
        for (const ULONG colour : {0x000000FFu, 0x00FFFF00u, 0x00123456u}) {
            device.clearRecords();
            BRUSHOBJ brush{colour, nullptr, 0};
            EXPECT_EQ(callHook(device, hook, &brush), TRUE);
            ASSERT_EQ(device.unidrvCalls.size(), 1u);
            EXPECT_EQ(device.unidrvCalls[0].row, rowOf(hook));
            EXPECT_EQ(device.lastSurface, device.surface());
        }
    }
}

} // namespace

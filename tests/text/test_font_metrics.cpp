// The printer-resident font's metrics, asked for through the hook table as
// the engine asks, from metrics files written here.
#include "host/standin.h"
#include "host/text/font_queries.h"
#include "platform/last_error.h"
#include "support/linked_module.h"
#include "support/ufm_writer.h"
#include "text/font_file.h"
#include "text/font_metrics.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>
#include <random>
#include <string>

namespace {

namespace fs = std::filesystem;
using standin::EngineFont;

constexpr LONG kMetricsSize = 124;
constexpr BYTE kUntouched = 0x5A;

TEST(FontArithmetic, VectorLengthIsTheSquareRootRoundedUp) {
    constexpr LONG kMin = std::numeric_limits<LONG>::min(), kMax = std::numeric_limits<LONG>::max();
    const struct {
        LONG x, y;
        std::int64_t length;
    } cases[] = {
        {3, 4, 5},
        {1, 1, 2},
        {2, 3, 4},
        {0, -7, 7},
        {-7, 0, 7},
        {0, 0, 0},
        {46341, 46341, 65537},
        {65536, -65536, 92682},
        {kMin, 1, 2147483649},
        {kMin, kMin, 3037000500},
        {kMax, kMax, 3037000499},
        {kMin, 0, 2147483648},
    };
    for (const auto& c : cases)
        EXPECT_EQ(vectorLength(c.x, c.y), c.length) << c.x << ", " << c.y;

    std::mt19937 random(6);
    for (int i = 0; i < 20000; ++i) {
        const auto x = static_cast<LONG>(random()) >> (random() % 32);
        const auto y = static_cast<LONG>(random()) >> (random() % 32);
        const std::uint64_t square =
            std::uint64_t(std::int64_t{x} * x) + std::uint64_t(std::int64_t{y} * y);
        const auto r = static_cast<std::uint64_t>(vectorLength(x, y));
        ASSERT_GE(r * r, square) << x << ", " << y;
        ASSERT_TRUE(r == 0 || (r - 1) * (r - 1) < square) << x << ", " << y;
    }
}

TEST(FontArithmetic, SnapToPixelRoundsToWholePixelsHalvesUp) {
    const std::int64_t cases[][2] = {{7, 0},  {8, 16},   {23, 16}, {24, 32},
                                     {-8, 0}, {-9, -16}, {0, 0}};
    for (const auto& c : cases)
        EXPECT_EQ(snapToPixel(c[0]), c[1]) << c[0];
}

float asFloat(FLOATL bits) {
    return std::bit_cast<float>(bits);
}

// A scale-and-rotate transform: device = (x·m11 + y·m21, x·m12 + y·m22).
EngineFont fontWith(double m11, double m12, double m21, double m22) {
    EngineFont font;
    font.transform.m11 = m11;
    font.transform.m12 = m12;
    font.transform.m21 = m21;
    font.transform.m22 = m22;
    return font;
}

// One font unit to one device pixel, y turned downwards: F(x, y) = (16x, −16y).
EngineFont exampleFont() {
    return fontWith(1, 0, 0, -1);
}

FD_DEVICEMETRICS untouchedMetrics() {
    FD_DEVICEMETRICS metrics;
    std::memset(&metrics, kUntouched, sizeof metrics);
    return metrics;
}

GLYPHDATA untouchedGlyph() {
    GLYPHDATA glyph;
    std::memset(&glyph, kUntouched, sizeof glyph);
    return glyph;
}

// A printer driver directory of its own and a started stand-in per test.
class FontQueries : public ::testing::Test {
  protected:
    void SetUp() override {
        const auto* test = ::testing::UnitTest::GetInstance();
        directory =
            fs::temp_directory_path() / ("label-metrics-" + std::to_string(test->random_seed()) +
                                         "-" + test->current_test_info()->name());
        fs::create_directories(directory);
        setenv("PRINTER_DRIVER_DIR", directory.c_str(), 1);
        dropFontImage();
        ASSERT_TRUE(unidrv.startUp(error)) << error;
        publicDm = standin::makePublicDevMode({});
        ASSERT_TRUE(unidrv.privateSettingsFor(publicDm, privateDm, error)) << error;
    }
    void TearDown() override {
        dropFontImage();
        unsetenv("PRINTER_DRIVER_DIR");
        fs::remove_all(directory);
    }

    std::unique_ptr<standin::Device> enabledDevice() {
        auto device = unidrv.makeDevice(publicDm, privateDm);
        EXPECT_EQ(device->enable(), S_OK);
        return device;
    }

    // Puts a new file in place and lets go of the image loaded from the old.
    void installFont(const std::vector<BYTE>& file) {
        ufm::install(directory, file);
        dropFontImage();
    }

    fs::path directory;
    std::string error;
    standin::UnidrvStandIn unidrv{linkedModule()};
    DEVMODEW publicDm{};
    OemDevMode privateDm{};
};

TEST_F(FontQueries, ExampleFontDeviceMetrics) {
    installFont(ufm::write({}));
    auto device = enabledDevice();
    EngineFont font = exampleFont();
    FD_DEVICEMETRICS m = untouchedMetrics();
    ASSERT_EQ(standin::queryDeviceMetrics(*device, font, m), kMetricsSize);
    EXPECT_EQ(m.flRealizedType, 0u);
    EXPECT_EQ(asFloat(m.pteBase.x), 1.0f);
    EXPECT_EQ(asFloat(m.pteBase.y), 0.0f);
    EXPECT_EQ(asFloat(m.pteSide.x), 0.0f);
    EXPECT_EQ(asFloat(m.pteSide.y), 1.0f);
    EXPECT_EQ(m.lNonLinearExtLeading, 0) << "fixed pitch: none, whatever the leading";
    EXPECT_EQ(m.lNonLinearIntLeading, 0);
    EXPECT_EQ(m.cxMax, 24u);
    EXPECT_EQ(m.lD, 24);
    EXPECT_EQ(m.fxMaxAscender, 320);
    EXPECT_EQ(m.fxMaxDescender, 64);
    EXPECT_EQ(m.ptlUnderline1.x, 0);
    EXPECT_EQ(m.ptlUnderline1.y, -2);
    EXPECT_EQ(m.ptlStrikeOut.x, 0);
    EXPECT_EQ(m.ptlStrikeOut.y, 8);
    EXPECT_EQ(m.ptlULThickness.x, 0);
    EXPECT_EQ(m.ptlULThickness.y, -1);
    EXPECT_EQ(std::memcmp(&m.ptlSOThickness, &m.ptlULThickness, sizeof(POINTL)), 0);
    // cyMax through fdxQuantized, and lNonLinearMaxCharWidth to the end, are the caller's.
    const FD_DEVICEMETRICS before = untouchedMetrics();
    const auto kept = [&](std::size_t from, std::size_t to) {
        return std::memcmp(reinterpret_cast<const BYTE*>(&m) + from,
                           reinterpret_cast<const BYTE*>(&before) + from, to - from) == 0;
    };
    EXPECT_TRUE(
        kept(offsetof(FD_DEVICEMETRICS, cyMax), offsetof(FD_DEVICEMETRICS, lNonLinearExtLeading)));
    EXPECT_TRUE(kept(offsetof(FD_DEVICEMETRICS, lNonLinearMaxCharWidth), sizeof m));
}

TEST_F(FontQueries, PitchFamilyAndFontBoxDecideLeadingAndDescent) {
    constexpr LONG kKept = 0x5A5A5A5A;
    const struct {
        BYTE family;
        LONG top, bottom;
        LONG extLeading, intLeading, lD, descender;
    } cases[] = {
        {0x31, 20, -4, 0, 0, 24, 64},       // fixed: nothing external, D from the box
        {0x22, 20, -4, 64, kKept, 0, 64},   // Q 26 on the 0x20 scale: E 4
        {0x42, 20, -4, 3392, kKept, 0, 64}, // neither bit: E = MulDiv(26, 196, 24) = 212
        {0x30, 20, -4, 32, kKept, 0, 64},   // 0x10 wins over 0x20: E 2
        {0x52, 20, -4, 32, kKept, 0, 64},   // a bit, not a family value
        {0x42, 30, -6, 3184, kKept, 0, 96}, // internal leading MulDiv(12, 26, 24) = 13
        {0x12, 30, -6, 0, kKept, 0, 96},    // (2 − 13) × 16 is below zero
        {0x42, 10, -4, 3392, kKept, 0, 64}, // a negative internal leading counts as 0
        {0x41, 30, -6, 0, 0, 24, 0},        // fixed: D = −6 − 30 + 6 + 24 raised to 0
        {0x01, 10, -4, 0, 0, 24, 224},      // fixed: D = −4 − 10 + 4 + 24 = 14
    };
    auto device = enabledDevice();
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << std::hex << int(c.family) << std::dec << " box "
                                          << c.top << ", " << c.bottom);
        installFont(ufm::write(
            {.pitchAndFamily = c.family, .fontBoxTop = c.top, .fontBoxBottom = c.bottom}));
        EngineFont font = exampleFont();
        FD_DEVICEMETRICS m = untouchedMetrics();
        ASSERT_EQ(standin::queryDeviceMetrics(*device, font, m), kMetricsSize);
        EXPECT_EQ(m.lNonLinearExtLeading, c.extLeading);
        EXPECT_EQ(m.lNonLinearIntLeading, c.intLeading);
        EXPECT_EQ(m.lD, c.lD);
        EXPECT_EQ(m.cxMax, 24u);
        EXPECT_EQ(m.fxMaxAscender, 16 * c.top);
        EXPECT_EQ(m.fxMaxDescender, c.descender);
    }
}

TEST_F(FontQueries, SwissLeadingFollowsTheHeightOnTheBaseScale) {
    installFont(ufm::write({.pitchAndFamily = 0x22}));
    auto device = enabledDevice();
    const struct {
        int pixels; // H, and Q at 203 dpi
        SHORT dpi;
        LONG extLeading;
    } cases[] = {{12, 203, 32}, {13, 203, 48}, {14, 203, 64}, {26, 406, 96}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pixels);
        device->publicSettings().dmPrintQuality = c.dpi;
        const double scale = c.pixels / 26.0;
        EngineFont font = fontWith(scale, 0, 0, -scale);
        FD_DEVICEMETRICS m = untouchedMetrics();
        ASSERT_EQ(standin::queryDeviceMetrics(*device, font, m), kMetricsSize);
        EXPECT_EQ(m.lNonLinearExtLeading, c.extLeading);
    }
}

TEST_F(FontQueries, OtherResolutionsScaleTheExternalLeading) {
    installFont(ufm::write({.pitchAndFamily = 0x42}));
    auto device = enabledDevice();
    device->publicSettings().dmPrintQuality = 300;
    EngineFont font = exampleFont();
    FD_DEVICEMETRICS m = untouchedMetrics();
    ASSERT_EQ(standin::queryDeviceMetrics(*device, font, m), kMetricsSize);
    // Q = MulDiv(26, 203, 300) = 18, E = MulDiv(18, 196, 24) = 147, MulDiv(147, 300, 203) = 217.
    EXPECT_EQ(m.lNonLinearExtLeading, 217 * 16);
}

TEST_F(FontQueries, TurnedFontsGetTurnedDirections) {
    installFont(ufm::write({}));
    auto device = enabledDevice();
    const struct {
        EngineFont font;
        float base[2], side[2];
        LONG underlineX, underlineY;
    } cases[] = {
        {fontWith(0, 1, -1, 0), {0, 1}, {1, 0}, -2, 0},                  // a quarter turn
        {fontWith(1.5, 2, -2, 1.5), {0.6f, 0.8f}, {0.8f, -0.6f}, -4, 3}, // 3-4-5, 2.5 times
    };
    for (auto c : cases) {
        FD_DEVICEMETRICS m = untouchedMetrics();
        ASSERT_EQ(standin::queryDeviceMetrics(*device, c.font, m), kMetricsSize);
        EXPECT_EQ(asFloat(m.pteBase.x), c.base[0]);
        EXPECT_EQ(asFloat(m.pteBase.y), c.base[1]);
        EXPECT_EQ(asFloat(m.pteSide.x), c.side[0]);
        EXPECT_EQ(asFloat(m.pteSide.y), c.side[1]);
        EXPECT_EQ(m.ptlUnderline1.x, c.underlineX);
        EXPECT_EQ(m.ptlUnderline1.y, c.underlineY);
    }
}

TEST_F(FontQueries, WidthsAndGlyphDataAtEachScale) {
    installFont(ufm::write({}));
    auto device = enabledDevice();
    const struct {
        const char* what;
        EngineFont font;
        USHORT width;
        FIX advance, ptqX, ptqY;
    } cases[] = {
        {"one unit per pixel", exampleFont(), 384, 416, 416, 0},
        {"half scale", fontWith(0.5, 0, 0, -0.5), 192, 208, 208, 0},
        {"L 50000", fontWith(50000 / 65536.0, 0, 0, -1), 288, 320, 320, 0},
        {"L 50000 turned", fontWith(30000 / 65536.0, 40000 / 65536.0, 0, -1), 288, 320, 192, 256},
        {"L beyond 46340 on both axes", fontWith(600, 800, 0, -1), 56320, 416000, 249600, 332800},
    };
    for (auto c : cases) {
        SCOPED_TRACE(c.what);
        HGLYPH handles[] = {7, 0, 0xFFFF, 42, 3};
        USHORT widths[6] = {1, 1, 1, 1, 1, 1};
        for (ULONG mode : {QAW_GETWIDTHS, QAW_GETEASYWIDTHS}) {
            ASSERT_TRUE(standin::queryAdvanceWidths(*device, c.font, mode, handles, widths, 5));
            for (int i = 0; i < 5; ++i)
                EXPECT_EQ(widths[i], c.width) << i;
            EXPECT_EQ(widths[5], 1) << "one past the glyphs asked for";
        }
        for (ULONG mode : {QFD_GLYPHANDBITMAP, QFD_TT_GLYPHANDBITMAP}) {
            GLYPHDATA g = untouchedGlyph();
            ASSERT_EQ(standin::queryFontData(*device, c.font, mode, 0xBEEF, &g, nullptr, 0), 0);
            EXPECT_EQ(g.hg, 0xBEEFu);
            EXPECT_EQ(g.fxD, c.advance);
            EXPECT_EQ(g.fxAB, c.advance);
            EXPECT_EQ(g.fxA, 0);
            EXPECT_EQ(g.ptqD.x.HighPart, c.ptqX);
            EXPECT_EQ(g.ptqD.x.LowPart, 0u);
            EXPECT_EQ(g.ptqD.y.HighPart, c.ptqY);
            EXPECT_EQ(g.ptqD.y.LowPart, 0u);
            const GLYPHDATA before = untouchedGlyph();
            EXPECT_EQ(std::memcmp(&g.gdf, &before.gdf, sizeof g.gdf), 0);
            EXPECT_EQ(std::memcmp(&g.rclInk, &before.rclInk, sizeof g.rclInk), 0);
        }
    }
}

TEST_F(FontQueries, ExampleFontGlyphInk) {
    installFont(ufm::write({}));
    auto device = enabledDevice();
    EngineFont font = exampleFont();
    GLYPHDATA g = untouchedGlyph();
    ASSERT_EQ(standin::queryGlyphData(*device, font, 1, g), 0);
    EXPECT_EQ(g.fxInkBottom, -64);
    EXPECT_EQ(g.fxInkTop, 320);
}

TEST_F(FontQueries, ModesBuffersAndMissingTransforms) {
    installFont(ufm::write({}));
    auto device = enabledDevice();
    EngineFont font = exampleFont();
    for (ULONG mode : {0u, 2u, 5u, 0xFFFFFFFFu})
        EXPECT_EQ(standin::queryFontData(*device, font, mode, 1, nullptr, nullptr, 0), FD_ERROR)
            << mode;
    EXPECT_EQ(standin::queryFontData(*device, font, QFD_MAXEXTENTS, 1, nullptr, nullptr, 0),
              kMetricsSize);
    EXPECT_EQ(standin::queryFontData(*device, font, QFD_GLYPHANDBITMAP, 1, nullptr, nullptr, 0), 0);
    EXPECT_EQ(standin::queryFontData(*device, font, QFD_TT_GLYPHANDBITMAP, 1, nullptr, nullptr, 0),
              0);

    USHORT widths[2] = {9, 9};
    platform::setLastError(0);
    EXPECT_FALSE(standin::queryAdvanceWidths(*device, font, 2, nullptr, widths, 2));
    EXPECT_EQ(platform::lastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(widths[0], 9);
    platform::setLastError(0);
    EXPECT_FALSE(standin::queryAdvanceWidths(*device, font, QAW_GETWIDTHS, nullptr, nullptr, 2))
        << "nowhere to put the widths";
    EXPECT_EQ(platform::lastError(), ERROR_INVALID_PARAMETER);

    // Without a transform, or with one that cannot be applied, nothing is answered.
    EngineFont noTransform = exampleFont();
    noTransform.hasTransform = false;
    EngineFont overflowing = fontWith(1e9, 0, 0, -1e9);
    for (EngineFont* failing : {&noTransform, &overflowing}) {
        platform::setLastError(1234);
        EXPECT_TRUE(
            standin::queryAdvanceWidths(*device, *failing, QAW_GETWIDTHS, nullptr, widths, 0))
            << "no glyphs need no transform";
        EXPECT_FALSE(
            standin::queryAdvanceWidths(*device, *failing, QAW_GETWIDTHS, nullptr, widths, 2));
        EXPECT_EQ(platform::lastError(), 1234u);
        EXPECT_EQ(widths[0], 9);
        for (ULONG mode : {QFD_GLYPHANDBITMAP, QFD_MAXEXTENTS, QFD_TT_GLYPHANDBITMAP}) {
            GLYPHDATA g = untouchedGlyph();
            FD_DEVICEMETRICS m = untouchedMetrics();
            EXPECT_EQ(standin::queryFontData(*device, *failing, mode, 1, &g, &m, sizeof m),
                      FD_ERROR);
            EXPECT_EQ(g.fxD, untouchedGlyph().fxD);
            EXPECT_EQ(m.cxMax, untouchedMetrics().cxMax);
        }
    }

    // A transform that flattens the font has no direction to report.
    EngineFont flat = fontWith(0, 0, 0, 0);
    FD_DEVICEMETRICS m = untouchedMetrics();
    EXPECT_EQ(standin::queryDeviceMetrics(*device, flat, m), FD_ERROR);
    EXPECT_EQ(m.cxMax, untouchedMetrics().cxMax);
}

TEST_F(FontQueries, TooShortOrMisplacedRecordsAreNeverReadPastTheirEnd) {
    auto device = enabledDevice();
    EngineFont font = exampleFont();
    const std::vector<BYTE> whole = ufm::write({});
    for (std::size_t size = 0; size <= whole.size(); ++size) {
        installFont({whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(size)});
        const bool complete = size >= ufm::kHeaderSize + ufm::kIfiBytesRead;
        FD_DEVICEMETRICS m = untouchedMetrics();
        ASSERT_EQ(standin::queryDeviceMetrics(*device, font, m), complete ? kMetricsSize : FD_ERROR)
            << size;
    }
    const struct {
        DWORD offset;
        LONG answer;
    } offsets[] = {
        {0, kMetricsSize}, // the header overlaps the record, but every byte is there
        {static_cast<DWORD>(whole.size()) - ufm::kIfiBytesRead, kMetricsSize},
        {static_cast<DWORD>(whole.size()) - ufm::kIfiBytesRead + 1, FD_ERROR},
        {static_cast<DWORD>(whole.size()), FD_ERROR},
        {0xFFFFFFFF - ufm::kIfiBytesRead + 1, FD_ERROR}, // the end wraps round
        {0xFFFFFFFF, FD_ERROR},
    };
    for (const auto& c : offsets) {
        std::vector<BYTE> file = whole;
        ufm::pointIfiAt(file, c.offset);
        installFont(file);
        GLYPHDATA g = untouchedGlyph();
        EXPECT_EQ(standin::queryGlyphData(*device, font, 1, g), c.answer == FD_ERROR ? FD_ERROR : 0)
            << c.offset;
    }
    installFont(ufm::write({.fontBoxTop = 30, .ifiOffset = 300}));
    FD_DEVICEMETRICS m = untouchedMetrics();
    ASSERT_EQ(standin::queryDeviceMetrics(*device, font, m), kMetricsSize);
    EXPECT_EQ(m.fxMaxAscender, 480) << "the record where the header says";
}

TEST_F(FontQueries, MissingFileIsLookedForAtEveryQuery) {
    auto device = enabledDevice(); // no file yet: enabling still succeeds
    EngineFont font = exampleFont();
    USHORT widths[1] = {};
    EXPECT_TRUE(standin::queryAdvanceWidths(*device, font, QAW_GETWIDTHS, nullptr, widths, 1));
    EXPECT_EQ(widths[0], 384) << "widths need no file";
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(standin::queryFontData(*device, font, QFD_MAXEXTENTS, 1, nullptr, nullptr, 0),
                  FD_ERROR);
    ufm::install(directory, ufm::write({}));
    EXPECT_EQ(standin::queryFontData(*device, font, QFD_MAXEXTENTS, 1, nullptr, nullptr, 0),
              kMetricsSize)
        << "the file installed later is loaded even when no buffer is given";
    FD_DEVICEMETRICS m = untouchedMetrics();
    ASSERT_EQ(standin::queryDeviceMetrics(*device, font, m), kMetricsSize);
    EXPECT_EQ(m.fxMaxAscender, 320);
}

TEST_F(FontQueries, DisablingOneDeviceMakesTheOtherReload) {
    installFont(ufm::write({}));
    auto first = enabledDevice();
    auto second = enabledDevice();
    EngineFont font = exampleFont();
    FD_DEVICEMETRICS m = untouchedMetrics();
    ASSERT_EQ(standin::queryDeviceMetrics(*second, font, m), kMetricsSize);
    EXPECT_EQ(m.fxMaxAscender, 320);

    ufm::install(directory, ufm::write({.fontBoxTop = 30})); // the image held is the old file's
    ASSERT_EQ(standin::queryDeviceMetrics(*second, font, m), kMetricsSize);
    EXPECT_EQ(m.fxMaxAscender, 320);
    EXPECT_EQ(first->disable(), S_OK);
    ASSERT_EQ(standin::queryDeviceMetrics(*second, font, m), kMetricsSize);
    EXPECT_EQ(m.fxMaxAscender, 480) << "loaded again after the other device let go of it";
}

} // namespace

// Sizes at and past the edges of the plug-in's arithmetic: pages of no lines
// or one dot, very long pages, band widths near the 16- and 32-bit limits,
// paper and resolution values that give huge or negative capacities, and
// settings at the ends of their 16-bit range. Each must give a defined label
// or a clean refusal, and none may ask for an allocation out of proportion.
#include "host/band_description.h"
#include "host/print_job.h"
#include "platform/host/test_controls.h"
#include "plugin/oem_pdev.h"
#include "robustness/label_model.h"
#include "settings/command_callback.h"
#include "support/linked_module.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <memory>
#include <sys/resource.h>

namespace {

using model::Bytes;
using model::Lines;
using platform::host::liveAllocations;
using standin::PageBitmap;

constexpr LONG kRefused = -1;
constexpr SHORT kShortMin = SHRT_MIN, kShortMax = SHRT_MAX;

// The most memory the process has held so far, in bytes.
long long peakResident() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<long long>(usage.ru_maxrss) * 1024;
}

class HostileSizes : public ::testing::Test {
  protected:
    void SetUp() override {
        textMode.store(0);
        ASSERT_TRUE(unidrv.startUp(error)) << error;
    }
    void TearDown() override { textMode.store(0); }

    // An enabled device on `paper` with the label `settings`, turned when
    // they say so.
    std::unique_ptr<standin::Device> device(standin::PaperSettings paper,
                                            const model::Label& settings = {}) {
        if (settings.landscape)
            paper.orientation = DMORIENT_LANDSCAPE;
        const DEVMODEW publicDm = standin::makePublicDevMode(paper);
        OemDevMode privateDm{};
        EXPECT_TRUE(unidrv.privateSettingsFor(publicDm, privateDm, error, [&](OemDevMode& d) {
            model::applyLabelSettings(d, settings);
        })) << error;
        auto made = unidrv.makeDevice(publicDm, privateDm);
        EXPECT_EQ(made->enable(), S_OK);
        return made;
    }

    static std::string print(const standin::LabelJob& job) {
        const standin::JobOutcome outcome = standin::printLabelJob(linkedModule(), job);
        EXPECT_TRUE(outcome.ok) << outcome.error;
        return model::text(outcome.spool);
    }

    std::string error;
    standin::UnidrvStandIn unidrv{linkedModule()};
};

// One band handed to ImageProcessing as Unidrv hands it over.
void sendBand(standin::Device& device, LONG width, LONG height, DWORD callbackId, BYTE* bits,
              bool blank) {
    standin::BandDescription band = standin::describeBand(width, height, callbackId, blank);
    PBYTE result = nullptr;
    EXPECT_EQ(device.pluginObject().ImageProcessing(&device.devobj(), bits, &band.header, nullptr,
                                                    callbackId, &band.params, &result),
              S_OK);
    EXPECT_EQ(result, bits) << "the band goes back unchanged";
}

model::Label landscape() {
    return {.landscape = true};
}

TEST_F(HostileSizes, PagesOfNoLinesOrOneDot) {
    PageBitmap dot{1, 1, {0x80}};
    const PageBitmap none{0, 0, {}}, wide = model::randomPage(384, 8, 1);
    const struct {
        const char* name;
        std::vector<PageBitmap> pages;
        std::string portrait, landscape;
    } cases[] = {
        {"one printed dot", {dot}, model::labelProgram(dot), model::labelProgram(dot, landscape())},
        {"no lines on a fresh device",
         {none},
         model::labelProgram(Lines{}, 0),
         model::labelProgram(Lines{}, 0, landscape())},
        // The line width is the last page's until a band says otherwise:
        // 48 bytes and no lines, or turned, no bytes in 384 lines.
        {"no lines after a wide page",
         {wide, none},
         model::labelProgram(wide) + model::labelProgram(Lines{}, 48),
         model::labelProgram(wide, landscape()) + model::labelProgram(Lines{}, 48, landscape())},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(print(model::labelJob(c.pages)), c.portrait);
        EXPECT_EQ(print(model::labelJob(c.pages, landscape())), c.landscape);
    }
}

TEST_F(HostileSizes, TensOfThousandsOfLinesOnATableSizedForTen) {
    const struct {
        LONG width, height, bandHeight;
        model::Label settings;
    } cases[] = {
        {16, 40000, 64, {}},
        {200, 30000, 1000, {.shiftX = -2, .shiftY = 7}},
        {16, 40000, 333, landscape()},
        {200, 30000, 64, {.shiftX = 3, .shiftY = -5, .landscape = true}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << c.width << " x " << c.height << " in bands of " << c.bandHeight
                     << (c.settings.landscape ? ", turned" : ""));
        const PageBitmap page = model::randomPage(c.width, c.height, 2, 1000, 5000);
        standin::LabelJob job = model::labelJob({page}, c.settings);
        job.bandHeight = c.bandHeight;
        (c.settings.landscape ? job.paper.paperWidth : job.paper.paperLength) = 0;
        EXPECT_EQ(print(job), model::labelProgram(page, c.settings));
    }
}

// The line stride comes from the band's width: a width whose lines no devmode
// could describe is refused, and stores nothing; the others store their
// lines. Blank bands are not read, so no pixels are handed over.
TEST_F(HostileSizes, BandWidthsAtTheLimitsOfTheArithmetic) {
    const struct {
        LONG biWidth;
        DWORD callbackId;
        LONG lines;
        LONG stride; // kRefused: nothing stored, the label is 0 × 0
    } cases[] = {
        {INT_MAX, 1, 2, kRefused},
        {INT_MAX, 24, 2, kRefused},
        {INT_MAX - 31, 1, 0, kRefused},
        {INT_MAX - 31, 1, 3, kRefused},
        {89478485, 24, 1, kRefused}, // 24 bits a dot: just inside 32 bits, far too wide
        {89478486, 24, 1, kRefused}, // 24 bits a dot: past 32 bits
        {134217729, 1, 1, kRefused}, // one DWORD past the widest line allowed
        {5592406, 24, 1, kRefused},
        {INT_MIN, 1, 2, kRefused},
        {INT_MIN, 24, 2, kRefused},
        {-1431655765, 24, 2, kRefused}, // below 32 bits: cut to 32, it would be 8
        {-63, 1, 2, kRefused},          // the first width whose stride is below zero
        {-32, 1, 2, 0},
        {-1, 1, 3, 0},
        {-1, 24, 3, 0},
        {0, 1, 2, 0},
        {1, 1, 2, 4},
        {65535, 1, 2, 8192},
        {65536, 1, 2, 8192},
        {65537, 1, 2, 8196},
        {65535, 24, 2, 196608},
        {32767, 24, 0, 98304},
    };
    const long long peakBefore = peakResident();
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "width " << c.biWidth << ", callback " << c.callbackId
                                          << ", " << c.lines << " blank lines");
        for (const bool turned : {false, true}) {
            if (turned && c.stride > 8192)
                continue; // 8 lines a byte: enough writes already
            auto printer = device({}, turned ? landscape() : model::Label{});
            printer->startDoc();
            ASSERT_TRUE(printer->startPage());
            const std::int64_t live = liveAllocations();
            sendBand(*printer, c.biWidth, c.lines, c.callbackId, nullptr, true);
            const LONG stored = c.stride == kRefused ? 0 : c.lines;
            EXPECT_EQ(liveAllocations(), live + stored) << "one block per stored line";
            printer->sendPage();
            const auto width = static_cast<std::size_t>(std::max<LONG>(c.stride, 0));
            const model::Label settings = turned ? landscape() : model::Label{};
            EXPECT_EQ(model::text(printer->spool()),
                      model::labelProgram(Lines(stored, Bytes(width, 0xFF)), width, settings));
        }
    }
    EXPECT_LT(peakResident() - peakBefore, 64ll << 20) << "no lines should have been this large";
}

// The widest line allowed: 16 MiB, more than any devmode describes even at
// 24 bits a dot.
TEST_F(HostileSizes, TheWidestLineAllowedIsStored) {
    auto printer = device({});
    printer->startDoc();
    ASSERT_TRUE(printer->startPage());
    sendBand(*printer, 134217728, 1, 1, nullptr, true);
    printer->sendPage();
    const std::string header = "Density 4\r\nDIRECTION 0,0\r\nSIZE 16777216 mm, 0 mm\r\nCLS\r\n"
                               "BITMAP 0,0,16777216,1,1,";
    const std::string trailer = "\r\nPRINT 1,1\r\n";
    const std::vector<BYTE>& spool = printer->spool();
    ASSERT_EQ(spool.size(), header.size() + (1u << 24) + trailer.size());
    EXPECT_TRUE(std::equal(header.begin(), header.end(), spool.begin()));
    EXPECT_TRUE(std::all_of(spool.begin() + static_cast<std::ptrdiff_t>(header.size()),
                            spool.end() - static_cast<std::ptrdiff_t>(trailer.size()),
                            [](BYTE b) { return b == 0xFF; }));
    EXPECT_TRUE(std::equal(trailer.rbegin(), trailer.rend(), spool.rbegin()));
}

// A blank band claims lines without handing any over: one that would take
// the page past what a page may hold is refused whole, and later bands are
// still taken.
TEST_F(HostileSizes, TallBlankBands) {
    const struct {
        LONG width, lines;
        LONG stored;
    } cases[] = {
        {32, INT_MAX, 0},
        {32, 50000, 50000},
        {-1, INT_MAX, 0}, // lines of no bytes still cost their slots
        {65536, 70000, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.lines << " lines of width " << c.width);
        auto printer = device({});
        printer->startDoc();
        ASSERT_TRUE(printer->startPage());
        const std::int64_t live = liveAllocations();
        sendBand(*printer, c.width, c.lines, 1, nullptr, true);
        EXPECT_EQ(liveAllocations() - live, c.stored);
        // Later bands of the page are read at its first band's stride.
        const std::size_t width =
            c.width < 0 ? 0 : (static_cast<std::size_t>(c.width) + 31) / 32 * 4;
        Bytes inked(3 * width + 4, 0x5A);
        sendBand(*printer, c.width, 3, 1, inked.data(), false);
        printer->sendPage();
        Lines expected(static_cast<std::size_t>(c.stored), Bytes(width, 0xFF));
        expected.insert(expected.end(), 3, Bytes(width, 0x5A));
        EXPECT_TRUE(model::text(printer->spool()) == model::labelProgram(expected, width));
    }
}

// Paper length (portrait) or width (any other orientation) times resolution,
// as 16-bit values, over 254 and ten spare lines: a negative capacity refuses
// the page, the largest gives a table of 4.2 million lines.
TEST_F(HostileSizes, PaperAndResolutionAtTheirLimits) {
    const struct {
        SHORT orientation, length, width, yResolution, quality;
        LONG capacity; // kRefused: DrvStartPage fails
    } cases[] = {
        {DMORIENT_PORTRAIT, 32767, -32768, 32767, -32768, 4227082},
        {DMORIENT_PORTRAIT, -32768, 0, -32768, 0, 4227340},
        {DMORIENT_PORTRAIT, -32768, 1040, 32767, 203, kRefused},
        {DMORIENT_PORTRAIT, 32767, 1040, -1, 203, kRefused},
        {DMORIENT_PORTRAIT, -1, 1040, 203, 203, 10},
        {DMORIENT_PORTRAIT, -254, 1040, 1, 203, 9},
        {DMORIENT_PORTRAIT, 0, 0, 0, 0, 10},
        {DMORIENT_LANDSCAPE, -32768, 32767, -32768, 32767, 4227082},
        {DMORIENT_LANDSCAPE, 1520, 1040, 203, -4, kRefused}, // a DMRES_ value as quality
        {DMORIENT_LANDSCAPE, 1520, 32767, 203, -32768, kRefused},
        {0, 32767, 1040, 32767, 203, 841},
        {-32768, 1520, -32768, 203, -32768, 4227340},
    };
    const PageBitmap page = model::randomPage(16, 5, 3);
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << "orientation " << c.orientation << ", length " << c.length << ", width "
                     << c.width << ", resolution " << c.yResolution << " / " << c.quality);
        standin::PaperSettings paper;
        paper.orientation = c.orientation;
        paper.paperLength = c.length;
        paper.paperWidth = c.width;
        paper.yResolution = c.yResolution;
        paper.printQuality = c.quality;
        const std::int64_t live = liveAllocations();
        auto printer = device(paper);
        printer->startDoc();
        EXPECT_EQ(printer->startPage(), c.capacity != kRefused);
        const auto* record = static_cast<const OemPDEV*>(printer->devobj().pdevOEM);
        if (c.capacity != kRefused) {
            EXPECT_EQ(record->approHeight, c.capacity);
        }
        printer->renderPage(page, 2);
        printer->sendPage();
        printer->endDoc();
        const model::Label settings{.landscape = c.orientation == DMORIENT_LANDSCAPE};
        EXPECT_EQ(model::text(printer->spool()),
                  c.capacity == kRefused ? "" : model::labelProgram(page, settings));
        printer.reset();
        EXPECT_EQ(liveAllocations(), live);
    }
}

TEST_F(HostileSizes, ShiftsAtTheLimitsOfTheirRange) {
    // 8 bytes by 20 lines: a shift of 8 bytes or 20 lines leaves nothing.
    const PageBitmap page = model::randomPage(64, 20, 4);
    const SHORT xs[] = {kShortMin, kShortMin + 1, -8, -7, -1, 1, 7, 8, kShortMax};
    const SHORT ys[] = {0, kShortMin, kShortMax, -20, -19, -1, 19, 20};
    for (const bool turned : {false, true}) {
        for (const SHORT x : xs) {
            for (const SHORT y : ys) {
                SCOPED_TRACE(::testing::Message() << "shift " << x << ", " << y);
                const model::Label settings{.shiftX = x, .shiftY = y, .landscape = turned};
                EXPECT_EQ(print(model::labelJob({page}, settings)),
                          model::labelProgram(page, settings));
            }
        }
    }
}

TEST_F(HostileSizes, DensityAndDirectionAtTheLimitsOfTheirRange) {
    const PageBitmap page = model::randomPage(8, 2, 5);
    for (const SHORT density : {kShortMin, SHORT{-1}, SHORT{0}, SHORT{1}, kShortMax}) {
        for (const SHORT direction : {kShortMin, SHORT{-1}, kShortMax}) {
            SCOPED_TRACE(::testing::Message()
                         << "density " << density << ", direction " << direction);
            const model::Label settings{.density = density, .direction = direction};
            const std::string label = print(model::labelJob({page}, settings));
            EXPECT_EQ(label, model::labelProgram(page, settings));
            EXPECT_EQ(label.rfind("Density " + std::to_string(density == 0 ? 4 : density - 1) +
                                      "\r\nDIRECTION " + std::to_string(direction) + ",0\r\n",
                                  0),
                      0u);
        }
    }
}

// A page ended in text mode keeps its line width for the next page only in
// as far as that page's bands do not say otherwise: a narrower page after it
// is captured at its own width, never read past the end of its bands.
TEST_F(HostileSizes, ANarrowerPageAfterATextModePage) {
    const PageBitmap wide = model::randomPage(384, 8, 6), narrow = model::randomPage(64, 8, 7);
    for (const bool turned : {false, true}) {
        SCOPED_TRACE(turned ? "landscape" : "portrait");
        const model::Label settings{.landscape = turned};
        auto printer = device(model::paperFor({wide}, turned), settings);
        printer->startDoc();
        ASSERT_TRUE(printer->startPage());
        printer->renderPage(wide, 8);
        printer->commandCallback(kCallbackTextMode);
        printer->sendPage();
        printer->commandCallback(kCallbackLabelMode);
        ASSERT_TRUE(printer->startPage());
        printer->renderPage(narrow, 4);
        printer->sendPage();
        printer->endDoc();
        EXPECT_EQ(model::text(printer->spool()), model::labelProgram(narrow, settings));
    }
}

} // namespace

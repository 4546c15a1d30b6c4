// The font queries on any metrics file, any font transform and any mode: the
// file is written where the plug-in looks for it, either as raw input bytes
// or laid out with fields from the input, and the engine's queries go
// through the hook table. Every answer must have the shape the engine
// relies on, and the font image must be given back.
#include "fuzz/harness.h"
#include "host/text/font_queries.h"
#include "support/ufm_writer.h"
#include "text/font_metrics.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using fuzzing::require;

constexpr ULONG kMaxGlyphs = 4096;
constexpr int kMaxQueries = 24;

fs::path driverDirectory;

// Removes this run's driver directory at exit.
void removeDriverDirectory() {
    std::error_code ignored;
    fs::remove_all(driverDirectory, ignored);
}

// A transform entry: plain scales, extremes, and values that are no number.
double matrixEntry(FuzzedDataProvider& data) {
    static constexpr double kSpecial[] = {0.0,
                                          1.0,
                                          -1.0,
                                          0.5,
                                          2.0,
                                          1e-6,
                                          1e9,
                                          -1e9,
                                          std::numeric_limits<double>::infinity(),
                                          std::numeric_limits<double>::quiet_NaN()};
    switch (data.ConsumeIntegralInRange(0, 3)) {
    case 0:
        return kSpecial[data.ConsumeIntegralInRange<std::size_t>(0, std::size(kSpecial) - 1)];
    case 1:
        return data.ConsumeFloatingPoint<double>();
    default:
        return data.ConsumeFloatingPointInRange(-64.0, 64.0);
    }
}

// The metrics file: absent, the input's own bytes, or a well-formed file
// whose figures and record offset come from the input.
void writeFontFile(FuzzedDataProvider& data) {
    const fs::path file = driverDirectory / "3" / "ZIKU.UFM";
    std::vector<BYTE> bytes;
    switch (data.ConsumeIntegralInRange(0, 5)) {
    case 0:
        fs::remove(file);
        return;
    case 1:
    case 2:
        bytes = data.ConsumeBytes<BYTE>(data.ConsumeIntegralInRange<std::size_t>(0, 1024));
        break;
    default: {
        ufm::Font font;
        font.pitchAndFamily = data.ConsumeIntegral<BYTE>();
        font.maxCharInc = data.ConsumeIntegral<SHORT>();
        font.underscoreSize = data.ConsumeIntegral<SHORT>();
        font.underscorePosition = data.ConsumeIntegral<SHORT>();
        font.strikeoutPosition = data.ConsumeIntegral<SHORT>();
        font.fontBoxTop = data.ConsumeBool() ? data.ConsumeIntegral<LONG>()
                                             : data.ConsumeIntegralInRange<LONG>(-64, 64);
        font.fontBoxBottom = data.ConsumeBool() ? data.ConsumeIntegral<LONG>()
                                                : data.ConsumeIntegralInRange<LONG>(-64, 64);
        font.ifiOffset = data.ConsumeIntegralInRange<DWORD>(0, 300);
        bytes = ufm::write(font);
        if (data.ConsumeIntegralInRange(0, 3) == 0) // the record said to lie elsewhere
            ufm::pointIfiAt(bytes, data.ConsumeIntegral<DWORD>());
        if (data.ConsumeIntegralInRange(0, 3) == 0) // the file cut short
            bytes.resize(data.ConsumeIntegralInRange<std::size_t>(0, bytes.size()));
        break;
    }
    }
    std::ofstream(file, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

// A 28.4 value the plug-in snapped to a whole pixel.
bool wholePixel(FIX value) {
    return (value & 15) == 0;
}

// Glyph data in any mode, into an exact-size record or none; every answer
// snapped to whole pixels.
void queryGlyph(standin::Device& device, standin::EngineFont& font, FuzzedDataProvider& data) {
    const ULONG mode = data.ConsumeBool()   ? QFD_GLYPHANDBITMAP
                       : data.ConsumeBool() ? QFD_TT_GLYPHANDBITMAP
                                            : data.ConsumeIntegralInRange<ULONG>(0, 6);
    const auto hg = data.ConsumeIntegral<HGLYPH>();
    const bool withGlyph = data.ConsumeIntegralInRange(0, 7) != 0;
    auto glyph = std::make_unique<GLYPHDATA>();
    fuzzing::trace("glyph data, mode %u, glyph %u%s", mode, hg, withGlyph ? "" : ", no record");
    const LONG result = standin::queryFontData(device, font, mode, hg,
                                               withGlyph ? glyph.get() : nullptr, nullptr, 0);
    const LONG answered = mode == QFD_MAXEXTENTS ? LONG{sizeof(FD_DEVICEMETRICS)} : 0;
    require(result == answered || result == FD_ERROR);
    if (result == 0 && withGlyph) {
        require(glyph->hg == hg && glyph->fxA == 0 && glyph->fxAB == glyph->fxD);
        require(wholePixel(glyph->fxD) && wholePixel(glyph->fxInkTop) &&
                wholePixel(glyph->fxInkBottom));
    }
}

// Device metrics, or their size alone; ascender and descender whole pixels.
void queryMetrics(standin::Device& device, standin::EngineFont& font, FuzzedDataProvider& data) {
    const bool withRecord = data.ConsumeIntegralInRange(0, 7) != 0;
    auto metrics = std::make_unique<FD_DEVICEMETRICS>();
    fuzzing::trace("device metrics%s", withRecord ? "" : ", size only");
    const LONG result =
        standin::queryFontData(device, font, QFD_MAXEXTENTS, 0, nullptr,
                               withRecord ? metrics.get() : nullptr, sizeof(FD_DEVICEMETRICS));
    require(result == LONG{sizeof(FD_DEVICEMETRICS)} || result == FD_ERROR);
    if (result != FD_ERROR && withRecord) {
        require(wholePixel(metrics->fxMaxAscender) && wholePixel(metrics->fxMaxDescender));
        require(metrics->lNonLinearExtLeading >= 0);
    }
}

// Widths into a buffer of exactly the glyph count, all one value, a whole
// pixel.
void queryWidths(standin::Device& device, standin::EngineFont& font, FuzzedDataProvider& data) {
    const ULONG mode = data.ConsumeIntegralInRange(0, 3) != 0
                           ? data.ConsumeIntegralInRange<ULONG>(QAW_GETWIDTHS, QAW_GETEASYWIDTHS)
                           : data.ConsumeIntegral<ULONG>();
    const ULONG count = data.ConsumeIntegralInRange<ULONG>(0, kMaxGlyphs);
    const bool withWidths = data.ConsumeIntegralInRange(0, 15) != 0;
    auto widths = std::make_unique<USHORT[]>(count);
    auto glyphs = std::make_unique<HGLYPH[]>(count);
    fuzzing::trace("advance widths, mode %u, %u glyphs%s", mode, count,
                   withWidths ? "" : ", no buffer");
    const BOOL result = standin::queryAdvanceWidths(device, font, mode, glyphs.get(),
                                                    withWidths ? widths.get() : nullptr, count);
    if (result && withWidths) {
        for (ULONG i = 0; i < count; ++i)
            require(widths[i] == widths[0] && (widths[i] & 15) == 0);
    }
    if (mode != QAW_GETWIDTHS && mode != QAW_GETEASYWIDTHS)
        require(!result);
}

} // namespace

// A printer driver directory of this run's own, named as the spooler would.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::string pattern = (fs::temp_directory_path() / "label-fuzz-fonts-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        std::abort();
    driverDirectory = pattern;
    fs::create_directories(driverDirectory / "3");
    setenv("PRINTER_DRIVER_DIR", pattern.c_str(), 1);
    std::atexit(removeDriverDirectory);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    const std::int64_t held = fuzzing::freshModule();
    FuzzedDataProvider data(bytes, size);
    standin::EngineFont font;
    font.hasTransform = data.ConsumeIntegralInRange(0, 15) != 0;
    font.transform.m11 = matrixEntry(data);
    font.transform.m12 = matrixEntry(data);
    font.transform.m21 = matrixEntry(data);
    font.transform.m22 = matrixEntry(data);
    standin::PaperSettings paper;
    paper.printQuality = fuzzing::shortIn(data, -10, 1200);
    fuzzing::trace("transform %g %g %g %g%s, %d dpi", font.transform.m11, font.transform.m12,
                   font.transform.m21, font.transform.m22, font.hasTransform ? "" : " (none)",
                   paper.printQuality);
    writeFontFile(data);
    if (data.ConsumeIntegralInRange(0, 7) == 0)
        platform::host::failNthAllocation(data.ConsumeIntegralInRange(1, 4));
    {
        fuzzing::Session session;
        if (session.open(paper)) {
            for (int q = 0; q < kMaxQueries && data.remaining_bytes() > 0; ++q) {
                switch (data.ConsumeIntegralInRange(0, 5)) {
                case 0:
                case 1:
                    queryGlyph(session.dev(), font, data);
                    break;
                case 2:
                case 3:
                    queryMetrics(session.dev(), font, data);
                    break;
                case 4:
                    queryWidths(session.dev(), font, data);
                    break;
                default:
                    // Another device let go of the image: the next query loads
                    // the file again, perhaps without memory for it.
                    fuzzing::trace("image dropped");
                    dropFontImage();
                    platform::host::failNthAllocation(data.ConsumeIntegralInRange(0, 2));
                    break;
                }
            }
        }
        platform::host::failNthAllocation(0);
    }
    dropFontImage();
    require(platform::host::liveAllocations() == held);
    return 0;
}

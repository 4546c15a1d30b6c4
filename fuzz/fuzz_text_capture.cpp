// Text calls as the engine might make them: strings of any units in any
// font and colour, rectangles and positions anywhere, glyph positions in
// batches that do not add up, strings without their text, long lines of
// short runs, in any ANSI code page, between page and document calls, mode
// switches and failing allocations. Nothing may be left held afterwards.
#include "fuzz/harness.h"
#include "host/text/text_calls.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using fuzzing::require;

// Calls in one input: a document of a few pages and lines.
constexpr int kMaxCalls = 32;
// A burst is mostly short, and now and then longer than the table's fixed
// slots, so that a line grows its table; two on one line grow it twice.
// Every run costs a scan of the line and a conversion, so one input's
// bursts share a budget.
constexpr int kUsualBurst = 16;
constexpr int kMaxBurst = kTextRunSlots + 10;
constexpr int kBurstBudget = 2 * kMaxBurst;
// A long string: longer than any short one, and still quick to convert.
constexpr std::size_t kLongText = 256;

// The code pages the plug-in may be told to use, mostly the printer's own.
const char* const kCodePages[] = {"936",   "936", "936", "54936", "65001", "1252",
                                  "20127", "437", "",    "x936",  "99999"};

// Solid colours of every class, a pattern and an odd colour.
const ULONG kColours[] = {0x00000000, 0x000000FF, 0x0000FF00, 0x00FF0000, 0x0000FFFF,
                          0x00FF00FF, 0x00FFFF00, 0x00FFFFFF, 0xFFFFFFFF, 0x010000FF};

// The fonts a call may name: the printer's, another, one whose name is the
// printer's but one unit, and one without metrics. Alike for every input, so
// made once.
struct Fonts {
    Fonts() { metricless.forgetMetrics(); }
    standin::NamedFont printer{standin::kPrinterFontUniqueName};
    standin::NamedFont other{u"Label Sans Regular"};
    standin::NamedFont nearlyPrinter{
        standin::kPrinterFontUniqueName.substr(0, standin::kPrinterFontUniqueName.size() - 1)};
    standin::NamedFont metricless{standin::kPrinterFontUniqueName};
};

Fonts& fonts() {
    static Fonts made;
    return made;
}

class TextSession {
  public:
    explicit TextSession(FuzzedDataProvider& data) : data(data) {}

    // Code page, colour switches and mode from the input; false when the
    // plug-in cannot start.
    bool open() {
        setenv("ANSI_CODE_PAGE",
               kCodePages[data.ConsumeIntegralInRange<std::size_t>(0, std::size(kCodePages) - 1)],
               1);
        const std::uint32_t textSwitches = data.ConsumeIntegral<std::uint32_t>();
        if (data.ConsumeBool())
            textMode.store(1);
        if (data.ConsumeIntegralInRange(0, 7) == 0)
            platform::host::failNthAllocation(data.ConsumeIntegralInRange(1, 8));
        return session.open({}, [textSwitches](OemDevMode& settings) {
            for (int c = 0; c < kColourClassCount; ++c) {
                settings.colourFlags[c].printText = textSwitches >> c & 1;
                settings.colourFlags[c].printBitmaps = textSwitches >> (c + 8) & 1;
                settings.colourFlags[c].printLines = textSwitches >> (c + 16) & 1;
            }
        });
    }

    // Runs the calls the input names, in its order.
    void run() {
        for (int call = 0; call < kMaxCalls && data.remaining_bytes() > 0; ++call) {
            standin::Device& device = session.dev();
            switch (data.ConsumeIntegralInRange(0, 13)) {
            case 0:
            case 1:
            case 2:
                textCall(false);
                break;
            case 3:
                textCall(true);
                break;
            case 4:
                longLine();
                break;
            case 5:
                fuzzing::trace("startDoc");
                device.startDoc();
                break;
            case 6:
                fuzzing::trace("startPage");
                device.startPage();
                break;
            case 7:
                fuzzing::trace("sendPage");
                device.sendPage();
                break;
            case 8: {
                const bool abort = data.ConsumeBool();
                fuzzing::trace("endDoc%s", abort ? " aborted" : "");
                device.endDoc(abort ? ED_ABORTDOC : 0);
                break;
            }
            case 9: {
                static constexpr DWORD kIds[] = {kCallbackLabelMode, kCallbackTextMode,
                                                 kCallbackFlagOff, kCallbackFlagOn, 0};
                const DWORD id = kIds[data.ConsumeIntegralInRange<std::size_t>(0, 4)];
                fuzzing::trace("commandCallback %u", id);
                require(device.commandCallback(id) == S_OK);
                break;
            }
            case 10: {
                const int n = data.ConsumeIntegralInRange(0, 24);
                fuzzing::trace("failNthAllocation %d", n);
                platform::host::failNthAllocation(n);
                break;
            }
            case 11:
                directCall();
                break;
            case 12:
                drawingCall();
                break;
            case 13:
                fuzzing::trace("reenable");
                if (!session.reenable())
                    return;
                break;
            }
        }
    }

    // Shuts the job down; no run may be left waiting in the table.
    void finish() {
        platform::host::failNthAllocation(0);
        session.close();
        require(pendingTextRuns() == 0);
    }

  private:
    // Units of every kind the conversion may meet: ASCII, tabs, GB2312 and
    // beyond, lone surrogates, zeros, and anything at all.
    std::u16string text(std::size_t most) {
        std::u16string units;
        const std::size_t length = data.ConsumeIntegralInRange<std::size_t>(0, most);
        units.reserve(std::min(length, data.remaining_bytes()));
        for (std::size_t i = 0; i < length && data.remaining_bytes() > 0; ++i) {
            switch (data.ConsumeIntegralInRange(0, 7)) {
            case 0:
                units += static_cast<char16_t>(data.ConsumeIntegralInRange(0x20, 0x7E));
                break;
            case 1:
                units += static_cast<char16_t>(data.ConsumeIntegralInRange(0x4E00, 0x9FA5));
                break;
            case 2:
                units += u'\t';
                break;
            case 3:
                units += static_cast<char16_t>(data.ConsumeIntegralInRange(0xD800, 0xDFFF));
                break;
            case 4:
                units += u'\0';
                break;
            case 5:
                units += static_cast<char16_t>(data.ConsumeIntegralInRange(0x80, 0x2FFF));
                break;
            default:
                units += data.ConsumeIntegral<char16_t>();
                break;
            }
        }
        return units;
    }

    // A coordinate: usually on a label, sometimes anywhere.
    LONG coordinate() {
        return data.ConsumeIntegralInRange(0, 7) == 0
                   ? data.ConsumeIntegral<LONG>()
                   : data.ConsumeIntegralInRange<LONG>(-50, 2000);
    }

    // A box: often a line's, 24 dots tall, sometimes any four coordinates.
    RECTL rectangle() {
        RECTL rect{coordinate(), coordinate(), 0, 0};
        rect.right = data.ConsumeBool() ? coordinate() : std::min(rect.left, INT_MAX - 200) + 200;
        rect.bottom = data.ConsumeBool() ? coordinate() : std::min(rect.top, INT_MAX - 24) + 24;
        return rect;
    }

    // The font of a call: the printer's, another, one whose name is the
    // printer's but one unit, one without metrics, or none.
    FONTOBJ* font() {
        switch (data.ConsumeIntegralInRange(0, 5)) {
        case 0:
        case 1:
            return fonts().printer.fontobj();
        case 2:
            return fonts().other.fontobj();
        case 3:
            return fonts().nearlyPrinter.fontobj();
        case 4:
            return fonts().metricless.fontobj();
        default:
            return nullptr;
        }
    }

    // A foreground brush of any class, a pattern, or none.
    BRUSHOBJ* brush() {
        if (data.ConsumeIntegralInRange(0, 7) == 0)
            return nullptr;
        const std::size_t pick = data.ConsumeIntegralInRange<std::size_t>(0, std::size(kColours));
        brushObject = standin::solidBrush(
            pick < std::size(kColours) ? kColours[pick] : data.ConsumeIntegral<ULONG>());
        return &brushObject;
    }

    // One string through DrvTextOut or TextOutAsBitmap, its glyph positions
    // supplied or in batches that may not add up, its text perhaps missing.
    void textCall(bool asBitmap) {
        const std::u16string units = text(data.ConsumeIntegralInRange(0, 15) == 0 ? kLongText : 48);
        const RECTL rect = rectangle();
        const LONG x = coordinate();
        LONG advance = data.ConsumeIntegralInRange<LONG>(-30, 60);
        const std::int64_t last = std::int64_t{x} + std::int64_t{advance} * LONG(units.size());
        if (last < INT_MIN || last > INT_MAX)
            advance = 0; // the engine's glyph positions are 32-bit points
        standin::TextString string(units, rect, x, advance);
        std::vector<std::size_t> batches;
        if (data.ConsumeIntegralInRange(0, 3) == 0) {
            const int count = data.ConsumeIntegralInRange(0, 8);
            for (int i = 0; i < count; ++i)
                batches.push_back(data.ConsumeIntegralInRange<std::size_t>(0, units.size() + 3));
            string.deliverInBatches(batches);
        }
        if (data.ConsumeIntegralInRange(0, 7) == 0)
            string.failEnumeration();
        if (data.ConsumeIntegralInRange(0, 7) == 0)
            string.dropSourceText();
        FONTOBJ* fontObject = font();
        BRUSHOBJ* foreground = brush();
        fuzzing::trace("%s %zu units, box %d,%d-%d,%d, x %d, %zu batches",
                       asBitmap ? "textOutAsBitmap" : "textOut", units.size(), rect.left, rect.top,
                       rect.right, rect.bottom, x, batches.size());
        if (asBitmap)
            require(standin::textOutAsBitmap(session.dev(), string, fontObject, foreground) ==
                    S_OK);
        else
            standin::textOut(session.dev(), string, fontObject, foreground);
    }

    // Runs on one line at any places, now and then more than the table's
    // fixed slots.
    void longLine() {
        const int most = data.ConsumeIntegralInRange(0, 31) == 0 ? kMaxBurst : kUsualBurst;
        const int runs = std::min(data.ConsumeIntegralInRange(1, most), burstLeft);
        burstLeft -= runs;
        const RECTL rect = rectangle();
        const bool descending = data.ConsumeBool();
        const LONG step = data.ConsumeIntegralInRange<LONG>(-40, 40);
        const std::u16string units = text(3);
        fuzzing::trace("line of %d runs of %zu units, box top %d", runs, units.size(), rect.top);
        for (int i = 0; i < runs; ++i) {
            const LONG x = descending ? LONG{10000} - i * step : i * step;
            standin::TextString string(units, rect, x);
            standin::textOut(session.dev(), string, fonts().printer.fontobj());
        }
    }

    // The capture's own entry points, as the page hooks and tests use them.
    void directCall() {
        PDEVOBJ pdevobj = &session.dev().devobj();
        switch (data.ConsumeIntegralInRange(0, 4)) {
        case 0: {
            const std::u16string units = text(64);
            const LONG x = coordinate();
            fuzzing::trace("insertTextRun %zu units at %d", units.size(), x);
            insertTextRun(pdevobj, x, static_cast<ULONG>(units.size()), units.data());
            break;
        }
        case 1:
            fuzzing::trace("flushTextLine");
            flushTextLine(pdevobj);
            break;
        case 2: {
            const std::u16string units = text(64);
            fuzzing::trace("sendTextRun %zu units", units.size());
            sendTextRun(pdevobj, static_cast<ULONG>(units.size()), units.data());
            break;
        }
        case 3: {
            const bool discard = data.ConsumeBool();
            fuzzing::trace("endTextLine%s", discard ? " discarding" : "");
            endTextLine(pdevobj, discard);
            break;
        }
        default:
            fuzzing::trace("pendingTextRuns");
            require(pendingTextRuns() >= 0);
            break;
        }
    }

    // The drawing calls the colour gate passes or drops.
    void drawingCall() {
        BRUSHOBJ* pbo = brush();
        switch (data.ConsumeIntegralInRange(0, 2)) {
        case 0:
            fuzzing::trace("bitBlt");
            standin::bitBlt(session.dev(), pbo);
            break;
        case 1:
            fuzzing::trace("stretchBlt");
            standin::stretchBlt(session.dev());
            break;
        default:
            fuzzing::trace("strokePath");
            standin::strokePath(session.dev(), pbo);
            break;
        }
    }

    FuzzedDataProvider& data;
    fuzzing::Session session;
    int burstLeft = kBurstBudget;
    BRUSHOBJ brushObject{};
};

} // namespace

// The fonts are made before the first input, which then allocates no more
// than any other.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fonts();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    const std::int64_t held = fuzzing::freshModule();
    FuzzedDataProvider data(bytes, size);
    {
        TextSession run(data);
        if (run.open())
            run.run();
        run.finish();
    }
    require(platform::host::liveAllocations() == held);
    textMode.store(0);
    return 0;
}

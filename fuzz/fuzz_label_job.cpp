// Label jobs as Unidrv might run them, and as it should not: the input picks
// the paper, resolution and private settings, then a sequence of document,
// page and band calls, raw bands of any size, mode switches and failing
// allocations. Every label program written must decode cleanly, and the
// device must give back every block it took.
#include "decoder/label_decoder.h"
#include "fuzz/harness.h"
#include "host/band_description.h"
#include "plugin/oem_pdev.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

using fuzzing::require;
using fuzzing::shortIn;

// Lines and bytes one input may have captured, so that each stays fast:
// enough for one page of the largest size, turned, and a few small ones.
constexpr std::int64_t kLineBudget = 2560;
constexpr std::int64_t kByteBudget = std::int64_t{1} << 20;
// Page sides: mostly small; now and then large enough for whole 64-line
// tiles, 16-byte tile pairs and the long loops; on landscape paper up to the
// smallest page that is turned in more than one band (1024 x 1024 dots:
// 128 KB, the band buffer holds 120 KB).
constexpr LONG kUsualDots = 64;
constexpr LONG kLargeDots = 256;
constexpr LONG kLandscapeDots = 1024;
// A page table of 128 KB, more than a device heap's first segment holds,
// and a page of 16 bands: larger ones take longer and reach nothing more.
constexpr LONG kMaxTableSlots = 8192;
constexpr LONG kMaxBands = 16;
// The widest line the plug-in keeps; a wider band stores nothing.
constexpr std::int64_t kMaxLineBytes = 1 << 24;
// Calls in one input: up to ten labels, a start, a page and a send each.
constexpr int kMaxCalls = 32;

// A band's DWORD-aligned line at the bit depth the callback ID stands for.
std::int64_t bandStride(LONG width, DWORD callbackId) {
    const std::int64_t bits = std::int64_t{width} * (callbackId == 24 ? 24 : 1);
    return (bits + 31) / 32 * 4;
}

// Pixels from the input, repeated to fill the buffer: the pattern once, then
// doubled by whole copies, so a large page costs a few copies, not a loop of
// instrumented byte stores.
void fill(BYTE* buffer, std::size_t size, FuzzedDataProvider& data) {
    static const std::array<BYTE, 256> kRamp = [] {
        std::array<BYTE, 256> ramp{};
        for (std::size_t i = 0; i < ramp.size(); ++i)
            ramp[i] = static_cast<BYTE>(i * 37);
        return ramp;
    }();
    const std::vector<BYTE> pattern = data.ConsumeBytes<BYTE>(data.ConsumeIntegralInRange(0, 64));
    if (size == 0)
        return;
    const BYTE* first = pattern.empty() ? kRamp.data() : pattern.data();
    std::size_t filled = std::min(size, pattern.empty() ? kRamp.size() : pattern.size());
    std::memcpy(buffer, first, filled);
    while (filled < size) {
        const std::size_t more = std::min(filled, size - filled);
        std::memcpy(buffer + filled, buffer, more);
        filled += more;
    }
}

class LabelJobRun {
  public:
    explicit LabelJobRun(FuzzedDataProvider& data) : data(data) {}

    // Sets the job up from the input; false when the plug-in cannot start.
    bool open() {
        standin::PaperSettings paper;
        const int orientation = data.ConsumeIntegralInRange(0, 4);
        paper.orientation = orientation == 0   ? data.ConsumeIntegral<SHORT>()
                            : orientation == 1 ? DMORIENT_LANDSCAPE
                                               : DMORIENT_PORTRAIT;
        // Labels up to 40 mm: the page table still outgrows its slots, and a
        // longer paper only makes every page's table larger.
        paper.paperWidth = shortIn(data, -100, 400);
        paper.paperLength = shortIn(data, -100, 400);
        paper.printQuality = shortIn(data, -300, 600);
        paper.yResolution = shortIn(data, -300, 600);
        // Paper whose table would hold more slots is a 40 mm label at 203 dpi.
        if (pageCapacity(standin::makePublicDevMode(paper)) > kMaxTableSlots) {
            paper.paperWidth = paper.paperLength = 400;
            paper.printQuality = paper.yResolution = 203;
        }
        landscape = paper.orientation == DMORIENT_LANDSCAPE;
        const SHORT density = shortIn(data, -2, 20);
        const SHORT direction = shortIn(data, -2, 2);
        const SHORT shiftX = shortIn(data, -600, 600);
        const SHORT shiftY = shortIn(data, -5000, 5000);
        commandsOn = data.ConsumeIntegralInRange(0, 3) == 0;
        const std::vector<WCHAR> commandText = commandsOn ? commandUnits() : std::vector<WCHAR>{};
        fuzzing::trace("paper %d: %d x %d at %d x %d dpi; density %d, direction %d, shift %d, %d%s",
                       paper.orientation, paper.paperWidth, paper.paperLength, paper.printQuality,
                       paper.yResolution, density, direction, shiftX, shiftY,
                       commandsOn ? ", with commands" : "");
        if (data.ConsumeIntegralInRange(0, 7) == 0)
            platform::host::failNthAllocation(data.ConsumeIntegralInRange(1, 8));
        return session.open(paper, [&](OemDevMode& settings) {
            settings.density = density;
            settings.direction = direction;
            settings.shiftX = shiftX;
            settings.shiftY = shiftY;
            if (!commandsOn)
                return;
            WORD* switches[] = {&settings.jobStartOn, &settings.pageStartOn, &settings.pageEndOn,
                                &settings.jobEndOn};
            WCHAR* texts[] = {settings.jobStartCmd, settings.pageStartCmd, settings.pageEndCmd,
                              settings.jobEndCmd};
            for (int i = 0; i < 4; ++i) {
                *switches[i] = static_cast<WORD>(
                    commandText.size() > static_cast<std::size_t>(i) ? commandText[i] % 3 : 1);
                std::copy_n(commandText.begin(),
                            std::min<std::size_t>(commandText.size(), kCommandTextUnits), texts[i]);
            }
        });
    }

    // Runs the calls the input names, in its order.
    void run() {
        for (int call = 0; call < kMaxCalls && data.remaining_bytes() > 0; ++call) {
            switch (data.ConsumeIntegralInRange(0, 9)) {
            case 0:
                fuzzing::trace("startDoc");
                session.dev().startDoc();
                break;
            case 1:
                fuzzing::trace("startPage");
                session.dev().startPage();
                break;
            case 2:
                renderPage();
                break;
            case 3:
            case 4:
                rawBand();
                break;
            case 5:
                fuzzing::trace("sendPage");
                session.dev().sendPage();
                break;
            case 6:
                fuzzing::trace("endDoc");
                session.dev().endDoc(data.ConsumeBool() ? ED_ABORTDOC : 0);
                break;
            case 7:
                commandCallback();
                break;
            case 8: {
                const int n = data.ConsumeIntegralInRange(0, 40);
                fuzzing::trace("failNthAllocation %d", n);
                platform::host::failNthAllocation(n);
                break;
            }
            case 9:
                fuzzing::trace("reenable");
                if (!session.reenable())
                    return; // Unidrv drops a device it cannot enable
                break;
            }
        }
    }

    // The spool after the plug-in has shut down.
    const std::vector<BYTE>& finish() {
        platform::host::failNthAllocation(0);
        session.close();
        return session.spool;
    }

    // Whether the user's own bytes may stand between the label programs.
    bool commandsSent() const { return commandsOn; }

  private:
    // Hex text, often digits only, from the input.
    std::vector<WCHAR> commandUnits() {
        const std::string text = data.ConsumeRandomLengthString(kCommandTextUnits + 8);
        return {text.begin(), text.end()};
    }

    // The plug-in's record of the device, for the stride it fixed.
    OemPDEV& pdev() { return *static_cast<OemPDEV*>(session.dev().devobj().pdevOEM); }

    // The stride the plug-in fixed for the page, once its first band came;
    // Unidrv's bands all have the page's width, so each holds lines at
    // least this long, whatever width a header declares.
    std::int64_t pageStride() { return pdev().pageOpen ? std::max<LONG>(pdev().rowBytes, 0) : 0; }

    // Whether `lines` lines, each kept at `kept` bytes and read from `read`
    // bytes of band, stay within the budget; takes them from it when so. A
    // band that opens a landscape page also pays for the page's turned lines,
    // eight for each byte of its stride, which go out however few it holds.
    bool afford(std::int64_t lines, std::int64_t kept, std::int64_t read) {
        const std::int64_t turned =
            landscape && !pdev().pageOpen && kept <= kMaxLineBytes ? 8 * kept : 0;
        const std::int64_t taken = std::max<std::int64_t>(lines, 0) + turned;
        const std::int64_t cost = std::max<std::int64_t>(lines, 0) * (kept + read);
        if (taken > linesLeft || cost > bytesLeft)
            return false;
        linesLeft -= taken;
        bytesLeft -= cost;
        return true;
    }

    // A width or height from `low`: mostly small, now and then large.
    LONG extent(LONG low) {
        const bool large = data.ConsumeIntegralInRange(0, 15) == 0;
        return data.ConsumeIntegralInRange<LONG>(low, !large      ? kUsualDots
                                                      : landscape ? kLandscapeDots
                                                                  : kLargeDots);
    }

    // A page drawn by the stand-in and handed over in bands of its width:
    // on a page whose stride is fixed, the width that gives that stride.
    void renderPage() {
        standin::PageBitmap page;
        page.width = extent(1); // raw bands try 0 and less
        page.height = extent(0);
        LONG bandHeight =
            data.ConsumeBool() ? data.ConsumeIntegralInRange<LONG>(-2, 256) : page.height;
        if (page.height / std::max<LONG>(bandHeight, 1) > kMaxBands)
            bandHeight = (page.height + kMaxBands - 1) / kMaxBands;
        if (pageStride() > 0)
            page.width = static_cast<LONG>(pageStride() * 8);
        // The stand-in's band buffer holds a whole band, however few lines
        // the page has: a band no taller than the page sends the same bands.
        bandHeight = std::min(bandHeight, std::max<LONG>(page.height, 1));
        const std::int64_t stride = bandStride(page.width, 1);
        if (stride > bytesLeft ||
            !afford(page.height, pdev().pageOpen ? pageStride() : stride, stride))
            return;
        page.bits.resize(page.stride() * static_cast<std::size_t>(page.height));
        fill(page.bits.data(), page.bits.size(), data);
        fuzzing::trace("renderPage %d x %d in bands of %d", page.width, page.height, bandHeight);
        session.dev().renderPage(page, bandHeight);
    }

    // One ImageProcessing call as Unidrv makes it, with a header declaring
    // any width and height, blank or not, at the callback's bit depth. A
    // blank band comes with no pixels at all, so any read of them is
    // reported; widths whose lines no buffer could hold come only blank.
    void rawBand() {
        const int widthKind = data.ConsumeIntegralInRange(0, 7);
        LONG width = widthKind == 0   ? data.ConsumeIntegral<LONG>()
                     : widthKind == 1 ? data.ConsumeIntegralInRange<LONG>(-64, 0)
                                      : extent(1);
        const LONG lines =
            data.ConsumeIntegralInRange(0, 7) == 0 ? data.ConsumeIntegral<LONG>() : extent(-4);
        const int callbackKind = data.ConsumeIntegralInRange(0, 3);
        const DWORD callbackId = callbackKind == 0   ? 24
                                 : callbackKind == 1 ? data.ConsumeIntegral<DWORD>()
                                                     : 1;
        const bool withParams = data.ConsumeIntegralInRange(0, 15) != 0;
        const bool blank = withParams && data.ConsumeBool();
        // The plug-in keeps every stride up to its limit alike, so a line
        // wider than the widest page would only be slow.
        if (bandStride(width, callbackId) > kLandscapeDots / 8 && (!blank || widthKind != 0))
            width = kLandscapeDots / (callbackId == 24 ? 24 : 1);
        const std::int64_t stride = bandStride(width, callbackId);
        const std::int64_t kept = pdev().pageOpen                  ? pageStride()
                                  : stride < 0 || stride > INT_MAX ? 0
                                                                   : stride;
        const std::int64_t read = blank ? 0 : std::max(std::max<std::int64_t>(stride, 0), kept);
        if (!afford(std::min<std::int64_t>(lines, kLineBudget + 1), kept, read))
            return;
        const std::size_t bytes = lines <= 0 ? 0 : static_cast<std::size_t>(lines * read);
        // Exactly the band's bytes, so that a read past them is reported.
        auto band = std::make_unique_for_overwrite<BYTE[]>(bytes);
        fill(band.get(), bytes, data);

        standin::BandDescription described = standin::describeBand(width, lines, callbackId, blank);
        fuzzing::trace("band %d x %d, callback %u, %s%s", width, lines, callbackId,
                       blank ? "blank" : "inked", withParams ? "" : ", no IPPARAMS");
        PBYTE result = nullptr;
        const HRESULT answer = session.dev().pluginObject().ImageProcessing(
            &session.dev().devobj(), band.get(), &described.header, nullptr, callbackId,
            withParams ? &described.params : nullptr, &result);
        require(answer == S_OK && result == band.get());
    }

    // A configuration callback: the four the plug-in knows, or any ID.
    void commandCallback() {
        static constexpr DWORD kKnown[] = {kCallbackLabelMode, kCallbackTextMode, kCallbackFlagOff,
                                           kCallbackFlagOn};
        const int pick = data.ConsumeIntegralInRange(0, 4);
        const DWORD id = pick < 4 ? kKnown[pick] : data.ConsumeIntegral<DWORD>();
        fuzzing::trace("commandCallback %u", id);
        require(session.dev().commandCallback(id) == S_OK);
    }

    FuzzedDataProvider& data;
    fuzzing::Session session;
    bool commandsOn = false;
    bool landscape = false;
    std::int64_t linesLeft = kLineBudget;
    std::int64_t bytesLeft = kByteBudget;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    const std::int64_t held = fuzzing::freshModule();
    FuzzedDataProvider data(bytes, size);
    std::vector<BYTE> spool;
    {
        LabelJobRun job(data);
        if (job.open())
            job.run();
        spool = job.finish();
        // Without the user's own bytes the stream is label programs alone,
        // each whole: header, bitmap and print command agreeing.
        if (!job.commandsSent()) {
            const LabelStream stream = decodeLabelStream(spool.data(), spool.size());
            require(stream.ok() && stream.notes.empty());
        }
    }
    require(platform::host::liveAllocations() == held);
    textMode.store(0);
    return 0;
}

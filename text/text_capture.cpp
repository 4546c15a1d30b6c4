#include "text/text_capture.h"

#include "platform/ansi.h"
#include "platform/engine_callbacks.h"
#include "platform/memory.h"
#include "platform/threads.h"
#include "plugin/hook_dispatch.h"
#include "settings/command_callback.h"

#include <climits>
#include <cstdint>
#include <cstring>

namespace {

constexpr BYTE kLineFeed = 0x0A;
constexpr BYTE kTab = 0x09;
constexpr BYTE kTabSpaces[8] = {' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '};

// The longest run the conversion can take: its buffer size must fit an int.
constexpr ULONG kMaxRunUnits = INT_MAX / 2 - 1;

// The current text line. A line with more runs than the fixed slots moves to
// a table from global memory, given back when the line has been sent.
struct TextLine {
    TextRun fixed[kTextRunSlots]{};
    TextRun* runs = fixed;
    LONG count = 0;
    LONG capacity = kTextRunSlots;
};

// The module-wide text state, shared by every device; devices on several
// threads take textLock for the whole of each text call.
platform::SpinLock textLock;
constinit TextLine textRuns;
constinit RECTL prevTextRect{};

// Holds textLock for one scope.
class TextStateLock {
  public:
    TextStateLock() { textLock.lock(); }
    ~TextStateLock() { textLock.unlock(); }
    TextStateLock(const TextStateLock&) = delete;
    TextStateLock& operator=(const TextStateLock&) = delete;
};

// All four zero stands for "no text captured since the line was closed".
bool isUnset(const RECTL& rect) {
    return rect.left == 0 && rect.top == 0 && rect.right == 0 && rect.bottom == 0;
}

// The run's own copy of its text, terminated; null when it cannot be had.
WCHAR* copyText(const WCHAR* text, ULONG count) {
    if (count > kMaxRunUnits)
        return nullptr;
    auto* copy =
        static_cast<WCHAR*>(platform::globalAlloc((std::size_t{count} + 1) * sizeof(WCHAR)));
    if (!copy)
        return nullptr;
    std::memcpy(copy, text, std::size_t{count} * sizeof(WCHAR));
    copy[count] = 0;
    return copy;
}

// Goes back to the fixed slots once a grown table is empty.
void shrinkEmptyLine() {
    if (textRuns.runs != textRuns.fixed) {
        platform::globalFree(textRuns.runs);
        textRuns.runs = textRuns.fixed;
        textRuns.capacity = kTextRunSlots;
    }
}

// Sends and frees every run in table order; the caller holds textLock.
void sendRuns(PDEVOBJ pdevobj) {
    for (LONG i = 0; i < textRuns.count; ++i) {
        sendTextRun(pdevobj, textRuns.runs[i].count, textRuns.runs[i].text);
        platform::globalFree(textRuns.runs[i].text);
    }
    textRuns.count = 0;
    shrinkEmptyLine();
}

// Frees every run unsent; the caller holds textLock.
void dropRuns() {
    for (LONG i = 0; i < textRuns.count; ++i)
        platform::globalFree(textRuns.runs[i].text);
    textRuns.count = 0;
    shrinkEmptyLine();
}

// Doubles the table so that a long line keeps its left-to-right order.
bool growLine() {
    const LONG capacity = textRuns.capacity;
    if (capacity > LONG_MAX / 2 ||
        static_cast<std::size_t>(capacity) > SIZE_MAX / (2 * sizeof(TextRun)))
        return false;
    auto* bigger = static_cast<TextRun*>(
        platform::globalAlloc(static_cast<std::size_t>(capacity) * 2 * sizeof(TextRun)));
    if (!bigger)
        return false;
    std::memcpy(bigger, textRuns.runs, static_cast<std::size_t>(textRuns.count) * sizeof(TextRun));
    if (textRuns.runs != textRuns.fixed)
        platform::globalFree(textRuns.runs);
    textRuns.runs = bigger;
    textRuns.capacity = capacity * 2;
    return true;
}

// Stores a run after every run whose x is not greater; the caller holds
// textLock. A full table that cannot grow sends its runs first.
void placeRun(PDEVOBJ pdevobj, const TextRun& run) {
    if (textRuns.count == textRuns.capacity && !growLine())
        sendRuns(pdevobj);
    LONG at = 0;
    while (at < textRuns.count && textRuns.runs[at].x <= run.x)
        ++at;
    std::memmove(textRuns.runs + at + 1, textRuns.runs + at,
                 static_cast<std::size_t>(textRuns.count - at) * sizeof(TextRun));
    textRuns.runs[at] = run;
    ++textRuns.count;
}

// Copies and stores one run; a run whose copy fails is left out alone.
void captureRun(PDEVOBJ pdevobj, LONG x, ULONG count, const WCHAR* text) {
    if (WCHAR* copy = copyText(text, count))
        placeRun(pdevobj, {x, count, copy});
}

// Text whose glyph positions come in batches from the engine: each batch is
// a run that leaves at once with the runs held for its line. The caller
// holds textLock.
void captureBatches(PDEVOBJ pdevobj, STROBJ* pstro) {
    const PFN_STROBJ_vEnumStart enumStart = platform::engineStrObjEnumStart();
    const PFN_STROBJ_bEnum enumNext = platform::engineStrObjEnum();
    if (!enumStart || !enumNext)
        return; // no positions can be had, so there are no glyphs to place
    enumStart(pstro);
    const WCHAR* cursor = pstro->pwszOrg;
    ULONG left = pstro->cGlyphs;
    for (;;) {
        ULONG batch = 0;
        GLYPHPOS* positions = nullptr;
        const BOOL more = enumNext(pstro, &batch, &positions);
        if (more == DDI_ERROR)
            return; // the batches already sent stand; held runs wait for their line
        // Never more text than the string holds, whatever the engine counts.
        const ULONG taken = batch < left ? batch : left;
        if (taken > 0 && positions)
            captureRun(pdevobj, positions[0].ptl.x, taken, cursor);
        sendRuns(pdevobj);
        cursor += taken;
        left -= taken;
        if (!more || left == 0 || batch == 0)
            return;
    }
}

// Compares a unique name in place, unit by unit, wherever it is aligned.
bool namesPrinterFont(const BYTE* name) {
    for (std::size_t i = 0; i < sizeof kPrinterFontName / sizeof(WCHAR); ++i) {
        WCHAR unit;
        std::memcpy(&unit, name + i * sizeof(WCHAR), sizeof unit);
        if (unit != kPrinterFontName[i])
            return false;
    }
    return true;
}

} // namespace

bool isPrinterFont(FONTOBJ* pfo) {
    if (!pfo)
        return false;
    const PFN_FONTOBJ_pifi fontMetrics = platform::engineFontObjPifi();
    const IFIMETRICS* metrics = fontMetrics ? fontMetrics(pfo) : nullptr;
    if (!metrics || metrics->dpwszUniqueName <= 0)
        return false;
    return namesPrinterFont(reinterpret_cast<const BYTE*>(metrics) + metrics->dpwszUniqueName);
}

void captureText(PDEVOBJ pdevobj, STROBJ* pstro) {
    textMode.store(1, std::memory_order_relaxed);
    if (!pstro)
        return;
    const RECTL current = pstro->rclBkGround;
    TextStateLock guard;
    if (!isUnset(prevTextRect) && current.top >= prevTextRect.bottom) {
        sendRuns(pdevobj);
        writeSpool(pdevobj, &kLineFeed, 1);
    }
    prevTextRect = current;
    // Without the source string there is nothing to send; the call still
    // counts for the line it lies on.
    if (!pstro->pwszOrg || pstro->cGlyphs == 0)
        return;
    if (pstro->pgp)
        captureRun(pdevobj, pstro->pgp[0].ptl.x, pstro->cGlyphs, pstro->pwszOrg);
    else
        captureBatches(pdevobj, pstro);
}

bool insertTextRun(PDEVOBJ pdevobj, LONG x, ULONG count, const WCHAR* text) {
    WCHAR* copy = copyText(text, count);
    if (!copy)
        return false;
    TextStateLock guard;
    placeRun(pdevobj, {x, count, copy});
    return true;
}

void flushTextLine(PDEVOBJ pdevobj) {
    TextStateLock guard;
    sendRuns(pdevobj);
}

bool sendTextRun(PDEVOBJ pdevobj, ULONG count, const WCHAR* text) {
    if (count > kMaxRunUnits)
        return false;
    auto* bytes = static_cast<BYTE*>(platform::globalAlloc(std::size_t{count} * 2 + 2));
    if (!bytes)
        return false;
    const int converted = text && count > 0 ? platform::wideToAnsi(text, static_cast<int>(count),
                                                                   reinterpret_cast<char*>(bytes),
                                                                   static_cast<int>(count * 2))
                                            : 0;
    // One character per pass: a tab is eight spaces, a byte above 0x80 leads
    // a two-byte character (code page 936: GB2312 from 0xA1, its extensions
    // from 0x81), anything else is a character of its own. Nothing past the
    // converted bytes is read.
    int at = 0;
    for (ULONG pass = 0; pass < count && at < converted; ++pass) {
        const BYTE lead = bytes[at];
        DWORD taken;
        if (lead == kTab) {
            taken = writeSpool(pdevobj, kTabSpaces, sizeof kTabSpaces);
            at += 1;
        } else {
            const int length = lead > 0x80 && converted - at >= 2 ? 2 : 1;
            taken = writeSpool(pdevobj, bytes + at, static_cast<DWORD>(length));
            at += length;
        }
        if (taken == 0)
            break;
    }
    platform::globalFree(bytes);
    return true;
}

void endTextLine(PDEVOBJ pdevobj, bool discard) {
    TextStateLock guard;
    if (textRuns.count == 0 && isUnset(prevTextRect))
        return;
    if (discard) {
        dropRuns();
    } else {
        sendRuns(pdevobj);
        writeSpool(pdevobj, &kLineFeed, 1);
    }
    prevTextRect = {};
}

LONG pendingTextRuns() {
    TextStateLock guard;
    return textRuns.count;
}

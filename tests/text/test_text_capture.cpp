// Text mode: capture of text calls into lines, their order, the bytes each
// character becomes, and what happens when data or memory is missing.
#include "host/text/text_calls.h"
#include "page/page_hooks.h"
#include "platform/host/test_controls.h"
#include "settings/command_callback.h"
#include "support/fake_device.h"
#include "text/text_capture.h"
#include "text/text_hook.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <thread>

namespace {

using standin::NamedFont;
using standin::TextString;

// A text line's background: 24 dots tall from `top`.
RECTL lineBox(LONG top) {
    return {0, top, 2000, top + 24};
}

// Every test starts as a freshly loaded module in code page 936 and leaves
// no text behind.
class TextCapture : public ::testing::Test {
  protected:
    TextCapture() {
        setenv("ANSI_CODE_PAGE", "936", 1);
        endTextLine(device.device(), true);
        device.clearRecords();
    }
    ~TextCapture() override {
        platform::host::failNthAllocation(0);
        endTextLine(device.device(), true);
        textMode.store(0);
        unsetenv("ANSI_CODE_PAGE");
    }

    BOOL draw(TextString& string, FONTOBJ* font, BRUSHOBJ* foreground = nullptr) {
        return DrvTextOut(device.surface(), string.strobj(), font, nullptr, nullptr, nullptr,
                          foreground, nullptr, nullptr, 0);
    }

    // One call in the printer font at `x` on the line starting at `top`;
    // batches of glyph positions when given, else positions supplied.
    void say(std::u16string_view text, LONG x, LONG top, std::vector<std::size_t> batches = {}) {
        TextString string(text, lineBox(top), x);
        if (!batches.empty())
            string.deliverInBatches(batches);
        EXPECT_EQ(draw(string, printerFont.fontobj()), TRUE);
    }

    std::string spool() const { return device.spoolText(); }

    fake::FakeDevice device;
    NamedFont printerFont{standin::kPrinterFontUniqueName};
    NamedFont otherFont{u"Label Sans Regular"};
};

TEST_F(TextCapture, RunsOfALineLeaveInXOrderWhenTheNextLineStarts) {
    say(u"B", 300, 0);
    EXPECT_EQ(spool(), ""); // the first call of the module writes no line feed
    say(u"A", 100, 10);
    EXPECT_EQ(spool(), "");
    say(u"C", 0, 34); // at the bottom of the previous call
    EXPECT_EQ(spool(), "AB\n");
    EXPECT_EQ(pendingTextRuns(), 1);
}

TEST_F(TextCapture, CodePage936LineWithSuppliedPositions) {
    say(u"AB", 300, 0);
    say(u"中", 100, 0);
    EXPECT_EQ(spool(), "");
    say(u"x", 0, 30);
    EXPECT_EQ(spool(), "\xD6\xD0"
                       "AB\n");
}

TEST_F(TextCapture, CodePage936LineWithEnumeratedText) {
    say(u"AB", 300, 0, {2});
    EXPECT_EQ(spool(), "AB");
    say(u"中", 100, 0, {1});
    EXPECT_EQ(spool(), "AB\xD6\xD0");
    say(u"x", 0, 30);
    EXPECT_EQ(spool(), "AB\xD6\xD0\n");
}

TEST_F(TextCapture, RunsAtTheSameXKeepTheirArrivalOrder) {
    say(u"1", 50, 0);
    say(u"2", 50, 0);
    say(u"0", 10, 0);
    say(u"3", 50, 0);
    say(u"", 0, 100);
    EXPECT_EQ(spool(), "0123\n");
}

TEST_F(TextCapture, ACallAtOrBelowThePreviousBottomStartsANewLine) {
    struct Case {
        LONG firstTop;
        LONG secondTop;
        const char* bytes;
    };
    // "A" at x 200, then "B" at x 100; a call far below closes the line.
    const Case cases[] = {
        {0, 24, "A\nB\n"},     // top equals the previous bottom
        {0, 23, "BA\n"},       // one dot above it
        {0, 1000, "A\nB\n"},   // well below
        {500, 0, "BA\n"},      // higher up the page: joins the open line
        {-100, -76, "A\nB\n"}, // signed comparison
        {-100, -77, "BA\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.firstTop << " then " << c.secondTop);
        say(u"A", 200, c.firstTop);
        say(u"B", 100, c.secondTop);
        say(u"", 0, 5000);
        EXPECT_EQ(spool(), c.bytes);
        endTextLine(device.device(), true);
        device.clearRecords();
    }
}

TEST_F(TextCapture, ANewLineWritesOneLineFeedEvenWhenItsRunsAreGone) {
    say(u"AB", 0, 0, {1, 1});
    EXPECT_EQ(spool(), "AB");
    EXPECT_EQ(pendingTextRuns(), 0);
    say(u"C", 0, 30, {1});
    EXPECT_EQ(spool(), "AB\nC");
}

TEST_F(TextCapture, AnAllZeroBackgroundLeavesNoPreviousLine) {
    TextString unplaced(u"A", RECTL{0, 0, 0, 0}, 0);
    draw(unplaced, printerFont.fontobj());
    say(u"B", 10, 100); // would start a new line after any placed call
    say(u"C", 0, 200);
    EXPECT_EQ(spool(), "AB\n");
}

TEST_F(TextCapture, EnumeratedBatchesLeaveWithTheRunsHeldAroundThem) {
    say(u"L", 100, 0);
    say(u"R", 500, 0);
    say(u"MMN", 300, 0, {2, 1}); // the second batch starts at x 348
    EXPECT_EQ(spool(), "LMMRN");
    EXPECT_EQ(pendingTextRuns(), 0);
}

TEST_F(TextCapture, NeverTakesMoreTextThanTheStringCounts) {
    TextString supplied(u"ABC", lineBox(0), 0);
    supplied.strobj()->cGlyphs = 2;
    draw(supplied, printerFont.fontobj());
    TextString batched(u"DEF", lineBox(0), 100);
    batched.deliverInBatches({3});
    batched.strobj()->cGlyphs = 2; // the engine hands out more glyphs than the string has
    draw(batched, printerFont.fontobj());
    EXPECT_EQ(spool(), "ABDE");
}

// Each character is one piece on the spool: the bytes sendTextRun writes, one
// write at a time.
TEST_F(TextCapture, EachCharacterIsWrittenAsOnePiece) {
    struct Case {
        const char* codePage;
        std::u16string text;
        std::vector<std::string> pieces;
    };
    const Case cases[] = {
        {"936", u"A\tB", {"A", "        ", "B"}},
        {"936", u"中文", {"\xD6\xD0", "\xCE\xC4"}},
        {"936", u"a\r\nb", {"a", "\r", "\n", "b"}},
        {"936", u"\u20AC", {"\x80"}},               // 128 stands alone
        {"936", u"\u4E02", {"\x81\x40"}},           // 129 to 159 lead a pair
        {"936", u"\u0001\u0008", {"\x01", "\x08"}}, // 0 to 8 stand alone
        {"936", std::u16string(u"\0x", 2), {std::string(1, '\0'), "x"}},
        {"936", u"\U0001F600", {"?", "?"}},  // not in the code page
        {"1252", u"a\u00E9", {"a", "\xE9"}}, // never past the last byte
        {"1252", u"\u00E9", {"\xE9"}},
        {"", u"\u4E2D", {"\xD6\xD0"}}, // 936 unless set
        {"99999999", u"AB", {}},       // not a code page
        {"12345", u"AB", {}},          // no such code page
        {"936", u"", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << "code page '" << c.codePage << "', " << c.text.size() << " units");
        setenv("ANSI_CODE_PAGE", c.codePage, 1);
        device.clearRecords();
        EXPECT_TRUE(sendTextRun(device.device(), static_cast<ULONG>(c.text.size()), c.text.data()));
        std::vector<std::string> written;
        for (const auto& write : device.writes)
            written.emplace_back(write.begin(), write.end());
        EXPECT_EQ(written, c.pieces);
    }
}

// The spool takes nothing at a chosen write; every write attempted is kept.
struct RefusingSpool {
    static inline std::vector<std::string> attempts;
    static inline std::size_t refuseAt = 0;

    static DWORD STDCALL write(PDEVOBJ, PVOID buffer, DWORD count) {
        attempts.emplace_back(static_cast<const char*>(buffer), count);
        return attempts.size() == refuseAt ? 0 : count;
    }
};

TEST_F(TextCapture, ARefusedWriteDropsOnlyTheRestOfItsRun) {
    DRVPROCS refusing{};
    refusing.DrvWriteSpoolBuf = RefusingSpool::write;
    DRVPROCS* own = device.device()->pDrvProcs;
    device.device()->pDrvProcs = &refusing;
    RefusingSpool::attempts.clear();
    RefusingSpool::refuseAt = 1;
    say(u"AB", 0, 0);
    say(u"CD", 100, 0);
    say(u"", 0, 30);
    device.device()->pDrvProcs = own;
    EXPECT_EQ(RefusingSpool::attempts, (std::vector<std::string>{"A", "C", "D", "\n"}));
}

TEST_F(TextCapture, ARunWithoutAConversionBufferSendsNothingOfItself) {
    const auto before = platform::host::liveAllocations();
    ASSERT_TRUE(insertTextRun(device.device(), 0, 2, u"AB"));
    ASSERT_TRUE(insertTextRun(device.device(), 50, 2, u"CD"));
    platform::host::failNthAllocation(1);
    EXPECT_FALSE(sendTextRun(device.device(), 2, u"AB"));
    platform::host::failNthAllocation(1);
    flushTextLine(device.device());
    EXPECT_EQ(spool(), "CD");
    EXPECT_EQ(platform::host::liveAllocations(), before);
}

TEST_F(TextCapture, ARunWhoseCopyFailsIsLeftOutAlone) {
    say(u"A", 0, 0);
    platform::host::failNthAllocation(1);
    say(u"B", 50, 0);
    say(u"C", 100, 0);
    say(u"D", 0, 30);
    EXPECT_EQ(spool(), "AC\n");
}

TEST_F(TextCapture, ALongLineGrowsItsTableAndKeepsItsOrder) {
    const auto before = platform::host::liveAllocations();
    std::string expected;
    for (int i = 0; i < 3 * kTextRunSlots; ++i)
        expected += std::to_string(i) + ",";
    for (int i = 3 * kTextRunSlots - 1; i >= 0; --i) {
        const std::string label = std::to_string(i) + ",";
        say(std::u16string(label.begin(), label.end()), 10 * i, 0);
    }
    EXPECT_EQ(spool(), "");
    say(u"", 0, 30);
    EXPECT_EQ(spool(), expected + "\n");
    endTextLine(device.device(), true);
    EXPECT_EQ(platform::host::liveAllocations(), before);
}

TEST_F(TextCapture, AFullTableThatCannotGrowSendsItsRunsFirst) {
    std::string first;
    for (int i = 0; i < kTextRunSlots; ++i) {
        first += static_cast<char>('a' + i % 26);
        say(std::u16string(1, static_cast<char16_t>('a' + i % 26)), 10 + i, 0);
    }
    platform::host::failNthAllocation(2); // the new run's copy succeeds, the larger table not
    say(u"@", 0, 0);
    EXPECT_EQ(spool(), first);
    say(u"Z", 5, 0);
    say(u"", 0, 30);
    EXPECT_EQ(spool(), first + "@Z\n");
}

TEST_F(TextCapture, AStringWithoutSourceTextStillMarksItsLine) {
    for (const bool batches : {false, true}) {
        SCOPED_TRACE(batches ? "enumerated" : "positions supplied");
        say(u"A", 0, 0);
        TextString textless(u"xyz", lineBox(30), 0);
        if (batches)
            textless.deliverInBatches({3});
        textless.dropSourceText();
        EXPECT_EQ(draw(textless, printerFont.fontobj()), TRUE);
        EXPECT_EQ(spool(), "A\n");
        say(u"B", 0, 40); // the same line as the textless call
        say(u"", 0, 100);
        EXPECT_EQ(spool(), "A\nB\n");
        endTextLine(device.device(), true);
        device.clearRecords();
    }
}

TEST_F(TextCapture, AnEnumerationErrorKeepsWhatWasSentAndWhatIsHeld) {
    say(u"Z", 900, 0);
    TextString failing(u"ABC", lineBox(0), 0);
    failing.deliverInBatches({});
    failing.failEnumeration();
    EXPECT_EQ(draw(failing, printerFont.fontobj()), TRUE);
    EXPECT_EQ(spool(), "");

    TextString failingLater(u"DEF", lineBox(0), 100);
    failingLater.deliverInBatches({1});
    failingLater.failEnumeration();
    EXPECT_EQ(draw(failingLater, printerFont.fontobj()), TRUE);
    EXPECT_EQ(spool(), "DZ"); // the first batch went with the held run; E and F were never given
    say(u"", 0, 30);
    EXPECT_EQ(spool(), "DZ\n");
}

TEST_F(TextCapture, OnlyThePrinterFontsExactNameIsThePrinterFont) {
    struct Case {
        std::u16string name;
        bool printerFont;
    };
    const std::u16string exact(standin::kPrinterFontUniqueName);
    const Case cases[] = {
        {exact, true},
        {u"epson24 24x24 打印机字体", false},
        {u"EPSON24 24X24 打印机字体", false},
        {exact.substr(0, exact.size() - 1), false},
        {exact + u" ", false},
        {u"", false},
    };
    for (const Case& c : cases) {
        NamedFont font(c.name);
        EXPECT_EQ(isPrinterFont(font.fontobj()), c.printerFont) << c.name.size() << " units";
    }
    NamedFont withoutMetrics(exact);
    withoutMetrics.forgetMetrics();
    EXPECT_FALSE(isPrinterFont(withoutMetrics.fontobj()));
    EXPECT_FALSE(isPrinterFont(nullptr));
}

// The engine's record as Windows itself lays it out, built byte by byte: the
// name's offset is a 32-bit value at byte 20 on every target, whatever the
// width of a pointer.
TEST_F(TextCapture, TheUniqueNameIsFoundWhereWindowsRecordsItsOffset) {
    const std::u16string name(standin::kPrinterFontUniqueName);
    const std::size_t recordBytes = sizeof(void*) == 4 ? 184 : 192;
    std::vector<std::uint64_t> storage((recordBytes + (name.size() + 1) * 2 + 7) / 8, 0);
    auto* bytes = reinterpret_cast<BYTE*>(storage.data());
    const auto put32 = [bytes](std::size_t at, std::uint32_t value) {
        for (int i = 0; i < 4; ++i)
            bytes[at + i] = static_cast<BYTE>(value >> (8 * i));
    };
    put32(0, static_cast<std::uint32_t>(recordBytes));
    for (std::size_t field = 8; field < 20; field += 4)
        put32(field, 0x7FFF0000); // family, style and face names: never to be taken for it
    put32(20, static_cast<std::uint32_t>(recordBytes));
    put32(24, 0x7FFF0000); // font simulations
    std::memcpy(bytes + recordBytes, name.data(), name.size() * 2);

    standin::EngineFont font;
    font.metrics = reinterpret_cast<const IFIMETRICS*>(bytes);
    EXPECT_TRUE(isPrinterFont(&font.fontobj));
    put32(20, 0);
    EXPECT_FALSE(isPrinterFont(&font.fontobj)) << "a record without a unique name";
}

// Which text is captured and which meets the colour gate on its way to
// Unidrv.
TEST_F(TextCapture, TheHookCapturesThePrinterFontAndAllTextInTextMode) {
    enum FontKind { kPrinter, kOther, kNone };
    struct Case {
        DWORD mode;
        FontKind font;
        bool brush;
        ULONG colour;
        int switchedOffClass; // printText 0 for this class, -1 for none
        BOOL unidrvAnswer;
        bool captured;
        bool drawn;
        BOOL result;
    };
    const Case cases[] = {
        {0, kOther, true, 0x000000FF, 1, TRUE, false, false, TRUE},  // red text switched off
        {0, kOther, true, 0x000000FF, 2, FALSE, false, true, FALSE}, // another class off
        {0, kOther, false, 0, 0, TRUE, false, false, TRUE},          // no brush: class 0
        {0, kOther, true, 0xFFFFFFFF, 0, TRUE, false, false, TRUE},  // pattern: class 0
        {0, kNone, true, 0x00FF0000, -1, FALSE, false, true, FALSE}, // no font object
        {0, kPrinter, true, 0x000000FF, 1, TRUE, true, false, TRUE}, // printer font, gate ignored
        {1, kOther, true, 0x00FF0000, 3, FALSE, true, false, TRUE},  // text mode: any font
        {1, kNone, false, 0, 0, FALSE, true, false, TRUE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "mode " << c.mode << ", font " << c.font << ", colour "
                                          << std::hex << c.colour);
        textMode.store(c.mode);
        for (auto& flags : device.settings.colourFlags)
            flags.printText = 1;
        if (c.switchedOffClass >= 0)
            device.settings.colourFlags[c.switchedOffClass].printText = 0;
        device.unidrvResult[kRowTextOut] = c.unidrvAnswer;
        device.clearRecords();
        BRUSHOBJ brush = standin::solidBrush(c.colour);
        TextString string(u"T", lineBox(0), 0);
        FONTOBJ* font = c.font == kPrinter ? printerFont.fontobj()
                        : c.font == kOther ? otherFont.fontobj()
                                           : nullptr;
        EXPECT_EQ(draw(string, font, c.brush ? &brush : nullptr), c.result);
        EXPECT_EQ(device.callsOf(kRowTextOut), c.drawn ? 1 : 0);
        EXPECT_EQ(pendingTextRuns(), c.captured ? 1 : 0);
        EXPECT_EQ(textMode.load(), c.captured ? 1u : c.mode);
        endTextLine(device.device(), true);
    }
}

// The page and document ends close the open line, so nothing is held for
// the next page or document.
class TextPageEnd : public TextCapture {
  protected:
    TextPageEnd() {
        fake::setCommand(device.settings.pageEndCmd, u"0C");
        device.settings.pageEndOn = 1;
        fake::setCommand(device.settings.jobEndCmd, u"04");
        device.settings.jobEndOn = 1;
        textMode.store(1);
    }
};

TEST_F(TextPageEnd, ThePagesLastLineLeavesBeforeThePageEnd) {
    DrvStartPage(device.surface());
    say(u"A", 0, 0);
    say(u"B", 0, 30);
    EXPECT_EQ(spool(), "A\n");
    DrvSendPage(device.surface());
    EXPECT_EQ(spool(), "A\nB\n\x0C");
    ASSERT_EQ(device.callsOf(kRowSendPage), 1);
    EXPECT_EQ(device.unidrvCalls.back().spoolBytes, 2u); // Unidrv's own call came first
    EXPECT_EQ(pendingTextRuns(), 0);

    DrvStartPage(device.surface());
    say(u"C", 0, 0); // higher up than the last line: a line of its own all the same
    DrvSendPage(device.surface());
    EXPECT_EQ(spool(), "A\nB\n\x0C"
                       "C\n\x0C");
}

TEST_F(TextPageEnd, APageOfEnumeratedTextEndsWithItsLineFeed) {
    DrvStartPage(device.surface());
    say(u"AB", 0, 0, {2});
    DrvSendPage(device.surface());
    EXPECT_EQ(spool(), "AB\n\x0C");
}

TEST_F(TextPageEnd, APageWithoutTextWritesNoLineFeed) {
    DrvStartPage(device.surface());
    DrvSendPage(device.surface());
    EXPECT_EQ(spool(), "\x0C");
}

TEST_F(TextPageEnd, TheDocumentEndSendsTextAfterTheLastPage) {
    say(u"A", 0, 0);
    DrvEndDoc(device.surface(), 0);
    EXPECT_EQ(spool(), "A\n\x04");
    EXPECT_EQ(pendingTextRuns(), 0);
    say(u"B", 0, 0);
    EXPECT_EQ(spool(), "A\n\x04"); // no line feed: the last line was forgotten
}

TEST_F(TextPageEnd, AnAbortedDocumentDropsItsText) {
    const auto before = platform::host::liveAllocations();
    say(u"A", 0, 0);
    say(u"B", 100, 0);
    DrvEndDoc(device.surface(), ED_ABORTDOC);
    EXPECT_EQ(spool(), "\x04");
    EXPECT_EQ(pendingTextRuns(), 0);
    EXPECT_EQ(platform::host::liveAllocations(), before);
}

// Two devices on two threads share the module's line; every run must still
// leave exactly once, whole, on one of the two streams.
TEST(TextThreads, TwoDevicesCaptureAtOnceWithoutLosingARun) {
    setenv("ANSI_CODE_PAGE", "936", 1);
    fake::FakeDevice first, second;
    textMode.store(1);
    NamedFont font(standin::kPrinterFontUniqueName);
    constexpr int kCalls = 400;
    auto work = [&font](fake::FakeDevice& device, char tag) {
        for (int i = 0; i < kCalls; ++i) {
            const std::string label = tag + std::to_string(i) + ";";
            TextString string(std::u16string(label.begin(), label.end()), lineBox((i / 3) * 30),
                              (i % 3) * 100, 0);
            if (i % 5 == 0)
                string.deliverInBatches({label.size()});
            DrvTextOut(device.surface(), string.strobj(), font.fontobj(), nullptr, nullptr, nullptr,
                       nullptr, nullptr, nullptr, 0);
        }
    };
    std::thread one(work, std::ref(first), 'a');
    std::thread two(work, std::ref(second), 'b');
    one.join();
    two.join();
    endTextLine(first.device());
    std::map<std::string, int> seen;
    std::string token;
    for (const char c : first.spoolText() + second.spoolText()) {
        if (c == ';') {
            ++seen[token];
            token.clear();
        } else if (c != '\n') {
            token += c;
        }
    }
    EXPECT_EQ(token, "");
    EXPECT_EQ(seen.size(), 2u * kCalls);
    for (const auto& [label, times] : seen)
        EXPECT_EQ(times, 1) << label;
    textMode.store(0);
    unsetenv("ANSI_CODE_PAGE");
}

} // namespace

// Whole text-mode jobs driven through the Unidrv stand-in, compared byte for
// byte; the configuration callbacks, TextOutAsBitmap and the drawing gate as
// the plug-in object and its hook table meet them.
#include "host/text/text_calls.h"
#include "host/text/text_job.h"
#include "settings/command_callback.h"
#include "support/linked_module.h"
#include "text/text_capture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>

namespace {

using standin::TextCallSpec;
using standin::TextDocument;
using standin::TextJob;
using standin::TextPage;

// Each job starts in a module in label mode with no text held, in code page
// 936 unless a test says otherwise.
class TextJobs : public ::testing::Test {
  protected:
    TextJobs() {
        setenv("ANSI_CODE_PAGE", "936", 1);
        textMode.store(0);
    }
    ~TextJobs() override {
        textMode.store(0);
        unsetenv("ANSI_CODE_PAGE");
    }

    static TextJob job(std::vector<TextDocument> documents) {
        TextJob made;
        made.paper.paperWidth = 1040;
        made.paper.paperLength = 1520;
        made.documents = std::move(documents);
        return made;
    }

    // The job's spool stream as text, failing the test when the job fails.
    static std::string print(const TextJob& job,
                             const standin::PluginModule& module = linkedModule()) {
        const standin::JobOutcome outcome = standin::printTextJob(module, job);
        EXPECT_TRUE(outcome.ok) << outcome.error;
        EXPECT_EQ(outcome.canUnloadNow, S_OK);
        EXPECT_EQ(outcome.servicesReferences, 0);
        EXPECT_EQ(pendingTextRuns(), 0);
        return std::string(outcome.spool.begin(), outcome.spool.end());
    }

    static TextCallSpec call(std::u16string text, LONG x, LONG top,
                             std::vector<std::size_t> batches = {}) {
        TextCallSpec made;
        made.text = std::move(text);
        made.x = x;
        made.background = {x, top, x + 24 * static_cast<LONG>(made.text.size()), top + 24};
        made.batches = std::move(batches);
        return made;
    }
};

TEST_F(TextJobs, PrinterFontLinesReachThePrinterAsTextLines) {
    TextJob text = job({{{}, standin::layOutText({{u"Hello", u"", u"中文\ttext"}, {u"第二页"}})}});
    text.editSettings = [](OemDevMode& settings) {
        const std::pair<WORD*, WCHAR*> commands[] = {
            {&settings.jobStartOn, settings.jobStartCmd},
            {&settings.pageStartOn, settings.pageStartCmd},
            {&settings.pageEndOn, settings.pageEndCmd},
            {&settings.jobEndOn, settings.jobEndCmd},
        };
        const char16_t* hex[] = {u"01", u"02", u"0C", u"04"};
        for (int i = 0; i < 4; ++i) {
            *commands[i].first = 1;
            std::copy_n(hex[i], 3, commands[i].second);
        }
    };
    // A line leaves when the next one starts, the page's last line at its
    // end, between Unidrv's own page call and the page-end bytes.
    EXPECT_EQ(print(text), "Hello\n"
                           "\x01\x02"
                           "\xD6\xD0\xCE\xC4        text\n"
                           "\x0C"
                           "\x02"
                           "\xB5\xDA\xB6\xFE\xD2\xB3\n"
                           "\x0C"
                           "\x04");
}

TEST_F(TextJobs, RunsOfALineAreOrderedLeftToRight) {
    const TextPage supplied{{}, {call(u"AB", 300, 0), call(u"中", 100, 0), call(u"x", 0, 30)}};
    EXPECT_EQ(print(job({{{}, {supplied}}})), "\xD6\xD0"
                                              "AB\n"
                                              "x\n");
}

TEST_F(TextJobs, EnumeratedTextLeavesBatchByBatch) {
    const TextPage batched{
        {}, {call(u"AB", 300, 0, {2}), call(u"中", 100, 0, {1}), call(u"xyz", 0, 30, {1, 2})}};
    EXPECT_EQ(print(job({{{}, {batched}}})), "AB\xD6\xD0\n"
                                             "xyz\n");
}

TEST_F(TextJobs, EveryPageKeepsItsOwnLastLine) {
    // Each page's line lies higher than the last page's: without the page
    // end, it would join that line and the last line would wait for more text.
    const TextDocument pages{{}, {{{}, {call(u"first", 0, 500)}}, {{}, {call(u"second", 0, 0)}}}};
    EXPECT_EQ(print(job({pages})), "first\nsecond\n");
}

TEST_F(TextJobs, TheTextModeCallbackHoldsUntilLabelModeIsCalledFor) {
    auto otherFont = [](std::u16string text, LONG top) {
        TextCallSpec made = call(std::move(text), 0, top);
        made.printerFont = false;
        return made;
    };
    const TextJob modes = job({
        {{11}, {{{}, {otherFont(u"one", 0)}}}},
        {{}, {{{}, {otherFont(u"two", 0)}}}},
        {{}, {{{10}, {otherFont(u"three", 0)}}}},
    });
    const standin::JobOutcome outcome = standin::printTextJob(linkedModule(), modes);
    ASSERT_TRUE(outcome.ok) << outcome.error;
    const std::string spool(outcome.spool.begin(), outcome.spool.end());
    EXPECT_EQ(spool.substr(0, 8), "one\ntwo\n");
    EXPECT_NE(spool.find("CLS", 8), std::string::npos); // the third page is a label again
    EXPECT_EQ(std::count(outcome.unidrvCalls.begin(), outcome.unidrvCalls.end(), "DrvTextOut"), 1);
}

TEST_F(TextJobs, AnAbortedDocumentLeavesNothingForTheNext) {
    const TextDocument aborted{
        {11}, {{{}, {call(u"kept", 0, 0)}}, {{}, {call(u"lost", 0, 0)}}}, true};
    const TextDocument next{{}, {{{}, {call(u"next", 0, 0)}}}};
    EXPECT_EQ(print(job({aborted, next})), "kept\nnext\n");
}

TEST_F(TextJobs, TheLoadedModulePrintsTheSameBytes) {
    const TextJob text =
        job({{{11}, standin::layOutText({{u"loaded 模块", u"second"}, {u"page two"}})}});
    standin::PluginModule loaded;
    std::string error;
    ASSERT_TRUE(standin::loadPluginModule(LABEL_PLUGIN_PATH, loaded, error)) << error;
    const std::string fromLoaded = print(text, loaded);
    standin::unloadPluginModule(loaded);
    EXPECT_EQ(fromLoaded, print(text));
    EXPECT_EQ(fromLoaded.substr(0, 7), "loaded ");
}

// The plug-in object and its hook table as Unidrv calls them outside jobs.
class PluginCalls : public TextJobs {
  protected:
    PluginCalls() {
        std::string error;
        EXPECT_TRUE(unidrv.startUp(error)) << error;
        OemDevMode settings{};
        const DEVMODEW publicDm = standin::makePublicDevMode({});
        EXPECT_TRUE(unidrv.privateSettingsFor(publicDm, settings, error)) << error;
        device = unidrv.makeDevice(publicDm, settings);
        EXPECT_EQ(device->enable(), S_OK);
    }
    ~PluginCalls() override { device.reset(); }

    standin::PluginModule module = linkedModule();
    standin::UnidrvStandIn unidrv{module};
    std::unique_ptr<standin::Device> device;
};

TEST_F(PluginCalls, CommandCallbackAnswersEveryIdWithSOkAndZero) {
    struct Case {
        DWORD id;
        DWORD mode;
        DWORD callbackFlag;
    };
    const Case cases[] = {{11, 1, 0}, {0, 1, 0},   {803, 1, 1}, {12, 1, 1},
                          {10, 0, 1}, {800, 0, 0}, {9, 0, 0}};
    DWORD params[2] = {7, 8};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        for (DWORD* parameters : {static_cast<DWORD*>(nullptr), params}) {
            INT result = -5;
            EXPECT_EQ(
                unidrv.plugin()->CommandCallback(&device->devobj(), c.id, 2, parameters, &result),
                S_OK);
            EXPECT_EQ(result, 0);
            EXPECT_EQ(textMode.load(), c.mode);
            EXPECT_EQ(device->privateSettings().callbackFlag, c.callbackFlag);
        }
    }
}

TEST_F(PluginCalls, TextOutAsBitmapDrawsThroughTheHookAndAnswersSOk) {
    standin::NamedFont other(u"Label Sans Regular");
    standin::TextString string(u"T", RECTL{0, 0, 24, 24}, 0);
    device->setUnidrvResult(FALSE);
    EXPECT_EQ(standin::textOutAsBitmap(*device, string, other.fontobj()), S_OK);
    EXPECT_EQ(device->unidrvCalls(), std::vector<std::string>{"DrvTextOut"});
    EXPECT_EQ(textMode.load(), 0u);

    standin::NamedFont printer(standin::kPrinterFontUniqueName);
    EXPECT_EQ(standin::textOutAsBitmap(*device, string, printer.fontobj()), S_OK);
    EXPECT_EQ(device->unidrvCalls().size(), 1u);
    EXPECT_EQ(textMode.load(), 1u);
    EXPECT_EQ(pendingTextRuns(), 1);
    endTextLine(&device->devobj(), true);
}

TEST_F(PluginCalls, DrawingCallsReachUnidrvByColourClass) {
    device->privateSettings().colourFlags[1].printBitmaps = 0; // red bitmaps
    device->privateSettings().colourFlags[3].printLines = 0;   // blue lines
    BRUSHOBJ red = standin::solidBrush(0x000000FF), blue = standin::solidBrush(0x00FF0000);
    BRUSHOBJ pattern = standin::patternBrush();
    EXPECT_EQ(standin::bitBlt(*device, &red), TRUE);
    EXPECT_EQ(standin::strokePath(*device, &red), TRUE);
    EXPECT_EQ(standin::strokePath(*device, &blue), TRUE);
    EXPECT_EQ(standin::bitBlt(*device, &blue), TRUE);
    EXPECT_EQ(standin::bitBlt(*device, &pattern), TRUE);
    EXPECT_EQ(standin::stretchBlt(*device), TRUE);
    EXPECT_EQ(device->unidrvCalls(), (std::vector<std::string>{"DrvStrokePath", "DrvBitBlt",
                                                               "DrvBitBlt", "DrvStretchBlt"}));
}

} // namespace

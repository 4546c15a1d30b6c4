// Devices printing at the same time on threads of their own, as Unidrv runs
// jobs for several printers in one process: each device's label stream must
// come out as it does alone, the text state shared by the module must lose
// and duplicate nothing, and the font image must outlive every reader.
#include "host/text/font_queries.h"
#include "host/text/text_calls.h"
#include "host/text/text_job.h"
#include "platform/host/test_controls.h"
#include "robustness/label_model.h"
#include "settings/command_callback.h"
#include "support/linked_module.h"
#include "support/ufm_writer.h"
#include "text/font_file.h"
#include "text/text_capture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <latch>
#include <map>
#include <thread>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using platform::host::liveAllocations;
using standin::PageBitmap;

// The user's page and job-end bytes: non-ASCII, so that they never pass for
// text. Job-start bytes follow the module-wide first-page flag, which the
// other device's document resets, so no job here stores them.
constexpr char kPageStart[] = "\xF1\xF2";
constexpr char kPageEnd[] = "\xF3\xF4";
constexpr char kJobEnd[] = "\xF5\xF6";

void storeCommands(OemDevMode& settings) {
    const auto store = [](WORD& on, WCHAR(&field)[kCommandTextUnits], const char16_t* hex) {
        on = 1;
        std::memcpy(field, hex, std::char_traits<char16_t>::length(hex) * sizeof(char16_t));
    };
    store(settings.pageStartOn, settings.pageStartCmd, u"F1F2");
    store(settings.pageEndOn, settings.pageEndCmd, u"F3F4");
    store(settings.jobEndOn, settings.jobEndCmd, u"F5F6");
}

// Pages of the widths given in turn, each of its own dots.
std::vector<PageBitmap> pagesOf(std::initializer_list<LONG> widths, LONG height, int count,
                                unsigned seed) {
    std::vector<PageBitmap> pages;
    for (int i = 0; i < count; ++i)
        pages.push_back(model::randomPage(std::data(widths)[i % widths.size()], height,
                                          seed + static_cast<unsigned>(i), height / 2,
                                          height / 2 + 8));
    return pages;
}

standin::LabelJob commandedJob(std::vector<PageBitmap> pages, const model::Label& settings,
                               LONG bandHeight) {
    standin::LabelJob job = model::labelJob(std::move(pages), settings);
    job.editSettings = [settings](OemDevMode& devmode) {
        model::applyLabelSettings(devmode, settings);
        storeCommands(devmode);
    };
    job.bandHeight = bandHeight;
    job.documents = 2;
    return job;
}

// The stream of a commanded job with every page's label in its frame.
std::string framedStream(const standin::LabelJob& job, const model::Label& settings) {
    std::string document;
    for (const PageBitmap& page : job.pages)
        document += kPageStart + model::labelProgram(page, settings) + kPageEnd;
    document += kJobEnd;
    std::string out;
    for (int i = 0; i < job.documents; ++i)
        out += document;
    return out;
}

// The label documents of `job` on an enabled device, as printLabelJob runs
// them; `eachPage` runs after DrvStartPage.
void printDocuments(standin::Device& device, const standin::LabelJob& job,
                    const std::function<void()>& eachPage = {}) {
    for (int document = 0; document < job.documents; ++document) {
        device.startDoc();
        for (const PageBitmap& page : job.pages) {
            EXPECT_TRUE(device.startPage());
            if (eachPage)
                eachPage();
            device.renderPage(page, job.bandHeight, job.imageCallbackId);
            device.sendPage();
        }
        device.endDoc();
    }
}

// A driver directory with a metrics file, so that every enabled device loads
// a font image and drops it again; the module starts in label mode.
class Concurrency : public ::testing::Test {
  protected:
    void SetUp() override {
        directory = fs::temp_directory_path() /
                    ("label-threads-" + std::to_string(::getpid()) + "-" +
                     ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(directory);
        ufm::install(directory, ufm::write({}));
        setenv("PRINTER_DRIVER_DIR", directory.c_str(), 1);
        setenv("ANSI_CODE_PAGE", "936", 1);
        dropFontImage();
        textMode.store(0);
        live = liveAllocations();
    }
    void TearDown() override {
        dropFontImage();
        EXPECT_EQ(liveAllocations(), live) << "blocks left behind";
        EXPECT_EQ(pendingTextRuns(), 0);
        textMode.store(0);
        unsetenv("ANSI_CODE_PAGE");
        unsetenv("PRINTER_DRIVER_DIR");
        fs::remove_all(directory);
    }

    fs::path directory;
    std::int64_t live = 0;
};

// Font queries on a device of its own, answered the same every time while
// other devices come and go and with them the module's font image.
class FontQuestions {
  public:
    FontQuestions() {
        std::string error;
        EXPECT_TRUE(unidrv.startUp(error)) << error;
        const DEVMODEW publicDm = standin::makePublicDevMode({});
        OemDevMode privateDm{};
        EXPECT_TRUE(unidrv.privateSettingsFor(publicDm, privateDm, error)) << error;
        device = unidrv.makeDevice(publicDm, privateDm);
        EXPECT_EQ(device->enable(), S_OK);
        font.transform.m22 = -1;
    }

    // The metrics, a glyph and the widths of three glyphs, as bytes.
    std::string ask() {
        FD_DEVICEMETRICS metrics;
        GLYPHDATA glyph;
        USHORT widths[3] = {};
        std::memset(&metrics, 0, sizeof metrics);
        std::memset(&glyph, 0, sizeof glyph);
        const LONG metricsSize = standin::queryDeviceMetrics(*device, font, metrics);
        const LONG glyphResult = standin::queryGlyphData(*device, font, 7, glyph);
        const BOOL widthsResult =
            standin::queryAdvanceWidths(*device, font, QAW_GETWIDTHS, nullptr, widths, 3);
        std::string out(reinterpret_cast<const char*>(&metrics), sizeof metrics);
        out.append(reinterpret_cast<const char*>(&glyph), sizeof glyph);
        out.append(reinterpret_cast<const char*>(widths), sizeof widths);
        return out + std::to_string(metricsSize) + "/" + std::to_string(glyphResult) + "/" +
               std::to_string(widthsResult);
    }

  private:
    standin::UnidrvStandIn unidrv{linkedModule()};
    std::unique_ptr<standin::Device> device;
    standin::EngineFont font;
};

// Enables and disables devices until told to stop: each EnablePDEV installs
// a fresh image, each DisablePDEV drops whatever image is held.
void comeAndGo(const std::atomic<bool>& stop) {
    standin::UnidrvStandIn unidrv{linkedModule()};
    std::string error;
    ASSERT_TRUE(unidrv.startUp(error)) << error;
    const DEVMODEW publicDm = standin::makePublicDevMode({});
    OemDevMode privateDm{};
    ASSERT_TRUE(unidrv.privateSettingsFor(publicDm, privateDm, error)) << error;
    for (int round = 0; round < 20 || !stop.load(); ++round) {
        auto device = unidrv.makeDevice(publicDm, privateDm);
        EXPECT_EQ(device->enable(), S_OK);
        device->disable();
    }
}

TEST_F(Concurrency, LabelJobsOnTwoDevicesComeOutAsTheyDoAlone) {
    const model::Label upright{.density = 3, .shiftX = 1};
    const model::Label turned{.shiftX = -1, .shiftY = 5, .landscape = true};
    const standin::LabelJob portrait =
        commandedJob(pagesOf({96, 200, 33}, 40, 24, 10), upright, 16);
    const standin::LabelJob landscape = commandedJob(pagesOf({72, 64}, 56, 24, 50), turned, 7);
    const auto alone = [](const standin::LabelJob& job) {
        const standin::JobOutcome outcome = standin::printLabelJob(linkedModule(), job);
        EXPECT_TRUE(outcome.ok) << outcome.error;
        return outcome.spool;
    };
    const std::vector<BYTE> portraitAlone = alone(portrait), landscapeAlone = alone(landscape);
    ASSERT_TRUE(model::text(portraitAlone) == framedStream(portrait, upright));
    ASSERT_TRUE(model::text(landscapeAlone) == framedStream(landscape, turned));
    const std::string answers = FontQuestions().ask();

    // Each thread its own stand-in, then two devices of one stand-in.
    for (const bool shared : {false, true}) {
        SCOPED_TRACE(shared ? "one plug-in object" : "a plug-in object each");
        standin::UnidrvStandIn unidrv{linkedModule()};
        std::string error;
        std::unique_ptr<standin::Device> one, other;
        if (shared) {
            ASSERT_TRUE(unidrv.startUp(error)) << error;
            const auto deviceFor = [&](const standin::LabelJob& job) {
                const DEVMODEW publicDm = standin::makePublicDevMode(job.paper);
                OemDevMode privateDm{};
                EXPECT_TRUE(
                    unidrv.privateSettingsFor(publicDm, privateDm, error, job.editSettings));
                auto device = unidrv.makeDevice(publicDm, privateDm);
                EXPECT_EQ(device->enable(), S_OK);
                return device;
            };
            one = deviceFor(portrait);
            other = deviceFor(landscape);
        }
        const auto repeat = [](const standin::LabelJob& job, const std::vector<BYTE>& expected) {
            for (int round = 0; round < 3; ++round) {
                const standin::JobOutcome outcome = standin::printLabelJob(linkedModule(), job);
                EXPECT_TRUE(outcome.ok) << outcome.error;
                EXPECT_TRUE(outcome.spool == expected) << "round " << round;
            }
        };

        std::atomic<bool> stop{false};
        std::thread churn(comeAndGo, std::cref(stop));
        std::thread questions([&] {
            FontQuestions asker;
            for (int round = 0; round < 50 || !stop.load(); ++round)
                ASSERT_EQ(asker.ask(), answers);
        });
        std::thread first, second;
        if (shared) {
            first = std::thread([&] { printDocuments(*one, portrait); });
            second = std::thread([&] { printDocuments(*other, landscape); });
        } else {
            first = std::thread(repeat, std::cref(portrait), std::cref(portraitAlone));
            second = std::thread(repeat, std::cref(landscape), std::cref(landscapeAlone));
        }
        first.join();
        second.join();
        stop.store(true);
        churn.join();
        questions.join();
        if (shared) {
            EXPECT_TRUE(one->spool() == portraitAlone);
            EXPECT_TRUE(other->spool() == landscapeAlone);
        }
    }
}

// ---------------------------------------------------------------------------
// Text and labels side by side

// Every run is a token of four characters of its own, lower case and digits,
// so that runs can be told apart from labels and counted wherever they land.
std::u16string token(int i) {
    std::u16string out(1, static_cast<char16_t>(u'a' + i / 1000 % 26));
    for (int div : {100, 10, 1})
        out += static_cast<char16_t>(u'0' + i / div % 10);
    return out;
}

bool isTextByte(char c) {
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '\n';
}

// Counts the tokens in a stretch of text; false when it holds anything else.
bool countTokens(const std::string& text, std::map<std::string, int>& tokens) {
    std::string runs;
    for (char c : text)
        if (c != '\n')
            runs += c;
    if (runs.size() % 4 != 0)
        return false;
    for (std::size_t at = 0; at < runs.size(); at += 4) {
        if (runs[at] < 'a' || runs[at] > 'z')
            return false;
        ++tokens[runs.substr(at, 4)];
    }
    return true;
}

// Reads a label device's stream: each page framed by its commands, holding
// text sent for the other device's open line, then its own label or — when
// it ended while the module was in text mode — none; text again before each
// job end. Counts the labels and the tokens; false when anything else shows.
bool readLabelStream(const std::string& spool, const standin::LabelJob& job,
                     std::map<std::string, int>& tokens, int& labels) {
    std::size_t at = 0;
    const auto takes = [&](const std::string& piece) {
        if (spool.compare(at, piece.size(), piece) != 0)
            return false;
        at += piece.size();
        return true;
    };
    const auto takeText = [&] {
        const std::size_t from = at;
        while (at < spool.size() && isTextByte(spool[at]))
            ++at;
        return countTokens(spool.substr(from, at - from), tokens);
    };
    for (int document = 0; document < job.documents; ++document) {
        for (const PageBitmap& page : job.pages) {
            if (!takes(kPageStart) || !takeText())
                return false;
            labels += takes(model::labelProgram(page));
            if (!takes(kPageEnd))
                return false;
        }
        if (!takeText() || !takes(kJobEnd))
            return false;
    }
    return at == spool.size();
}

TEST_F(Concurrency, TextAndLabelJobsSideBySide) {
    // Pages of changing widths: a page ended in text mode must not leave its
    // width to the next.
    standin::LabelJob labelJob = commandedJob(pagesOf({384, 64, 200, 33}, 24, 16, 100), {}, 8);
    int next = 0;
    std::vector<standin::TextPage> textPages(6);
    for (standin::TextPage& page : textPages) {
        for (LONG line = 0; line < 10; ++line) {
            for (LONG x : {300, 10}) {
                standin::TextCallSpec call;
                call.text = token(next++);
                call.x = x;
                call.background = {x, 30 * line, x + 96, 30 * line + 24};
                page.calls.push_back(call);
            }
        }
    }
    standin::TextJob textJob;
    textJob.paper.paperWidth = 1040;
    textJob.paper.paperLength = 1520;
    textJob.documents = {{{}, textPages}};
    const auto labelRun = [&] {
        return standin::runJob(
            linkedModule(), labelJob, [&](standin::Device& device, standin::JobOutcome&) {
                printDocuments(device, labelJob,
                               [&] { device.commandCallback(kCallbackLabelMode); });
            });
    };

    std::map<std::string, int> tokens;
    int labels = 0;
    const standin::JobOutcome alone = labelRun();
    ASSERT_TRUE(readLabelStream(model::text(alone.spool), labelJob, tokens, labels));
    ASSERT_EQ(labels, 2 * 16) << "alone, every page carries its label";
    ASSERT_TRUE(tokens.empty());

    // The text device's own pages may end while the label device has the
    // module in label mode: they then carry an empty label of their own.
    const std::string emptyLabel = model::labelProgram(model::Lines{}, 0);
    // Both start together, and the label jobs go on until text jobs have
    // run beside them for a while.
    std::atomic<bool> labelsDone{false};
    std::atomic<int> textRounds{0};
    std::latch start(2);
    std::vector<std::string> textStreams;
    std::thread text([&] {
        start.arrive_and_wait();
        while (textRounds.load() < 2 || !labelsDone.load()) {
            const standin::JobOutcome outcome = standin::printTextJob(linkedModule(), textJob);
            EXPECT_TRUE(outcome.ok) << outcome.error;
            textStreams.push_back(model::text(outcome.spool));
            ++textRounds;
        }
    });
    std::vector<std::string> labelStreams;
    start.arrive_and_wait();
    for (int round = 0; round < 4 || textRounds.load() < 20; ++round)
        labelStreams.push_back(model::text(labelRun().spool));
    labelsDone.store(true);
    text.join();

    tokens.clear();
    labels = 0;
    for (const std::string& spool : labelStreams)
        EXPECT_TRUE(readLabelStream(spool, labelJob, tokens, labels))
            << "a label torn, or bytes other than labels, commands and text";
    for (std::string spool : textStreams) {
        for (std::size_t at; (at = spool.find(emptyLabel)) != std::string::npos;)
            spool.erase(at, emptyLabel.size());
        EXPECT_TRUE(countTokens(spool, tokens)) << spool;
    }
    EXPECT_EQ(tokens.size(), static_cast<std::size_t>(next));
    for (const auto& [run, count] : tokens)
        EXPECT_EQ(count, textRounds.load())
            << run << ": every run sent once a round, wherever it went";
    RecordProperty("labels printed beside text", std::to_string(labels));
    RecordProperty("label rounds", std::to_string(labelStreams.size()));
    RecordProperty("text rounds", std::to_string(textRounds.load()));
}

// The same meeting without threads: the other device's text mode ends the
// label device's page without a label and sends the open text line into its
// stream; the label device's next, narrower page is its own again.
TEST_F(Concurrency, ADeviceInTextModeEndsAnotherDevicesPageWithoutItsWidth) {
    const PageBitmap wide = model::randomPage(384, 8, 200), narrow = model::randomPage(64, 8, 201);
    standin::UnidrvStandIn unidrv{linkedModule()};
    std::string error;
    ASSERT_TRUE(unidrv.startUp(error)) << error;
    const auto deviceOn = [&](const standin::PaperSettings& paper) {
        const DEVMODEW publicDm = standin::makePublicDevMode(paper);
        OemDevMode privateDm{};
        EXPECT_TRUE(unidrv.privateSettingsFor(publicDm, privateDm, error)) << error;
        auto device = unidrv.makeDevice(publicDm, privateDm);
        EXPECT_EQ(device->enable(), S_OK);
        return device;
    };
    auto labels = deviceOn(model::paperFor({wide}, false));
    auto texts = deviceOn({});
    standin::NamedFont printerFont(standin::kPrinterFontUniqueName);
    standin::TextString line(u"a123", {0, 0, 96, 24}, 0);

    labels->startDoc();
    texts->startDoc();
    ASSERT_TRUE(labels->startPage());
    ASSERT_TRUE(texts->startPage());
    labels->renderPage(wide, 8);
    standin::textOut(*texts, line, printerFont.fontobj());
    labels->sendPage();
    texts->commandCallback(kCallbackLabelMode);
    ASSERT_TRUE(labels->startPage());
    labels->renderPage(narrow, 8);
    labels->sendPage();
    labels->endDoc();
    texts->endDoc();
    EXPECT_EQ(model::text(labels->spool()), "a123\n" + model::labelProgram(narrow));
    EXPECT_EQ(pendingTextRuns(), 0);
}

} // namespace

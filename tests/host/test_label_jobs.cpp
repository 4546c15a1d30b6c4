// Whole label jobs driven through the Unidrv stand-in, compared byte for byte
// with streams built here from the pages and settings alone.
#include "host/print_job.h"
#include "host/reference_devmodes.h"
#include "host/reference_jobs.h"
#include "settings/command_callback.h"
#include "support/linked_module.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

using standin::PageBitmap;
using Bytes = std::vector<BYTE>;

PageBitmap randomPage(LONG width, LONG height, unsigned seed) {
    PageBitmap page{width, height, {}};
    page.bits.resize(page.stride() * static_cast<std::size_t>(height));
    std::mt19937 random(seed);
    for (BYTE& byte : page.bits)
        byte = static_cast<BYTE>(random() & random()); // about a quarter of the dots printed
    return page;
}

bool printed(const PageBitmap& page, LONG x, LONG y) {
    return page.bits[static_cast<std::size_t>(y) * page.stride() + x / 8] & (0x80 >> (x % 8));
}

// The page as the printer receives it upright: DWORD-aligned lines, 0 bits
// printed, everything else 1.
std::vector<Bytes> uprightLines(const PageBitmap& page) {
    const std::size_t stride = (static_cast<std::size_t>(page.width) + 31) / 32 * 4;
    std::vector<Bytes> lines(static_cast<std::size_t>(page.height), Bytes(stride, 0xFF));
    for (LONG y = 0; y < page.height; ++y)
        for (LONG x = 0; x < page.width; ++x)
            if (printed(page, x, y))
                lines[y][x / 8] &= static_cast<BYTE>(~(0x80 >> (x % 8)));
    return lines;
}

// Output line y, dot x is the upright dot at column 8W-1-y on line x; dots
// past the last line stay 0.
Bytes turnedBitmap(const std::vector<Bytes>& lines, std::size_t width) {
    const std::size_t height = lines.size(), outWidth = (height + 7) / 8;
    Bytes out(outWidth * 8 * width, 0);
    for (std::size_t y = 0; y < 8 * width; ++y) {
        for (std::size_t x = 0; x < height; ++x) {
            const std::size_t column = 8 * width - 1 - y;
            if (lines[x][column / 8] & (0x80 >> (column % 8)))
                out[y * outWidth + x / 8] |= static_cast<BYTE>(0x80 >> (x % 8));
        }
    }
    return out;
}

std::string labelProgram(int density, int direction, std::size_t widthBytes, std::size_t heightDots,
                         const Bytes& bitmap) {
    std::string out = "Density " + std::to_string(density) + "\r\nDIRECTION " +
                      std::to_string(direction) + ",0\r\nSIZE " + std::to_string(widthBytes) +
                      " mm, " + std::to_string(heightDots / 8) + " mm\r\nCLS\r\nBITMAP 0,0," +
                      std::to_string(widthBytes) + "," + std::to_string(heightDots) + ",1,";
    out.append(bitmap.begin(), bitmap.end());
    return out + "\r\nPRINT 1,1\r\n";
}

std::string portraitLabel(const PageBitmap& page, int density = 4, int direction = 0) {
    const auto lines = uprightLines(page);
    Bytes bitmap;
    for (const Bytes& line : lines)
        bitmap.insert(bitmap.end(), line.begin(), line.end());
    const std::size_t width = lines.empty() ? 0 : lines[0].size();
    return labelProgram(density, direction, width, lines.size(), bitmap);
}

std::string landscapeLabel(const PageBitmap& page) {
    const auto lines = uprightLines(page);
    const std::size_t width = lines[0].size();
    return labelProgram(4, 0, (lines.size() + 7) / 8, 8 * width, turnedBitmap(lines, width));
}

std::string text(const Bytes& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

void storeCommand(WORD& on, WCHAR (&field)[kCommandTextUnits], const char16_t* hex) {
    on = 1;
    std::u16string value(hex);
    std::copy(value.begin(), value.end(), field);
}

standin::LabelJob jobFor(std::vector<PageBitmap> pages, SHORT orientation = DMORIENT_PORTRAIT) {
    standin::LabelJob job;
    LONG height = 0, width = 0;
    for (const PageBitmap& page : pages) {
        height = std::max(height, page.height);
        width = std::max(width, page.width);
    }
    const auto tenths = [](LONG dots) { return static_cast<SHORT>((dots * 254 + 202) / 203); };
    job.paper.orientation = orientation;
    job.paper.paperLength = orientation == DMORIENT_PORTRAIT ? tenths(height) : tenths(width);
    job.paper.paperWidth = orientation == DMORIENT_PORTRAIT ? tenths(width) : tenths(height);
    job.pages = std::move(pages);
    return job;
}

class LabelJobs : public ::testing::Test {
  protected:
    void SetUp() override { textMode = 0; }

    standin::JobOutcome print(const standin::LabelJob& job) {
        standin::JobOutcome outcome = standin::printLabelJob(linkedModule(), job);
        EXPECT_TRUE(outcome.ok) << outcome.error;
        return outcome;
    }
};

} // namespace

TEST_F(LabelJobs, PortraitPageIsItsCapturedLines) {
    // 384 dots make 48 bytes a line; 800 lines are 100 mm at 8 dots a mm.
    const PageBitmap page = randomPage(384, 800, 1);
    const auto outcome = print(jobFor({page}));
    EXPECT_EQ(text(outcome.spool), portraitLabel(page));
    EXPECT_EQ(text(outcome.spool).substr(0, 71),
              "Density 4\r\nDIRECTION 0,0\r\nSIZE 48 mm, 100 mm\r\nCLS\r\nBITMAP 0,0,48,800,1,");
}

TEST_F(LabelJobs, LandscapePageIsTurnedAQuarter) {
    const PageBitmap page = randomPage(384, 800, 2);
    const auto outcome = print(jobFor({page}, DMORIENT_LANDSCAPE));
    EXPECT_EQ(text(outcome.spool), landscapeLabel(page));
    EXPECT_NE(text(outcome.spool).find("SIZE 100 mm, 48 mm\r\nCLS\r\nBITMAP 0,0,100,384,1,"),
              std::string::npos);
}

TEST_F(LabelJobs, OddSizesAndBandHeights) {
    for (LONG bandHeight : {1, 7, 64, 1000}) {
        SCOPED_TRACE(bandHeight);
        const PageBitmap page = randomPage(203, 77, static_cast<unsigned>(bandHeight));
        auto job = jobFor({page});
        job.bandHeight = bandHeight;
        EXPECT_EQ(text(print(job).spool), portraitLabel(page));
        job.paper.orientation = DMORIENT_LANDSCAPE;
        std::swap(job.paper.paperLength, job.paper.paperWidth);
        EXPECT_EQ(text(print(job).spool), landscapeLabel(page));
    }
}

TEST_F(LabelJobs, BlankBandsPrintAsBlankLines) {
    PageBitmap page{64, 100, {}};
    page.bits.assign(page.stride() * 100, 0);
    page.bits[50 * page.stride()] = 0x80; // one dot in the band of lines 48 to 63
    auto job = jobFor({page});
    job.bandHeight = 16;
    EXPECT_EQ(text(print(job).spool), portraitLabel(page));
}

TEST_F(LabelJobs, SettingsReachTheLabelProgram) {
    const PageBitmap page = randomPage(64, 16, 3);
    auto job = jobFor({page});
    job.editSettings = [](OemDevMode& settings) {
        settings.density = 8;
        settings.direction = -1;
        settings.shiftX = 1;
    };
    // The whole image moves one byte right; the first byte of every line is blank.
    PageBitmap shifted = page;
    for (LONG y = 0; y < page.height; ++y) {
        BYTE* line = shifted.bits.data() + static_cast<std::size_t>(y) * page.stride();
        std::copy_backward(line, line + page.stride() - 1, line + page.stride());
        line[0] = 0;
    }
    EXPECT_EQ(text(print(job).spool), portraitLabel(shifted, 7, -1));
}

TEST_F(LabelJobs, StoredCommandsSurroundJobsAndPages) {
    const PageBitmap first = randomPage(32, 8, 4), second = randomPage(32, 8, 5);
    auto job = jobFor({first, second});
    job.documents = 2;
    job.editSettings = [](OemDevMode& settings) {
        storeCommand(settings.jobStartOn, settings.jobStartCmd, u"4A53");   // "JS"
        storeCommand(settings.pageStartOn, settings.pageStartCmd, u"5053"); // "PS"
        storeCommand(settings.pageEndOn, settings.pageEndCmd, u"5045");     // "PE"
        storeCommand(settings.jobEndOn, settings.jobEndCmd, u"4A45");       // "JE"
    };
    const std::string document =
        "JSPS" + portraitLabel(first) + "PEPS" + portraitLabel(second) + "PEJE";
    EXPECT_EQ(text(print(job).spool), document + document)
        << "the second document sends its job-start bytes again";
}

TEST_F(LabelJobs, UnidrvSeesEveryCallInOrder) {
    auto job = jobFor({randomPage(32, 40, 6)});
    job.bandHeight = 16;
    const std::vector<std::string> expected = {"DrvStartDoc", "DrvStartPage", "DrvStartBanding",
                                               "DrvNextBand", "DrvNextBand",  "DrvSendPage",
                                               "DrvEndDoc"};
    EXPECT_EQ(print(job).unidrvCalls, expected);
}

TEST_F(LabelJobs, PluginLetsGoOfEverythingItHeld) {
    const auto outcome = print(jobFor({randomPage(32, 8, 7)}));
    EXPECT_EQ(outcome.servicesReferences, 0);
    EXPECT_EQ(outcome.canUnloadNow, S_OK);
}

class LabelDocuments : public LabelJobs {
  protected:
    void SetUp() override {
        LabelJobs::SetUp();
        ASSERT_TRUE(unidrv.startUp(error)) << error;
        paper.paperLength = 100;
        paper.paperWidth = 100;
        publicDm = standin::makePublicDevMode(paper);
        ASSERT_TRUE(unidrv.privateSettingsFor(publicDm, privateDm, error, [](OemDevMode& s) {
            storeCommand(s.jobStartOn, s.jobStartCmd, u"4A53");
            storeCommand(s.pageStartOn, s.pageStartCmd, u"5053");
            storeCommand(s.pageEndOn, s.pageEndCmd, u"5045");
            storeCommand(s.jobEndOn, s.jobEndCmd, u"4A45");
        }));
    }

    std::unique_ptr<standin::Device> enabledDevice() {
        auto device = unidrv.makeDevice(publicDm, privateDm);
        EXPECT_EQ(device->enable(), S_OK);
        return device;
    }

    standin::UnidrvStandIn unidrv{linkedModule()};
    standin::PaperSettings paper;
    DEVMODEW publicDm{};
    OemDevMode privateDm{};
    std::string error;
};

TEST_F(LabelDocuments, DocumentWithoutPagesSendsOnlyItsJobEnd) {
    auto device = enabledDevice();
    device->startDoc();
    device->endDoc();
    EXPECT_EQ(text(device->spool()), "JE");
}

TEST_F(LabelDocuments, AbortedDocumentStillGetsItsJobEnd) {
    auto device = enabledDevice();
    device->startDoc();
    device->endDoc(ED_ABORTDOC);
    EXPECT_EQ(text(device->spool()), "JE");
}

TEST_F(LabelDocuments, PageWithoutARowTableWritesNoLabel) {
    auto device = enabledDevice();
    const PageBitmap page = randomPage(32, 8, 8);
    device->startDoc();
    device->publicSettings().dmPaperLength = -3000; // a capacity below zero cannot be allocated
    EXPECT_FALSE(device->startPage());
    device->renderPage(page, 8);
    EXPECT_TRUE(device->sendPage());
    device->publicSettings().dmPaperLength = 100;
    EXPECT_TRUE(device->startPage());
    device->renderPage(page, 8);
    device->sendPage();
    device->endDoc();
    EXPECT_EQ(text(device->spool()), "JSPSPEPS" + portraitLabel(page) + "PEJE");
}

TEST_F(LabelDocuments, TwoDevicesKeepTheirOwnPages) {
    auto first = enabledDevice(), second = enabledDevice();
    const PageBitmap a = randomPage(32, 8, 9), b = randomPage(64, 12, 10);
    first->startDoc();
    second->startDoc();
    first->startPage();
    second->startPage();
    first->renderPage(a, 3);
    second->renderPage(b, 5);
    first->sendPage();
    second->sendPage();
    first->endDoc();
    second->endDoc();
    // The first-page flag is one for the module, so only the device whose
    // page ended first sends the job-start bytes.
    EXPECT_EQ(text(first->spool()), "JSPS" + portraitLabel(a) + "PEJE");
    EXPECT_EQ(text(second->spool()), "PS" + portraitLabel(b) + "PEJE");
}

TEST(LoadedModule, PrintsTheSameBytesAsTheLinkedPlugin) {
    standin::PluginModule module;
    std::string error;
    ASSERT_TRUE(standin::loadPluginModule(LABEL_PLUGIN_PATH, module, error)) << error;
    auto job = jobFor({randomPage(200, 120, 11), randomPage(200, 40, 12)});
    job.editSettings = [](OemDevMode& settings) { settings.shiftY = -3; };
    const auto loaded = standin::printLabelJob(module, job);
    standin::unloadPluginModule(module);
    textMode = 0;
    const auto linked = standin::printLabelJob(linkedModule(), job);
    ASSERT_TRUE(loaded.ok) << loaded.error;
    EXPECT_EQ(loaded.spool, linked.spool);
    EXPECT_EQ(loaded.canUnloadNow, S_OK);
}

TEST(LoadedModule, MissingOrForeignModuleIsAnError) {
    standin::PluginModule module;
    std::string error;
    EXPECT_FALSE(standin::loadPluginModule("/nonexistent/plugin.so", module, error));
    EXPECT_NE(error.find("/nonexistent/plugin.so"), std::string::npos);
}

TEST(ReferenceJobs, EveryJobRunsAndTheLoadedModuleAgrees) {
    // The set the Windows DLL is compared with under Wine: here each job must
    // succeed and give the same bytes from the loaded library as linked in.
    standin::PluginModule module;
    std::string error;
    ASSERT_TRUE(standin::loadPluginModule(LABEL_PLUGIN_PATH, module, error)) << error;
    for (const standin::NamedJob& named : standin::referenceJobs()) {
        SCOPED_TRACE(named.name);
        textMode = 0;
        const auto loaded = standin::printLabelJob(module, named.job);
        textMode = 0;
        const auto linked = standin::printLabelJob(linkedModule(), named.job);
        ASSERT_TRUE(loaded.ok && linked.ok) << loaded.error << linked.error;
        EXPECT_FALSE(loaded.spool.empty());
        EXPECT_EQ(loaded.spool, linked.spool);
    }
    for (const standin::NamedTextJob& named : standin::referenceTextJobs()) {
        SCOPED_TRACE(named.name);
        textMode = 0;
        const auto linked = standin::printTextJob(linkedModule(), named.job);
        ASSERT_TRUE(linked.ok) << linked.error;
        EXPECT_FALSE(linked.spool.empty());
    }
    for (const standin::DevModeCase& request : standin::referenceDevModes()) {
        SCOPED_TRACE(request.name);
        const auto answer = standin::answerDevMode(linkedModule(), request);
        ASSERT_EQ(answer.size(), 8 + kOemDevModeSize);
        EXPECT_EQ(answer, standin::answerDevMode(module, request));
    }
    standin::unloadPluginModule(module);
}

// The stored blocks the builds are compared on, as this build reads them.
TEST(ReferenceJobs, DevModeAnswersReadTheStoredBlocks) {
    const auto field32 = [](const std::vector<BYTE>& bytes, std::size_t at) {
        return DWORD{bytes[at]} | DWORD{bytes[at + 1]} << 8 | DWORD{bytes[at + 2]} << 16 |
               DWORD{bytes[at + 3]} << 24;
    };
    for (const standin::DevModeCase& request : standin::referenceDevModes()) {
        SCOPED_TRACE(request.name);
        const auto answer = standin::answerDevMode(linkedModule(), request);
        ASSERT_EQ(answer.size(), 8 + kOemDevModeSize);
        EXPECT_EQ(field32(answer, 4), static_cast<DWORD>(S_OK));
        const std::vector<BYTE> block(answer.begin() + 8, answer.end());
        const std::size_t stored = request.stored.empty() ? 0 : field32(request.stored, 0);
        switch (request.mode) {
        case OEMDM_SIZE:
            EXPECT_EQ(field32(answer, 0), kOemDevModeSize);
            EXPECT_EQ(block, request.output);
            break;
        case OEMDM_CONVERT: {
            const bool foreign = field32(request.stored, 4) != kOemSignature;
            const std::size_t taken =
                foreign ? kOemDevModeSize : std::min<std::size_t>(stored, kOemDevModeSize);
            EXPECT_EQ(field32(answer, 0), taken);
            if (!foreign) {
                EXPECT_TRUE(std::equal(block.begin() + 12, block.begin() + taken,
                                       request.stored.begin() + 12));
            }
            break;
        }
        case OEMDM_MERGE:
            EXPECT_EQ(field32(answer, 0), 0xFFFFFFFFu) << "a merge reports no size";
            break;
        }
        if (request.mode != OEMDM_SIZE) {
            EXPECT_EQ(field32(block, 0), kOemDevModeSize);
            EXPECT_EQ(field32(block, 4), kOemSignature);
            EXPECT_EQ(field32(block, 8), kOemVersion);
        }
    }
}

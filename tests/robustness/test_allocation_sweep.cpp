// Whole jobs run once for every allocation they make, with that one
// allocation failing: each run must end cleanly, give back every block, and
// lose exactly what the failed allocation was for.
#include "host/text/text_job.h"
#include "platform/host/test_controls.h"
#include "robustness/label_model.h"
#include "settings/command_callback.h"
#include "support/linked_module.h"
#include "text/font_file.h"
#include "text/text_capture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using platform::host::allocationCount;
using platform::host::failNthAllocation;
using platform::host::liveAllocations;

constexpr char kEnableError[] = "the plug-in could not enable the device";
constexpr char kStartPageError[] = "the plug-in could not start a page";

// A metrics file in a driver directory of its own, so that enabling a device
// loads a font image as well; the module starts each job in label mode with
// no image and no text held.
class AllocationSweep : public ::testing::Test {
  protected:
    void SetUp() override {
        directory = fs::temp_directory_path() /
                    ("label-sweep-" + std::to_string(::getpid()) + "-" +
                     ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(directory / "3");
        std::ofstream(directory / "3" / "ZIKU.UFM", std::ios::binary) << std::string(256, 'u');
        setenv("PRINTER_DRIVER_DIR", directory.c_str(), 1);
        setenv("ANSI_CODE_PAGE", "936", 1);
        dropFontImage();
        textMode.store(0);
    }
    void TearDown() override {
        failNthAllocation(0);
        textMode.store(0);
        dropFontImage();
        unsetenv("ANSI_CODE_PAGE");
        unsetenv("PRINTER_DRIVER_DIR");
        fs::remove_all(directory);
    }

  public:
    // Runs `job` with its nth allocation failing (0: none) and checks that
    // the plug-in let go of everything: blocks, services, module and text.
    template <typename Job> standin::JobOutcome runFailing(std::int64_t n, const Job& job) {
        const std::int64_t live = liveAllocations();
        failNthAllocation(n);
        standin::JobOutcome outcome = job();
        failNthAllocation(0);
        EXPECT_EQ(liveAllocations(), live) << "blocks left behind";
        EXPECT_EQ(DllCanUnloadNow(), S_OK);
        if (outcome.error != kEnableError) { // else the job ends before it counts them
            EXPECT_EQ(outcome.servicesReferences, 0);
            EXPECT_EQ(outcome.canUnloadNow, S_OK);
        }
        EXPECT_EQ(pendingTextRuns(), 0);
        textMode.store(0);
        return outcome;
    }

    // The allocations a clean run of `job` makes.
    template <typename Job> std::int64_t allocationsOf(const Job& job) {
        const std::int64_t before = allocationCount();
        runFailing(0, job);
        return allocationCount() - before;
    }

  private:
    fs::path directory;
};

// ---------------------------------------------------------------------------
// Label jobs

// How one page came out of a run with a failed allocation.
enum class PageFate { kWhole, kMissing, kShortened };

struct PageResult {
    PageFate fate = PageFate::kWhole;
    std::size_t lostFrom = 0; // first line lost, when shortened
};

// The label of `page` with lines [from, to) lost.
std::string labelWithout(const standin::PageBitmap& page, std::size_t from, std::size_t to,
                         const model::Label& settings) {
    model::Lines lines = model::capturedLines(page);
    lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(from),
                lines.begin() + static_cast<std::ptrdiff_t>(to));
    return model::labelProgram(lines, (static_cast<std::size_t>(page.width) + 31) / 32 * 4,
                               settings);
}

// Reads the stream page by page: each page's label is whole, missing, or
// has lost the lines from one line to the end of that line's band, which is
// what a failed line buffer or table growth costs. False when the stream
// is anything else.
bool readPages(const std::string& spool, const standin::LabelJob& job, const model::Label& settings,
               std::vector<PageResult>& results) {
    std::size_t at = 0;
    const auto takes = [&](const std::string& label) {
        if (spool.compare(at, label.size(), label) != 0)
            return false;
        at += label.size();
        return true;
    };
    const auto band = static_cast<std::size_t>(job.bandHeight);
    for (const standin::PageBitmap& page : job.pages) {
        PageResult result;
        if (!takes(model::labelProgram(page, settings))) {
            result.fate = PageFate::kMissing;
            const auto height = static_cast<std::size_t>(page.height);
            for (std::size_t from = 0; from < height; ++from) {
                const std::size_t to = std::min((from / band + 1) * band, height);
                if (takes(labelWithout(page, from, to, settings))) {
                    result = {PageFate::kShortened, from};
                    break;
                }
            }
        }
        results.push_back(result);
    }
    return at == spool.size();
}

struct LabelSweepCase {
    const char* name;
    model::Label settings;
    std::vector<standin::PageBitmap> pages;
    SHORT paperLength;  // tenths of a millimetre: short pages make the table grow
    int missingPerPage; // the table, and the turned image of a landscape page
};

void sweepLabelJob(AllocationSweep& fixture, const LabelSweepCase& c) {
    SCOPED_TRACE(c.name);
    standin::LabelJob job = model::labelJob(c.pages, c.settings);
    job.bandHeight = 16;
    (c.settings.landscape ? job.paper.paperWidth : job.paper.paperLength) = c.paperLength;
    const auto print = [&] { return standin::printLabelJob(linkedModule(), job); };

    std::vector<PageResult> results;
    const standin::JobOutcome clean = fixture.runFailing(0, print);
    ASSERT_TRUE(clean.ok) << clean.error;
    ASSERT_TRUE(readPages(model::text(clean.spool), job, c.settings, results));
    for (const PageResult& result : results)
        ASSERT_EQ(result.fate, PageFate::kWhole);

    const std::int64_t count = fixture.allocationsOf(print);
    ::testing::Test::RecordProperty(std::string(c.name) + " allocations", std::to_string(count));
    int enableFailures = 0, untouched = 0;
    std::map<std::size_t, int> missing;
    std::vector<std::set<std::size_t>> lostFrom(job.pages.size());
    for (std::int64_t n = 1; n <= count + 1; ++n) {
        SCOPED_TRACE(::testing::Message() << "allocation " << n << " of " << count);
        const standin::JobOutcome outcome = fixture.runFailing(n, print);
        if (outcome.error == kEnableError) {
            EXPECT_FALSE(outcome.ok);
            EXPECT_TRUE(outcome.spool.empty());
            EXPECT_EQ(n, ++enableFailures) << "only the record and the heap come first";
            continue;
        }
        results.clear();
        ASSERT_TRUE(readPages(model::text(outcome.spool), job, c.settings, results))
            << "pages other than whole, missing or cut at a band's end";
        int changed = 0;
        for (std::size_t p = 0; p < results.size(); ++p) {
            if (results[p].fate == PageFate::kWhole)
                continue;
            ++changed;
            if (results[p].fate == PageFate::kMissing)
                ++missing[p];
            else
                lostFrom[p].insert(results[p].lostFrom);
            // Only a page whose table failed is refused at its start.
            if (!outcome.ok) {
                EXPECT_EQ(outcome.error, kStartPageError);
            }
        }
        EXPECT_LE(changed, 1) << "one failed allocation spoiled several pages";
        if (changed == 0) {
            EXPECT_TRUE(outcome.ok) << outcome.error;
            ++untouched;
        }
    }
    EXPECT_EQ(enableFailures, 2);
    EXPECT_EQ(untouched, 2) << "the font image, and the run in which nothing failed";
    for (std::size_t p = 0; p < job.pages.size(); ++p) {
        SCOPED_TRACE(::testing::Message() << "page " << p);
        EXPECT_EQ(missing[p], c.missingPerPage);
        // Every line's buffer was refused once, losing its band from there on.
        EXPECT_EQ(lostFrom[p].size(), static_cast<std::size_t>(job.pages[p].height));
    }
}

TEST_F(AllocationSweep, LabelJobsLoseOnlyWhatTheFailedAllocationHeld) {
    const LabelSweepCase cases[] = {
        {"portrait",
         {},
         {model::randomPage(64, 40, 1), model::randomPage(100, 70, 2, 48, 64),
          model::randomPage(33, 17, 3)},
         60, // 47 lines and 10 spare: the second page grows the table
         1},
        {"landscape with offsets",
         {.density = 3, .shiftX = 1, .shiftY = 3, .landscape = true},
         {model::randomPage(40, 30, 4, 16, 30), model::randomPage(72, 45, 5)},
         30, // 23 lines and 10 spare
         2},
    };
    for (const LabelSweepCase& c : cases)
        sweepLabelJob(*this, c);
}

// ---------------------------------------------------------------------------
// Text jobs

// Every run of the job is a token of its own, four characters long, so that
// the stream tells which runs arrived and in what order.
std::u16string token(int i) {
    std::u16string out(1, static_cast<char16_t>(u'a' + i / 1000 % 26));
    for (int div : {100, 10, 1})
        out += static_cast<char16_t>(u'0' + i / div % 10);
    return out;
}

std::string narrow(const std::u16string& text) {
    return std::string(text.begin(), text.end());
}

standin::TextCallSpec textCall(const std::u16string& text, LONG x, LONG top,
                               std::vector<std::size_t> batches = {}) {
    standin::TextCallSpec call;
    call.text = text;
    call.x = x;
    call.background = {x, top, x + 24 * static_cast<LONG>(text.size()), top + 24};
    call.batches = std::move(batches);
    return call;
}

// Two documents: lines of runs out of order, text delivered in batches, and
// a line of more runs than the table's fixed slots, arriving right to left.
struct TextSweepJob {
    standin::TextJob job;
    std::string expected;          // the clean stream
    std::string unGrown;           // the stream when the long line's table cannot grow
    std::vector<std::string> runs; // every run's text
};

TextSweepJob textSweepJob() {
    TextSweepJob made;
    int next = 0;
    const auto run = [&] {
        made.runs.push_back(narrow(token(next)));
        return token(next++);
    };
    standin::TextPage first, second, third;
    const std::u16string a = run(), b = run(), c = run(), d = run();
    first.calls = {textCall(a, 300, 0), textCall(b, 100, 0), textCall(c, 200, 0),
                   textCall(d, 0, 30)};
    const std::u16string e = run(), f = run() + run();
    second.calls = {textCall(e, 50, 0), textCall(f, 10, 30, {4, 4})};
    made.expected =
        narrow(b + c + a) + "\n" + narrow(d) + "\n" + narrow(e) + "\n" + narrow(f) + "\n";
    std::vector<std::u16string> line;
    for (int i = 0; i < kTextRunSlots + 4; ++i) {
        line.push_back(run());
        third.calls.push_back(textCall(line.back(), 10000 - 40 * i, 0));
    }
    std::string reversed, firstSlots, rest;
    for (int i = static_cast<int>(line.size()); i-- > 0;) {
        reversed += narrow(line[i]);
        (i < kTextRunSlots ? firstSlots : rest) += narrow(line[i]);
    }
    made.unGrown = made.expected + firstSlots + rest + "\n";
    made.expected += reversed + "\n";
    made.job.paper.paperWidth = 1040;
    made.job.paper.paperLength = 1520;
    made.job.documents = {{{}, {first, second}}, {{kCallbackTextMode}, {third}}};
    return made;
}

TEST_F(AllocationSweep, TextJobsLoseOnlyTheRunWhoseMemoryFailed) {
    const TextSweepJob sweep = textSweepJob();
    const auto print = [&] { return standin::printTextJob(linkedModule(), sweep.job); };
    const standin::JobOutcome clean = runFailing(0, print);
    ASSERT_TRUE(clean.ok) << clean.error;
    ASSERT_EQ(model::text(clean.spool), sweep.expected);

    const std::int64_t count = allocationsOf(print);
    RecordProperty("text allocations", std::to_string(count));
    int enableFailures = 0, refusedPages = 0, untouched = 0, unGrown = 0;
    std::map<std::string, int> lost;
    for (std::int64_t n = 1; n <= count + 1; ++n) {
        SCOPED_TRACE(::testing::Message() << "allocation " << n << " of " << count);
        const standin::JobOutcome outcome = runFailing(n, print);
        const std::string spool = model::text(outcome.spool);
        if (outcome.error == kEnableError) {
            EXPECT_TRUE(spool.empty());
            EXPECT_EQ(n, ++enableFailures);
            continue;
        }
        if (spool == sweep.expected) {
            // A refused page table costs text nothing: text is not drawn.
            ++(outcome.ok ? untouched : refusedPages);
            if (!outcome.ok) {
                EXPECT_EQ(outcome.error, kStartPageError);
            }
            continue;
        }
        EXPECT_TRUE(outcome.ok) << outcome.error;
        if (spool == sweep.unGrown) {
            ++unGrown;
            continue;
        }
        // Otherwise exactly one run is missing, and nothing else.
        bool found = false;
        for (const std::string& text : sweep.runs) {
            std::string without = sweep.expected;
            without.erase(without.find(text), text.size());
            if (spool == without) {
                ++lost[text];
                found = true;
                break;
            }
        }
        EXPECT_TRUE(found) << "unexpected stream: " << spool;
    }
    EXPECT_EQ(enableFailures, 2);
    EXPECT_EQ(untouched, 2) << "the font image, and the run in which nothing failed";
    EXPECT_EQ(refusedPages, 3);
    EXPECT_EQ(unGrown, 1);
    for (const std::string& text : sweep.runs)
        EXPECT_EQ(lost[text], 2) << text << ": its copy, then its conversion buffer";
}

} // namespace

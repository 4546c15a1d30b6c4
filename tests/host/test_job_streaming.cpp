// Jobs whose pages come from a source one at a time and whose spool stream
// goes to a sink as it is written, as a tool sends a job to a printer.
#include "host/print_job.h"
#include "host/text/text_job.h"
#include "settings/command_callback.h"
#include "support/linked_module.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using standin::PageBitmap;
using standin::PageView;

PageBitmap stripedPage(LONG width, LONG height) {
    PageBitmap page{width, height, {}};
    page.bits.resize(page.stride() * static_cast<std::size_t>(height));
    for (std::size_t i = 0; i < page.bits.size(); ++i)
        page.bits[i] = static_cast<BYTE>(i % 7 == 0 ? 0xF0 : 0x00);
    return page;
}

// Keeps what it is given, page by page, and can be told to fail.
class RecordingSink final : public standin::SpoolSink {
  public:
    bool write(const BYTE* bytes, std::size_t count) override {
        if (failAtWrite && ++writes >= failAtWrite)
            return false;
        current.append(reinterpret_cast<const char*>(bytes), count);
        return true;
    }
    bool pageDone() override {
        pages.push_back(current);
        current.clear();
        return !(failAtWrite && writes >= failAtWrite);
    }

    std::vector<std::string> pages;
    std::string current;
    std::size_t failAtWrite = 0;
    std::size_t writes = 0;
};

// Hands out the pages of a list, and fails at a chosen one.
class ListedPages final : public standin::PageSource {
  public:
    explicit ListedPages(std::vector<PageBitmap> pages) : pages(std::move(pages)) {}
    std::size_t count() const override { return pages.size(); }
    bool page(std::size_t index, PageView& page, std::string& error) override {
        asked.push_back(index);
        if (index == failAt) {
            error = "page " + std::to_string(index + 1) + " is unreadable";
            return false;
        }
        page = pages[index].view();
        return true;
    }

    std::vector<PageBitmap> pages;
    std::size_t failAt = SIZE_MAX;
    std::vector<std::size_t> asked;
};

standin::LabelJob threePageJob() {
    standin::LabelJob job;
    job.paper.paperWidth = 100;
    job.paper.paperLength = 100;
    job.pages = {stripedPage(64, 24), stripedPage(40, 16), stripedPage(64, 8)};
    return job;
}

class JobStreaming : public ::testing::Test {
  protected:
    void SetUp() override { textMode = 0; }
    void TearDown() override { textMode = 0; }
};

TEST_F(JobStreaming, TheSinkGetsTheStreamPageByPageAndTheOutcomeKeepsNone) {
    const standin::LabelJob kept = threePageJob();
    const auto whole = standin::printLabelJob(linkedModule(), kept);
    ASSERT_TRUE(whole.ok) << whole.error;

    standin::LabelJob streamed = threePageJob();
    ListedPages source(streamed.pages);
    streamed.pages.clear();
    streamed.source = &source;
    RecordingSink sink;
    streamed.sink = &sink;
    streamed.keepUnidrvCalls = false;
    const auto outcome = standin::printLabelJob(linkedModule(), streamed);
    ASSERT_TRUE(outcome.ok) << outcome.error;
    EXPECT_TRUE(outcome.spool.empty());
    EXPECT_TRUE(outcome.unidrvCalls.empty());
    EXPECT_FALSE(whole.unidrvCalls.empty());
    ASSERT_EQ(sink.pages.size(), 3u);
    EXPECT_EQ(sink.pages[0] + sink.pages[1] + sink.pages[2] + sink.current,
              std::string(whole.spool.begin(), whole.spool.end()));
    EXPECT_EQ(sink.pages[1].rfind("Density", 0), 0u) << "each page's label comes with its page";
    EXPECT_EQ(source.asked, (std::vector<std::size_t>{0, 1, 2}));
}

TEST_F(JobStreaming, AFailedSinkStopsTheJobAfterThatPage) {
    standin::LabelJob job = threePageJob();
    RecordingSink sink;
    sink.failAtWrite = 30; // during the second page's bitmap
    job.sink = &sink;
    const auto outcome = standin::printLabelJob(linkedModule(), job);
    EXPECT_FALSE(outcome.ok);
    EXPECT_EQ(sink.pages.size(), 2u);
    const std::vector<std::string> calls = {"DrvStartDoc", "DrvStartPage", "DrvStartBanding",
                                            "DrvSendPage", "DrvStartPage", "DrvStartBanding",
                                            "DrvSendPage", "DrvEndDoc"};
    EXPECT_EQ(outcome.unidrvCalls, calls) << "no third page, and the document still ends";
    EXPECT_EQ(outcome.canUnloadNow, S_OK);
}

TEST_F(JobStreaming, APageThatCannotBeHadEndsTheJobWithItsReason) {
    standin::LabelJob job = threePageJob();
    ListedPages source(job.pages);
    source.failAt = 1;
    job.pages.clear();
    job.source = &source;
    const auto outcome = standin::printLabelJob(linkedModule(), job);
    EXPECT_FALSE(outcome.ok);
    EXPECT_EQ(outcome.error, "page 2 is unreadable");
    EXPECT_EQ(source.asked, (std::vector<std::size_t>{0, 1}));
    EXPECT_EQ(outcome.unidrvCalls.back(), "DrvEndDoc");
}

TEST_F(JobStreaming, TextJobsStreamToo) {
    setenv("ANSI_CODE_PAGE", "936", 1);
    standin::TextJob job;
    job.documents.push_back({{}, standin::layOutText({{u"first page"}, {u"second page"}})});
    RecordingSink sink;
    job.sink = &sink;
    const auto outcome = standin::printTextJob(linkedModule(), job);
    unsetenv("ANSI_CODE_PAGE");
    ASSERT_TRUE(outcome.ok) << outcome.error;
    EXPECT_EQ(sink.pages, (std::vector<std::string>{"first page\n", "second page\n"}));
}

} // namespace

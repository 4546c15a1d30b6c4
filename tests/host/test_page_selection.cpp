// Copies and page ranges: which pages a job prints, in which order, and that
// a page printed again is not asked of the document again.
#include "host/page_selection.h"

#include <gtest/gtest.h>

namespace {

using standin::PageRange;
using standin::PageSelection;
using standin::PageView;
using standin::SelectedPages;

// A document of `pages` pages, each one dot wide and as tall as its number,
// that counts what it is asked for and cannot hand over page `broken`.
class CountingPages final : public standin::PageSource {
  public:
    explicit CountingPages(std::size_t pages, std::size_t broken = 0)
        : pages(pages), broken(broken) {}

    std::size_t count() const override { return pages; }
    bool page(std::size_t index, PageView& page, std::string& error) override {
        asked.push_back(index + 1);
        if (index + 1 == broken) {
            error = "page " + std::to_string(broken) + " is broken";
            return false;
        }
        page = {1, static_cast<LONG>(index + 1), &dot};
        return true;
    }

    std::vector<std::size_t> asked;

  private:
    std::size_t pages;
    std::size_t broken;
    BYTE dot = 0x80;
};

// The page numbers a selection prints, in order.
std::vector<std::size_t> printed(SelectedPages& selected) {
    std::vector<std::size_t> numbers;
    for (std::size_t i = 0; i < selected.count(); ++i) {
        PageView view;
        std::string error;
        EXPECT_TRUE(selected.page(i, view, error)) << error;
        numbers.push_back(static_cast<std::size_t>(view.height));
    }
    return numbers;
}

struct SelectionCase {
    const char* name;
    std::size_t pages;
    PageSelection selection;
    std::vector<std::size_t> printed;
    std::vector<std::size_t> asked; // of the document
};

class Selection : public testing::TestWithParam<SelectionCase> {};

TEST_P(Selection, PrintsThesePages) {
    const SelectionCase& c = GetParam();
    CountingPages document(c.pages);
    SelectedPages selected(document, c.selection);
    EXPECT_EQ(printed(selected), c.printed);
    EXPECT_EQ(document.asked, c.asked);
}

using V = std::vector<std::size_t>;

// Each case is put together member by member: GCC 12 at -O3 reports the
// page ranges of brace-initialized cases in a table as maybe used
// uninitialized (a false report, fatal under -Werror).
SelectionCase selectionCase(const char* name, std::size_t pages, int copies, bool collate,
                            std::vector<PageRange> ranges, V printed, V asked) {
    SelectionCase c;
    c.name = name;
    c.pages = pages;
    c.selection.copies = copies;
    c.selection.collate = collate;
    c.selection.ranges = std::move(ranges);
    c.printed = std::move(printed);
    c.asked = std::move(asked);
    return c;
}

std::vector<SelectionCase> selectionCases() {
    std::vector<SelectionCase> cases;
    cases.push_back(selectionCase("Everything", 3, 1, true, {}, V{1, 2, 3}, V{1, 2, 3}));
    cases.push_back(
        selectionCase("Collated", 3, 2, true, {}, V{1, 2, 3, 1, 2, 3}, V{1, 2, 3, 1, 2, 3}));
    cases.push_back(selectionCase("Uncollated", 3, 2, false, {}, V{1, 1, 2, 2, 3, 3}, V{1, 2, 3}));
    cases.push_back(selectionCase("OnePageCollated", 3, 3, true, {{2, 2}}, V{2, 2, 2}, V{2}));
    cases.push_back(selectionCase("Ranges", 9, 1, true, {{1, 3}, {5, 5}, {7, 9}},
                                  V{1, 2, 3, 5, 7, 8, 9}, V{1, 2, 3, 5, 7, 8, 9}));
    cases.push_back(selectionCase("InDocumentOrderOnce", 5, 1, true, {{4, 5}, {1, 2}, {2, 4}},
                                  V{1, 2, 3, 4, 5}, V{1, 2, 3, 4, 5}));
    cases.push_back(selectionCase("PastTheEnd", 3, 2, false, {{2, 7}}, V{2, 2, 3, 3}, V{2, 3}));
    cases.push_back(selectionCase("NothingLeft", 3, 4, true, {{4, 6}}, V{}, V{}));
    cases.push_back(selectionCase("EmptyDocument", 0, 5, true, {}, V{}, V{}));
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Cases, Selection, testing::ValuesIn(selectionCases()),
                         [](const testing::TestParamInfo<SelectionCase>& info) {
                             return std::string(info.param.name);
                         });

TEST(SelectedPages, PassesOnTheDocumentsErrorAndAsksAgain) {
    CountingPages document(3, 2);
    SelectedPages selected(document, {2, false, {}});
    PageView view;
    std::string error;
    ASSERT_TRUE(selected.page(1, view, error));
    EXPECT_FALSE(selected.page(2, view, error));
    EXPECT_EQ(error, "page 2 is broken");
    EXPECT_FALSE(selected.page(3, view, error)) << "a failed page is not taken as had";
    EXPECT_FALSE(selected.page(6, view, error));
    EXPECT_EQ(document.asked, (V{1, 2, 2}));
}

struct RangesCase {
    const char* text;
    std::vector<PageRange> ranges; // empty: refused
};

TEST(PageRanges, ParsesOrRefuses) {
    const RangesCase cases[] = {
        {"2", {{2, 2}}},
        {"1-3", {{1, 3}}},
        {"1-3,5,7-9", {{1, 3}, {5, 5}, {7, 9}}},
        {"4-4", {{4, 4}}},
        {"", {}},
        {"1,,3", {}},
        {"1,", {}},
        {",1", {}},
        {"0", {}},
        {"0-2", {}},
        {"3-1", {}},
        {"1-", {}},
        {"-2", {}},
        {"1-2-3", {}},
        {"a", {}},
        {" 1", {}},
        {"1;2", {}},
        {"+1", {}},
        {"99999999999999999999999", {}},
    };
    for (const RangesCase& c : cases) {
        SCOPED_TRACE(c.text);
        std::string error;
        const auto ranges = standin::parsePageRanges(c.text, error);
        ASSERT_EQ(ranges.has_value(), !c.ranges.empty()) << error;
        if (!ranges) {
            EXPECT_FALSE(error.empty());
            EXPECT_EQ(error.find('\n'), std::string::npos);
            continue;
        }
        ASSERT_EQ(ranges->size(), c.ranges.size());
        for (std::size_t i = 0; i < c.ranges.size(); ++i) {
            EXPECT_EQ((*ranges)[i].first, c.ranges[i].first);
            EXPECT_EQ((*ranges)[i].last, c.ranges[i].last);
        }
    }
}

} // namespace

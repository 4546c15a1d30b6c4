// Which of a document's pages a job prints, and how many times: copies and
// page ranges, as a page source over the document's own.
#pragma once

#include "host/page_bitmap.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace standin {

struct PageRange {
    std::size_t first = 1; // 1-based, inclusive
    std::size_t last = 1;
};

struct PageSelection {
    int copies = 1;
    bool collate = true;           // 1 2 3 1 2 3 rather than 1 1 2 2 3 3
    std::vector<PageRange> ranges; // empty: every page
};

// "2", "1-3", "1-3,5,7-9"; nullopt, with a one-line `error`, for anything else.
std::optional<std::vector<PageRange>> parsePageRanges(std::string_view text, std::string& error);

// The pages a selection keeps of `pages`, each copy a page of its own. The
// document's page is asked for once for copies that follow one another.
class SelectedPages final : public PageSource {
  public:
    SelectedPages(PageSource& pages, const PageSelection& selection);

    std::size_t count() const override { return kept_.size() * copies_; }
    bool page(std::size_t index, PageView& page, std::string& error) override;

  private:
    PageSource& pages_;
    std::vector<std::size_t> kept_; // the document's page indexes, in its order
    std::size_t copies_;
    bool collate_;
    std::optional<std::size_t> current_; // the document's page `view_` shows
    PageView view_;
};

} // namespace standin

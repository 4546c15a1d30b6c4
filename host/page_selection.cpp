#include "host/page_selection.h"

#include <algorithm>
#include <charconv>

namespace standin {
namespace {

// `text` in quotes, for a message; built by appending, since GCC 12 (mingw-w64)
// warns wrongly of an overlapping copy in "'" + std::string(text).
std::string quoted(std::string_view text) {
    std::string out(1, '\'');
    out.append(text);
    out += '\'';
    return out;
}

// A page number: digits only, from 1 on.
std::optional<std::size_t> pageNumber(std::string_view text, std::string& error) {
    std::size_t value = 0;
    const auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || status != std::errc() || end != text.data() + text.size()) {
        error = quoted(text) + " is not a page number";
        return std::nullopt;
    }
    if (value == 0) {
        error = "pages are counted from 1";
        return std::nullopt;
    }
    return value;
}

} // namespace

std::optional<std::vector<PageRange>> parsePageRanges(std::string_view text, std::string& error) {
    std::vector<PageRange> ranges;
    for (std::size_t start = 0;;) {
        const std::size_t comma = std::min(text.find(',', start), text.size());
        const std::string_view part = text.substr(start, comma - start);
        if (part.empty()) {
            error = quoted(text) + " has an empty range";
            return std::nullopt;
        }
        const std::size_t dash = part.find('-');
        const auto first = pageNumber(part.substr(0, dash), error);
        if (!first)
            return std::nullopt;
        const auto last =
            dash == std::string_view::npos ? first : pageNumber(part.substr(dash + 1), error);
        if (!last)
            return std::nullopt;
        if (*last < *first) {
            error = quoted(part) + " runs backwards";
            return std::nullopt;
        }
        ranges.push_back({*first, *last});
        if (comma == text.size())
            return ranges;
        start = comma + 1;
    }
}

SelectedPages::SelectedPages(PageSource& pages, const PageSelection& selection)
    : pages_(pages), copies_(static_cast<std::size_t>(std::max(selection.copies, 0))),
      collate_(selection.collate) {
    const std::size_t total = pages.count();
    for (std::size_t index = 0; index < total; ++index) {
        const std::size_t number = index + 1;
        const bool kept = selection.ranges.empty() ||
                          std::any_of(selection.ranges.begin(), selection.ranges.end(),
                                      [number](const PageRange& range) {
                                          return range.first <= number && number <= range.last;
                                      });
        if (kept)
            kept_.push_back(index);
    }
}

bool SelectedPages::page(std::size_t index, PageView& page, std::string& error) {
    if (index >= count()) {
        error = "no page " + std::to_string(index + 1);
        return false;
    }
    const std::size_t wanted = kept_[collate_ ? index % kept_.size() : index / copies_];
    if (current_ != wanted) {
        current_.reset();
        if (!pages_.page(wanted, view_, error))
            return false;
        current_ = wanted;
    }
    page = view_;
    return true;
}

} // namespace standin

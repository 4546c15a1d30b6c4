#include "host/text/text_document.h"

#include "settings/command_callback.h"

#include <algorithm>

std::optional<std::u16string> utf8ToUtf16(std::string_view text) {
    std::u16string out;
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const int length = lead < 0x80       ? 1
                           : lead >> 5 == 6  ? 2
                           : lead >> 4 == 14 ? 3
                           : lead >> 3 == 30 ? 4
                                             : 0;
        if (length == 0 || i + length > text.size())
            return std::nullopt;
        char32_t c = length == 1 ? lead : lead & (0x7F >> length);
        for (int k = 1; k < length; ++k)
            c = c << 6 | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        if (c >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
        i += length;
    }
    return out;
}

// Splits a text document into pages at form feeds and pages into lines; a line's
// carriage return belongs to the line ending. A form feed that ends
// the document starts no further page.
std::vector<std::vector<std::u16string>> textPages(const std::u16string& text) {
    std::vector<std::vector<std::u16string>> pages(1);
    std::u16string line;
    auto endLine = [&] {
        if (!line.empty() && line.back() == u'\r')
            line.pop_back();
        pages.back().push_back(std::move(line));
        line.clear();
    };
    for (char16_t unit : text) {
        if (unit == u'\n') {
            endLine();
        } else if (unit == u'\f') {
            endLine();
            pages.emplace_back();
        } else {
            line += unit;
        }
    }
    endLine();
    const auto blank = [](const std::u16string& l) { return l.empty(); };
    if (pages.size() > 1 && std::all_of(pages.back().begin(), pages.back().end(), blank))
        pages.pop_back();
    return pages;
}

bool textJobOf(std::string_view utf8, int dpi, bool landscape, standin::TextJob& job) {
    const auto text = utf8ToUtf16(utf8);
    if (!text)
        return false;
    job.documents = {{{kCallbackTextMode}, standin::layOutText(textPages(*text))}};
    job.paper.orientation = landscape ? DMORIENT_LANDSCAPE : DMORIENT_PORTRAIT;
    job.paper.paperWidth = 1040; // 104 x 152 mm; text mode sends no image
    job.paper.paperLength = 1520;
    job.paper.printQuality = static_cast<SHORT>(dpi);
    job.paper.yResolution = static_cast<SHORT>(dpi);
    return true;
}

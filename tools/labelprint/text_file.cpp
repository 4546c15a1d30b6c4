#include "tools/labelprint/text_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

// Splits a text file into pages at form feeds and pages into lines; a line's
// carriage return belongs to the file's line ending. A form feed that ends
// the file starts no further page.
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

// The text job: the configuration turns text mode on at the start of the
// document, and every line is drawn in the printer-resident font.
std::optional<Failure> readTextJob(const Options& options, standin::TextJob& job) {
    std::FILE* file = std::fopen(options.text.c_str(), "rb");
    if (!file)
        return Failure{kExitFailure, options.text + ": cannot read (" + std::strerror(errno) + ")"};
    std::string bytes;
    char block[4096];
    std::size_t got;
    while ((got = std::fread(block, 1, sizeof block, file)) > 0)
        bytes.append(block, got);
    const int reason = errno;
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed)
        return Failure{kExitFailure,
                       options.text + ": cannot read (" + std::strerror(reason) + ")"};
    const auto text = toUtf16(bytes);
    if (!text)
        return Failure{kExitFailure, options.text + ": not UTF-8 text"};
    job.documents = {{{11}, standin::layOutText(textPages(*text))}};
    job.paper.orientation = options.landscape ? DMORIENT_LANDSCAPE : DMORIENT_PORTRAIT;
    job.paper.paperWidth = 1040; // 104 × 152 mm; text mode sends no image
    job.paper.paperLength = 1520;
    job.paper.printQuality = static_cast<SHORT>(options.dpi);
    job.paper.yResolution = static_cast<SHORT>(options.dpi);
    return std::nullopt;
}

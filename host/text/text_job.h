// A whole text-mode job driven through the plug-in: pages of text calls, with
// the configuration's callbacks where the job places them.
#pragma once

#include "host/print_job.h"

#include <string>
#include <vector>

namespace standin {

// One DrvTextOut call: the text, its background rectangle and the x of its
// first glyph.
struct TextCallSpec {
    std::u16string text;
    RECTL background{};
    LONG x = 0;
    std::vector<std::size_t> batches; // glyph positions in batches of these sizes; empty: supplied
    bool printerFont = true;          // else a font of another name
    ULONG colour = 0;                 // the foreground brush's solid colour
};

struct TextPage {
    std::vector<DWORD> callbacks; // CommandCallback IDs after DrvStartPage, before the text
    std::vector<TextCallSpec> calls;
};

struct TextDocument {
    std::vector<DWORD> callbacks; // CommandCallback IDs after DrvStartDoc, before the first page
    std::vector<TextPage> pages;
    bool aborted = false; // its last page is never sent, and DrvEndDoc says abort
};

struct TextJob : JobSettings {
    std::vector<TextDocument> documents;
};

// Where lines of text go on a page: each line one call at the left margin,
// one line pitch below the one before.
struct TextLayout {
    LONG leftMargin = 8;
    LONG topMargin = 8;
    LONG lineHeight = 24; // the printer font's cell
    LONG lineGap = 6;
    LONG advance = 24;
};

// Pages of lines laid out in the printer font; an empty line makes no call
// but keeps its place.
std::vector<TextPage> layOutText(const std::vector<std::vector<std::u16string>>& pages,
                                 const TextLayout& layout = {});

JobOutcome printTextJob(const PluginModule& module, const TextJob& job);

} // namespace standin

// A UTF-8 text document as a text-mode job in the printer-resident font, as
// every program that prints text lays it out.
#pragma once

#include "host/text/text_job.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// UTF-8 to UTF-16; nullopt for a malformed text.
std::optional<std::u16string> utf8ToUtf16(std::string_view text);

// The document's pages (split at form feeds) and their lines.
std::vector<std::vector<std::u16string>> textPages(const std::u16string& text);

// Fills `job` with the document: the configuration turns text mode on at the
// start of the document, and every line is drawn in the printer's font on a
// 104 x 152 mm page. False when the text is not UTF-8.
bool textJobOf(std::string_view utf8, int dpi, bool landscape, standin::TextJob& job);

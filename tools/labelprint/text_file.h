// A UTF-8 text file as a text-mode job in the printer-resident font.
#pragma once

#include "host/text_job.h"
#include "tools/labelprint/options.h"

#include <optional>
#include <string>
#include <vector>

// The file's pages (split at form feeds) and their lines.
std::vector<std::vector<std::u16string>> textPages(const std::u16string& text);

// Reads --text FILE into `job`: the configuration turns text mode on at the
// start of the document, and every line is drawn in the printer's font.
std::optional<Failure> readTextJob(const Options& options, standin::TextJob& job);

// A UTF-8 text file as a text-mode job in the printer-resident font.
#pragma once

#include "host/text/text_document.h"
#include "tools/labelprint/options.h"

#include <optional>

// Reads --text FILE into `job`: the configuration turns text mode on at the
// start of the document, and every line is drawn in the printer's font.
std::optional<Failure> readTextJob(const Options& options, standin::TextJob& job);

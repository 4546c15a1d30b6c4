// PDF documents through the PDF reader module, which is loaded (with poppler)
// at the first PDF and kept for the rest of the run.
#pragma once

#include "imaging/pdf_pages.h"

#include <memory>
#include <string>

// Opens `path` as a PDF label document; null, with `error` set to one line
// naming the file, when it cannot be printed or the reader cannot be loaded.
std::unique_ptr<PdfPages> openPdfPages(const std::string& path, std::string& error);

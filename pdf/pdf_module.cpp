// The PDF reader as a module of its own: a tool loads it, and poppler with
// it, only when it meets a PDF, so that printing a picture or a text file
// starts as quickly as a small program does.
#include "pdf/pdf_labels.h"

#include <type_traits>

extern "C" __attribute__((visibility("default"))) PdfPages*
labelOpenPdfPages(const std::string& path, std::string& error) {
    return PdfLabels::open(path, error).release();
}

static_assert(std::is_same_v<decltype(&labelOpenPdfPages), OpenPdfPages>);

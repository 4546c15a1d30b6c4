// PDF documents as label pages, read with poppler: opening them and turning
// pages into dots.
#pragma once

#include <memory>
#include <string>

#include "imaging/pdf_pages.h"

class Page;

// A PDF whose pages print as labels, one label per page, rasterised one page
// at a time so that a long document costs no more memory than its largest
// page. Not for use from two threads at once.
class PdfLabels final : public PdfPages {
  public:
    // Opens and checks the file. Null, with `error` set to one line
    // "PATH: reason", when the file cannot be read, is not a PDF, is damaged,
    // needs a password, forbids printing or has no pages. A pipe is read
    // into memory first, since PDF is read from the end.
    static std::unique_ptr<PdfLabels> open(const std::string& path, std::string& error);
    ~PdfLabels() override;

    int pageCount() const override;
    int pagesLeftOut() const override;
    PdfPageSize pageSize(int index, int dpi) const override;
    ImageReadResult renderPage(int index, int dpi, bool dither) const override;
    ImageReadResult renderPlaced(int index, int dpi, const Placement& placement, int32_t labelWidth,
                                 int32_t labelHeight, bool dither) const override;

  private:
    struct Document;
    explicit PdfLabels(std::unique_ptr<Document> document);

    // "PATH: page N: ", N counted from 1, as errors about a page begin.
    std::string pageName(int index) const;
    // Null, with `error` set, for a page that does not exist or cannot be
    // loaded.
    Page* loadPage(int index, std::string& error) const;

    std::unique_ptr<Document> document_;
};

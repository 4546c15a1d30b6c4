// PDF documents as label pages: opening them and turning pages into dots.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "tools/imaging/page_image_reader.h" // ImageReadResult, kMaxImageSide, kMaxImageDots

// True when `head` (the first bytes of a file) holds a PDF header, "%PDF-"
// within its first 1024 bytes, where PDF readers look for it.
bool looksLikePdf(const uint8_t* head, size_t size);

// A page's size in dots.
struct PdfPageSize {
    int32_t width = 0;
    int32_t height = 0;
};

// A PDF whose pages print as labels, one label per page, rasterised one page
// at a time so that a long document costs no more memory than its largest
// page. Not for use from two threads at once.
class PdfLabels {
  public:
    // Opens and checks the file. Null, with `error` set to one line
    // "PATH: reason", when the file cannot be read, is not a PDF, is damaged,
    // needs a password, forbids printing or has no pages. A pipe is read
    // into memory first, since PDF is read from the end.
    static std::unique_ptr<PdfLabels> open(const std::string& path, std::string& error);
    ~PdfLabels();

    // At least 1: open() turns away documents without pages.
    int pageCount() const;

    // The size page `index` (0-based) renders to at `dpi`: its crop box,
    // dots = round(points * dpi / 72), width and height swapped when the page
    // is turned a quarter. 0 x 0 for a page that does not exist or cannot be
    // loaded.
    PdfPageSize pageSize(int index, int dpi) const;

    // Page `index` at `dpi` in exactly pageSize() dots, turned as the page
    // says, laid on white and made into dots as PNG pictures are (threshold or
    // dither). Error "PATH: page N: reason" (N counted from 1) when the page
    // cannot be rendered or would exceed kMaxImageSide / kMaxImageDots.
    ImageReadResult renderPage(int index, int dpi, bool dither) const;

  private:
    struct Document;
    explicit PdfLabels(std::unique_ptr<Document> document);

    std::unique_ptr<Document> document_;
};

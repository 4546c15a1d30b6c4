// PDF documents as label pages, as the tools see them: an interface that
// needs no PDF library, so that a tool loads the PDF reader only when it
// meets a PDF.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "imaging/label_fit.h"
#include "imaging/page_image_reader.h" // ImageReadResult, kMaxImageSide, kMaxImageDots

// True when `head` (the first bytes of a file) holds a PDF header, "%PDF-"
// within its first 1024 bytes, where PDF readers look for it.
bool looksLikePdf(const uint8_t* head, size_t size);

// A page's size in dots.
struct PdfPageSize {
    int32_t width = 0;
    int32_t height = 0;
};

// The pages of one document, rasterised one at a time.
class PdfPages {
  public:
    virtual ~PdfPages() = default;

    // At least 1: documents without pages are not opened. Pages are counted
    // from 0 in the order of the document, leaving out those of
    // pagesLeftOut().
    virtual int pageCount() const = 0;

    // Pages the document counts but whose page tree, damaged, does not lead
    // to them; PDF tools show nothing of them either (a blank, or the page
    // before again).
    virtual int pagesLeftOut() const { return 0; }

    // The size page `index` (0-based) renders to at `dpi`: its crop box,
    // dots = round(points * dpi / 72), width and height swapped when the page
    // is turned a quarter. 0 x 0 for a page that does not exist or cannot be
    // loaded.
    virtual PdfPageSize pageSize(int index, int dpi) const = 0;

    // Page `index` at `dpi` in exactly pageSize() dots, turned as the page
    // says, laid on white and made into dots as PNG pictures are (threshold or
    // dither). Error "PATH: page N: reason" (N counted from 1) when the page
    // cannot be rendered or would exceed kMaxImageSide / kMaxImageDots.
    virtual ImageReadResult renderPage(int index, int dpi, bool dither) const = 0;

    // Page `index` on a white labelWidth x labelHeight label, where
    // `placement` puts it (placeOnLabel() with pageSize() at `dpi`): turned
    // as the page says and then a quarter counter-clockwise when the
    // placement turns it, rendered at `dpi` times its scale, so text and
    // lines are drawn at the size they print; the part off the label is
    // cropped. Made into dots as renderPage() does. Errors as renderPage(),
    // the label's size checked as a page's is.
    virtual ImageReadResult renderPlaced(int index, int dpi, const Placement& placement,
                                         int32_t labelWidth, int32_t labelHeight,
                                         bool dither) const = 0;
};

// The PDF reader module's one entry point, found by this name: opens `path`
// as PdfLabels::open() does, the caller owning the result.
using OpenPdfPages = PdfPages* (*)(const std::string& path, std::string& error);
inline constexpr char kOpenPdfPagesName[] = "labelOpenPdfPages";

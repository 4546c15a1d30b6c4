// The pages of a label job as the user names them: pictures (PBM, PNG) and
// PDF documents, each told by its content. Every file is checked before
// anything is printed; the pages are then handed over one at a time, so that
// a long job holds one page of a document or a raw PBM at a time.
#pragma once

#include "host/page_bitmap.h"
#include "imaging/bilevel_image.h"
#include "imaging/label_fit.h"
#include "imaging/pdf_pages.h"
#include "tools/labelprint/page_buffer.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class PageFiles final : public standin::PageSource {
  public:
    PageFiles() = default;
    PageFiles(const PageFiles&) = delete;
    PageFiles& operator=(const PageFiles&) = delete;
    ~PageFiles();

    // Opens every file, in order: a picture is one page, a PDF one page for
    // each of its own, rasterised at `dpi`. False, with `error` naming the
    // file, when one cannot be printed.
    bool open(const std::vector<std::string>& paths, int dpi, bool dither, std::string& error);

    // Every page opened afterwards is fitted to a labelWidth x labelHeight
    // label (dots at the open()'s dpi) instead of printing at its own size.
    void fitTo(int32_t labelWidth, int32_t labelHeight);

    // What the user should know of pages that were opened: PDF pages left
    // out of a damaged document, one line each.
    const std::vector<std::string>& notes() const { return notes_; }

    std::size_t count() const override { return pages_.size(); }
    bool page(std::size_t index, standin::PageView& page, std::string& error) override;

    // Why the last page asked for could not be had; empty while all is well.
    const std::string& failure() const { return failure_; }

    // The widest and the tallest page, in dots.
    LONG widest() const;
    LONG tallest() const;

  private:
    struct Page {
        enum class Kind { kPicture, kRawPbm, kPdf } kind;
        std::string path; // as the user named it
        std::string file; // where it is read from: the path, or a copy of a pipe
        LONG width = 0;
        LONG height = 0;
        std::size_t item = 0;         // the picture or document it is in
        std::uint64_t rowsOffset = 0; // a raw PBM's rows
        int pdfPage = 0;
        Placement placement; // on the label, when pages are fitted
    };

    bool openFile(const std::string& path, std::string& error);
    bool openPdf(const std::string& path, const std::string& file, std::string& error);
    bool openFittedPicture(const std::string& path, const std::string& file, std::string& error);
    bool fitting() const { return labelWidth_ > 0 && labelHeight_ > 0; }
    bool pageOf(const Page& page, standin::PageView& view, std::string& error);
    bool readRawRows(const Page& page, standin::PageView& view, std::string& error);

    int dpi_ = 203;
    bool dither_ = false;
    int32_t labelWidth_ = 0;
    int32_t labelHeight_ = 0;
    std::vector<Page> pages_;
    std::vector<BilevelImage> pictures_;
    std::vector<std::unique_ptr<PdfPages>> documents_;
    std::vector<std::string> copies_; // temporary files, removed at the end
    PageBuffer buffer_;               // the current raw PBM page
    BilevelImage rendered_;           // the current PDF page
    std::string failure_;
    std::vector<std::string> notes_;
};

// The pages of a PWG or Apple raster file as a job's pages: black_1 as it
// is, 8-bit grey made into dots as pictures are. Each page is read when the
// job comes to it, so a long job holds one page at a time.
#pragma once

#include "host/page_bitmap.h"
#include "printerapp/rendering/raster_page.h"
#include "printerapp/rendering/raster_stream.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class RasterFilePages final : public standin::PageSource {
  public:
    // `ownLines` as RasterStream takes it.
    explicit RasterFilePages(bool ownLines = LABEL_OWN_RASTER_LINES) : ownLines_(ownLines) {}
    RasterFilePages(const RasterFilePages&) = delete;
    RasterFilePages& operator=(const RasterFilePages&) = delete;
    ~RasterFilePages();

    // Reads the whole file once: every page must be one the printer takes,
    // and whole. False, with `error`, when one is not or there is none. The
    // last page stays read, so a one-page document is not read again.
    bool open(const std::string& path, bool dither, std::string& error);

    std::size_t count() const override { return sizes_.size(); }
    bool page(std::size_t index, standin::PageView& page, std::string& error) override;

    // The widest and the tallest page, in dots.
    std::int32_t widest() const;
    std::int32_t tallest() const;

  private:
    struct Size {
        std::int32_t width;
        std::int32_t height;
    };
    bool rewind(std::string& error);
    // The next page of the file into page_; false, with `error`, at the end
    // or when it is damaged.
    bool readPage(std::string& error);
    void close();

    std::string path_;
    bool dither_ = false;
    bool ownLines_;
    int fd_ = -1;
    std::unique_ptr<RasterStream> raster_;
    std::size_t next_ = 0; // the page readPage() reads; page_ holds the one before
    std::vector<Size> sizes_;
    RasterPage page_;
};

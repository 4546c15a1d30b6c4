// A PWG or Apple raster document read from an open file, page header by
// page header and line by line. libcups reads the headers (its checks and
// byte order stay the judge of a header). libcups 2.4.2's
// cupsRasterReadPixels copies a repeated pixel with one memcpy call for each
// byte: 0.24 ms of the 0.57 ms a 4 x 6 label took in its render worker. Up
// to libcups 2.4 (the build checks it: LABEL_OWN_RASTER_LINES) the lines of
// PWG and Apple raster pages, the two an IPP client sends, are decoded here
// instead (0.017 ms for that page); other raster (CUPS's own) is read by
// libcups throughout.
#pragma once

#include <cups/raster.h>

#include <cstdint>
#include <string>
#include <vector>

class RasterStream {
  public:
    // Reads `fd`, which stays the caller's; `ownLines` false has libcups
    // decode every line too (the reference the decoding here is held to).
    explicit RasterStream(int fd, bool ownLines = LABEL_OWN_RASTER_LINES);
    RasterStream(const RasterStream&) = delete;
    RasterStream& operator=(const RasterStream&) = delete;
    ~RasterStream();

    // Whether the file begins as raster does.
    bool open();
    // The next page's header; false at the end of the document, or where a
    // header is cut short or not one libcups takes.
    bool readHeader(cups_page_header2_t& header);
    // The page's next line, the header's cupsBytesPerLine bytes, valid until
    // the next call; null when the stream ends first.
    const std::uint8_t* readLine();

  private:
    friend ssize_t readForLibcups(void* stream, unsigned char* buffer, size_t bytes);
    // Up to `bytes` of the file, from the buffer first; 0 at its end.
    std::size_t take(std::uint8_t* to, std::size_t bytes);
    // At least `bytes` of the file in the buffer, unless it ends first: how
    // many there are.
    std::size_t peek(std::size_t bytes);
    int next(); // one byte, or -1 at the end
    bool decodeLine();

    int fd_;
    cups_raster_t* raster_ = nullptr;
    bool ownLines_;
    std::size_t headerBytes_ = 0; // a page header's size, where lines are decoded here
    std::size_t allowance_ = 0;   // what libcups may read now; unlimited where it reads lines
    bool limited_ = false;
    std::vector<std::uint8_t> buffer_;
    std::size_t start_ = 0;
    std::size_t end_ = 0;
    std::vector<std::uint8_t> line_;
    std::size_t lineBytes_ = 0; // the page's
    unsigned linesLeft_ = 0;    // lines of the page still to read
    unsigned repeats_ = 0;      // times line_ is still to be handed out again
    std::uint8_t clear_ = 0;    // what the rest of a line cleared at once holds
};

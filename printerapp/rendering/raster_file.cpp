#include "printerapp/rendering/raster_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

RasterFilePages::~RasterFilePages() {
    close();
}

void RasterFilePages::close() {
    raster_.reset();
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

bool RasterFilePages::rewind(std::string& error) {
    close();
    next_ = 0;
    fd_ = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) {
        error = std::string("cannot read the document: ") + std::strerror(errno);
        return false;
    }
    raster_ = std::make_unique<RasterStream>(fd_, ownLines_);
    if (!raster_->open()) {
        error = "the document is not PWG or Apple raster";
        return false;
    }
    return true;
}

bool RasterFilePages::readPage(std::string& error) {
    cups_page_header2_t header;
    if (!raster_->readHeader(header)) {
        error = "the raster stream ends before page " + std::to_string(next_ + 1);
        return false;
    }
    if (!page_.start(header, dither_, error)) {
        close(); // page_ no longer holds the page before
        return false;
    }
    for (unsigned y = 0; y < header.cupsHeight; ++y) {
        const std::uint8_t* line = raster_->readLine();
        if (!line) {
            error = "the raster stream ends inside page " + std::to_string(next_ + 1) + " (line " +
                    std::to_string(y + 1) + ")";
            close();
            return false;
        }
        page_.addLine(y, line);
    }
    ++next_;
    return true;
}

bool RasterFilePages::open(const std::string& path, bool dither, std::string& error) {
    path_ = path;
    dither_ = dither;
    sizes_.clear();
    if (!rewind(error))
        return false;
    std::string end;
    while (readPage(end)) {
        const standin::PageView view = page_.view();
        sizes_.push_back({view.width, view.height});
    }
    // The stream ends cleanly only where a page header would begin.
    if (end.rfind("the raster stream ends before page", 0) != 0) {
        error = end;
        return false;
    }
    if (sizes_.empty()) {
        error = "the document holds no page";
        return false;
    }
    // The last page is in page_ still: a one-page document is read once.
    return true;
}

bool RasterFilePages::page(std::size_t index, standin::PageView& page, std::string& error) {
    if (raster_ && index + 1 == next_) { // the page read last
        page = page_.view();
        return true;
    }
    if ((index < next_ || !raster_) && !rewind(error))
        return false;
    while (next_ <= index) {
        if (!readPage(error))
            return false;
    }
    page = page_.view();
    return true;
}

std::int32_t RasterFilePages::widest() const {
    std::int32_t widest = 0;
    for (const Size& size : sizes_)
        widest = std::max(widest, size.width);
    return widest;
}

std::int32_t RasterFilePages::tallest() const {
    std::int32_t tallest = 0;
    for (const Size& size : sizes_)
        tallest = std::max(tallest, size.height);
    return tallest;
}

#include "printerapp/rendering/raster_stream.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace {

constexpr std::size_t kBufferBytes = 32 * 1024;
constexpr std::size_t kPwgHeaderBytes = 1796; // after "RaS2" and before each page
constexpr std::size_t kAppleFileBytes = 12;   // "UNIRAST\0" and the page count
constexpr std::size_t kAppleHeaderBytes = 32; // before each page

// The colour spaces whose blank is all ones: a line cleared at once is white.
bool whiteIsOnes(unsigned space) {
    switch (space) {
    case CUPS_CSPACE_W:
    case CUPS_CSPACE_RGB:
    case CUPS_CSPACE_RGBW:
    case CUPS_CSPACE_SW:
    case CUPS_CSPACE_SRGB:
    case CUPS_CSPACE_ADOBERGB:
        return true;
    default:
        return false;
    }
}

} // namespace

// libcups reads through here. Where the lines are decoded here, it is let
// have no more than the sync word and each page header, so that it can
// never take a page's lines into its own buffer.
ssize_t readForLibcups(void* context, unsigned char* buffer, size_t bytes) {
    auto* stream = static_cast<RasterStream*>(context);
    if (stream->limited_)
        bytes = std::min(bytes, stream->allowance_);
    const std::size_t got = stream->take(buffer, bytes);
    if (stream->limited_)
        stream->allowance_ -= got;
    return static_cast<ssize_t>(got);
}

RasterStream::RasterStream(int fd, bool ownLines) : fd_(fd), ownLines_(ownLines) {}

RasterStream::~RasterStream() {
    if (raster_)
        cupsRasterClose(raster_);
}

std::size_t RasterStream::peek(std::size_t bytes) {
    if (buffer_.empty())
        buffer_.resize(kBufferBytes);
    if (start_ > 0) {
        std::memmove(buffer_.data(), buffer_.data() + start_, end_ - start_);
        end_ -= start_;
        start_ = 0;
    }
    while (end_ < bytes) {
        const ssize_t read = ::read(fd_, buffer_.data() + end_, buffer_.size() - end_);
        if (read == 0 || (read < 0 && errno != EINTR))
            break;
        if (read > 0)
            end_ += static_cast<std::size_t>(read);
    }
    return end_;
}

std::size_t RasterStream::take(std::uint8_t* to, std::size_t bytes) {
    std::size_t got = 0;
    while (got < bytes) {
        if (start_ == end_) {
            if (buffer_.empty())
                buffer_.resize(kBufferBytes);
            ssize_t read = 0;
            do
                read = ::read(fd_, buffer_.data(), buffer_.size());
            while (read < 0 && errno == EINTR);
            if (read <= 0)
                break;
            start_ = 0;
            end_ = static_cast<std::size_t>(read);
        }
        const std::size_t count = std::min(bytes - got, end_ - start_);
        std::memcpy(to + got, buffer_.data() + start_, count);
        start_ += count;
        got += count;
    }
    return got;
}

int RasterStream::next() {
    std::uint8_t byte = 0;
    if (start_ < end_)
        return buffer_[start_++];
    return take(&byte, 1) == 1 ? byte : -1;
}

bool RasterStream::open() {
    // The sync word says whose raster it is; it stays in the buffer for
    // libcups.
    const std::size_t got = peek(8);
    const std::uint8_t* sync = buffer_.data() + start_;
    if (ownLines_ && got >= 4 && std::memcmp(sync, "RaS2", 4) == 0) {
        headerBytes_ = kPwgHeaderBytes;
        allowance_ = 4;
    } else if (ownLines_ && got >= 8 && std::memcmp(sync, "UNIRAST", 8) == 0) {
        headerBytes_ = kAppleHeaderBytes;
        allowance_ = kAppleFileBytes;
    }
    limited_ = headerBytes_ != 0;
    raster_ = cupsRasterOpenIO(readForLibcups, this, CUPS_RASTER_READ);
    return raster_ != nullptr;
}

bool RasterStream::readHeader(cups_page_header2_t& header) {
    if (!raster_)
        return false;
    allowance_ += headerBytes_;
    if (!cupsRasterReadHeader2(raster_, &header))
        return false;
    // A header libcups took from fewer bytes than a header has would leave
    // the lines misplaced: the stream is not what it says it is.
    if (limited_ && allowance_ != 0)
        return false;
    unsigned space = 0;
    std::memcpy(&space, &header.cupsColorSpace, sizeof space);
    clear_ = whiteIsOnes(space) ? 0xFF : 0x00;
    linesLeft_ = header.cupsHeight;
    repeats_ = 0;
    lineBytes_ = header.cupsBytesPerLine; // set aside at the first line: the page may be refused
    // The lines are decoded here for pages of one byte a pixel or less
    // (every page the printer takes); libcups copies wider pixels whole.
    if (limited_ && header.cupsBitsPerPixel > 8)
        linesLeft_ = 0;
    return true;
}

// One line of runs: a count byte, then the pixel it repeats (0-127: 1 to
// 128 times), or 2 to 128 pixels as they are (129-255); 128 clears the rest
// of the line. A run longer than the line is cut at its end, and a literal
// run's bytes past it are read as the next line's, as libcups reads them.
bool RasterStream::decodeLine() {
    std::uint8_t* line = line_.data();
    const std::size_t bytes = line_.size();
    std::size_t at = 0;
    while (at < bytes) {
        const int code = next();
        if (code < 0)
            return false;
        if (code == 128) {
            std::memset(line + at, clear_, bytes - at);
            return true;
        }
        if (code > 128) {
            const std::size_t count = std::min<std::size_t>(257 - code, bytes - at);
            if (take(line + at, count) != count)
                return false;
            at += count;
            continue;
        }
        const int pixel = next();
        if (pixel < 0)
            return false;
        const std::size_t count = std::min<std::size_t>(code + 1, bytes - at);
        std::memset(line + at, pixel, count);
        at += count;
    }
    return true;
}

const std::uint8_t* RasterStream::readLine() {
    if (!raster_)
        return nullptr;
    if (line_.size() != lineBytes_)
        line_.assign(lineBytes_, 0);
    if (!limited_) {
        const auto bytes = static_cast<unsigned>(line_.size());
        return cupsRasterReadPixels(raster_, line_.data(), bytes) == bytes ? line_.data() : nullptr;
    }
    if (linesLeft_ == 0)
        return nullptr;
    if (repeats_ == 0) {
        // Each group of lines starts with how many times its line is used,
        // less one.
        const int group = next();
        if (group < 0 || !decodeLine())
            return nullptr;
        repeats_ = static_cast<unsigned>(group) + 1;
    }
    --repeats_;
    --linesLeft_;
    return line_.data();
}

#include "imaging/page_image_reader.h"

#include <png.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <utility>

#include <sys/stat.h>

#include "imaging/dot_maker.h"

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Buffered input that lets the format probe look ahead without seeking, so a
// pipe reads as well as a file.
class ByteSource {
  public:
    explicit ByteSource(std::FILE* file) : file_(file), buffer_(new uint8_t[kCapacity]) {}

    // The next n bytes without consuming them, or null when fewer remain.
    const uint8_t* peek(size_t n) {
        if (n > kCapacity)
            return nullptr;
        if (end_ - begin_ < n) {
            std::memmove(buffer_.get(), buffer_.get() + begin_, end_ - begin_);
            end_ -= begin_;
            begin_ = 0;
            while (end_ < n && fillFrom(end_))
                ;
        }
        return end_ - begin_ >= n ? buffer_.get() + begin_ : nullptr;
    }

    // The next byte, or -1 at the end of the input or on a read error.
    int get() {
        if (begin_ == end_ && !refill())
            return -1;
        return buffer_[begin_++];
    }

    // Copies up to n bytes; fewer only at the end of the input or on an error.
    size_t read(uint8_t* out, size_t n) {
        size_t done = 0;
        while (done < n) {
            if (begin_ == end_ && !refill())
                break;
            const size_t chunk = std::min(n - done, end_ - begin_);
            std::memcpy(out + done, buffer_.get() + begin_, chunk);
            begin_ += chunk;
            done += chunk;
        }
        return done;
    }

    // The system's error code of a failed read, 0 when the input just ended.
    int readError() const { return readError_; }

    // Bytes consumed from the start of the input.
    uint64_t position() const { return filled_ - (end_ - begin_); }

  private:
    static constexpr size_t kCapacity = size_t{1} << 16;

    bool refill() {
        begin_ = end_ = 0;
        return fillFrom(0);
    }

    bool fillFrom(size_t at) {
        if (readError_ != 0 || at >= kCapacity)
            return false;
        errno = 0;
        const size_t got = std::fread(buffer_.get() + at, 1, kCapacity - at, file_);
        end_ = at + got;
        filled_ += got;
        if (got == 0 && std::ferror(file_))
            readError_ = errno != 0 ? errno : EIO;
        return got > 0;
    }

    std::FILE* file_;
    std::unique_ptr<uint8_t[]> buffer_;
    size_t begin_ = 0;
    size_t end_ = 0;
    uint64_t filled_ = 0;
    int readError_ = 0;
};

// The system's wording for an error code, as the messages quote it.
std::string reasonFor(int code) {
    return std::strerror(code);
}

// Empty when the size is acceptable; runs on header numbers, before any
// allocation, so a hostile header cannot make the reader take much memory.
std::string sizeProblem(uint64_t width, uint64_t height) {
    const std::string dims = " (" + std::to_string(width) + " x " + std::to_string(height) + ")";
    if (width == 0 || height == 0)
        return "empty image" + dims;
    if (width > kMaxImageSide || height > kMaxImageSide || width * height > kMaxImageDots)
        return "image too large" + dims;
    return {};
}

// Names the problem of an input that ended early: a read error or the end.
std::string shortInput(const ByteSource& in) {
    return in.readError() != 0 ? "unreadable (" + reasonFor(in.readError()) + ")" : "truncated";
}

// ---- PBM ----

// The whitespace PBM headers and plain dots may be separated by.
bool isPbmSpace(int c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// A '#' comment runs to the end of its line.
void skipComment(ByteSource& in) {
    int c;
    do
        c = in.get();
    while (c != -1 && c != '\n' && c != '\r');
}

// The next byte that is neither whitespace nor part of a comment, or -1.
int nextSignificant(ByteSource& in) {
    for (;;) {
        const int c = in.get();
        if (c == '#')
            skipComment(in);
        else if (!isPbmSpace(c))
            return c;
    }
}

// Reads one header number and the single separator after it; counts past
// 2^32 stay there, which the size check rejects anyway.
bool readHeaderNumber(ByteSource& in, uint64_t& value, std::string& problem) {
    int c = nextSignificant(in);
    if (c == -1) {
        problem = shortInput(in);
        return false;
    }
    if (c < '0' || c > '9') {
        problem = "malformed PBM header (expected a number)";
        return false;
    }
    value = 0;
    for (; c >= '0' && c <= '9'; c = in.get())
        value = std::min<uint64_t>(value * 10 + static_cast<uint64_t>(c - '0'), UINT32_MAX);
    if (c == '#')
        skipComment(in);
    else if (c == -1)
        problem = shortInput(in);
    else if (!isPbmSpace(c))
        problem = "malformed PBM header (expected whitespace after a number)";
    return problem.empty();
}

// Plain dots are '0' and '1' characters, raw ones packed bits; 1 is printed in
// both, as in the image type.
ImageReadResult readPbm(ByteSource& in, bool plain, const std::string& path) {
    ImageReadResult result;
    uint8_t magic[2];
    in.read(magic, 2);
    uint64_t width = 0;
    uint64_t height = 0;
    std::string problem;
    if (readHeaderNumber(in, width, problem) && readHeaderNumber(in, height, problem))
        problem = sizeProblem(width, height);
    if (!problem.empty()) {
        result.error = path + ": " + problem;
        return result;
    }
    BilevelImage image = BilevelImage::blank(static_cast<int>(width), static_cast<int>(height));
    if (image.bits.empty()) {
        result.error = path + ": out of memory";
        return result;
    }
    const size_t stride = image.stride();
    if (plain) {
        for (int y = 0; y < image.height; ++y) {
            for (int x = 0; x < image.width; ++x) {
                const int c = nextSignificant(in);
                if (c == '1') {
                    image.setDot(x, y, true);
                } else if (c != '0') {
                    result.error = path + ": " +
                                   (c == -1 ? shortInput(in)
                                            : std::string("malformed PBM (dots must be 0 or 1)"));
                    return result;
                }
            }
        }
    } else {
        const auto lastMask = static_cast<uint8_t>(0xFF00u >> (((image.width - 1) % 8) + 1));
        for (int y = 0; y < image.height; ++y) {
            uint8_t* row = image.bits.data() + static_cast<size_t>(y) * stride;
            if (in.read(row, stride) != stride) {
                result.error = path + ": " + shortInput(in);
                return result;
            }
            row[stride - 1] &= lastMask;
        }
    }
    result.image = std::move(image);
    return result;
}

// ---- PNG ----

constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

// Shared with libpng's callbacks; holds nothing with a destructor, since
// libpng leaves them by longjmp.
struct PngIo {
    ByteSource* source = nullptr;
    std::FILE* sink = nullptr;
    bool truncated = false;
    int systemError = 0;
    char message[200] = {};
};

// Keeps libpng's first complaint for the message and jumps back to guarded().
[[noreturn]] void onPngError(png_structp png, png_const_charp message) {
    auto* io = static_cast<PngIo*>(png_get_error_ptr(png));
    if (io != nullptr && io->message[0] == '\0')
        std::snprintf(io->message, sizeof io->message, "%s", message);
    png_longjmp(png, 1);
}

// Warnings do not stop reading, and a tool's output is no place for them.
void onPngWarning(png_structp, png_const_charp) {}

// Feeds libpng from the buffered input, telling a short file from a read error.
void readFromSource(png_structp png, png_bytep out, size_t length) {
    auto* io = static_cast<PngIo*>(png_get_io_ptr(png));
    if (io->source->read(out, length) != length) {
        io->systemError = io->source->readError();
        io->truncated = io->systemError == 0;
        png_error(png, "unexpected end of data");
    }
}

// Writes through stdio so that a full disk is reported with the system's reason.
void writeToSink(png_structp png, png_bytep data, size_t length) {
    auto* io = static_cast<PngIo*>(png_get_io_ptr(png));
    errno = 0;
    if (std::fwrite(data, 1, length, io->sink) != length) {
        io->systemError = errno != 0 ? errno : EIO;
        png_error(png, "write failed");
    }
}

// libpng asks for flushes now and then; stdio's are enough.
void flushSink(png_structp png) {
    auto* io = static_cast<PngIo*>(png_get_io_ptr(png));
    std::fflush(io->sink);
}

using PngStep = void (*)(png_structp, png_infop, void*);

// The one place that catches libpng's longjmp. Steps hold no objects with
// destructors and allocate nothing themselves, so the jump skips no cleanup.
bool guarded(png_structp png, png_infop info, PngStep step, void* data) {
    if (setjmp(png_jmpbuf(png)))
        return false;
    step(png, info, data);
    return true;
}

// The rows libpng will deliver once its transforms are set.
struct PngLayout {
    uint32_t width;
    uint32_t height;
    int channels;
    int bitDepth;
    size_t rowBytes;
    bool interlaced;
};

// Asks libpng for 8-bit grey+alpha or RGBA rows whatever the file holds.
void readPngHeader(png_structp png, png_infop info, void* data) {
    auto* layout = static_cast<PngLayout*>(data);
    png_read_info(png, info);
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    int bitDepth = 0;
    int colourType = 0;
    int interlace = 0;
    png_get_IHDR(png, info, &width, &height, &bitDepth, &colourType, &interlace, nullptr, nullptr);
    if (bitDepth == 16)
        png_set_scale_16(png);
    if (colourType == PNG_COLOR_TYPE_PALETTE)
        png_set_palette_to_rgb(png);
    if (colourType == PNG_COLOR_TYPE_GRAY && bitDepth < 8)
        png_set_expand_gray_1_2_4_to_8(png);
    const bool transparentColour = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    if (transparentColour)
        png_set_tRNS_to_alpha(png);
    else if ((colourType & PNG_COLOR_MASK_ALPHA) == 0)
        png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
    layout->interlaced = png_set_interlace_handling(png) > 1;
    png_read_update_info(png, info);
    layout->width = png_get_image_width(png, info);
    layout->height = png_get_image_height(png, info);
    layout->channels = png_get_channels(png, info);
    layout->bitDepth = png_get_bit_depth(png, info);
    layout->rowBytes = png_get_rowbytes(png, info);
}

// Steps for guarded(): one row of a plain image, or all rows of an interlaced one.
void readPngRow(png_structp png, png_infop, void* data) {
    png_read_row(png, static_cast<png_bytep>(data), nullptr);
}

void readPngImage(png_structp png, png_infop, void* data) {
    png_read_image(png, static_cast<png_bytepp>(data));
}

// Reads past the pixels to the end marker, so that a file cut after its last
// row still counts as cut and the data's checksum is checked.
void readPngEnd(png_structp png, png_infop, void*) {
    png_read_end(png, nullptr);
}

// PNG stores its numbers most significant byte first.
uint32_t bigEndian32(const uint8_t* bytes) {
    return uint32_t{bytes[0]} << 24 | uint32_t{bytes[1]} << 16 | uint32_t{bytes[2]} << 8 |
           uint32_t{bytes[3]};
}

// Frees libpng's state on every way out of the reader.
struct PngReader {
    png_structp png = nullptr;
    png_infop info = nullptr;
    ~PngReader() { png_destroy_read_struct(&png, info != nullptr ? &info : nullptr, nullptr); }
};

// Where a PNG's rows go as libpng decodes them: into dots, or kept as grey
// for scaling.
class RowSink {
  public:
    virtual ~RowSink() = default;
    // Empty when the picture's memory was had; otherwise the problem.
    virtual std::string start(int32_t width, int32_t height) = 0;
    virtual void addRow(int y, const uint8_t* pixels, int channels) = 0;
};

// Rows straight into dots, so memory stays at the 1-bit picture.
class DotSink final : public RowSink {
  public:
    explicit DotSink(bool dither) : dither_(dither) {}

    std::string start(int32_t width, int32_t height) override {
        image = BilevelImage::blank(width, height);
        if (image.bits.empty())
            return "out of memory";
        dots_.emplace(image, dither_);
        return {};
    }
    void addRow(int y, const uint8_t* pixels, int channels) override {
        dots_->addRow(y, pixels, channels);
    }

    BilevelImage image;

  private:
    bool dither_;
    std::optional<DotMaker> dots_;
};

// Rows kept as each pixel's lightness on white, a byte a pixel.
class GreySink final : public RowSink {
  public:
    std::string start(int32_t width, int32_t height) override {
        if (uint64_t(width) * uint64_t(height) > kMaxGreyDots)
            return "image too large to scale (" + std::to_string(width) + " x " +
                   std::to_string(height) + ")";
        picture.width = width;
        picture.height = height;
        picture.pixels.resize(size_t(width) * size_t(height));
        return {};
    }
    void addRow(int y, const uint8_t* pixels, int channels) override {
        uint8_t* out = picture.pixels.data() + size_t(y) * size_t(picture.width);
        for (int x = 0; x < picture.width; ++x)
            out[x] = static_cast<uint8_t>(
                std::lround(lightnessOnWhite(pixels + size_t(x) * channels, channels) * 255.0f));
    }

    GreyPicture picture;
};

// Non-interlaced images go row by row, so memory stays at what the sink
// keeps. Empty when the picture went through, else "PATH: problem".
std::string readPng(ByteSource& in, const std::string& path, RowSink& sink) {
    // The header's size is checked before libpng sees it, so an oversized
    // image is named as such rather than as a libpng complaint.
    if (const uint8_t* head = in.peek(8 + 16);
        head != nullptr && std::memcmp(head + 12, "IHDR", 4) == 0) {
        const std::string problem = sizeProblem(bigEndian32(head + 16), bigEndian32(head + 20));
        if (!problem.empty())
            return path + ": " + problem;
    }
    uint8_t signature[8];
    in.read(signature, sizeof signature);

    PngIo io;
    io.source = &in;
    PngReader reader;
    reader.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &io, onPngError, onPngWarning);
    if (reader.png != nullptr)
        reader.info = png_create_info_struct(reader.png);
    if (reader.info == nullptr)
        return path + ": out of memory";
    png_set_read_fn(reader.png, &io, readFromSource);
    png_set_sig_bytes(reader.png, sizeof signature);
    png_set_user_limits(reader.png, kMaxImageSide, kMaxImageSide);

    auto failure = [&]() -> std::string {
        if (io.truncated)
            return path + ": truncated";
        if (io.systemError != 0)
            return path + ": unreadable (" + reasonFor(io.systemError) + ")";
        return path + ": unreadable (" + io.message + ")";
    };

    PngLayout layout{};
    if (!guarded(reader.png, reader.info, readPngHeader, &layout))
        return failure();
    if (const std::string problem = sizeProblem(layout.width, layout.height); !problem.empty())
        return path + ": " + problem;
    // An interlaced picture is held whole at up to four bytes a dot before it
    // becomes dots, so a short hostile header must not ask for gigabytes.
    if (layout.interlaced && uint64_t{layout.width} * layout.height > kMaxInterlacedDots)
        return path + ": image too large for an interlaced PNG (" + std::to_string(layout.width) +
               " x " + std::to_string(layout.height) + ")";
    if (layout.bitDepth != 8 || (layout.channels != 2 && layout.channels != 4) ||
        layout.rowBytes != size_t{layout.width} * static_cast<size_t>(layout.channels))
        return path + ": unreadable (unsupported pixel layout)";

    if (const std::string problem =
            sink.start(static_cast<int32_t>(layout.width), static_cast<int32_t>(layout.height));
        !problem.empty())
        return path + ": " + problem;
    if (layout.interlaced) {
        // Later passes fill in earlier rows, so the whole picture is needed.
        std::vector<uint8_t> pixels(layout.rowBytes * layout.height);
        std::vector<png_bytep> rows(layout.height);
        for (uint32_t y = 0; y < layout.height; ++y)
            rows[y] = pixels.data() + size_t{y} * layout.rowBytes;
        if (!guarded(reader.png, reader.info, readPngImage, rows.data()))
            return failure();
        for (uint32_t y = 0; y < layout.height; ++y)
            sink.addRow(static_cast<int>(y), rows[y], layout.channels);
    } else {
        std::vector<uint8_t> row(layout.rowBytes);
        for (uint32_t y = 0; y < layout.height; ++y) {
            if (!guarded(reader.png, reader.info, readPngRow, row.data()))
                return failure();
            sink.addRow(static_cast<int>(y), row.data(), layout.channels);
        }
    }
    if (!guarded(reader.png, reader.info, readPngEnd, nullptr))
        return failure();
    return {};
}

enum class Format { kPng, kPlainPbm, kRawPbm, kOther };

// Tells the format by its first bytes; names lie, pipes have none.
Format formatOf(ByteSource& in) {
    if (const uint8_t* head = in.peek(sizeof kPngSignature);
        head != nullptr && std::memcmp(head, kPngSignature, sizeof kPngSignature) == 0)
        return Format::kPng;
    if (const uint8_t* head = in.peek(3); head != nullptr && head[0] == 'P' &&
                                          (head[1] == '1' || head[1] == '4') &&
                                          (isPbmSpace(head[2]) || head[2] == '#'))
        return head[1] == '1' ? Format::kPlainPbm : Format::kRawPbm;
    return Format::kOther;
}

// The message for a file that is neither picture format.
std::string notAPicture(const ByteSource& in, const std::string& path) {
    if (in.readError() != 0)
        return path + ": unreadable (" + reasonFor(in.readError()) + ")";
    return path + ": not an image (expected PBM or PNG)";
}

// Null, with `error` set, when the file cannot be opened.
FilePtr openPicture(const std::string& path, std::string& error) {
    errno = 0;
    FilePtr file(std::fopen(path.c_str(), "rb"));
    if (!file)
        error = path + ": cannot open (" + reasonFor(errno != 0 ? errno : ENOENT) + ")";
    return file;
}

ImageReadResult readImageFile(const std::string& path, bool dither) {
    ImageReadResult result;
    const FilePtr file = openPicture(path, result.error);
    if (!file)
        return result;
    ByteSource in(file.get());
    const Format format = formatOf(in);
    switch (format) {
    case Format::kPng: {
        DotSink sink(dither);
        result.error = readPng(in, path, sink);
        if (result.ok())
            result.image = std::move(sink.image);
        return result;
    }
    case Format::kPlainPbm:
    case Format::kRawPbm:
        return readPbm(in, format == Format::kPlainPbm, path);
    case Format::kOther:
        break;
    }
    result.error = notAPicture(in, path);
    return result;
}

// A PBM's dots as grey: printed black, blank white.
std::string greyOfDots(const BilevelImage& dots, GreyPicture& grey) {
    GreySink sink;
    if (std::string problem = sink.start(dots.width, dots.height); !problem.empty())
        return problem;
    for (int y = 0; y < dots.height; ++y)
        for (int x = 0; x < dots.width; ++x)
            sink.picture.pixels[size_t(y) * size_t(dots.width) + size_t(x)] =
                dots.dot(x, y) ? 0 : 255;
    grey = std::move(sink.picture);
    return {};
}

GreyReadResult readGreyFile(const std::string& path) {
    GreyReadResult result;
    const FilePtr file = openPicture(path, result.error);
    if (!file)
        return result;
    ByteSource in(file.get());
    const Format format = formatOf(in);
    if (format == Format::kPng) {
        GreySink sink;
        result.error = readPng(in, path, sink);
        if (result.ok())
            result.picture = std::move(sink.picture);
    } else if (format == Format::kOther) {
        result.error = notAPicture(in, path);
    } else {
        const ImageReadResult dots = readPbm(in, format == Format::kPlainPbm, path);
        result.error = dots.error;
        if (dots.ok())
            if (std::string problem = greyOfDots(dots.image, result.picture); !problem.empty())
                result.error = path + ": " + problem;
    }
    return result;
}

// Frees libpng's state on every way out of the writer.
struct PngWriter {
    png_structp png = nullptr;
    png_infop info = nullptr;
    ~PngWriter() { png_destroy_write_struct(&png, info != nullptr ? &info : nullptr); }
};

// What writePngRows() needs, passed through guarded()'s one pointer.
struct WriteJob {
    const BilevelImage* image;
    uint8_t* row;
};

// PNG grey 0 is black, so each row goes out inverted.
void writePngRows(png_structp png, png_infop info, void* data) {
    const auto* job = static_cast<const WriteJob*>(data);
    const BilevelImage& image = *job->image;
    png_set_IHDR(png, info, static_cast<png_uint_32>(image.width),
                 static_cast<png_uint_32>(image.height), 1, PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    const size_t stride = image.stride();
    for (int y = 0; y < image.height; ++y) {
        const uint8_t* source = image.bits.data() + static_cast<size_t>(y) * stride;
        for (size_t i = 0; i < stride; ++i)
            job->row[i] = static_cast<uint8_t>(~source[i]);
        png_write_row(png, job->row);
    }
    png_write_end(png, nullptr);
}

// A file that could not be written completely is removed, so no half picture
// is left behind to be mistaken for a result.
bool writePngFile(const std::string& path, const BilevelImage& image, std::string& error) {
    const std::string problem = sizeProblem(static_cast<uint64_t>(std::max(image.width, 0)),
                                            static_cast<uint64_t>(std::max(image.height, 0)));
    if (!problem.empty()) {
        error = path + ": cannot write (" + problem + ")";
        return false;
    }
    if (image.bits.size() != image.stride() * static_cast<size_t>(image.height)) {
        error = path + ": cannot write (image holds the wrong number of bytes)";
        return false;
    }
    std::vector<uint8_t> row(image.stride());
    errno = 0;
    FilePtr file(std::fopen(path.c_str(), "wb"));
    if (!file) {
        error = path + ": cannot create (" + reasonFor(errno != 0 ? errno : EACCES) + ")";
        return false;
    }
    PngIo io;
    io.sink = file.get();
    bool written = false;
    {
        PngWriter writer;
        writer.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &io, onPngError, onPngWarning);
        if (writer.png != nullptr)
            writer.info = png_create_info_struct(writer.png);
        if (writer.info != nullptr) {
            png_set_write_fn(writer.png, &io, writeToSink, flushSink);
            WriteJob job{&image, row.data()};
            written = guarded(writer.png, writer.info, writePngRows, &job);
        } else {
            std::snprintf(io.message, sizeof io.message, "out of memory");
        }
    }
    errno = 0;
    if (std::fclose(file.release()) != 0 && written) {
        written = false;
        io.systemError = errno != 0 ? errno : EIO;
    }
    if (!written) {
        std::remove(path.c_str());
        error = path + ": cannot write (" +
                (io.systemError != 0 ? reasonFor(io.systemError) : std::string(io.message)) + ")";
    }
    return written;
}

} // namespace

ImageReadResult readPageImage(const std::string& path, bool dither) {
    try {
        return readImageFile(path, dither);
    } catch (const std::bad_alloc&) {
        ImageReadResult result;
        result.error = path + ": out of memory";
        return result;
    }
}

GreyReadResult readPageGrey(const std::string& path) {
    try {
        return readGreyFile(path);
    } catch (const std::bad_alloc&) {
        GreyReadResult result;
        result.error = path + ": out of memory";
        return result;
    }
}

std::optional<RawPbmLayout> rawPbmLayout(const std::string& path) {
    FilePtr file(std::fopen(path.c_str(), "rb"));
    struct stat info {};
    if (!file || fstat(fileno(file.get()), &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    ByteSource in(file.get());
    const uint8_t* head = in.peek(3);
    if (!head || head[0] != 'P' || head[1] != '4' || !(isPbmSpace(head[2]) || head[2] == '#'))
        return std::nullopt;
    uint8_t magic[2];
    in.read(magic, 2);
    uint64_t width = 0;
    uint64_t height = 0;
    std::string problem;
    if (!readHeaderNumber(in, width, problem) || !readHeaderNumber(in, height, problem) ||
        !sizeProblem(width, height).empty())
        return std::nullopt;
    const RawPbmLayout layout{static_cast<int32_t>(width), static_cast<int32_t>(height),
                              in.position()};
    const uint64_t rows = (width + 7) / 8 * height;
    if (static_cast<uint64_t>(info.st_size) < layout.rowsOffset ||
        static_cast<uint64_t>(info.st_size) - layout.rowsOffset < rows)
        return std::nullopt;
    return layout;
}

bool writePng(const std::string& path, const BilevelImage& image, std::string& error) {
    try {
        return writePngFile(path, image, error);
    } catch (const std::bad_alloc&) {
        error = path + ": out of memory";
        return false;
    }
}

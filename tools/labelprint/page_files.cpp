#include "tools/labelprint/page_files.h"

#include "imaging/page_image_reader.h"
#include "pdf/pdf_loader.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::size_t kHeadBytes = 1024;

std::string reasonFor(int code) {
    return std::strerror(code);
}

// Writes all of `bytes`, however the system splits it.
bool writeAll(int fd, const char* bytes, std::size_t size) {
    while (size > 0) {
        const ssize_t done = write(fd, bytes, size);
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0)
            return false;
        bytes += done;
        size -= static_cast<std::size_t>(done);
    }
    return true;
}

// A pipe can be read only once, and a PDF is read from its end: its bytes go
// to a temporary file first. Empty, with `error` set, when that fails.
std::string copyOfStream(const std::string& path, std::string& error) {
    const int in = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        error = path + ": cannot open (" + reasonFor(errno) + ")";
        return {};
    }
    const char* folder = std::getenv("TMPDIR");
    std::string copy = std::string(folder && *folder ? folder : "/tmp") + "/labelprint-XXXXXX";
    const int out = mkstemp(copy.data());
    if (out < 0) {
        error = path + ": cannot keep a copy (" + reasonFor(errno) + ")";
        close(in);
        return {};
    }
    char block[1 << 16];
    for (;;) {
        const ssize_t got = read(in, block, sizeof block);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 || !writeAll(out, block, static_cast<std::size_t>(got > 0 ? got : 0))) {
            error = path + ": " + (got < 0 ? "unreadable (" : "cannot keep a copy (") +
                    reasonFor(errno) + ")";
            close(in);
            close(out);
            std::remove(copy.c_str());
            return {};
        }
        if (got == 0)
            break;
    }
    close(in);
    if (close(out) != 0) {
        error = path + ": cannot keep a copy (" + reasonFor(errno) + ")";
        std::remove(copy.c_str());
        return {};
    }
    return copy;
}

// A reader's message about the copy of a pipe, told of the name the user gave.
std::string underUserName(const std::string& error, const std::string& file,
                          const std::string& path) {
    return file != path && error.rfind(file, 0) == 0 ? path + error.substr(file.size()) : error;
}

// The first bytes of a file, for telling PDF from pictures.
bool readHead(const std::string& file, std::vector<std::uint8_t>& head) {
    std::FILE* stream = std::fopen(file.c_str(), "rb");
    if (!stream)
        return false;
    head.resize(kHeadBytes);
    head.resize(std::fread(head.data(), 1, head.size(), stream));
    std::fclose(stream);
    return true;
}

} // namespace

PageFiles::~PageFiles() {
    for (const std::string& copy : copies_)
        std::remove(copy.c_str());
}

bool PageFiles::open(const std::vector<std::string>& paths, int dpi, bool dither,
                     std::string& error) {
    dpi_ = dpi;
    dither_ = dither;
    for (const std::string& path : paths) {
        if (!openFile(path, error))
            return false;
    }
    return true;
}

bool PageFiles::openFile(const std::string& path, std::string& error) {
    std::string file = path;
    struct stat info {};
    if (stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode)) {
        file = copyOfStream(path, error);
        if (file.empty())
            return false;
        copies_.push_back(file);
    }
    std::vector<std::uint8_t> head;
    if (readHead(file, head) && looksLikePdf(head.data(), head.size()))
        return openPdf(path, file, error);
    if (fitting())
        return openFittedPicture(path, file, error);
    // A raw PBM is read when its page comes, straight into the page buffer.
    if (const auto layout = rawPbmLayout(file)) {
        pages_.push_back({Page::Kind::kRawPbm,
                          path,
                          file,
                          layout->width,
                          layout->height,
                          0,
                          layout->rowsOffset,
                          0,
                          {}});
        return true;
    }
    ImageReadResult read = readPageImage(file, dither_);
    if (!read.ok()) {
        error = underUserName(read.error, file, path);
        return false;
    }
    pages_.push_back({Page::Kind::kPicture,
                      path,
                      file,
                      read.image.width,
                      read.image.height,
                      pictures_.size(),
                      0,
                      0,
                      {}});
    pictures_.push_back(std::move(read.image));
    return true;
}

void PageFiles::fitTo(int32_t labelWidth, int32_t labelHeight) {
    labelWidth_ = labelWidth;
    labelHeight_ = labelHeight;
}

// A page for each page the document holds; fitted pages take the label's
// size, and where each lands on it is worked out now from the page's size.
bool PageFiles::openPdf(const std::string& path, const std::string& file, std::string& error) {
    std::unique_ptr<PdfPages> document = openPdfPages(file, error);
    if (!document) {
        error = underUserName(error, file, path);
        return false;
    }
    if (const int leftOut = document->pagesLeftOut(); leftOut > 0)
        notes_.push_back("labelprint: " + path + ": " + std::to_string(leftOut) + " of " +
                         std::to_string(leftOut + document->pageCount()) +
                         " pages cannot be found in the damaged file and are left out");
    for (int index = 0; index < document->pageCount(); ++index) {
        const PdfPageSize size = document->pageSize(index, dpi_);
        Page page{Page::Kind::kPdf,  path, file,  size.width, size.height,
                  documents_.size(), 0,    index, {}};
        if (fitting()) {
            page.placement =
                placeOnLabel(size.width, size.height, labelWidth_, labelHeight_, Scaling::kFit);
            page.width = labelWidth_;
            page.height = labelHeight_;
        }
        pages_.push_back(page);
    }
    documents_.push_back(std::move(document));
    return true;
}

// A picture fitted to the label is scaled from its grey values once, when
// it is opened, and kept as the label's dots.
bool PageFiles::openFittedPicture(const std::string& path, const std::string& file,
                                  std::string& error) {
    GreyReadResult read = readPageGrey(file);
    if (!read.ok()) {
        error = underUserName(read.error, file, path);
        return false;
    }
    const GreyPicture& grey = read.picture;
    const Placement placement =
        placeOnLabel(grey.width, grey.height, labelWidth_, labelHeight_, Scaling::kFit);
    BilevelImage label =
        placeGreyPicture(grey.view(), placement, labelWidth_, labelHeight_, dither_);
    if (label.bits.empty()) {
        error = path + ": out of memory";
        return false;
    }
    pages_.push_back({Page::Kind::kPicture, path, file, label.width, label.height, pictures_.size(),
                      0, 0, placement});
    pictures_.push_back(std::move(label));
    return true;
}

bool PageFiles::page(std::size_t index, standin::PageView& view, std::string& error) {
    if (index >= pages_.size()) {
        error = "no page " + std::to_string(index + 1);
        return false;
    }
    if (pageOf(pages_[index], view, error))
        return true;
    failure_ = error;
    return false;
}

bool PageFiles::pageOf(const Page& page, standin::PageView& view, std::string& error) {
    switch (page.kind) {
    case Page::Kind::kPicture: {
        const BilevelImage& picture = pictures_[page.item];
        view = {picture.width, picture.height, picture.bits.data()};
        return true;
    }
    case Page::Kind::kRawPbm:
        return readRawRows(page, view, error);
    case Page::Kind::kPdf: {
        rendered_ = {};
        const PdfPages& document = *documents_[page.item];
        ImageReadResult render = fitting()
                                     ? document.renderPlaced(page.pdfPage, dpi_, page.placement,
                                                             labelWidth_, labelHeight_, dither_)
                                     : document.renderPage(page.pdfPage, dpi_, dither_);
        if (!render.ok()) {
            error = underUserName(render.error, page.file, page.path);
            return false;
        }
        rendered_ = std::move(render.image);
        view = {rendered_.width, rendered_.height, rendered_.bits.data()};
        return true;
    }
    }
    return false;
}

bool PageFiles::readRawRows(const Page& page, standin::PageView& view, std::string& error) {
    const std::size_t bytes =
        (static_cast<std::size_t>(page.width) + 7) / 8 * static_cast<std::size_t>(page.height);
    std::uint8_t* rows = buffer_.reserve(bytes);
    if (!rows) {
        error = page.path + ": out of memory";
        return false;
    }
    const int fd = ::open(page.file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = page.path + ": cannot open (" + reasonFor(errno) + ")";
        return false;
    }
    std::size_t done = 0;
    while (done < bytes) {
        const ssize_t got =
            pread(fd, rows + done, bytes - done, static_cast<off_t>(page.rowsOffset + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            error = page.path + ": " +
                    (got < 0 ? "unreadable (" + reasonFor(errno) + ")" : std::string("truncated"));
            close(fd);
            return false;
        }
        done += static_cast<std::size_t>(got);
    }
    close(fd);
    view = {page.width, page.height, rows};
    return true;
}

LONG PageFiles::widest() const {
    LONG widest = 0;
    for (const Page& page : pages_)
        widest = std::max(widest, page.width);
    return widest;
}

LONG PageFiles::tallest() const {
    LONG tallest = 0;
    for (const Page& page : pages_)
        tallest = std::max(tallest, page.height);
    return tallest;
}

#include "pdf/pdf_labels.h"

// poppler's own classes, not its C++ wrapper: the wrapper makes a new output
// device, and so loads every font of the document again, for each page it
// renders; one device a document renders a long document a fifth faster.
// Their interface changes between poppler releases (the build pins it).
#include <GlobalParams.h>
#include <PDFDoc.h>
#include <Page.h>
#include <SplashOutputDev.h>
#include <Stream.h>
#include <goo/GooString.h>
#include <splash/SplashBitmap.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>
#include <optional>
#include <utility>
#include <vector>

#include "imaging/dot_maker.h"
#include "pdf/pdf_repair.h"

namespace {

// The header is looked for this far into the file.
constexpr size_t kHeaderWindow = 1024;

const char kDamaged[] = "damaged PDF";

using Bytes = std::vector<char>;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// The system's wording for an error code, as the messages quote it.
std::string reasonFor(int code) {
    return std::strerror(code);
}

// poppler writes every complaint about a damaged file to standard error; the
// tools report one line of their own instead.
void ignorePopplerMessage(ErrorCategory, Goffset, const char*) {}

// Never deleted: it lives as long as the process. Where the pointer is
// kept, LeakSanitizer finds it: a static that is never read was optimized
// away at -O2, and the initer then read as leaked (every PDF through a
// sanitizer build at RelWithDebInfo).
[[gnu::used]] GlobalParamsIniter* keptPopplerState = nullptr;

// poppler's global state (the font set among it) lives while an initer
// does; one kept for the process makes it once, not for every document.
void keepPopplerState() {
    static std::once_flag once;
    std::call_once(once, [] { keptPopplerState = new GlobalParamsIniter(ignorePopplerMessage); });
}

// Reads a file that poppler cannot reopen by name, a pipe, from where the
// header probe stopped.
bool readRest(std::FILE* file, Bytes& bytes, int& systemError) {
    constexpr size_t kChunk = size_t{1} << 16;
    for (;;) {
        const size_t had = bytes.size();
        bytes.resize(had + kChunk);
        errno = 0;
        const size_t got = std::fread(bytes.data() + had, 1, kChunk, file);
        bytes.resize(had + got);
        if (got < kChunk) {
            if (std::ferror(file)) {
                systemError = errno != 0 ? errno : EIO;
                return false;
            }
            return true;
        }
    }
}

// poppler's document of `bytes`, read in place: they outlive it.
std::unique_ptr<PDFDoc> documentOf(const Bytes& bytes) {
    return std::make_unique<PDFDoc>(
        new MemStream(bytes.data(), 0, static_cast<Goffset>(bytes.size()), Object(objNull)));
}

// Empty when poppler's document is one the tools can print; otherwise the
// reason, as the error line quotes it.
std::string problemOf(PDFDoc& document) {
    if (document.getErrorCode() == errEncrypted)
        return "needs a password";
    if (!document.isOk())
        return kDamaged;
    if (!document.okToPrint())
        return "printing not permitted";
    if (document.getNumPages() <= 0)
        return "no pages";
    return {};
}

// Opens the file with poppler, by name, or from `bytes` when it is no
// regular file: poppler reads those in place, so they live as long as the
// document. Empty when it is one the tools can print; otherwise the reason.
std::string loadDocument(const std::string& path, Bytes& bytes, std::unique_ptr<PDFDoc>& document) {
    errno = 0;
    FilePtr file(std::fopen(path.c_str(), "rb"));
    if (!file)
        return "cannot open (" + reasonFor(errno != 0 ? errno : ENOENT) + ")";
    bytes.resize(kHeaderWindow);
    errno = 0;
    const size_t got = std::fread(bytes.data(), 1, bytes.size(), file.get());
    if (got < bytes.size() && std::ferror(file.get()))
        return "unreadable (" + reasonFor(errno != 0 ? errno : EIO) + ")";
    if (!looksLikePdf(reinterpret_cast<const uint8_t*>(bytes.data()), got))
        return "not a PDF (no %PDF- header)";
    bytes.resize(got);

    // poppler reads a file by name, seeking about; anything else it gets whole.
    struct stat info {};
    if (fstat(fileno(file.get()), &info) == 0 && S_ISREG(info.st_mode)) {
        file.reset();
        bytes = {};
        document = std::make_unique<PDFDoc>(std::make_unique<GooString>(path));
    } else {
        int systemError = 0;
        if (!readRest(file.get(), bytes, systemError))
            return "unreadable (" + reasonFor(systemError) + ")";
        if (bytes.size() > INT_MAX)
            return "too large";
        document = documentOf(bytes);
    }
    return problemOf(*document);
}

// Page `index` (from 0) as the page tree leads to it; null when it cannot be
// loaded.
Page* pageAt(PDFDoc& pdf, int index) {
    if (index < 0 || index >= pdf.getNumPages())
        return nullptr;
    return pdf.getCatalog()->getPage(index + 1);
}

// poppler's numbers of the pages it can find: a damaged page tree can name
// more pages than it holds.
std::vector<int> pagesFound(PDFDoc& pdf) {
    std::vector<int> found;
    for (int index = 0; index < pdf.getNumPages(); ++index)
        if (pageAt(pdf, index))
            found.push_back(index);
    return found;
}

// Rounds as poppler does when it sizes a page, saturating instead of
// overflowing on absurd boxes so the size check can turn them away.
int32_t dotsFor(double points, int dpi) {
    const double dots = points * dpi / 72.0;
    if (!(dots > 0.0))
        return 0;
    if (dots >= 2147483647.0)
        return INT32_MAX;
    return static_cast<int32_t>(std::lround(dots));
}

// The crop box is what viewers and pdftoppm show, so a label drawn on a
// larger media box still prints at the size its author saw.
PdfPageSize sizeOf(const Page& page, int dpi) {
    const PDFRectangle& box = *page.getCropBox();
    const bool quarterTurn = page.getRotate() == 90 || page.getRotate() == 270;
    const int32_t across = dotsFor(box.x2 - box.x1, dpi);
    const int32_t down = dotsFor(box.y2 - box.y1, dpi);
    return quarterTurn ? PdfPageSize{down, across} : PdfPageSize{across, down};
}

// Empty when a page or label of this size may be rendered; checked before
// poppler allocates its byte-a-dot picture.
std::string sizeProblem(PdfPageSize size, int dpi, const std::string& what) {
    const std::string dims = " (" + std::to_string(size.width) + " x " +
                             std::to_string(size.height) + " dots at " + std::to_string(dpi) +
                             " dpi)";
    if (size.width <= 0 || size.height <= 0)
        return "empty " + what + dims;
    if (size.width > kMaxImageSide || size.height > kMaxImageSide ||
        uint64_t(size.width) * uint64_t(size.height) > kMaxImageDots)
        return what + " too large" + dims;
    return {};
}

} // namespace

struct PdfLabels::Document {
    std::string path;
    Bytes bytes; // what poppler reads, when not the file itself
    std::unique_ptr<PDFDoc> pdf;
    std::vector<int> found; // pagesFound(*pdf)
    // Made at the first page rendered and kept with the document: the fonts
    // it has loaded serve every later page.
    std::unique_ptr<SplashOutputDev> device;

    // Null for an index past the end, or a page poppler cannot load.
    Page* page(int index) const {
        if (index < 0 || static_cast<size_t>(index) >= found.size())
            return nullptr;
        return pageAt(*pdf, found[index]);
    }

    // poppler gives up on some damaged files whose objects qpdf still finds,
    // such as a linearized file whose main cross-reference section has moved:
    // a copy qpdf rebuilds is read instead. False, the document left as it
    // was, when the copy has no page to print either.
    bool reopenRepaired() {
        std::optional<Bytes> repaired = repairedPdf(path, bytes);
        if (!repaired || repaired->size() > INT_MAX)
            return false;
        std::unique_ptr<PDFDoc> rebuilt = documentOf(*repaired);
        if (!problemOf(*rebuilt).empty())
            return false;
        std::vector<int> rebuiltPages = pagesFound(*rebuilt);
        if (rebuiltPages.empty())
            return false;
        // The old document goes before the bytes it may read; the moved
        // vector keeps the buffer the new one reads.
        pdf = std::move(rebuilt);
        bytes = std::move(*repaired);
        found = std::move(rebuiltPages);
        return true;
    }

    // The grey picture of the page numbered `number` (from 0) at
    // `resolution`, turned by `turn` degrees on top of the page's own
    // /Rotate, exactly the slice x, y, width, height of that: the size is
    // pinned whatever poppler's own rounding. Null when poppler fails; it
    // lives until the next slice is rendered.
    const SplashBitmap* renderSlice(int number, double resolution, int turn, int x, int y,
                                    int width, int height) {
        if (!device) {
            SplashColor paper = {255, 255, 255, 255};
            device = std::make_unique<SplashOutputDev>(splashModeMono8, 4, false, paper);
            device->setFontAntialias(true);
            device->setVectorAntialias(true);
            device->setFreeTypeHinting(false, false);
            device->startDoc(pdf.get());
        }
        pdf->displayPageSlice(device.get(), number + 1, resolution, resolution, turn, false, true,
                              false, x, y, width, height);
        const SplashBitmap* grey = device->getBitmap();
        if (!grey || grey->getMode() != splashModeMono8 || grey->getWidth() != width ||
            grey->getHeight() != height)
            return nullptr;
        return grey;
    }
};

PdfLabels::PdfLabels(std::unique_ptr<Document> document) : document_(std::move(document)) {}

PdfLabels::~PdfLabels() = default;

std::unique_ptr<PdfLabels> PdfLabels::open(const std::string& path, std::string& error) {
    keepPopplerState();
    try {
        auto document = std::make_unique<Document>();
        document->path = path;
        std::string problem = loadDocument(path, document->bytes, document->pdf);
        if (problem.empty()) {
            document->found = pagesFound(*document->pdf);
            if (document->found.empty())
                problem = std::string(kDamaged) + " (none of its pages can be found)";
        }
        if (problem.rfind(kDamaged, 0) == 0 && document->reopenRepaired())
            problem.clear();
        if (!problem.empty()) {
            error = path + ": " + problem;
            return nullptr;
        }
        error.clear();
        return std::unique_ptr<PdfLabels>(new PdfLabels(std::move(document)));
    } catch (const std::bad_alloc&) {
        error = path + ": out of memory";
        return nullptr;
    }
}

int PdfLabels::pageCount() const {
    return static_cast<int>(document_->found.size());
}

int PdfLabels::pagesLeftOut() const {
    return document_->pdf->getNumPages() - pageCount();
}

PdfPageSize PdfLabels::pageSize(int index, int dpi) const {
    try {
        const Page* page = document_->page(index);
        return page ? sizeOf(*page, dpi) : PdfPageSize{};
    } catch (const std::bad_alloc&) {
        return {};
    }
}

namespace {

// Row y of a poppler grey picture.
const uint8_t* greyRow(const SplashBitmap& grey, int y) {
    return grey.getDataPtr() + static_cast<size_t>(y) * static_cast<size_t>(grey.getRowSize());
}

// The part of a placed page that lies on the label, in label dots.
struct Visible {
    int left = 0, top = 0, right = 0, bottom = 0;
    bool empty() const { return left >= right || top >= bottom; }
};

Visible visiblePart(const Placement& placement, int32_t labelWidth, int32_t labelHeight) {
    const auto clampTo = [](int64_t value, int32_t limit) {
        return static_cast<int>(std::clamp<int64_t>(value, 0, limit));
    };
    return {clampTo(placement.x, labelWidth), clampTo(placement.y, labelHeight),
            clampTo(int64_t{placement.x} + placement.width, labelWidth),
            clampTo(int64_t{placement.y} + placement.height, labelHeight)};
}

} // namespace

std::string PdfLabels::pageName(int index) const {
    const std::vector<int>& found = document_->found;
    const long long number =
        index >= 0 && static_cast<size_t>(index) < found.size() ? found[index] : index;
    return document_->path + ": page " + std::to_string(number + 1) + ": ";
}

Page* PdfLabels::loadPage(int index, std::string& error) const {
    Page* page = document_->page(index);
    if (!page)
        error = pageName(index) +
                (index < 0 || index >= pageCount() ? "no such page" : "unreadable page");
    return page;
}

ImageReadResult PdfLabels::renderPage(int index, int dpi, bool dither) const {
    ImageReadResult result;
    try {
        const Page* page = loadPage(index, result.error);
        if (!page)
            return result;
        const PdfPageSize size = sizeOf(*page, dpi);
        if (const std::string problem = sizeProblem(size, dpi, "page"); !problem.empty()) {
            result.error = pageName(index) + problem;
            return result;
        }
        BilevelImage image = BilevelImage::blank(size.width, size.height);
        if (image.bits.empty()) {
            result.error = pageName(index) + "out of memory";
            return result;
        }
        const SplashBitmap* grey =
            document_->renderSlice(document_->found[index], dpi, 0, 0, 0, size.width, size.height);
        if (!grey) {
            result.error = pageName(index) + "cannot be rendered";
            return result;
        }
        DotMaker dots(image, dither);
        for (int y = 0; y < size.height; ++y)
            dots.addRow(y, greyRow(*grey, y), 1);
        result.image = std::move(image);
        return result;
    } catch (const std::bad_alloc&) {
        result.image = {};
        result.error = pageName(index) + "out of memory";
        return result;
    }
}

ImageReadResult PdfLabels::renderPlaced(int index, int dpi, const Placement& placement,
                                        int32_t labelWidth, int32_t labelHeight,
                                        bool dither) const {
    ImageReadResult result;
    try {
        const Page* page = loadPage(index, result.error);
        if (!page)
            return result;
        // The page's own size matters only for its shape: it is rendered at
        // the label's size, however large it is.
        const PdfPageSize size = sizeOf(*page, dpi);
        std::string problem = sizeProblem({labelWidth, labelHeight}, dpi, "label");
        if (size.width <= 0 || size.height <= 0)
            problem = sizeProblem(size, dpi, "page");
        if (!problem.empty()) {
            result.error = pageName(index) + problem;
            return result;
        }
        BilevelImage image = BilevelImage::blank(labelWidth, labelHeight);
        if (image.bits.empty()) {
            result.error = pageName(index) + "out of memory";
            return result;
        }
        // Only what lands on the label is rendered; the rest of it is white.
        const Visible part = visiblePart(placement, labelWidth, labelHeight);
        const SplashBitmap* grey = nullptr;
        if (!part.empty() && placement.scale > 0.0) {
            grey = document_->renderSlice(document_->found[index], dpi * placement.scale,
                                          placement.quarterTurn ? 270 : 0, part.left - placement.x,
                                          part.top - placement.y, part.right - part.left,
                                          part.bottom - part.top);
            if (!grey) {
                result.error = pageName(index) + "cannot be rendered";
                return result;
            }
        }
        std::vector<uint8_t> row(static_cast<size_t>(labelWidth));
        DotMaker dots(image, dither);
        for (int y = 0; y < labelHeight; ++y) {
            std::fill(row.begin(), row.end(), uint8_t{255});
            if (grey && y >= part.top && y < part.bottom)
                std::copy_n(greyRow(*grey, y - part.top), part.right - part.left,
                            row.begin() + part.left);
            dots.addRow(y, row.data(), 1);
        }
        result.image = std::move(image);
        return result;
    } catch (const std::bad_alloc&) {
        result.image = {};
        result.error = pageName(index) + "out of memory";
        return result;
    }
}

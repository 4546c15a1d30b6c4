#include "printerapp/rendering/label_renderer.h"

#include "imaging/jpeg_reader.h"
#include "imaging/page_image_reader.h"
#include "imaging/picture_scaler.h"
#include "pdf/pdf_loader.h"
#include "printerapp/rendering/raster_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

constexpr int kDpi = 203;

// One page already on the label.
class OnePage final : public standin::PageSource {
  public:
    explicit OnePage(BilevelImage dots) : dots_(std::move(dots)) {}
    std::size_t count() const override { return 1; }
    bool page(std::size_t, standin::PageView& view, std::string&) override {
        view = {dots_.width, dots_.height, dots_.bits.data()};
        return true;
    }

  private:
    BilevelImage dots_;
};

// A PDF's pages, each rendered on the label when the job comes to it.
class PdfLabelPages final : public standin::PageSource {
  public:
    PdfLabelPages(PdfPages& document, const RenderRequest& request)
        : document_(document), request_(request) {}
    std::size_t count() const override { return static_cast<std::size_t>(document_.pageCount()); }
    bool page(std::size_t index, standin::PageView& view, std::string& error) override {
        const int number = static_cast<int>(index);
        const PdfPageSize size = document_.pageSize(number, kDpi);
        const Placement placement = placeOnLabel(size.width, size.height, request_.labelWidth,
                                                 request_.labelHeight, request_.scaling);
        current_ = document_.renderPlaced(number, kDpi, placement, request_.labelWidth,
                                          request_.labelHeight, request_.settings.dither);
        if (!current_.ok()) {
            error = current_.error;
            return false;
        }
        view = {current_.image.width, current_.image.height, current_.image.bits.data()};
        return true;
    }

  private:
    PdfPages& document_;
    const RenderRequest& request_;
    ImageReadResult current_;
};

// Asks before each page whether to go on: a job told to stop gets no
// further page, the label in progress having been finished whole.
class UntilStopped final : public standin::PageSource {
  public:
    UntilStopped(standin::PageSource& pages, const std::function<bool()>& stop)
        : pages_(pages), stop_(stop) {}
    std::size_t count() const override { return pages_.count(); }
    bool page(std::size_t index, standin::PageView& view, std::string& error) override {
        if (stop_()) {
            stopped = true;
            error = "canceled";
            return false;
        }
        return pages_.page(index, view, error);
    }
    bool stopped = false;

  private:
    standin::PageSource& pages_;
    const std::function<bool()>& stop_;
};

RenderResult failed(std::string error) {
    RenderResult result;
    result.error = std::move(error);
    return result;
}

// The document's selected pages, on paper `paperWidth` x `paperHeight` dots.
RenderResult printPages(PluginEngine& engine, const RenderRequest& request,
                        standin::PageSource& pages, std::int32_t paperWidth,
                        std::int32_t paperHeight, standin::SpoolSink& sink,
                        const std::function<bool()>& stop) {
    standin::SelectedPages selected(pages, request.selection);
    if (selected.count() == 0)
        return failed("page-ranges selects no page of the document");
    UntilStopped job(selected, stop);
    RenderResult result;
    result.ok = engine.printLabels(job, paperWidth, paperHeight, kDpi, request.settings, sink,
                                   result.error);
    result.stopped = job.stopped;
    return result;
}

RenderResult printPicture(PluginEngine& engine, const RenderRequest& request,
                          standin::SpoolSink& sink, const std::function<bool()>& stop) {
    const GreyReadResult read = request.kind == DocumentKind::kJpeg ? readJpegGrey(request.path)
                                                                    : readPageGrey(request.path);
    if (!read.ok())
        return failed(read.error);
    const Placement placement =
        placeOnLabel(read.picture.width, read.picture.height, request.labelWidth,
                     request.labelHeight, request.scaling);
    OnePage page(placeGreyPicture(read.picture.view(), placement, request.labelWidth,
                                  request.labelHeight, request.settings.dither));
    RenderRequest copies = request;
    copies.selection.ranges.clear(); // a picture is one page
    return printPages(engine, copies, page, request.labelWidth, request.labelHeight, sink, stop);
}

RenderResult printPdf(PluginEngine& engine, const RenderRequest& request, standin::SpoolSink& sink,
                      const std::function<bool()>& stop) {
    std::string error;
    std::unique_ptr<PdfPages> pdf = openPdfPages(request.path, error);
    if (!pdf)
        return failed(error);
    PdfLabelPages pages(*pdf, request);
    return printPages(engine, request, pages, request.labelWidth, request.labelHeight, sink, stop);
}

// Raster pages at the size the client made them, the paper sized for the
// largest, as labelprint sizes it.
RenderResult printRaster(PluginEngine& engine, const RenderRequest& request,
                         standin::SpoolSink& sink, const std::function<bool()>& stop) {
    RasterFilePages pages;
    std::string error;
    if (!pages.open(request.path, request.settings.dither, error))
        return failed(error);
    RenderRequest copies = request;
    copies.selection.ranges.clear(); // page-ranges is for PDF
    return printPages(engine, copies, pages, pages.widest(), pages.tallest(), sink, stop);
}

RenderResult printText(PluginEngine& engine, const RenderRequest& request,
                       standin::SpoolSink& sink) {
    std::FILE* file = std::fopen(request.path.c_str(), "rb");
    if (!file)
        return failed(std::string("cannot read the document: ") + std::strerror(errno));
    std::string text;
    char block[1 << 14];
    std::size_t got;
    while ((got = std::fread(block, 1, sizeof block, file)) > 0)
        text.append(block, got);
    std::fclose(file);
    RenderResult result;
    result.ok = engine.printText(text, kDpi, request.settings,
                                 std::clamp(request.selection.copies, 1, 999), sink, result.error);
    return result;
}

} // namespace

RenderResult renderDocument(PluginEngine& engine, const RenderRequest& request,
                            standin::SpoolSink& sink, const std::function<bool()>& stop) {
    switch (request.kind) {
    case DocumentKind::kPdf:
        return printPdf(engine, request, sink, stop);
    case DocumentKind::kPng:
    case DocumentKind::kJpeg:
        return printPicture(engine, request, sink, stop);
    case DocumentKind::kRaster:
        return printRaster(engine, request, sink, stop);
    case DocumentKind::kText:
        return printText(engine, request, sink);
    }
    return failed("unknown document kind");
}

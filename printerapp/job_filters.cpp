#include "printerapp/job_filters.h"

#include "host/page_selection.h"
#include "host/text_document.h"
#include "imaging/jpeg_reader.h"
#include "imaging/label_fit.h"
#include "imaging/page_image_reader.h"
#include "imaging/picture_scaler.h"
#include "pdf/pdf_loader.h"
#include "printerapp/app_context.h"
#include "printerapp/job_lanes.h"
#include "printerapp/label_driver.h"
#include "printerapp/printer_pages.h"
#include "printerapp/raster_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <string>
#include <unistd.h>

namespace {

// The job's print options, released with the job's processing.
struct PrintOptions {
    pappl_pr_options_t* options;
    explicit PrintOptions(pappl_job_t* job) : options(papplJobCreatePrintOptions(job, 0, false)) {}
    ~PrintOptions() { papplJobDeletePrintOptions(options); }
    PrintOptions(const PrintOptions&) = delete;
    PrintOptions& operator=(const PrintOptions&) = delete;
};

bool writeToDevice(void* device, const std::uint8_t* bytes, std::size_t count) {
    return papplDeviceWrite(static_cast<pappl_device_t*>(device), bytes, count) ==
           static_cast<ssize_t>(count);
}

void flushDevice(void* device) {
    papplDeviceFlush(static_cast<pappl_device_t*>(device));
}

// The job's document file and format; empty when the job has none (any
// more: a job canceled as it starts loses its file).
std::string documentFile(pappl_job_t* job) {
    const char* file = papplJobGetFilename(job);
    return file ? file : "";
}

std::string documentFormat(pappl_job_t* job) {
    const char* format = papplJobGetFormat(job);
    return format ? format : "";
}

// Ends a job that cannot print with a reason the client can read: the
// printer's, when it took no more data, else the document's.
bool refuse(pappl_job_t* job, const std::string& reason, bool printerFault = false) {
    papplJobSetMessage(job, "%s", reason.c_str());
    papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "%s", reason.c_str());
    papplJobSetReasons(
        job, printerFault ? PAPPL_JREASON_PRINTER_STOPPED : PAPPL_JREASON_DOCUMENT_FORMAT_ERROR,
        PAPPL_JREASON_NONE);
    return false;
}

// After a job: its labels counted, unless PAPPL counts the pages it read
// itself (pictures), and the last label kept for the web page. A canceled
// job ends as canceled, with no reason of its own.
bool finish(pappl_job_t* job, const DeviceSink& sink, bool printed, const std::string& error,
            bool papplCounts) {
    if (!papplCounts)
        papplJobSetImpressionsCompleted(job, static_cast<int>(sink.labels()));
    keepLastLabel(job, sink);
    if (papplJobIsCanceled(job))
        return false;
    if (!printed && sink.failed())
        return refuse(job, "the printer took no more data", true);
    if (!printed)
        return refuse(job, error);
    return true;
}

// The label the job prints on (its media), in dots, and how pages are sized
// to it.
struct LabelGeometry {
    std::int32_t width = 0;
    std::int32_t height = 0;
    Scaling scaling = Scaling::kAuto;
};

Scaling scalingOf(pappl_scaling_t scaling) {
    switch (scaling) {
    case PAPPL_SCALING_AUTO_FIT:
        return Scaling::kAutoFit;
    case PAPPL_SCALING_FILL:
        return Scaling::kFill;
    case PAPPL_SCALING_FIT:
        return Scaling::kFit;
    case PAPPL_SCALING_NONE:
        return Scaling::kNone;
    default:
        return Scaling::kAuto;
    }
}

LabelGeometry labelOf(const pappl_pr_options_t* options) {
    return {dotsForMillimetres(options->media.size_width / 100.0, kPrinterDpi),
            dotsForMillimetres(options->media.size_length / 100.0, kPrinterDpi),
            scalingOf(options->print_scaling)};
}

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
    PdfLabelPages(PdfPages& document, const LabelGeometry& label, bool dither)
        : document_(document), label_(label), dither_(dither) {}
    std::size_t count() const override { return static_cast<std::size_t>(document_.pageCount()); }
    bool page(std::size_t index, standin::PageView& view, std::string& error) override {
        const int number = static_cast<int>(index);
        const PdfPageSize size = document_.pageSize(number, kPrinterDpi);
        const Placement placement =
            placeOnLabel(size.width, size.height, label_.width, label_.height, label_.scaling);
        current_ = document_.renderPlaced(number, kPrinterDpi, placement, label_.width,
                                          label_.height, dither_);
        if (!current_.ok()) {
            error = current_.error;
            return false;
        }
        view = {current_.image.width, current_.image.height, current_.image.bits.data()};
        return true;
    }

  private:
    PdfPages& document_;
    LabelGeometry label_;
    bool dither_;
    ImageReadResult current_;
};

// Pages on the job's label, through the plug-in to the device.
// The job's copies (collated unless multiple-document-handling asks
// otherwise) and, where the document has pages of its own, its page-ranges.
standin::PageSelection selectionOf(pappl_job_t* job, const pappl_pr_options_t* options,
                                   bool ranges) {
    standin::PageSelection selection;
    selection.copies = std::clamp(options->copies, 1, 999);
    if (ipp_attribute_t* handling = papplJobGetAttribute(job, "multiple-document-handling"))
        selection.collate = std::strcmp(ippGetString(handling, 0, nullptr),
                                        "separate-documents-uncollated-copies") != 0;
    ipp_attribute_t* pageRanges = ranges ? papplJobGetAttribute(job, "page-ranges") : nullptr;
    for (int i = 0; pageRanges && i < ippGetCount(pageRanges); ++i) {
        int last = 0;
        const int first = ippGetRange(pageRanges, i, &last);
        if (first >= 1 && last >= first)
            selection.ranges.push_back(
                {static_cast<std::size_t>(first), static_cast<std::size_t>(last)});
    }
    return selection;
}

// What every format's job starts from.
struct Document {
    pappl_job_t* job;
    pappl_device_t* device;
    std::string file;
    std::string format;
    const PrintOptions& print;
    const LabelSettings& settings;
    bool papplCounts; // PAPPL counts the pages it reads itself
};

// A canceled job gets no further page: the label in progress was finished
// whole, and the document ends with the job-end commands.
class UntilCanceled final : public standin::PageSource {
  public:
    UntilCanceled(pappl_job_t* job, standin::PageSource& pages) : job_(job), pages_(pages) {}
    std::size_t count() const override { return pages_.count(); }
    bool page(std::size_t index, standin::PageView& view, std::string& error) override {
        if (papplJobIsCanceled(job_)) {
            error = "canceled";
            return false;
        }
        return pages_.page(index, view, error);
    }

  private:
    pappl_job_t* job_;
    standin::PageSource& pages_;
};

// The document's pages, as the job selects them, through the plug-in to the
// device on paper `paperWidth` x `paperHeight` dots.
bool printPages(const Document& document, standin::PageSource& pages, std::int32_t paperWidth,
                std::int32_t paperHeight, bool ranges) {
    standin::SelectedPages selected(pages,
                                    selectionOf(document.job, document.print.options, ranges));
    if (selected.count() == 0)
        return refuse(document.job, "page-ranges selects no page of the document");
    UntilCanceled job(document.job, selected);
    DeviceSink sink = deviceSink(document.device);
    std::string error;
    const bool printed = appContext().engine.printLabels(job, paperWidth, paperHeight, kPrinterDpi,
                                                         document.settings, sink, error);
    return finish(document.job, sink, printed, error, document.papplCounts);
}

// Pages on the job's label.
bool printOnLabel(const Document& document, standin::PageSource& pages, bool ranges) {
    const LabelGeometry label = labelOf(document.print.options);
    return printPages(document, pages, label.width, label.height, ranges);
}
using FormatPrinter = bool (*)(const Document&);

// Each format's job reads its document, and prints it through the plug-in,
// while no other job does: poppler and the plug-in are each one for the
// whole process. Then `printer` prints the document.
bool printWith(pappl_job_t* job, pappl_device_t* device, FormatPrinter printer,
               bool papplCounts = false) {
    if (papplJobIsCanceled(job))
        return false;
    const auto alone = appContext().engine.exclusive();
    const std::string file = documentFile(job);
    if (file.empty())
        return refuse(job, "the job has no document");
    PrintOptions print(job);
    std::string problem;
    const std::optional<LabelSettings> settings = jobSettings(job, print.options, problem);
    if (!settings)
        return refuse(job, problem);
    return printer({job, device, file, documentFormat(job), print, *settings, papplCounts});
}

// A picture (PNG, JPEG or PBM), one label: its grey values fitted to the
// label, then made into dots as labelprint makes them.
bool printPictureDocument(const Document& document) {
    const GreyReadResult read =
        document.format == "image/jpeg" ? readJpegGrey(document.file) : readPageGrey(document.file);
    if (!read.ok())
        return refuse(document.job, read.error);
    const LabelGeometry label = labelOf(document.print.options);
    const Placement placement = placeOnLabel(read.picture.width, read.picture.height, label.width,
                                             label.height, label.scaling);
    OnePage page(placeGreyPicture(read.picture.view(), placement, label.width, label.height,
                                  document.settings.dither));
    return printOnLabel(document, page, false);
}

// A PDF, one label a page, each rendered at the size it prints.
bool printPdfDocument(const Document& document) {
    std::string error;
    std::unique_ptr<PdfPages> pdf = openPdfPages(document.file, error);
    if (!pdf)
        return refuse(document.job, error);
    PdfLabelPages pages(*pdf, labelOf(document.print.options), document.settings.dither);
    return printOnLabel(document, pages, true);
}

// PWG or Apple raster, the pages at the size the client made them, the
// paper sized for the largest as labelprint sizes it.
bool printRasterDocument(const Document& document) {
    RasterFilePages pages;
    std::string error;
    if (!pages.open(document.file, document.settings.dither, error))
        return refuse(document.job, error);
    return printPages(document, pages, pages.widest(), pages.tallest(), false);
}

// Plain text, in the printer-resident font.
bool printTextDocument(const Document& document) {
    std::FILE* file = std::fopen(document.file.c_str(), "rb");
    if (!file)
        return refuse(document.job,
                      std::string("cannot read the document: ") + std::strerror(errno));
    std::string text;
    char block[1 << 14];
    std::size_t got;
    while ((got = std::fread(block, 1, sizeof block, file)) > 0)
        text.append(block, got);
    std::fclose(file);
    DeviceSink sink = deviceSink(document.device);
    std::string error;
    const bool printed = appContext().engine.printText(
        text, kPrinterDpi, document.settings, std::clamp(document.print.options->copies, 1, 999),
        sink, error);
    return finish(document.job, sink, printed, error, document.papplCounts);
}

// PAPPL's filters for the formats it does not read itself.
bool printPdf(pappl_job_t* job, pappl_device_t* device, void*) {
    const DriverCall call(job, true);
    return printWith(job, device, printPdfDocument);
}

bool printText(pappl_job_t* job, pappl_device_t* device, void*) {
    const DriverCall call(job, true);
    return printWith(job, device, printTextDocument);
}

bool printRaster(pappl_job_t* job, pappl_device_t* device, void*) {
    const DriverCall call(job, true);
    return printWith(job, device, printRasterDocument);
}

} // namespace

DeviceSink deviceSink(pappl_device_t* device) {
    return DeviceSink(device, writeToDevice, flushDevice);
}

std::optional<LabelSettings> jobSettings(pappl_job_t* job, const pappl_pr_options_t* options,
                                         std::string& problem) {
    pappl_printer_t* printer = papplJobGetPrinter(job);
    LabelSettings settings = appContext().printers->settings(papplPrinterGetID(printer));
    settings.block.density = jobDensity(settings.block.density, options->print_darkness);
    // A job may ask for any label setting of its own (the printer's vendor
    // attributes are job attributes too).
    for (const SettingField& field : settingFields()) {
        const char* value = cupsGetOption(field.name, options->num_vendor, options->vendor);
        if (!value)
            continue;
        if (auto why = setSetting(settings, field, value)) {
            problem = *why;
            return std::nullopt;
        }
    }
    return settings;
}

void keepLastLabel(pappl_job_t* job, const DeviceSink& sink) {
    if (!sink.lastLabel().empty())
        keepLabelPicture(papplPrinterGetID(papplJobGetPrinter(job)), sink.lastLabel());
}

bool printDocument(pappl_job_t* job, pappl_device_t* device) {
    const std::string format = documentFormat(job);
    if (format == "image/png" || format == "image/jpeg")
        return printWith(job, device, printPictureDocument, true);
    if (format == "application/pdf")
        return printWith(job, device, printPdfDocument);
    if (format == "text/plain")
        return printWith(job, device, printTextDocument);
    return refuse(job, "cannot print documents of type " + format);
}

void addJobFilters(pappl_system_t* system) {
    // The destination names the driver's raster interface, which the
    // plug-in stands in for.
    papplSystemAddMIMEFilter(system, "application/pdf", "image/pwg-raster", printPdf, nullptr);
    papplSystemAddMIMEFilter(system, "text/plain", "image/pwg-raster", printText, nullptr);
    // Raster documents PAPPL would print as they arrive are spooled and
    // queued as every other document is (where the program reads them
    // itself: see document_spool.cpp).
    papplSystemAddMIMEFilter(system, "image/pwg-raster", "image/pwg-raster", printRaster, nullptr);
    papplSystemAddMIMEFilter(system, "image/urf", "image/pwg-raster", printRaster, nullptr);
}

namespace {

// UTF-8 without control characters but the layout's own; the head may end
// inside a character.
bool looksLikeText(const unsigned char* head, size_t size) {
    const auto control = [](unsigned char c) {
        return c < 0x20 && c != '\t' && c != '\n' && c != '\r' && c != '\f';
    };
    if (size == 0 || std::any_of(head, head + size, control))
        return false;
    const auto* text = reinterpret_cast<const char*>(head);
    for (size_t cut = 0; cut < 4 && cut < size; ++cut) {
        if (utf8ToUtf16(std::string_view(text, size - cut)))
            return true;
    }
    return false;
}

} // namespace

bool printRaw(pappl_job_t* job, pappl_pr_options_t*, pappl_device_t*) {
    const DriverCall call(job, true);
    return refuse(job, "the document is none of the formats this printer takes (PWG or Apple "
                       "raster, PNG, JPEG, PDF, plain text)");
}

const char* typeByContent(const unsigned char* header, size_t size, void*) {
    if (looksLikePdf(header, size))
        return "application/pdf";
    if (looksLikeJpeg(header, size))
        return "image/jpeg";
    if (looksLikeText(header, size))
        return "text/plain";
    return nullptr;
}

#include "printerapp/jobs/job_filters.h"

#include "host/page_selection.h"
#include "host/text/text_document.h"
#include "imaging/jpeg_reader.h"
#include "imaging/label_fit.h"
#include "pdf/pdf_loader.h"
#include "printerapp/jobs/job_lanes.h"
#include "printerapp/jobs/job_progress.h"
#include "printerapp/jobs/label_delivery.h"
#include "printerapp/printers/printer_pages.h"
#include "printerapp/rendering/render_workers.h"
#include "printerapp/system/app_context.h"
#include "printerapp/system/label_driver.h"

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

// Ends a job that cannot print with a reason the client can read, and the
// reason keyword: the document's, unless `why` names another.
bool refuse(pappl_job_t* job, const std::string& reason,
            pappl_jreason_t why = PAPPL_JREASON_DOCUMENT_FORMAT_ERROR) {
    papplJobSetMessage(job, "%s", reason.c_str());
    papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "%s", reason.c_str());
    papplJobSetReasons(job, why, PAPPL_JREASON_NONE);
    return false;
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

// Each format's job: its document, settings and options to a render
// worker, the pages it sends back to the device. A canceled job ends
// as canceled, with no reason of its own. Its labels are counted, unless
// PAPPL counts the pages it read itself (`papplCounts`).
bool printWith(pappl_job_t* job, pappl_device_t* device, DocumentKind kind,
               bool papplCounts = false) {
    const DriverCall call(job, true);
    if (papplJobIsCanceled(job))
        return false;
    RenderRequest request;
    request.kind = kind;
    request.path = documentFile(job);
    if (request.path.empty())
        return refuse(job, "the job has no document");
    PrintOptions print(job);
    std::string problem;
    const std::optional<LabelSettings> settings = jobSettings(job, print.options, problem);
    if (!settings)
        return refuse(job, problem);
    request.settings = *settings;
    const LabelGeometry label = labelOf(print.options);
    request.labelWidth = label.width;
    request.labelHeight = label.height;
    request.scaling = label.scaling;
    request.selection = selectionOf(job, print.options, kind == DocumentKind::kPdf);
    const int printerId = papplPrinterGetID(papplJobGetPrinter(job));
    JobProgress progress(appContext().spoolDirectory, printerId, papplJobGetID(job));
    LabelDelivery delivery(job, device, *settings, settings->statusQuery, progress);
    const RenderOutcome outcome = appContext().workers->render(request, delivery);
    delivery.tail(outcome.trailing);
    if (outcome.ok)
        delivery.settle();
    // Ended, however it ended: an unfinished job only keeps its record
    // when the server itself ends (killed, or stopped) before this line.
    progress.finish();
    if (!papplCounts)
        papplJobSetImpressionsCompleted(job, static_cast<int>(delivery.labels()));
    if (!delivery.lastLabel().empty())
        keepLabelPicture(printerId, delivery.lastLabel());
    if (papplJobIsCanceled(job))
        return false;
    if (delivery.failed())
        return refuse(job, "the printer took no more data", PAPPL_JREASON_PRINTER_STOPPED);
    if (outcome.workerFailed)
        return refuse(job, outcome.error, PAPPL_JREASON_DOCUMENT_UNPRINTABLE_ERROR);
    if (!outcome.ok)
        return refuse(job, outcome.error);
    return true;
}

// PAPPL's filters for the formats it does not read itself.
bool printPdf(pappl_job_t* job, pappl_device_t* device, void*) {
    return printWith(job, device, DocumentKind::kPdf);
}

bool printText(pappl_job_t* job, pappl_device_t* device, void*) {
    return printWith(job, device, DocumentKind::kText);
}

bool printRaster(pappl_job_t* job, pappl_device_t* device, void*) {
    return printWith(job, device, DocumentKind::kRaster);
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
    // PAPPL reads pictures with its own filters, before ours, and counts
    // their pages.
    if (format == "image/png")
        return printWith(job, device, DocumentKind::kPng, true);
    if (format == "image/jpeg")
        return printWith(job, device, DocumentKind::kJpeg, true);
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

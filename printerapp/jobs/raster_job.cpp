#include "printerapp/jobs/raster_job.h"

#include "printerapp/jobs/job_filters.h"
#include "printerapp/jobs/job_lanes.h"
#include "printerapp/rendering/raster_page.h"
#include "printerapp/system/app_context.h"
#include "printerapp/system/label_driver.h"

#include <cstring>
#include <memory>
#include <string>

namespace {

// What a raster job carries from one callback to the next.
struct RasterJob {
    explicit RasterJob(pappl_device_t* device) : sink(deviceSink(device)) {}
    DeviceSink sink;
    LabelSettings settings;
    std::unique_ptr<LabelSession> session;
    RasterPage page;
};

RasterJob* rasterJobOf(pappl_job_t* job) {
    return static_cast<RasterJob*>(papplJobGetData(job));
}

bool isRaster(pappl_job_t* job) {
    const char* format = papplJobGetFormat(job);
    return format &&
           (std::strcmp(format, "image/pwg-raster") == 0 || std::strcmp(format, "image/urf") == 0);
}

// Ends the job's raster with a reason the client can read. The plug-in is let
// go at once: nothing more of this job will reach it.
bool fail(pappl_job_t* job, const std::string& reason) {
    std::unique_ptr<RasterJob> raster(rasterJobOf(job));
    papplJobSetData(job, nullptr);
    if (raster && raster->session) {
        std::string ignored;
        raster->session->finish(true, ignored);
        keepLastLabel(job, raster->sink);
    }
    const bool printerFault = raster && raster->sink.failed();
    const std::string said = printerFault ? "the printer took no more data" : reason;
    papplJobSetMessage(job, "%s", said.c_str());
    papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "%s", said.c_str());
    papplJobSetReasons(
        job, printerFault ? PAPPL_JREASON_PRINTER_STOPPED : PAPPL_JREASON_DOCUMENT_FORMAT_ERROR,
        PAPPL_JREASON_NONE);
    return false;
}

} // namespace

void fillDitherMatrix(pappl_dither_t& matrix, bool dither) {
    for (unsigned y = 0; y < 16; ++y) {
        for (unsigned x = 0; x < 16; ++x) {
            // Bayer's ordered dither: the bits of x ^ y and y interleaved,
            // most significant from the lowest, give each cell its rank.
            unsigned rank = 0;
            for (unsigned bit = 0; bit < 4; ++bit)
                rank |=
                    (((x ^ y) >> bit & 1u) << (7 - 2 * bit)) | ((y >> bit & 1u) << (6 - 2 * bit));
            matrix[y][x] = static_cast<unsigned char>(dither ? rank : 127);
        }
    }
}

bool rasterStartJob(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device) {
    const DriverCall call(job);
    if (!isRaster(job))
        return printDocument(job, device);
    std::string problem;
    const std::optional<LabelSettings> settings = jobSettings(job, options, problem);
    if (!settings)
        return fail(job, problem);
    if (!appContext().engine.loadOnce(appContext().pluginPath, problem))
        return fail(job, problem);
    auto raster = std::make_unique<RasterJob>(device);
    raster->settings = *settings;
    papplJobSetData(job, raster.release());
    return true;
}

bool rasterStartPage(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t*, unsigned) {
    const DriverCall call(job);
    RasterJob* raster = rasterJobOf(job);
    if (!raster)
        return true;
    // PAPPL makes grey pages into dots with this matrix as it reads them; it
    // makes the page's options anew, from the driver's own, for every page.
    fillDitherMatrix(options->dither, raster->settings.dither);
    const cups_page_header2_t& header = options->header;
    std::string error;
    if (!raster->page.start(header, raster->settings.dither, error))
        return fail(job, error);
    // The paper is sized for the first page, as for any job whose later
    // pages are not known when it starts.
    if (!raster->session)
        raster->session = std::make_unique<LabelSession>(
            appContext().engine, static_cast<std::int32_t>(header.cupsWidth),
            static_cast<std::int32_t>(header.cupsHeight), kPrinterDpi, raster->settings,
            raster->sink);
    return true;
}

bool rasterWriteLine(pappl_job_t* job, pappl_pr_options_t*, pappl_device_t*, unsigned y,
                     const unsigned char* line) {
    const DriverCall call(job);
    if (RasterJob* raster = rasterJobOf(job))
        raster->page.addLine(y, line);
    return true;
}

bool rasterEndPage(pappl_job_t* job, pappl_pr_options_t*, pappl_device_t*, unsigned page) {
    const DriverCall call(job);
    RasterJob* raster = rasterJobOf(job);
    // A page canceled part-way prints nothing: no part of a label goes out.
    if (!raster || papplJobIsCanceled(job))
        return true;
    if (!raster->page.complete())
        return fail(job, "the raster stream ends inside page " + std::to_string(page) + " (line " +
                             std::to_string(raster->page.linesSeen() + 1) + ")");
    std::string error;
    if (!raster->session->printPage(raster->page.view(), error))
        return fail(job, error.empty() ? "the printer took no more data" : error);
    return true;
}

bool rasterEndJob(pappl_job_t* job, pappl_pr_options_t*, pappl_device_t*) {
    const DriverCall call(job, true);
    RasterJob* raster = rasterJobOf(job);
    if (!raster)
        return true;
    // A canceled job still ends its document: the job-end commands leave the
    // printer as a finished job does.
    const bool canceled = papplJobIsCanceled(job);
    std::string error;
    const bool printed = raster->session && raster->session->finish(canceled, error);
    if (!printed && !canceled)
        return fail(job, error.empty() ? "the job held no page" : error);
    keepLastLabel(job, raster->sink);
    delete raster;
    papplJobSetData(job, nullptr);
    return printed;
}

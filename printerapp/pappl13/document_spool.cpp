// PAPPL 1.3 prints a raster document (image/pwg-raster, image/urf) sent to an
// idle printer in the client's own thread, as it arrives, and answers a
// client whose printer is busy server-error-busy. Both are unsound: two
// clients pass the busy test at once and print on one device; the job is
// pending meanwhile, and any check for jobs starts it a second time; and the
// busy answer aborts the job holding the printer's lock while it asks for
// the system's, which the main loop holds while it saves the state and asks
// for the printer's: the server stops answering. The program defines
// _papplJobCopyDocumentData (the build leaves this file out from PAPPL 1.4
// on): every document, whatever its format, is read to a spool file and
// queued, as PAPPL queues every other format, so that jobs start only from
// the queue, through their printer's lane, and no client is answered busy.
#include "printerapp/jobs/job_lanes.h"
#include "printerapp/system/app_context.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>

extern "C" {
void _papplJobCopyDocumentData(pappl_client_t* client, pappl_job_t* job);
void _papplJobSubmitFile(pappl_job_t* job, const char* filename);
void _papplClientFlushDocumentData(pappl_client_t* client);
const char* _papplJobReasonString(pappl_jreason_t reason);
}

namespace {

// Reads the request's document into `fd`; an error message, empty when all
// of it was written.
std::string readDocument(pappl_client_t* client, int fd) {
    http_t* http = papplClientGetHTTP(client);
    char buffer[65536];
    ssize_t got;
    while ((got = httpRead2(http, buffer, sizeof buffer)) > 0) {
        for (ssize_t done = 0; done < got;) {
            const ssize_t wrote = write(fd, buffer + done, static_cast<size_t>(got - done));
            if (wrote < 0 && errno == EINTR)
                continue;
            if (wrote < 0)
                return std::string("cannot write the spool file: ") + std::strerror(errno);
            done += wrote;
        }
    }
    if (got < 0)
        return "the client stopped sending the document";
    return {};
}

// What a client learns of its job in the answer: as PAPPL answers Print-Job
// and Send-Document.
void answerWithJob(pappl_client_t* client, pappl_job_t* job) {
    ipp_t* response = papplClientRespondIPP(client, IPP_STATUS_OK, nullptr);
    const int jobId = papplJobGetID(job);
    ippAddInteger(response, IPP_TAG_JOB, IPP_TAG_INTEGER, "job-id", jobId);
    if (ipp_attribute_t* printerUri =
            ippFindAttribute(papplClientGetRequest(client), "printer-uri", IPP_TAG_URI)) {
        const std::string uri =
            std::string(ippGetString(printerUri, 0, nullptr)) + "/" + std::to_string(jobId);
        ippAddString(response, IPP_TAG_JOB, IPP_TAG_URI, "job-uri", nullptr, uri.c_str());
    }
    ippAddInteger(response, IPP_TAG_JOB, IPP_TAG_ENUM, "job-state", papplJobGetState(job));
    ipp_attribute_t* reasons = nullptr;
    const unsigned bits = papplJobGetReasons(job);
    for (unsigned bit = 1; bit && bit <= bits; bit <<= 1) {
        if (!(bits & bit))
            continue;
        const char* keyword = _papplJobReasonString(static_cast<pappl_jreason_t>(bit));
        if (!reasons)
            reasons = ippAddString(response, IPP_TAG_JOB, IPP_TAG_KEYWORD, "job-state-reasons",
                                   nullptr, keyword);
        else
            ippSetString(response, &reasons, ippGetCount(reasons), keyword);
    }
    if (!reasons)
        ippAddString(response, IPP_TAG_JOB, IPP_TAG_KEYWORD, "job-state-reasons", nullptr, "none");
}

// Ends a job whose document could not be read: it is canceled with the
// reason, the rest of the request read and dropped.
void abandon(pappl_client_t* client, pappl_job_t* job, const std::string& reason) {
    papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "%s", reason.c_str());
    papplJobSetMessage(job, "%s", reason.c_str());
    papplClientRespondIPP(client, IPP_STATUS_ERROR_INTERNAL, "%s", reason.c_str());
    _papplClientFlushDocumentData(client);
    cancelInLibrary(job);
}

} // namespace

extern "C" void _papplJobCopyDocumentData(pappl_client_t* client, pappl_job_t* job) {
    const int jobId = papplJobGetID(job);
    Lane& lane = laneOf(papplPrinterGetID(papplJobGetPrinter(job)));
    {
        const std::lock_guard<std::mutex> hold(lane.lock);
        lane.spooling.insert(jobId);
    }
    char path[1024] = "";
    const int fd =
        papplJobOpenFile(job, path, sizeof path, appContext().spoolDirectory.c_str(), nullptr, "w");
    std::string problem;
    if (fd < 0)
        problem = std::string("cannot create the spool file: ") + std::strerror(errno);
    else
        problem = readDocument(client, fd);
    if (fd >= 0 && close(fd) != 0 && problem.empty())
        problem = std::string("cannot write the spool file: ") + std::strerror(errno);
    bool canceled = false;
    {
        const std::lock_guard<std::mutex> hold(lane.lock);
        lane.spooling.erase(jobId);
        canceled = lane.spoolCanceled.erase(jobId) > 0;
    }
    if (!problem.empty()) {
        if (fd >= 0)
            unlink(path);
        abandon(client, job, problem);
        return;
    }
    if (canceled) {
        unlink(path);
        cancelInLibrary(job);
    } else {
        papplLogJob(job, PAPPL_LOGLEVEL_INFO, "Received print file.");
        {
            // Queued before PAPPL looks for the next job to print.
            const std::lock_guard<std::mutex> hold(lane.lock);
            enqueue(lane, jobId, jobPriority(job));
        }
        _papplJobSubmitFile(job, path);
    }
    answerWithJob(client, job);
}

// PAPPL 1.3 does not report job-media-sheets-completed. A label printer
// prints one label a sheet, so it is the job's impressions completed. The
// program defines _papplJobCopyAttributesNoLock, which answers every job
// query, to add it after the library's own attributes (the build leaves this
// file out from PAPPL 1.4 on).
#include <dlfcn.h>
#include <pappl/pappl.h>

extern "C" void _papplJobCopyAttributesNoLock(pappl_job_t* job, pappl_client_t* client,
                                              cups_array_t* requested) {
    using Copy = void (*)(pappl_job_t*, pappl_client_t*, cups_array_t*);
    static const auto library =
        reinterpret_cast<Copy>(dlsym(RTLD_NEXT, "_papplJobCopyAttributesNoLock"));
    library(job, client, requested);
    static const char kSheets[] = "job-media-sheets-completed";
    if (requested && !cupsArrayFind(requested, const_cast<char*>(kSheets)))
        return;
    // The caller holds the job's read lock; another read lock of the same
    // thread is granted.
    ippAddInteger(papplClientGetResponse(client), IPP_TAG_JOB, IPP_TAG_INTEGER, kSheets,
                  papplJobGetImpressionsCompleted(job));
}

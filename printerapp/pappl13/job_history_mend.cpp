// Finished jobs forgotten beyond the printer's limit under steady load.
// PAPPL 1.3.1 lists a printer's finished jobs newest first, and its clean-up
// (_papplPrinterCleanJobsNoLock, which papplSystemCleanJobs and the main
// loop call) stops at the first job that finished less than a minute ago:
// a printer that finishes a job every minute or more often never forgets
// any. Measured: 7 000 jobs kept after five minutes of labels, the state
// file (every job in it, saved four times a second) 2 MB, the server's
// memory growing and its rate falling from 2 000 to 250 labels a second.
// The program defines that function in the library's place (the library
// calls it through its procedure linkage table) and keeps each printer's
// newest jobs up to its limit, forgetting the rest as the library would:
// out of the printer's finished and all-jobs lists, the latter freeing it.
//
// The function is handed the printer with its lock held, so it reads the
// lists where PAPPL 1.3.1 keeps them in its printer record; a printer's
// record is checked against PAPPL's public calls when the printer is made
// (checkJobHistoryLayout), and where it does not match, or documents of
// finished jobs are preserved, the library's own clean-up runs instead.
#include "printerapp/pappl13/job_history_mend.h"

#include <cups/array.h>
#include <dlfcn.h>

#include <atomic>
#include <cstddef>
#include <vector>

namespace {

// Where PAPPL 1.3.1's printer record keeps what the clean-up uses.
constexpr std::size_t kMaxCompletedJobs = 0x4838;
constexpr std::size_t kMaxPreservedJobs = 0x483c;
constexpr std::size_t kActiveJobs = 0x4840;
constexpr std::size_t kAllJobs = 0x4848;
constexpr std::size_t kCompletedJobs = 0x4850;

std::atomic<bool> layoutMatches{false};

template <typename T> T& field(pappl_printer_t* printer, std::size_t offset) {
    return *reinterpret_cast<T*>(reinterpret_cast<char*>(printer) + offset);
}

using Clean = void (*)(pappl_printer_t*);

Clean libraryClean() {
    static const auto function =
        reinterpret_cast<Clean>(dlsym(RTLD_NEXT, "_papplPrinterCleanJobsNoLock"));
    return function;
}

} // namespace

void checkJobHistoryLayout(pappl_printer_t* printer) {
    const int limit = papplPrinterGetMaxCompletedJobs(printer);
    const bool matches =
        field<int>(printer, kMaxCompletedJobs) == limit &&
        field<int>(printer, kMaxPreservedJobs) == papplPrinterGetMaxPreservedJobs(printer) &&
        field<cups_array_t*>(printer, kCompletedJobs) && field<cups_array_t*>(printer, kAllJobs) &&
        field<cups_array_t*>(printer, kActiveJobs) &&
        cupsArrayCount(field<cups_array_t*>(printer, kCompletedJobs)) ==
            papplPrinterGetNumberOfCompletedJobs(printer) &&
        cupsArrayCount(field<cups_array_t*>(printer, kAllJobs)) ==
            papplPrinterGetNumberOfJobs(printer) &&
        cupsArrayCount(field<cups_array_t*>(printer, kActiveJobs)) ==
            papplPrinterGetNumberOfActiveJobs(printer);
    layoutMatches = matches;
    if (!matches)
        papplLogPrinter(printer, PAPPL_LOGLEVEL_WARN,
                        "Finished jobs are forgotten by PAPPL's own clean-up (its printer record "
                        "is not the one this program knows)");
}

extern "C" void _papplPrinterCleanJobsNoLock(pappl_printer_t* printer) {
    const int limit = layoutMatches ? field<int>(printer, kMaxCompletedJobs) : 0;
    if (limit <= 0 || field<int>(printer, kMaxPreservedJobs) != 0) {
        if (Clean clean = libraryClean())
            clean(printer);
        return;
    }
    cups_array_t* completed = field<cups_array_t*>(printer, kCompletedJobs);
    const int count = cupsArrayCount(completed);
    if (count <= limit)
        return;
    // Newest first, as PAPPL 1.3.1 sorts them; the oldest are at the end,
    // where taking them out moves nothing else.
    const bool newestFirst =
        papplJobGetID(static_cast<pappl_job_t*>(cupsArrayIndex(completed, 0))) >
        papplJobGetID(static_cast<pappl_job_t*>(cupsArrayIndex(completed, count - 1)));
    std::vector<pappl_job_t*> forgotten;
    for (int index = limit; index < count; ++index)
        forgotten.push_back(static_cast<pappl_job_t*>(
            cupsArrayIndex(completed, newestFirst ? index : count - 1 - index)));
    for (auto job = forgotten.rbegin(); job != forgotten.rend(); ++job) {
        cupsArrayRemove(completed, *job);
        cupsArrayRemove(field<cups_array_t*>(printer, kAllJobs), *job);
    }
}

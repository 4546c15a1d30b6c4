// PAPPL starts a printer's next job in _papplPrinterCheckJobs, from a client
// thread when a job arrives and from a job's thread when it ends. The job it
// starts marks itself as the one printing only in its own thread, so two
// calls close together may each start a job (or the same job twice), and
// both then print on one device. The program defines the function itself:
// one call at a time, each waiting while a job it may have started is not
// yet marked printing (a job waits and none prints) and has not come to the
// job gate, for two seconds at most.
#include "printerapp/job_gate.h"

#include <dlfcn.h>
#include <pappl/pappl.h>

#include <chrono>
#include <mutex>
#include <thread>

namespace {

struct Queue {
    bool waiting = false;
    bool printing = false;
};

void noteState(pappl_job_t* job, void* context) {
    auto* queue = static_cast<Queue*>(context);
    const ipp_jstate_t state = papplJobGetState(job);
    queue->waiting = queue->waiting || state == IPP_JSTATE_PENDING;
    queue->printing = queue->printing || state == IPP_JSTATE_PROCESSING;
}

// Whether the printer may have a job that was started but is not yet
// marked printing.
bool startPending(pappl_printer_t* printer) {
    Queue queue;
    papplPrinterIterateActiveJobs(printer, noteState, &queue, 1, 0);
    return queue.waiting && !queue.printing;
}

} // namespace

extern "C" void _papplPrinterCheckJobs(pappl_printer_t* printer) {
    using CheckJobs = void (*)(pappl_printer_t*);
    static const auto library =
        reinterpret_cast<CheckJobs>(dlsym(RTLD_NEXT, "_papplPrinterCheckJobs"));
    static std::mutex oneAtATime;
    const std::lock_guard<std::mutex> hold(oneAtATime);
    const unsigned long entered = jobGate().entries();
    library(printer);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (startPending(printer) && jobGate().entries() == entered &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

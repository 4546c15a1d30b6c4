#include "printerapp/system/system_watch.h"

#include <csignal>
#include <unistd.h>

#include <atomic>

#include <utility>

#ifdef LABEL_PAPPL_1_3_MENDS
extern "C" void _papplPrinterCheckJobs(pappl_printer_t* printer);
#endif

namespace {

constexpr auto kLookEvery = std::chrono::milliseconds(100);

// PAPPL 1.3.1 takes SIGTERM and SIGINT in handlers of its own, and tells
// nobody of them until its main loop has waited for the printing jobs
// (papplSystemIsShutdown stays false meanwhile). The program's handlers,
// set once the system runs, note the signal and pass it on to PAPPL's.
std::atomic<bool> signalled{false};
struct sigaction papplTerm {
}, papplInt{};

void noteSignal(int number, siginfo_t* info, void* context) {
    signalled.store(true);
    const struct sigaction& pappl = number == SIGTERM ? papplTerm : papplInt;
    if (pappl.sa_flags & SA_SIGINFO)
        pappl.sa_sigaction(number, info, context);
    else if (pappl.sa_handler != SIG_DFL && pappl.sa_handler != SIG_IGN)
        pappl.sa_handler(number);
}

void watchSignals() {
    struct sigaction ours {};
    ours.sa_sigaction = noteSignal;
    ours.sa_flags = SA_SIGINFO;
    sigemptyset(&ours.sa_mask);
    sigaction(SIGTERM, &ours, &papplTerm);
    sigaction(SIGINT, &ours, &papplInt);
}

void startJobs(pappl_printer_t* printer, void*) {
#ifdef LABEL_PAPPL_1_3_MENDS
    _papplPrinterCheckJobs(printer);
#else
    (void)printer;
#endif
}

void notePrinting(pappl_job_t* job, void* printing) {
    if (papplJobGetState(job) == IPP_JSTATE_PROCESSING)
        *static_cast<bool*>(printing) = true;
}

void printerPrinting(pappl_printer_t* printer, void* printing) {
    papplPrinterIterateActiveJobs(printer, notePrinting, printing, 1, 0);
}

bool anyJobPrinting(pappl_system_t* system) {
    bool printing = false;
    papplSystemIteratePrinters(system, printerPrinting, &printing);
    return printing;
}

} // namespace

SystemWatch::SystemWatch(pappl_system_t* system, std::function<void()> saveState)
    : system_(system), saveState_(std::move(saveState)), thread_(&SystemWatch::run, this) {}

SystemWatch::~SystemWatch() {
    {
        const std::lock_guard<std::mutex> hold(lock_);
        stopping_ = true;
        wake_.notify_all();
    }
    thread_.join();
}

void SystemWatch::run() {
    bool started = false;
    std::chrono::steady_clock::time_point askedToStop{};
    std::unique_lock<std::mutex> hold(lock_);
    while (!wake_.wait_for(hold, kLookEvery, [&] { return stopping_; })) {
        if (!started && papplSystemIsRunning(system_)) {
            // Jobs start only in a running system, and PAPPL has its signal
            // handlers by now.
            started = true;
            watchSignals();
            papplSystemIteratePrinters(system_, startJobs, nullptr);
        }
        if (!papplSystemIsShutdown(system_) && !signalled.load())
            continue;
        const auto now = std::chrono::steady_clock::now();
        if (askedToStop == std::chrono::steady_clock::time_point{})
            askedToStop = now;
        if (now - askedToStop < kStopWithin || !anyJobPrinting(system_))
            continue;
        papplLog(system_, PAPPL_LOGLEVEL_INFO,
                 "Stopping with a job unfinished: it goes on when the server starts again.");
        saveState_();
        _exit(0);
    }
}

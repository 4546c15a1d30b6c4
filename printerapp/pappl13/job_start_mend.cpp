// PAPPL 1.3 starts and cancels jobs unsoundly; the build leaves this file out
// from PAPPL 1.4 on, which reworked job starting.
//  - _papplPrinterCheckJobs tests whether the printer is busy before it takes
//    the printer's lock, and a job it starts is marked processing only in the
//    thread started for it: two calls close together start one job twice, or
//    two jobs at once on one device. A job started twice is finished twice:
//    entered in the list of finished jobs twice, and freed twice.
//  - papplJobCancel of a job that is not processing finishes it there and
//    then, whatever state it is in: a job about to be started is finished
//    again by its thread, and a job canceled twice, or as it ends, is entered
//    in the list of finished jobs twice.
// The program defines both (PAPPL calls them through its procedure linkage
// table): every job of a printer goes through the printer's lane, one at a
// time, and the library's own processing does the job's work inside it.
// Documents reach the queue as document_spool.cpp says.
#include "printerapp/jobs/job_lanes.h"

#include <dlfcn.h>

#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

extern "C" {
void* _papplJobProcess(pappl_job_t* job);
void _papplPrinterCheckJobs(pappl_printer_t* printer);
void papplJobCancel(pappl_job_t* job);
}

namespace {

bool finished(ipp_jstate_t state) {
    return state >= IPP_JSTATE_CANCELED;
}

// Whether the job waits to be started: pending with its document read, or
// left processing by a server that ended (the caller holds the lane's lock).
bool startable(const Lane& lane, pappl_job_t* job) {
    const ipp_jstate_t state = papplJobGetState(job);
    return papplJobGetFilename(job) &&
           (state == IPP_JSTATE_PENDING ||
            (state == IPP_JSTATE_PROCESSING && lane.resumable.count(papplJobGetID(job))));
}

struct NextPending {
    const Lane* lane;
    pappl_job_t* job = nullptr;
};

// The job to print next of those waiting with their document read and not
// in the lane's queue: the one of highest job-priority, and of those the one
// that came first. (PAPPL lists active jobs newest first.)
void nextPending(pappl_job_t* job, void* data) {
    auto* found = static_cast<NextPending*>(data);
    pappl_job_t*& next = found->job;
    if (!startable(*found->lane, job))
        return;
    if (!next || jobPriority(job) > jobPriority(next) ||
        (jobPriority(job) == jobPriority(next) && papplJobGetID(job) < papplJobGetID(next)))
        next = job;
}

// The first job of the lane's queue that is waiting with its document read;
// finished jobs leave the queue, held ones stay in their place. The caller
// holds the lane's lock.
pappl_job_t* firstQueued(Lane& lane, pappl_printer_t* printer) {
    for (auto at = lane.queue.begin(); at != lane.queue.end();) {
        pappl_job_t* job = papplPrinterFindJob(printer, at->second);
        if (!job || finished(papplJobGetState(job))) {
            at = lane.queue.erase(at);
            continue;
        }
        if (startable(lane, job)) {
            lane.queue.erase(at);
            return job;
        }
        ++at;
    }
    return nullptr;
}

void take(Lane& lane, int jobId) {
    lane.resumable.erase(jobId);
    lane.jobId = jobId;
    lane.phase = LanePhase::kTaken;
    lane.canceled = lane.cancelPending = false;
}

// The lane is free again: the queue is looked at.
void leave(Lane& lane, pappl_system_t* system, int printerId) {
    {
        const std::lock_guard<std::mutex> hold(lane.lock);
        lane.jobId = 0;
        lane.phase = LanePhase::kIdle;
        lane.recheck = false;
        lane.changed.notify_all();
    }
    // The printer may have been deleted with its job.
    if (pappl_printer_t* printer = papplSystemFindPrinter(system, nullptr, printerId, nullptr))
        _papplPrinterCheckJobs(printer);
}

// The thread of a queued job the lane took: PAPPL's processing, unless the
// job was canceled or held before the thread came to it.
void processQueued(pappl_system_t* system, int printerId, int jobId) {
    Lane& lane = laneOf(printerId);
    pappl_job_t* job = nullptr;
    {
        const std::lock_guard<std::mutex> hold(lane.lock);
        if (pappl_printer_t* printer = papplSystemFindPrinter(system, nullptr, printerId, nullptr))
            job = papplPrinterFindJob(printer, jobId);
        if (job && papplJobGetState(job) != IPP_JSTATE_PENDING &&
            papplJobGetState(job) != IPP_JSTATE_PROCESSING)
            job = nullptr;
    }
    if (job)
        _papplJobProcess(job);
    leave(lane, system, printerId);
}

// The thread a printer's jobs run in, one after another: started for a job
// when the printer has none, ended after a few idle seconds. A thread
// started for every job cost each job its start and end, on the client's
// answer when the printer was idle.
class LaneThread {
  public:
    // Runs the job the lane took; false when no thread can be had.
    bool run(pappl_system_t* system, int printerId, int jobId) {
        const std::lock_guard<std::mutex> hold(lock_);
        next_ = {system, printerId, jobId};
        if (!running_) {
            try {
                std::thread(&LaneThread::loop, this).detach();
            } catch (const std::system_error&) {
                next_ = {};
                return false;
            }
            running_ = true;
        }
        wake_.notify_one();
        return true;
    }

  private:
    struct Job {
        pappl_system_t* system = nullptr;
        int printerId = 0;
        int jobId = 0;
    };
    static constexpr auto kIdle = std::chrono::seconds(5);

    void loop() {
        std::unique_lock<std::mutex> hold(lock_);
        for (;;) {
            if (!wake_.wait_for(hold, kIdle, [&] { return next_.jobId != 0; })) {
                running_ = false;
                return;
            }
            const Job job = next_;
            next_ = {};
            hold.unlock();
            // Its end may hand this thread the lane's next job.
            processQueued(job.system, job.printerId, job.jobId);
            hold.lock();
        }
    }

    std::mutex lock_;
    std::condition_variable wake_;
    Job next_;
    bool running_ = false;
};

// Kept for the process and never destroyed: a lane's thread may still wait
// on its own as the program ends.
LaneThread& laneThreadOf(int printerId) {
    static std::mutex lock;
    static auto* const threads = new std::map<int, std::unique_ptr<LaneThread>>;
    const std::lock_guard<std::mutex> hold(lock);
    std::unique_ptr<LaneThread>& thread = (*threads)[printerId];
    if (!thread)
        thread = std::make_unique<LaneThread>();
    return *thread;
}

} // namespace

extern "C" void _papplPrinterCheckJobs(pappl_printer_t* printer) {
    if (!printer)
        return;
    pappl_system_t* system = papplPrinterGetSystem(printer);
    const int printerId = papplPrinterGetID(printer);
    Lane& lane = laneOf(printerId);
    const std::lock_guard<std::mutex> hold(lane.lock);
    if (lane.jobId != 0) {
        lane.recheck = true;
        return;
    }
    if (!papplSystemIsRunning(system) || papplPrinterIsDeleted(printer) ||
        papplPrinterGetState(printer) == IPP_PSTATE_STOPPED)
        return;
    pappl_job_t* job = firstQueued(lane, printer);
    if (!job) {
        NextPending next{&lane};
        papplPrinterIterateActiveJobs(printer, nextPending, &next, 1, 0);
        job = next.job;
    }
    if (!job)
        return;
    const int jobId = papplJobGetID(job);
    take(lane, jobId);
    if (!laneThreadOf(printerId).run(system, printerId, jobId)) {
        // No thread to be had now: the job stays queued for the next check.
        lane.jobId = 0;
        lane.phase = LanePhase::kIdle;
        papplLogPrinter(printer, PAPPL_LOGLEVEL_ERROR, "Cannot start a thread for job %d", jobId);
    }
}

extern "C" void papplJobCancel(pappl_job_t* job) {
    if (!job)
        return;
    const int jobId = papplJobGetID(job);
    Lane& lane = laneOf(papplPrinterGetID(papplJobGetPrinter(job)));
    std::unique_lock<std::mutex> hold(lane.lock);
    // A document still being read is canceled when it has been read.
    if (lane.spooling.count(jobId)) {
        lane.spoolCanceled.insert(jobId);
        return;
    }
    // A job the lane took is finished by its own thread: wait until PAPPL has
    // marked it processing, so that the cancel reaches that thread.
    while (lane.jobId == jobId && lane.phase == LanePhase::kTaken &&
           papplJobGetState(job) == IPP_JSTATE_PENDING)
        lane.changed.wait_for(hold, std::chrono::milliseconds(1));
    if (lane.jobId != jobId) {
        // Queued, held or finished: no thread of its own can finish it now.
        if (!finished(papplJobGetState(job)))
            cancelInLibrary(job);
        return;
    }
    if (lane.canceled || lane.phase == LanePhase::kEnded)
        return;
    // Between the driver's callbacks PAPPL may end the job at any moment; the
    // cancel goes to PAPPL when its thread next comes to the driver. A job
    // opening its device, or in the driver, is told at once.
    if (lane.phase == LanePhase::kBetween) {
        lane.cancelPending = true;
        return;
    }
    cancelInLibrary(job);
    lane.canceled = true;
}

namespace {

void noteResumable(pappl_job_t* job, void* lane) {
    if (papplJobGetState(job) == IPP_JSTATE_PROCESSING)
        static_cast<Lane*>(lane)->resumable.insert(papplJobGetID(job));
}

} // namespace

void noteUnfinishedJobs(pappl_printer_t* printer) {
    Lane& lane = laneOf(papplPrinterGetID(printer));
    const std::lock_guard<std::mutex> hold(lane.lock);
    papplPrinterIterateActiveJobs(printer, noteResumable, &lane, 1, 0);
}

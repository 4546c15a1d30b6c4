// One job at a time on each printer's device. PAPPL 1.3 may start one job
// twice, or two jobs of one printer at once, and finish a job twice when it
// is canceled as it starts (job_start_mend.cpp says how); the program starts
// every job through its printer's lane instead, and cancels through it.
// Where PAPPL starts jobs soundly the lanes stay empty and every call here
// does nothing.
#pragma once

#include <pappl/pappl.h>

#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <set>

// Where the lane's job is, as the lane sees it.
enum class LanePhase {
    kIdle,     // no job
    kTaken,    // the lane took the job; PAPPL may not have marked it processing yet
    kInDriver, // the job's thread is in one of the driver's callbacks
    kBetween,  // the job's thread is in PAPPL, between the driver's callbacks
    kEnded,    // the driver's last callback has returned: the job is ending
};

struct Lane {
    std::mutex lock;
    std::condition_variable changed;
    int jobId = 0; // the job that holds the printer's device, 0 when none
    LanePhase phase = LanePhase::kIdle;
    bool canceled = false;       // the job's cancel has reached PAPPL
    bool cancelPending = false;  // a cancel waits for the job's thread to come to the driver
    bool recheck = false;        // jobs were to be started while the lane was busy
    std::set<int> spooling;      // jobs whose document is being read from the client
    std::set<int> spoolCanceled; // of those, the ones canceled meanwhile
    // The queued jobs in the order they print: highest job-priority first,
    // then as they came; (priority, job ID). Jobs the queue does not know
    // (loaded with PAPPL's state) are looked for in PAPPL's list.
    std::deque<std::pair<int, int>> queue;
    // Jobs PAPPL's state file lists as processing: the server ended while
    // they printed. They are started again like pending ones.
    std::set<int> resumable;
};

// Puts a job in its lane's queue; the caller holds the lane's lock.
void enqueue(Lane& lane, int jobId, int priority);

// The job's job-priority, 1 to 100 (50 when it asked for none).
int jobPriority(pappl_job_t* job);

// The lane of a printer, made at its first use and kept for the process.
Lane& laneOf(int printerId);

// After PAPPL loaded its state: the printer's jobs that were printing when
// the server ended are to be started again like pending ones (PAPPL 1.3
// lists them as processing and starts none). Defined with the PAPPL 1.3
// mends; the jobs start once the system runs.
void noteUnfinishedJobs(pappl_printer_t* printer);

// PAPPL's own papplJobCancel, whether or not the program defines its own.
void cancelInLibrary(pappl_job_t* job);

// The driver's callbacks tell the lane where the job's thread is: made at a
// callback's entry (a cancel that waited for the job is passed on to PAPPL
// now), it marks the job between callbacks at its end, or ending when
// `last`.
class DriverCall {
  public:
    DriverCall(pappl_job_t* job, bool last = false);
    DriverCall(const DriverCall&) = delete;
    DriverCall& operator=(const DriverCall&) = delete;
    ~DriverCall();

  private:
    Lane* lane_ = nullptr;
    bool last_;
};

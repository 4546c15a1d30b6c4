// PAPPL 1.3 may start one job in two threads at once (two jobs ending
// together both start the next), or the next job while one it was asked to
// cancel still runs. They all share the printer's device, which PAPPL closes
// as each of them ends. The gate lets one thread do a job's work, and holds
// every thread at its end until no thread is working, so that no device is
// closed under a job that writes to it.
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <set>
#include <utility>

class JobGate {
  public:
    // Enters for `job` (its printer and job IDs): true when this thread is
    // to do its work, false when another thread does or did, or `work` is
    // false (a canceled job).
    bool enter(const void* job, int printerId, int jobId, bool work);
    // This thread's part is over (`worked` as enter() said): returns once no
    // thread is working and none came in a moment more (PAPPL hands a job it
    // starts the device before the job comes to the gate), or after half a
    // minute.
    void leave(const void* job, bool worked);

    // How many turns have begun.
    unsigned long entries();

  private:
    std::mutex lock_;
    unsigned long entries_ = 0;
    std::condition_variable idle_;
    std::multiset<const void*> working_;
    std::set<std::pair<int, int>> started_; // printer and job IDs, the latest
    std::deque<std::pair<int, int>> startOrder_;
};

// The program's one gate.
JobGate& jobGate();

// A thread's turn at a job, left when it goes out of scope.
class JobTurn {
  public:
    JobTurn(const void* job, int printerId, int jobId, bool work)
        : job_(job), mine_(jobGate().enter(job, printerId, jobId, work)) {}
    JobTurn(const JobTurn&) = delete;
    JobTurn& operator=(const JobTurn&) = delete;
    ~JobTurn() { jobGate().leave(job_, mine_); }
    bool mine() const { return mine_; }

  private:
    const void* job_;
    bool mine_;
};

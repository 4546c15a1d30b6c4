// Finished jobs forgotten as the printer's limit says. PAPPL 1.3.1 forgets
// finished jobs (those that finished over a minute before, beyond the
// printer's hundred) only when its main loop comes to it, a minute after the
// first job that ends after its last clean-up: a burst's jobs, all ending in
// the same second, are never old enough then, and stay until another job
// ends a minute later, each a kilobyte or more of the server and written to
// the state file at every save. The program asks PAPPL to forget them every
// few seconds, and gives the memory back to the system each time (with
// PAPPL 1.3, whose clean-up forgets nothing while jobs keep finishing,
// pappl13/job_history_mend.cpp does the forgetting).
#pragma once

#include <pappl/pappl.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

inline constexpr auto kForgetJobsEvery = std::chrono::seconds(10);

class JobCleaning {
  public:
    explicit JobCleaning(pappl_system_t* system);
    JobCleaning(const JobCleaning&) = delete;
    JobCleaning& operator=(const JobCleaning&) = delete;
    ~JobCleaning();

  private:
    void run();

    pappl_system_t* system_;
    std::mutex lock_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::thread thread_;
};

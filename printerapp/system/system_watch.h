// A thread that watches the PAPPL system run. Once it runs, the jobs its
// state file brought back are started. Once it is asked to stop, a job that
// is printing (or waiting for a printer that is off) may hold it up no
// longer than kStopWithin: PAPPL 1.3.1 waits up to a minute for such a job,
// whose thread never looks at the stop. Past that the state is saved and
// the process ends there; the job was left unfinished, and goes on after
// the last label its printer took (JobProgress) when the server starts
// again.
#pragma once

#include <pappl/pappl.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

inline constexpr auto kStopWithin = std::chrono::seconds(3);

class SystemWatch {
  public:
    // `saveState` saves PAPPL's state at once.
    SystemWatch(pappl_system_t* system, std::function<void()> saveState);
    SystemWatch(const SystemWatch&) = delete;
    SystemWatch& operator=(const SystemWatch&) = delete;
    ~SystemWatch();

  private:
    void run();

    pappl_system_t* system_;
    std::function<void()> saveState_;
    std::mutex lock_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::thread thread_;
};

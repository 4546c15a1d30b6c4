// PAPPL's state saved at most every quarter second. PAPPL 1.3.1's main loop
// saves the whole state (every printer, every job it still lists, and the
// attributes file of every job not yet ended) whenever it wakes to find a
// change, and every connection a client opens wakes it: a client sending
// jobs one connection each had the state written over a hundred times a
// second, which took nearly all the server's time once a few hundred jobs
// were kept. The save callback only asks; a thread of the program saves,
// once for all that changed meanwhile, and what is still to be saved is
// saved before the system is let go.
#pragma once

#include <pappl/pappl.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

inline constexpr auto kSaveStateEvery = std::chrono::milliseconds(250);

class StateSaving {
  public:
    StateSaving(pappl_system_t* system, std::string path);
    StateSaving(const StateSaving&) = delete;
    StateSaving& operator=(const StateSaving&) = delete;
    // Saves what has not been saved yet.
    ~StateSaving();

    // A save wanted: made within kSaveStateEvery of the last one.
    void request();
    // Saves now, on the caller's thread.
    void saveNow();

  private:
    void run();
    void save();

    pappl_system_t* system_;
    const std::string path_;
    std::mutex lock_;
    std::mutex saving_; // one save at a time: both write the one file
    std::condition_variable wake_;
    bool wanted_ = false;
    bool stopping_ = false;
    std::thread thread_;
};

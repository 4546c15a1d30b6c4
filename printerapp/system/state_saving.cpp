#include "printerapp/system/state_saving.h"

#include <malloc.h>
#include <utility>

StateSaving::StateSaving(pappl_system_t* system, std::string path)
    : system_(system), path_(std::move(path)), thread_(&StateSaving::run, this) {}

StateSaving::~StateSaving() {
    {
        const std::lock_guard<std::mutex> hold(lock_);
        stopping_ = true;
        wake_.notify_all();
    }
    thread_.join();
}

void StateSaving::request() {
    const std::lock_guard<std::mutex> hold(lock_);
    wanted_ = true;
    wake_.notify_all();
}

void StateSaving::saveNow() {
    const std::lock_guard<std::mutex> one(saving_);
    if (!papplSystemSaveState(system_, path_.c_str()))
        papplLog(system_, PAPPL_LOGLEVEL_ERROR, "The state could not be saved to %s",
                 path_.c_str());
}

void StateSaving::run() {
    std::unique_lock<std::mutex> hold(lock_);
    for (;;) {
        wake_.wait(hold, [&] { return wanted_ || stopping_; });
        if (!wanted_)
            return;
        wanted_ = false;
        hold.unlock();
        {
            const std::lock_guard<std::mutex> one(saving_);
            if (!papplSystemSaveState(system_, path_.c_str()))
                papplLog(system_, PAPPL_LOGLEVEL_ERROR, "The state could not be saved to %s",
                         path_.c_str());
        }
        // A save builds the whole state in memory: it goes back at once,
        // not at the next clean-up.
        malloc_trim(0);
        hold.lock();
        // What changes meanwhile waits for the next save; stopping saves it
        // at once.
        wake_.wait_for(hold, kSaveStateEvery, [&] { return stopping_; });
    }
}

#include "printerapp/system/state_saving.h"

#include <cstdio>
#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>
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
    save();
}

// PAPPL 1.3.1 writes its state file in place: a kill or a power cut during
// a save left a file cut short, and the jobs after the cut were gone after
// the restart. The state is written beside it, put on the disk, and renamed
// over it, so the file is always one whole save. The caller holds saving_.
void StateSaving::save() {
    const std::string written = path_ + ".new";
    bool saved = papplSystemSaveState(system_, written.c_str());
    if (saved) {
        const int fd = open(written.c_str(), O_RDONLY | O_CLOEXEC);
        saved = fd >= 0 && fsync(fd) == 0;
        if (fd >= 0)
            close(fd);
        saved = saved && rename(written.c_str(), path_.c_str()) == 0;
    }
    if (!saved) {
        papplLog(system_, PAPPL_LOGLEVEL_ERROR, "The state could not be saved to %s",
                 path_.c_str());
        return;
    }
    const std::string directory = path_.substr(0, path_.find_last_of('/') + 1);
    if (const int fd =
            open(directory.empty() ? "." : directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        fd >= 0) {
        fsync(fd); // the rename itself, on the disk
        close(fd);
    }
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
            save();
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

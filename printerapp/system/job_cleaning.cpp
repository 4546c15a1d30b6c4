#include "printerapp/system/job_cleaning.h"

#include <dlfcn.h>
#include <malloc.h>

JobCleaning::JobCleaning(pappl_system_t* system)
    : system_(system), thread_(&JobCleaning::run, this) {}

JobCleaning::~JobCleaning() {
    {
        const std::lock_guard<std::mutex> hold(lock_);
        stopping_ = true;
        wake_.notify_all();
    }
    thread_.join();
}

void JobCleaning::run() {
    std::unique_lock<std::mutex> hold(lock_);
    while (!wake_.wait_for(hold, kForgetJobsEvery, [&] { return stopping_; })) {
        hold.unlock();
        papplSystemCleanJobs(system_);
        hold.lock();
    }
}

// What PAPPL forgot leaves the process's memory scattered among what is
// still used: it goes back to the system.
extern "C" void papplSystemCleanJobs(pappl_system_t* system) {
    using Clean = void (*)(pappl_system_t*);
    static const auto library = reinterpret_cast<Clean>(dlsym(RTLD_NEXT, "papplSystemCleanJobs"));
    library(system);
    malloc_trim(0);
}

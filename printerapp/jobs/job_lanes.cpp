#include "printerapp/jobs/job_lanes.h"

#include <dlfcn.h>

#include <utility>

Lane& laneOf(int printerId) {
    static std::mutex lock;
    static std::map<int, std::unique_ptr<Lane>> lanes;
    const std::lock_guard<std::mutex> hold(lock);
    std::unique_ptr<Lane>& lane = lanes[printerId];
    if (!lane)
        lane = std::make_unique<Lane>();
    return *lane;
}

int jobPriority(pappl_job_t* job) {
    ipp_attribute_t* priority = papplJobGetAttribute(job, "job-priority");
    return priority ? ippGetInteger(priority, 0) : 50;
}

void enqueue(Lane& lane, int jobId, int priority) {
    auto at = lane.queue.begin();
    while (at != lane.queue.end() && at->first >= priority)
        ++at;
    lane.queue.insert(at, {priority, jobId});
}

void cancelInLibrary(pappl_job_t* job) {
    using Cancel = void (*)(pappl_job_t*);
    static const auto library = reinterpret_cast<Cancel>(dlsym(RTLD_NEXT, "papplJobCancel"));
    library(job);
}

DriverCall::DriverCall(pappl_job_t* job, bool last) : last_(last) {
    Lane& lane = laneOf(papplPrinterGetID(papplJobGetPrinter(job)));
    const std::lock_guard<std::mutex> hold(lane.lock);
    if (lane.jobId != papplJobGetID(job))
        return;
    lane_ = &lane;
    lane.phase = LanePhase::kInDriver;
    // In a callback the job cannot end under the cancel, so PAPPL may be
    // told now.
    if (lane.cancelPending && !lane.canceled) {
        cancelInLibrary(job);
        lane.canceled = true;
    }
    lane.cancelPending = false;
    lane.changed.notify_all();
}

DriverCall::~DriverCall() {
    if (!lane_)
        return;
    const std::lock_guard<std::mutex> hold(lane_->lock);
    lane_->phase = last_ ? LanePhase::kEnded : LanePhase::kBetween;
    lane_->changed.notify_all();
}

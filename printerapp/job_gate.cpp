#include "printerapp/job_gate.h"

#include <chrono>
#include <thread>

namespace {

// How long a thread that met others waits for threads PAPPL has started but
// that have not reached the gate yet: PAPPL hands them the device before.
constexpr auto kStragglers = std::chrono::milliseconds(10);
constexpr auto kLongest = std::chrono::seconds(30);
// Jobs whose start is remembered, so a second start of one is known.
constexpr std::size_t kRemembered = 4096;

} // namespace

bool JobGate::enter(const void* job, int printerId, int jobId, bool work) {
    const std::lock_guard<std::mutex> hold(lock_);
    ++entries_;
    if (!work)
        return false;
    if (!started_.insert({printerId, jobId}).second)
        return false;
    startOrder_.push_back({printerId, jobId});
    if (startOrder_.size() > kRemembered) {
        started_.erase(startOrder_.front());
        startOrder_.pop_front();
    }
    working_.insert(job);
    return true;
}

void JobGate::leave(const void* job, bool worked) {
    std::unique_lock<std::mutex> hold(lock_);
    if (worked) {
        working_.erase(working_.find(job));
        idle_.notify_all();
    }
    const auto deadline = std::chrono::steady_clock::now() + kLongest;
    // Then a moment more: PAPPL may have started a job beside this one and
    // handed it the device before it comes to the gate.
    do {
        idle_.wait_until(hold, deadline, [this] { return working_.empty(); });
        hold.unlock();
        std::this_thread::sleep_for(kStragglers);
        hold.lock();
    } while (!working_.empty() && std::chrono::steady_clock::now() < deadline);
}

unsigned long JobGate::entries() {
    const std::lock_guard<std::mutex> hold(lock_);
    return entries_;
}

JobGate& jobGate() {
    static JobGate gate;
    return gate;
}

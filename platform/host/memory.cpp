// Host stand-ins for the process's global memory, and the switch that makes
// a chosen allocation fail so that tests can walk every failure path.
#include "platform/memory.h"
#include "platform/host/allocation_log.h"
#include "platform/host/test_controls.h"

#include <atomic>
#include <cstdlib>

namespace platform {
namespace {

std::atomic<std::int64_t> attempted{0};
std::atomic<std::int64_t> failAt{0};
std::atomic<std::int64_t> live{0};

} // namespace

void* globalAllocZero(std::size_t bytes) {
    if (!host::allocationAllowed())
        return nullptr;
    void* block = std::calloc(1, bytes ? bytes : 1);
    if (block)
        host::countLive(1);
    return block;
}

void* globalAlloc(std::size_t bytes) {
    if (!host::allocationAllowed())
        return nullptr;
    void* block = std::malloc(bytes ? bytes : 1);
    if (block)
        host::countLive(1);
    return block;
}

void globalFree(void* block) {
    if (!block)
        return;
    std::free(block);
    host::countLive(-1);
}

namespace host {

bool allocationAllowed() {
    const std::int64_t n = attempted.fetch_add(1) + 1;
    const std::int64_t target = failAt.load();
    return target == 0 || n != target;
}

void countLive(std::int64_t delta) {
    live.fetch_add(delta);
}

void failNthAllocation(std::int64_t n) {
    failAt.store(n > 0 ? attempted.load() + n : 0);
}

std::int64_t allocationCount() {
    return attempted.load();
}

std::int64_t liveAllocations() {
    return live.load();
}

} // namespace host
} // namespace platform

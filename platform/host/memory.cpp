// Host stand-ins for private heaps and global memory, with a switch that makes
// a chosen allocation fail so that tests can walk every failure path.
#include "platform/memory.h"
#include "platform/threads.h"
#include "platform/host/test_controls.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <new>

namespace platform {
namespace {

std::atomic<std::int64_t> attempted{0};
std::atomic<std::int64_t> failAt{0};
std::atomic<std::int64_t> live{0};

// Counts the attempt and says whether it is the one chosen to fail.
bool allocationAllowed() {
    const std::int64_t n = attempted.fetch_add(1) + 1;
    const std::int64_t target = failAt.load();
    return target == 0 || n != target;
}

// Each heap block carries links so that destroying the heap can free what is
// left without the owner visiting it.
struct BlockHeader {
    BlockHeader* prev;
    BlockHeader* next;
};

// Blocks of one heap are taken and given back under a short lock, as the
// system's heaps serialise their calls.
struct PrivateHeap {
    SpinLock lock;
    BlockHeader head{&head, &head};
};

} // namespace

HeapHandle heapCreate() {
    if (!allocationAllowed())
        return nullptr;
    auto* heap = new (std::nothrow) PrivateHeap;
    if (heap)
        live.fetch_add(1);
    return heap;
}

void* heapAllocZero(HeapHandle handle, std::size_t bytes) {
    auto* heap = static_cast<PrivateHeap*>(handle);
    if (!heap || !allocationAllowed() || bytes > SIZE_MAX / 2)
        return nullptr;
    auto* block = static_cast<BlockHeader*>(std::calloc(1, sizeof(BlockHeader) + bytes));
    if (!block)
        return nullptr;
    std::lock_guard<SpinLock> guard(heap->lock);
    block->prev = &heap->head;
    block->next = heap->head.next;
    heap->head.next->prev = block;
    heap->head.next = block;
    live.fetch_add(1);
    return block + 1;
}

bool heapFree(HeapHandle handle, void* data) {
    auto* heap = static_cast<PrivateHeap*>(handle);
    if (!heap || !data)
        return false;
    auto* block = static_cast<BlockHeader*>(data) - 1;
    {
        std::lock_guard<SpinLock> guard(heap->lock);
        block->prev->next = block->next;
        block->next->prev = block->prev;
    }
    std::free(block);
    live.fetch_sub(1);
    return true;
}

bool heapDestroy(HeapHandle handle) {
    auto* heap = static_cast<PrivateHeap*>(handle);
    if (!heap)
        return false;
    for (BlockHeader* block = heap->head.next; block != &heap->head;) {
        BlockHeader* next = block->next;
        std::free(block);
        live.fetch_sub(1);
        block = next;
    }
    delete heap;
    live.fetch_sub(1);
    return true;
}

void* globalAllocZero(std::size_t bytes) {
    if (!allocationAllowed())
        return nullptr;
    void* block = std::calloc(1, bytes ? bytes : 1);
    if (block)
        live.fetch_add(1);
    return block;
}

void* globalAlloc(std::size_t bytes) {
    if (!allocationAllowed())
        return nullptr;
    void* block = std::malloc(bytes ? bytes : 1);
    if (block)
        live.fetch_add(1);
    return block;
}

void globalFree(void* block) {
    if (!block)
        return;
    std::free(block);
    live.fetch_sub(1);
}

namespace host {

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

// Host stand-in for the system's private heaps. A heap takes its memory in
// segments it maps itself, as a system heap commits memory in large pieces,
// and offers the large ones to the kernel for huge pages: a page of a few
// thousand captured scan lines then costs a handful of page faults, not one
// for every 4 KB it touches. A freed block waits in a list for its size, and
// destroying the heap gives back every segment whatever is still in use: to
// the process's pool of segments, up to a few megabytes, as the system keeps
// memory a process freed. A job's heap then starts on memory already mapped
// and clears only what the heap before used, where a fresh mapping costs a
// fault for every page it touches and clears each huge page whole.
#include "platform/host/allocation_log.h"
#include "platform/memory.h"
#include "platform/threads.h"

#include <cstdint>
#include <cstring>
#include <mutex>
#include <new>
#include <sys/mman.h>

#if defined(__has_include)
#if __has_include(<sanitizer/asan_interface.h>)
#include <sanitizer/asan_interface.h>
#endif
#endif
#ifndef ASAN_POISON_MEMORY_REGION
#define ASAN_POISON_MEMORY_REGION(addr, size) ((void)(addr), (void)(size))
#define ASAN_UNPOISON_MEMORY_REGION(addr, size) ((void)(addr), (void)(size))
#endif

namespace platform {
namespace {

constexpr std::size_t kAlignment = 16;
constexpr std::size_t kFirstSegment = 64 * 1024;
constexpr std::size_t kHugePage = 2 * 1024 * 1024;
constexpr std::size_t kLargestSegment = 32 * 1024 * 1024;
// Blocks this large get a mapping of their own, given back when freed.
constexpr std::size_t kOwnMapping = 1024 * 1024;
constexpr std::size_t kBinBuckets = 64;

// Before every block. Under AddressSanitizer headers and freed blocks are
// poisoned, so a line written past its end or used after its release shows.
struct alignas(kAlignment) BlockHeader {
    std::size_t size;      // usable bytes, a multiple of kAlignment
    BlockHeader* nextFree; // while the block waits in its size's list
};

// Where the freed blocks of one size wait.
struct SizeBin {
    std::size_t size;
    BlockHeader* freeBlocks;
    SizeBin* next;
};

// Segments of destroyed heaps kept for the next ones, at most this much.
constexpr std::size_t kPooledBytes = 8 * 1024 * 1024;

// The start of every mapping a heap holds: segments and own-mapped blocks.
struct alignas(kAlignment) Mapping {
    Mapping* prev;
    Mapping* next;
    std::size_t bytes;
    std::size_t used; // of a segment: how far from its start it may hold data
};

struct SegmentPool {
    std::mutex lock;
    Mapping segments{&segments, &segments, 0, 0};
    std::size_t bytes = 0;
};

SegmentPool& segmentPool() {
    static SegmentPool pool;
    return pool;
}

struct PrivateHeap {
    SpinLock lock;
    Mapping segments{&segments, &segments, 0, 0}; // the newest first
    Mapping ownMappings{&ownMappings, &ownMappings, 0, 0};
    std::uint8_t* cursor = nullptr; // the free end of the newest segment
    std::uint8_t* limit = nullptr;
    std::size_t nextSegment = kFirstSegment;
    SizeBin* bins[kBinBuckets] = {};
    std::int64_t blocks = 0;
};

std::size_t roundUp(std::size_t bytes, std::size_t unit) {
    return (bytes + unit - 1) / unit * unit;
}

void link(Mapping& list, Mapping* mapping) {
    mapping->prev = &list;
    mapping->next = list.next;
    list.next->prev = mapping;
    list.next = mapping;
}

void unlink(Mapping* mapping) {
    mapping->prev->next = mapping->next;
    mapping->next->prev = mapping->prev;
}

// Poison must not outlive the memory: whatever is mapped there next is
// someone else's.
void unmap(Mapping* mapping) {
    const std::size_t bytes = mapping->bytes;
    ASAN_UNPOISON_MEMORY_REGION(mapping, bytes);
    munmap(mapping, bytes);
}

void unmapAll(Mapping& list) {
    for (Mapping* mapping = list.next; mapping != &list;) {
        Mapping* next = mapping->next;
        unmap(mapping);
        mapping = next;
    }
}

// Zeroed memory of `bytes`; whole huge pages where it spans them.
Mapping* mapMemory(std::size_t bytes) {
    const bool huge = bytes >= kHugePage;
    const std::size_t reserve = huge ? bytes + kHugePage : bytes;
    void* start =
        mmap(nullptr, reserve, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (start == MAP_FAILED)
        return nullptr;
    auto* base = static_cast<std::uint8_t*>(start);
    if (huge) {
        // Huge pages need 2 MB alignment: trim the reservation to it.
        const auto address = reinterpret_cast<std::uintptr_t>(base);
        std::uint8_t* aligned = base + (roundUp(address, kHugePage) - address);
        if (aligned > base)
            munmap(base, static_cast<std::size_t>(aligned - base));
        munmap(aligned + bytes, static_cast<std::size_t>(base + reserve - (aligned + bytes)));
        base = aligned;
        madvise(base, bytes, MADV_HUGEPAGE);
    }
    auto* mapping = new (base) Mapping{nullptr, nullptr, bytes, sizeof(Mapping)};
    return mapping;
}

// A pooled segment of at least `bytes`, the smallest there is, its memory
// zeroed; null when the pool has none.
Mapping* pooledSegment(std::size_t bytes) {
    SegmentPool& pool = segmentPool();
    const std::lock_guard<std::mutex> hold(pool.lock);
    Mapping* best = nullptr;
    for (Mapping* segment = pool.segments.next; segment != &pool.segments;
         segment = segment->next) {
        if (segment->bytes >= bytes && (!best || segment->bytes < best->bytes))
            best = segment;
    }
    if (best) {
        unlink(best);
        pool.bytes -= best->bytes;
    }
    return best;
}

// A destroyed heap's segment to the pool, cleared, or to the system when the
// pool is full.
void poolOrUnmap(Mapping* segment) {
    ASAN_UNPOISON_MEMORY_REGION(segment, segment->bytes);
    std::memset(segment + 1, 0, segment->used - sizeof(Mapping));
    segment->used = sizeof(Mapping);
    ASAN_POISON_MEMORY_REGION(segment + 1, segment->bytes - sizeof(Mapping));
    SegmentPool& pool = segmentPool();
    {
        const std::lock_guard<std::mutex> hold(pool.lock);
        if (pool.bytes + segment->bytes <= kPooledBytes) {
            pool.bytes += segment->bytes;
            link(pool.segments, segment);
            return;
        }
    }
    unmap(segment);
}

// Where the heap's newest segment is used to: its cursor.
void noteUse(PrivateHeap& heap) {
    if (heap.cursor) {
        Mapping* newest = heap.segments.next;
        newest->used =
            static_cast<std::size_t>(heap.cursor - reinterpret_cast<std::uint8_t*>(newest));
    }
}

// Takes `bytes` from the newest segment, mapping a larger one when it is
// used up; null when no memory can be had. The caller holds the lock.
std::uint8_t* carve(PrivateHeap& heap, std::size_t bytes) {
    if (heap.cursor && static_cast<std::size_t>(heap.limit - heap.cursor) >= bytes) {
        std::uint8_t* at = heap.cursor;
        heap.cursor += bytes;
        return at;
    }
    std::size_t size = heap.nextSegment;
    while (size < bytes + sizeof(Mapping))
        size *= 2;
    Mapping* segment = pooledSegment(size);
    if (segment)
        size = segment->bytes;
    else if (!(segment = mapMemory(size)))
        return nullptr;
    noteUse(heap);
    link(heap.segments, segment);
    // Small heaps stay small; a heap that outgrows its first segment goes to
    // huge pages at once.
    heap.nextSegment = size < kHugePage ? kHugePage : size < kLargestSegment ? 2 * size : size;
    heap.cursor = reinterpret_cast<std::uint8_t*>(segment + 1);
    heap.limit = reinterpret_cast<std::uint8_t*>(segment) + size;
    ASAN_POISON_MEMORY_REGION(heap.cursor, static_cast<std::size_t>(heap.limit - heap.cursor));
    std::uint8_t* at = heap.cursor;
    heap.cursor += bytes;
    return at;
}

// The list of freed blocks of `size`, made when `create` asks for it and
// memory allows; null otherwise. The caller holds the lock.
SizeBin* binFor(PrivateHeap& heap, std::size_t size, bool create) {
    SizeBin*& bucket = heap.bins[(size / kAlignment) % kBinBuckets];
    for (SizeBin* bin = bucket; bin; bin = bin->next) {
        if (bin->size == size)
            return bin;
    }
    if (!create)
        return nullptr;
    std::uint8_t* memory = carve(heap, roundUp(sizeof(SizeBin), kAlignment));
    if (!memory)
        return nullptr;
    ASAN_UNPOISON_MEMORY_REGION(memory, sizeof(SizeBin));
    auto* bin = new (memory) SizeBin{size, nullptr, bucket};
    bucket = bin;
    return bin;
}

// A zeroed block of `size` usable bytes. The caller holds the lock.
BlockHeader* takeBlock(PrivateHeap& heap, std::size_t size) {
    BlockHeader* block = nullptr;
    if (size >= kOwnMapping) {
        Mapping* mapping = mapMemory(sizeof(Mapping) + sizeof(BlockHeader) + size);
        if (!mapping)
            return nullptr;
        link(heap.ownMappings, mapping);
        block = reinterpret_cast<BlockHeader*>(mapping + 1);
    } else if (SizeBin* bin = binFor(heap, size, false); bin && bin->freeBlocks) {
        block = bin->freeBlocks;
        ASAN_UNPOISON_MEMORY_REGION(block, sizeof(BlockHeader));
        bin->freeBlocks = block->nextFree;
        ASAN_UNPOISON_MEMORY_REGION(block + 1, size);
        std::memset(block + 1, 0, size);
    } else if (std::uint8_t* memory = carve(heap, sizeof(BlockHeader) + size)) {
        ASAN_UNPOISON_MEMORY_REGION(memory, sizeof(BlockHeader) + size);
        block = reinterpret_cast<BlockHeader*>(memory);
    } else {
        return nullptr;
    }
    *block = {size, nullptr};
    ASAN_POISON_MEMORY_REGION(block, sizeof(BlockHeader));
    return block;
}

// Gives a block back: its own mapping to the system, any other to the list
// of its size. The caller holds the lock.
void giveBack(PrivateHeap& heap, BlockHeader* block) {
    ASAN_UNPOISON_MEMORY_REGION(block, sizeof(BlockHeader));
    const std::size_t size = block->size;
    if (size >= kOwnMapping) {
        Mapping* mapping = reinterpret_cast<Mapping*>(block) - 1;
        unlink(mapping);
        unmap(mapping);
        return;
    }
    // Without a list for its size the block stays unused until the heap goes.
    if (SizeBin* bin = binFor(heap, size, true)) {
        block->nextFree = bin->freeBlocks;
        bin->freeBlocks = block;
    }
    ASAN_POISON_MEMORY_REGION(block, sizeof(BlockHeader) + size);
}

} // namespace

HeapHandle heapCreate() {
    if (!host::allocationAllowed())
        return nullptr;
    auto* heap = new (std::nothrow) PrivateHeap;
    if (heap)
        host::countLive(1);
    return heap;
}

void* heapAllocZero(HeapHandle handle, std::size_t bytes) {
    auto* heap = static_cast<PrivateHeap*>(handle);
    if (!heap || !host::allocationAllowed() || bytes > SIZE_MAX / 4)
        return nullptr;
    const std::size_t size = roundUp(bytes ? bytes : 1, kAlignment);
    std::lock_guard<SpinLock> guard(heap->lock);
    BlockHeader* block = takeBlock(*heap, size);
    if (!block)
        return nullptr;
    ++heap->blocks;
    host::countLive(1);
    return block + 1;
}

bool heapFree(HeapHandle handle, void* data) {
    auto* heap = static_cast<PrivateHeap*>(handle);
    if (!heap || !data)
        return false;
    std::lock_guard<SpinLock> guard(heap->lock);
    giveBack(*heap, static_cast<BlockHeader*>(data) - 1);
    --heap->blocks;
    host::countLive(-1);
    return true;
}

bool heapDestroy(HeapHandle handle) {
    auto* heap = static_cast<PrivateHeap*>(handle);
    if (!heap)
        return false;
    unmapAll(heap->ownMappings);
    noteUse(*heap);
    for (Mapping* segment = heap->segments.next; segment != &heap->segments;) {
        Mapping* next = segment->next;
        poolOrUnmap(segment);
        segment = next;
    }
    host::countLive(-(heap->blocks + 1));
    delete heap;
    return true;
}

} // namespace platform

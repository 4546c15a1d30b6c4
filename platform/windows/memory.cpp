// Private heaps and global memory are the system's own on Windows.
#include "platform/memory.h"

#include <windows.h>

namespace platform {

HeapHandle heapCreate() {
    return HeapCreate(0, 0, 0);
}

void* heapAllocZero(HeapHandle heap, std::size_t bytes) {
    return HeapAlloc(static_cast<HANDLE>(heap), HEAP_ZERO_MEMORY, bytes);
}

bool heapFree(HeapHandle heap, void* block) {
    return HeapFree(static_cast<HANDLE>(heap), 0, block) != FALSE;
}

bool heapDestroy(HeapHandle heap) {
    return HeapDestroy(static_cast<HANDLE>(heap)) != FALSE;
}

void* globalAllocZero(std::size_t bytes) {
    return GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, bytes);
}

void* globalAlloc(std::size_t bytes) {
    return GlobalAlloc(GMEM_FIXED, bytes);
}

void globalFree(void* block) {
    if (block)
        GlobalFree(block);
}

} // namespace platform

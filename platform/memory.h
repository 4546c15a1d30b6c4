// Memory services: a private growable heap per device and the process's
// global memory. Every allocation is zero-filled unless its name says
// otherwise; a failed allocation is a null pointer, never an exception.
#pragma once

#include <cstddef>

namespace platform {

using HeapHandle = void*;

// A growable private heap with no options; null when it cannot be created.
HeapHandle heapCreate();
void* heapAllocZero(HeapHandle heap, std::size_t bytes);
bool heapFree(HeapHandle heap, void* block);
// Releases the heap and every block still allocated from it.
bool heapDestroy(HeapHandle heap);

// Fixed global memory.
void* globalAllocZero(std::size_t bytes);
void* globalAlloc(std::size_t bytes);
void globalFree(void* block);

} // namespace platform

// Controls that the host build's stand-ins offer to tests and tools. They do
// not exist in the Windows build.
#pragma once

#include <cstdint>
#include <string>

namespace platform::host {

// Makes the nth allocation from now fail (1 = the next one), counting heap
// creation, heap blocks and global blocks alike; 0 switches it off.
void failNthAllocation(std::int64_t n);
// Allocations attempted since the process started.
std::int64_t allocationCount();
// Blocks (heaps, heap blocks, global blocks) currently held.
std::int64_t liveAllocations();

// Everything written to the debug output since the last call.
std::string takeDebugOutput();

} // namespace platform::host

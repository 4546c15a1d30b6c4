// What the host's memory stand-ins share: the count of allocations, the one
// chosen to fail, and the count of blocks held.
#pragma once

#include <cstdint>

namespace platform::host {

// Counts an allocation attempt and says whether it may succeed.
bool allocationAllowed();
// Blocks (heaps, heap blocks, global blocks) gained or given back.
void countLive(std::int64_t delta);

} // namespace platform::host

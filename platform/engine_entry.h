// Finds one of the graphics engine's exported services by its name; null
// when the platform offers no such service.
#pragma once

namespace platform {

void* findEngineEntry(const char* name);

} // namespace platform

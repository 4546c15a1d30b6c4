// The platform's debug output channel: receives a text unchanged.
#pragma once

namespace platform {

void outputDebugString(const char* text);

} // namespace platform

// The calling thread's last error code.
#pragma once

#include <cstdint>

namespace platform {

void setLastError(std::uint32_t code);
std::uint32_t lastError();

} // namespace platform

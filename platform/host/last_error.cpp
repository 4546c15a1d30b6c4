#include "platform/last_error.h"

namespace platform {
namespace {
thread_local std::uint32_t threadLastError = 0;
}

void setLastError(std::uint32_t code) {
    threadLastError = code;
}

std::uint32_t lastError() {
    return threadLastError;
}

} // namespace platform

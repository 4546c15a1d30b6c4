// The platform's scaling on Windows.
#include "platform/muldiv.h"

#include <windows.h>

namespace platform {

// The system's own MulDiv, with the same rounding and failures.
std::int32_t mulDiv(std::int32_t number, std::int32_t numerator, std::int32_t denominator) {
    return MulDiv(number, numerator, denominator);
}

} // namespace platform

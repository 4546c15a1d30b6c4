#include "plugin/debug_print.h"

#include "platform/debug_output.h"
#include "platform/memory.h"

#include <cstdarg>
#include <cstdio>

int debugPrint(const char* format, ...) {
    if (!format)
        return 0;
    for (std::size_t capacity = 1024;; capacity *= 2) {
        auto* buffer = static_cast<char*>(platform::globalAlloc(capacity + 1));
        if (!buffer)
            return 0;
        va_list args;
        va_start(args, format);
        const int length = std::vsnprintf(buffer, capacity + 1, format, args);
        va_end(args);
        if (length >= 0 && static_cast<std::size_t>(length) <= capacity) {
            platform::outputDebugString(buffer);
            platform::globalFree(buffer);
            return 1;
        }
        platform::globalFree(buffer);
        if (length < 0)
            return 0;
    }
}

void reportAssertion(bool holds, const char* text, const char* file, int line) {
    if (!holds)
        debugPrint("Assertion failed: %s, file %s, line %d\r\n", text, file, line);
}

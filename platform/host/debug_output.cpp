// Host debug output: kept in memory for tests, and echoed to standard error
// when LABEL_DEBUG_OUTPUT is set, as a debugger would show it.
#include "platform/debug_output.h"
#include "platform/host/test_controls.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace platform {
namespace {
std::mutex outputLock;
std::string captured;
} // namespace

void outputDebugString(const char* text) {
    std::lock_guard guard(outputLock);
    captured += text;
    if (std::getenv("LABEL_DEBUG_OUTPUT"))
        std::fputs(text, stderr);
}

namespace host {
std::string takeDebugOutput() {
    std::lock_guard guard(outputLock);
    std::string out;
    out.swap(captured);
    return out;
}
} // namespace host
} // namespace platform

#include "platform/threads.h"

#include <windows.h>

namespace platform {

void yieldThread() {
    SwitchToThread();
}

} // namespace platform

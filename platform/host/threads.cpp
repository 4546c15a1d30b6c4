#include "platform/threads.h"

#include <sched.h>

namespace platform {
void yieldThread() {
    sched_yield();
}
} // namespace platform

// The one thread service the plug-in needs: giving up the processor while
// another thread holds a short lock.
#pragma once

#include <atomic>

namespace platform {

void yieldThread();

// A lock for module-wide state that devices on several threads share. Held
// only for a few instructions or one file read.
class SpinLock {
  public:
    void lock() {
        while (held.test_and_set(std::memory_order_acquire))
            yieldThread();
    }
    void unlock() { held.clear(std::memory_order_release); }

  private:
    std::atomic_flag held = ATOMIC_FLAG_INIT;
};

} // namespace platform

// The clock the benchmarks time with: the calling thread's CPU time, user and
// system, so that on a busy machine time spent waiting for a processor does
// not count against a run. Elsewhere than Linux, wall time.
#pragma once

#include <chrono>
#include <ctime>

struct RunClock {
    using duration = std::chrono::nanoseconds;
    using rep = duration::rep;
    using period = duration::period;
    using time_point = std::chrono::time_point<RunClock>;
    static constexpr bool is_steady = true;
    static time_point now() {
#ifdef __linux__
        timespec ts{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
        return time_point(duration(ts.tv_sec * 1000000000LL + ts.tv_nsec));
#else
        return time_point(std::chrono::duration_cast<duration>(
            std::chrono::steady_clock::now().time_since_epoch()));
#endif
    }
};

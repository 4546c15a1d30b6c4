// Pages come and go a megabyte and more at a time (a page's picture, its
// rendering, its bands). glibc gives the top of its heap back to the system
// as soon as a few megabytes of it are free, so each page of a long job
// faults its memory in again; a process printing page after page keeps it
// instead (what it keeps is what its largest page took). Elsewhere the
// system's allocator has its own ways.
#pragma once

#if defined(__GLIBC__)
#include <malloc.h>
#endif

inline void keepPageMemory() {
#if defined(__GLIBC__)
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 128 << 20);
#endif
}

// Marks the module's exported entry points. The Windows build names its
// exports in a .def file; the host build hides everything else.
#pragma once

#if defined(_WIN32)
#define MODULE_EXPORT
#else
#define MODULE_EXPORT __attribute__((visibility("default")))
#endif

// On the host the engine's services are whatever the loading process exports
// under their Windows names, as gdi32 exports them on Windows: the program
// that loads the plug-in supplies them.
#include "platform/engine_entry.h"

#include <dlfcn.h>

namespace platform {

void* findEngineEntry(const char* name) {
    return dlsym(RTLD_DEFAULT, name);
}

} // namespace platform

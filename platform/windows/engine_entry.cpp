// The engine's services are gdi32 exports on Windows. Where gdi32 lacks them
// (Wine has none), the program that loaded the plug-in may export them under
// the same names, which is how a test host supplies them.
#include "platform/engine_entry.h"

#include <windows.h>

namespace platform {

void* findEngineEntry(const char* name) {
    if (HMODULE gdi = GetModuleHandleA("gdi32.dll")) {
        if (FARPROC entry = GetProcAddress(gdi, name))
            return reinterpret_cast<void*>(entry);
    }
    return reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA(nullptr), name));
}

} // namespace platform

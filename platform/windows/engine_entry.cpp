// The engine's services are gdi32 exports on Windows. The program that
// loaded the plug-in is asked first: a spooler or an application exports none
// of these names, so there gdi32's are used, while the project's own Windows
// programs, which play the engine, get theirs used on Windows and under Wine
// (whose gdi32 has none) alike.
#include "platform/engine_entry.h"

#include <windows.h>

namespace platform {

void* findEngineEntry(const char* name) {
    if (FARPROC entry = GetProcAddress(GetModuleHandleA(nullptr), name))
        return reinterpret_cast<void*>(entry);
    if (HMODULE gdi = GetModuleHandleA("gdi32.dll"))
        return reinterpret_cast<void*>(GetProcAddress(gdi, name));
    return nullptr;
}

} // namespace platform

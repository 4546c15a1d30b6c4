// Loads the plug-in DLL with the loader's own calls, as Unidrv does. The few
// kernel32 entry points are declared here so that the stand-in's own
// declarations of the Windows types never meet the system headers.
#include "host/plugin_module.h"

extern "C" {
__declspec(dllimport) void* STDCALL LoadLibraryA(const char* name);
__declspec(dllimport) void* STDCALL GetProcAddress(void* module, const char* name);
__declspec(dllimport) int STDCALL FreeLibrary(void* module);
__declspec(dllimport) DWORD STDCALL GetLastError();
}

namespace standin {
namespace {

// The loader's lookup in the calling convention bindPluginModule takes.
void* exportNamed(void* module, const char* name) {
    return GetProcAddress(module, name);
}

} // namespace

bool loadPluginModule(const std::string& path, PluginModule& module, std::string& error) {
    void* handle = LoadLibraryA(path.c_str());
    if (!handle) {
        error = path + ": cannot load the plug-in (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    if (!bindPluginModule(path, handle, exportNamed, module, error)) {
        FreeLibrary(handle);
        return false;
    }
    return true;
}

void unloadPluginModule(PluginModule& module) {
    if (module.handle)
        FreeLibrary(module.handle);
    module = {};
}

} // namespace standin

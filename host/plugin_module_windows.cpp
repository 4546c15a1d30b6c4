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

bool loadPluginModule(const std::string& path, PluginModule& module, std::string& error) {
    void* handle = LoadLibraryA(path.c_str());
    if (!handle) {
        error = path + ": cannot load the plug-in (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    auto getClassObject =
        functionCast<PFN_DllGetClassObject>(GetProcAddress(handle, "DllGetClassObject"));
    auto canUnloadNow =
        functionCast<PFN_DllCanUnloadNow>(GetProcAddress(handle, "DllCanUnloadNow"));
    if (!getClassObject || !canUnloadNow) {
        FreeLibrary(handle);
        error = path + ": not a plug-in module (DllGetClassObject or DllCanUnloadNow missing)";
        return false;
    }
    module = {getClassObject, canUnloadNow, handle};
    return true;
}

void unloadPluginModule(PluginModule& module) {
    if (module.handle)
        FreeLibrary(module.handle);
    module = {};
}

} // namespace standin

#include "host/plugin_module.h"

#include <dlfcn.h>

namespace standin {

bool loadPluginModule(const std::string& path, PluginModule& module, std::string& error) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* reason = dlerror();
        error = path + ": cannot load the plug-in (" + (reason ? reason : "unknown error") + ")";
        return false;
    }
    auto getClassObject =
        reinterpret_cast<PFN_DllGetClassObject>(dlsym(handle, "DllGetClassObject"));
    auto canUnloadNow = reinterpret_cast<PFN_DllCanUnloadNow>(dlsym(handle, "DllCanUnloadNow"));
    if (!getClassObject || !canUnloadNow) {
        dlclose(handle);
        error = path + ": not a plug-in module (DllGetClassObject or DllCanUnloadNow missing)";
        return false;
    }
    module = {getClassObject, canUnloadNow, handle};
    return true;
}

void unloadPluginModule(PluginModule& module) {
    if (module.handle)
        dlclose(module.handle);
    module = {};
}

} // namespace standin

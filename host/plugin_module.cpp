#include "host/plugin_module.h"

namespace standin {

bool bindPluginModule(const std::string& path, void* handle,
                      void* (*lookup)(void* handle, const char* name), PluginModule& module,
                      std::string& error) {
    auto getClassObject = functionCast<PFN_DllGetClassObject>(lookup(handle, "DllGetClassObject"));
    auto canUnloadNow = functionCast<PFN_DllCanUnloadNow>(lookup(handle, "DllCanUnloadNow"));
    if (!getClassObject || !canUnloadNow) {
        error = path + ": not a plug-in module (DllGetClassObject or DllCanUnloadNow missing)";
        return false;
    }
    module = {getClassObject, canUnloadNow, handle};
    return true;
}

} // namespace standin

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
    if (!bindPluginModule(path, handle, dlsym, module, error)) {
        dlclose(handle);
        return false;
    }
    return true;
}

void unloadPluginModule(PluginModule& module) {
    if (module.handle)
        dlclose(module.handle);
    module = {};
}

} // namespace standin

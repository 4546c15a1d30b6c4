// The plug-in module as a host sees it: a file with two exports.
#pragma once

#include "platform/com.h"

#include <string>

namespace standin {

struct PluginModule {
    PFN_DllGetClassObject DllGetClassObject = nullptr;
    PFN_DllCanUnloadNow DllCanUnloadNow = nullptr;
    void* handle = nullptr; // the loaded library; null when the module is linked in
};

// Loads the module and resolves its two exports by name, as Unidrv does.
bool loadPluginModule(const std::string& path, PluginModule& module, std::string& error);

// Takes a loaded library as the module when it has both exports; `lookup`
// finds an export by name. False, with `error` set, when one is missing.
bool bindPluginModule(const std::string& path, void* handle,
                      void* (*lookup)(void* handle, const char* name), PluginModule& module,
                      std::string& error);
void unloadPluginModule(PluginModule& module);

} // namespace standin

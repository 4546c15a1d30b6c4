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
void unloadPluginModule(PluginModule& module);

} // namespace standin

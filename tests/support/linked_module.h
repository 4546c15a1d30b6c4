// The plug-in linked into the test program, reached through its two exports
// as a host reaches the loaded module.
#pragma once

#include "host/plugin_module.h"

extern "C" HRESULT STDCALL DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv);
extern "C" HRESULT STDCALL DllCanUnloadNow();

inline standin::PluginModule linkedModule() {
    return {&DllGetClassObject, &DllCanUnloadNow, nullptr};
}

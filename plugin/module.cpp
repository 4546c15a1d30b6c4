// The module's two exports. The Windows build also has DllMain, which keeps
// nothing.
#include "platform/export.h"
#include "platform/unidrv.h"
#include "plugin/class_factory.h"

#include <new>

extern "C" MODULE_EXPORT HRESULT STDCALL DllGetClassObject(REFCLSID rclsid, REFIID riid,
                                                           void** ppv) {
    if (!isEqualGuid(rclsid, CLSID_OEMRENDER))
        return CLASS_E_CLASSNOTAVAILABLE;
    auto* factory = new (std::nothrow) OemClassFactory;
    if (!factory)
        return E_OUTOFMEMORY;
    const HRESULT result = factory->QueryInterface(riid, ppv);
    factory->Release();
    return result;
}

extern "C" MODULE_EXPORT HRESULT STDCALL DllCanUnloadNow() {
    return lockCount.load() == 0 ? S_OK : S_FALSE;
}

#if defined(_WIN32)
extern "C" BOOL STDCALL DllMain(void*, DWORD, void*) { return TRUE; }
#endif

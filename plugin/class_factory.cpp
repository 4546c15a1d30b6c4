#include "plugin/class_factory.h"

#include "platform/unidrv.h"
#include "plugin/intrface.h"
#include "plugin/ref_count.h"

#include <new>

std::atomic<LONG> lockCount{0};

HRESULT STDCALL OemClassFactory::QueryInterface(REFIID riid, void** ppv) {
    if (isEqualGuid(riid, IID_IUnknown) || isEqualGuid(riid, IID_IClassFactory)) {
        *ppv = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG STDCALL OemClassFactory::AddRef() { return sharedAddRef(m_cRef); }

ULONG STDCALL OemClassFactory::Release() {
    if (sharedRelease(m_cRef) != 0)
        return static_cast<ULONG>(m_cRef.load());
    delete this;
    return 0;
}

HRESULT STDCALL OemClassFactory::CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv) {
    if (pUnkOuter)
        return CLASS_E_NOAGGREGATION;
    auto* object = new (std::nothrow) IOEMUni;
    if (!object)
        return E_OUTOFMEMORY;
    const HRESULT result = object->QueryInterface(riid, ppv);
    object->Release();
    return result;
}

HRESULT STDCALL OemClassFactory::LockServer(BOOL fLock) {
    if (fLock)
        ++lockCount;
    else
        --lockCount;
    return S_OK;
}

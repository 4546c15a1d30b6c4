// The class factory of the module's one class, and the server lock count.
#pragma once

#include "platform/com.h"

#include <atomic>

// LockServer calls not yet matched; the only thing that holds the module.
extern std::atomic<LONG> lockCount;

class OemClassFactory final : public IClassFactory {
  public:
    std::atomic<LONG> m_cRef{1}; // first data member, as in IOEMUni

    HRESULT STDCALL QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDCALL AddRef() override;
    ULONG STDCALL Release() override;
    HRESULT STDCALL CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv) override;
    HRESULT STDCALL LockServer(BOOL fLock) override;
};

// The COM declarations the module needs: GUIDs and the two base interfaces.
// Method tables keep the published slot order; no interface declares a
// virtual destructor, which would add slots.
#pragma once

#include "platform/win_types.h"

#include <cstring>

struct GUID {
    DWORD Data1;
    WORD Data2;
    WORD Data3;
    BYTE Data4[8];
};
static_assert(sizeof(GUID) == 16);

using IID = GUID;
using CLSID = GUID;
using REFIID = const IID&;
using REFCLSID = const CLSID&;

// Two identifiers are the same when all sixteen bytes are.
inline bool isEqualGuid(const GUID& a, const GUID& b) {
    return std::memcmp(&a, &b, sizeof(GUID)) == 0;
}

inline constexpr IID IID_IUnknown = {
    0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID IID_IClassFactory = {
    0x00000001, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

struct IUnknown {
    virtual HRESULT STDCALL QueryInterface(REFIID riid, void** ppv) = 0;
    virtual ULONG STDCALL AddRef() = 0;
    virtual ULONG STDCALL Release() = 0;
};

struct IClassFactory : IUnknown {
    virtual HRESULT STDCALL CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv) = 0;
    virtual HRESULT STDCALL LockServer(BOOL fLock) = 0;
};

// The module's two exports, as a host resolves them.
using PFN_DllGetClassObject = HRESULT(STDCALL*)(REFCLSID, REFIID, void**);
using PFN_DllCanUnloadNow = HRESULT(STDCALL*)();

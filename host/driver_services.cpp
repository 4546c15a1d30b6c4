#include "host/driver_services.h"

#include "host/device.h"

namespace standin {

HRESULT STDCALL DriverServices::QueryInterface(REFIID riid, void** ppv) {
    if (isEqualGuid(riid, IID_IUnknown) || isEqualGuid(riid, IID_IPrintOemDriverUni)) {
        *ppv = static_cast<IPrintOemDriverUni*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG STDCALL DriverServices::AddRef() {
    return static_cast<ULONG>(++refs);
}

ULONG STDCALL DriverServices::Release() {
    return static_cast<ULONG>(--refs);
}

HRESULT STDCALL DriverServices::DrvGetDriverSetting(PVOID, const char*, PVOID, DWORD, PDWORD,
                                                    PDWORD) {
    return E_NOTIMPL;
}

HRESULT STDCALL DriverServices::DrvWriteSpoolBuf(PDEVOBJ pdevobj, PVOID pBuffer, DWORD cbSize,
                                                 DWORD* pdwResult) {
    const DWORD taken = Device::of(pdevobj).takeSpoolBytes(pBuffer, cbSize, kThroughDriverServices);
    if (pdwResult)
        *pdwResult = taken;
    return S_OK;
}

HRESULT STDCALL DriverServices::DrvXMoveTo(PDEVOBJ, INT, DWORD, INT*) {
    return E_NOTIMPL;
}

HRESULT STDCALL DriverServices::DrvYMoveTo(PDEVOBJ, INT, DWORD, INT*) {
    return E_NOTIMPL;
}

HRESULT STDCALL DriverServices::DrvGetStandardVariable(PDEVOBJ, DWORD, PVOID, DWORD, PDWORD) {
    return E_NOTIMPL;
}

HRESULT STDCALL DriverServices::DrvGetGPDData(PDEVOBJ, DWORD, PVOID, PVOID, DWORD, PDWORD) {
    return E_NOTIMPL;
}

HRESULT STDCALL DriverServices::DrvUniTextOut(SURFOBJ*, STROBJ*, FONTOBJ*, CLIPOBJ*, RECTL*, RECTL*,
                                              BRUSHOBJ*, BRUSHOBJ*, POINTL*, MIX) {
    return E_NOTIMPL;
}

HRESULT STDCALL DriverServices::DrvWriteAbortBuf(PDEVOBJ, PVOID, DWORD, DWORD) {
    return E_NOTIMPL;
}

} // namespace standin

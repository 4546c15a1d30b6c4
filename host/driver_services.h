// Unidrv's driver services object, which the plug-in takes and releases. Its
// reference count shows whether the plug-in let go of it.
#pragma once

#include "platform/unidrv.h"

#include <atomic>

namespace standin {

class DriverServices final : public IPrintOemDriverUni {
  public:
    LONG references() const { return refs.load(); }

    HRESULT STDCALL QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDCALL AddRef() override;
    ULONG STDCALL Release() override;
    HRESULT STDCALL DrvGetDriverSetting(PVOID, const char*, PVOID, DWORD, PDWORD, PDWORD) override;
    HRESULT STDCALL DrvWriteSpoolBuf(PDEVOBJ pdevobj, PVOID pBuffer, DWORD cbSize,
                                     DWORD* pdwResult) override;
    HRESULT STDCALL DrvXMoveTo(PDEVOBJ, INT, DWORD, INT*) override;
    HRESULT STDCALL DrvYMoveTo(PDEVOBJ, INT, DWORD, INT*) override;
    HRESULT STDCALL DrvGetStandardVariable(PDEVOBJ, DWORD, PVOID, DWORD, PDWORD) override;
    HRESULT STDCALL DrvGetGPDData(PDEVOBJ, DWORD, PVOID, PVOID, DWORD, PDWORD) override;
    HRESULT STDCALL DrvUniTextOut(SURFOBJ*, STROBJ*, FONTOBJ*, CLIPOBJ*, RECTL*, RECTL*, BRUSHOBJ*,
                                  BRUSHOBJ*, POINTL*, MIX) override;
    HRESULT STDCALL DrvWriteAbortBuf(PDEVOBJ, PVOID, DWORD, DWORD) override;

  private:
    // The host owns the object; the count only tracks the plug-in's share.
    std::atomic<LONG> refs{1};
};

} // namespace standin

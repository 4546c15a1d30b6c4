#include "plugin/intrface.h"

#include "page/band_capture.h"
#include "platform/last_error.h"
#include "plugin/debug_print.h"
#include "plugin/driver_lifecycle.h"
#include "plugin/ref_count.h"
#include "settings/command_callback.h"
#include "settings/oem_devmode.h"
#include "text/text_hook.h"

#include <cstring>
#include <new>

HRESULT STDCALL IOEMUni::QueryInterface(REFIID riid, void** ppv) {
    if (isEqualGuid(riid, IID_IUnknown) || isEqualGuid(riid, IID_IPrintOemUni)) {
        *ppv = static_cast<IPrintOemUni*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG STDCALL IOEMUni::AddRef() {
    return sharedAddRef(m_cRef);
}

ULONG STDCALL IOEMUni::Release() {
    if (sharedRelease(m_cRef) != 0)
        return static_cast<ULONG>(m_cRef.load());
    if (driverHelp) {
        driverHelp->Release();
        driverHelp = nullptr;
    }
    reportAssertion(m_cRef.load() == 0, "0 == m_cRef", "intrface", 100);
    delete this;
    return 0;
}

HRESULT STDCALL IOEMUni::GetInfo(DWORD dwMode, PVOID pBuffer, DWORD cbSize, PDWORD pcbNeeded) {
    if (!pcbNeeded || (dwMode != OEMGI_GETSIGNATURE && dwMode != OEMGI_GETVERSION &&
                       dwMode != OEMGI_GETPUBLISHERINFO)) {
        platform::setLastError(ERROR_INVALID_PARAMETER);
        return E_FAIL;
    }
    if (dwMode == OEMGI_GETPUBLISHERINFO) {
        *pcbNeeded = 8; // the size of publisher information, which is never given
        return E_FAIL;
    }
    *pcbNeeded = sizeof(DWORD);
    if (cbSize < sizeof(DWORD) || !pBuffer) {
        platform::setLastError(ERROR_INSUFFICIENT_BUFFER);
        return E_FAIL;
    }
    const DWORD value = dwMode == OEMGI_GETSIGNATURE ? kPluginSignature : kPluginVersion;
    std::memcpy(pBuffer, &value, sizeof value);
    return S_OK;
}

HRESULT STDCALL IOEMUni::DevMode(DWORD dwMode, OEMDMPARAM* pOemDMParam) {
    return handleDevModeRequest(dwMode, pOemDMParam);
}

HRESULT STDCALL IOEMUni::EnableDriver(DWORD, DWORD, DRVENABLEDATA* pded) {
    return enableDriver(pded);
}

HRESULT STDCALL IOEMUni::DisableDriver() {
    if (driverHelp) {
        driverHelp->Release();
        driverHelp = nullptr;
    }
    return S_OK;
}

HRESULT STDCALL IOEMUni::EnablePDEV(PDEVOBJ, PWSTR, ULONG, HSURF*, ULONG, GDIINFO*, ULONG,
                                    DEVINFO* pDevInfo, DRVENABLEDATA* pded, PVOID* pDevOem) {
    return enablePdev(pDevInfo, pded, pDevOem, driverHelp);
}

HRESULT STDCALL IOEMUni::DisablePDEV(PDEVOBJ pdevobj) {
    return disablePdev(pdevobj);
}

HRESULT STDCALL IOEMUni::ResetPDEV(PDEVOBJ, PDEVOBJ) {
    return S_OK;
}

HRESULT STDCALL IOEMUni::PublishDriverInterface(IUnknown* pIUnknown) {
    if (driverHelp)
        return S_OK;
    void* services = nullptr;
    const HRESULT result =
        pIUnknown ? pIUnknown->QueryInterface(IID_IPrintOemDriverUni, &services) : E_FAIL;
    if (!SUCCEEDED(result) || !services) {
        driverHelp = nullptr;
        return E_FAIL;
    }
    driverHelp = static_cast<IPrintOemDriverUni*>(services);
    return S_OK;
}

HRESULT STDCALL IOEMUni::GetImplementedMethod(PSTR pMethodName) {
    if (pMethodName && (std::strcmp(pMethodName, "ImageProcessing") == 0 ||
                        std::strcmp(pMethodName, "CommandCallback") == 0))
        return S_OK;
    return S_FALSE;
}

HRESULT STDCALL IOEMUni::DriverDMS(PVOID, PVOID, DWORD, PDWORD) {
    return S_OK;
}

HRESULT STDCALL IOEMUni::CommandCallback(PDEVOBJ pdevobj, DWORD dwCallbackID, DWORD, PDWORD,
                                         INT* piResult) {
    return commandCallback(pdevobj, dwCallbackID, piResult);
}

HRESULT STDCALL IOEMUni::ImageProcessing(PDEVOBJ pdevobj, PBYTE pSrcBitmap,
                                         BITMAPINFOHEADER* pBitmapInfoHeader, PBYTE,
                                         DWORD dwCallbackID, IPPARAMS* pIPParams,
                                         PBYTE* ppbResult) {
    return captureBand(pdevobj, pSrcBitmap, pBitmapInfoHeader, dwCallbackID, pIPParams, ppbResult);
}

HRESULT STDCALL IOEMUni::FilterGraphics(PDEVOBJ, PBYTE, DWORD) {
    return E_NOTIMPL;
}

HRESULT STDCALL IOEMUni::Compression(PDEVOBJ, PBYTE, PBYTE, DWORD, DWORD, INT*) {
    return E_NOTIMPL;
}

HRESULT STDCALL IOEMUni::HalftonePattern(PDEVOBJ, PBYTE, DWORD, DWORD, DWORD, DWORD, PBYTE, DWORD) {
    return E_NOTIMPL;
}

HRESULT STDCALL IOEMUni::MemoryUsage(PDEVOBJ, OEMMEMORYUSAGE*) {
    return E_NOTIMPL;
}

HRESULT STDCALL IOEMUni::TTYGetInfo(PDEVOBJ, DWORD, PVOID, DWORD, DWORD*) {
    return E_NOTIMPL;
}

HRESULT STDCALL IOEMUni::DownloadFontHeader(PDEVOBJ, UNIFONTOBJ*, DWORD*) {
    return E_NOTIMPL;
}

HRESULT STDCALL IOEMUni::DownloadCharGlyph(PDEVOBJ, UNIFONTOBJ*, HGLYPH, PDWORD, DWORD*) {
    return E_NOTIMPL;
}

HRESULT STDCALL IOEMUni::TTDownloadMethod(PDEVOBJ, UNIFONTOBJ*, DWORD*) {
    return E_NOTIMPL;
}

HRESULT STDCALL IOEMUni::OutputCharStr(PDEVOBJ, UNIFONTOBJ*, DWORD, DWORD, PVOID) {
    debugPrint("IOEMUni::OutputCharStr() entry.\r\n");
    return E_NOTIMPL;
}

HRESULT STDCALL IOEMUni::SendFontCmd(PDEVOBJ, UNIFONTOBJ*, FINVOCATION*) {
    return E_NOTIMPL;
}

HRESULT STDCALL IOEMUni::TextOutAsBitmap(SURFOBJ* pso, STROBJ* pstro, FONTOBJ* pfo, CLIPOBJ* pco,
                                         RECTL* prclExtra, RECTL* prclOpaque, BRUSHOBJ* pboFore,
                                         BRUSHOBJ* pboOpaque, POINTL* pptlOrg, MIX mix) {
    DrvTextOut(pso, pstro, pfo, pco, prclExtra, prclOpaque, pboFore, pboOpaque, pptlOrg, mix);
    return S_OK;
}

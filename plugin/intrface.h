// The rendering plug-in object Unidrv creates through the class factory.
#pragma once

#include "platform/unidrv.h"

#include <atomic>

inline constexpr DWORD kPluginSignature = 0x57504453; // "SDPW"
inline constexpr DWORD kPluginVersion = 1;

class IOEMUni final : public IPrintOemUni {
  public:
    // First data member, directly after the method table pointer.
    std::atomic<LONG> m_cRef{1};

    HRESULT STDCALL QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDCALL AddRef() override;
    ULONG STDCALL Release() override;
    HRESULT STDCALL GetInfo(DWORD dwMode, PVOID pBuffer, DWORD cbSize, PDWORD pcbNeeded) override;
    HRESULT STDCALL DevMode(DWORD dwMode, OEMDMPARAM* pOemDMParam) override;
    HRESULT STDCALL EnableDriver(DWORD DriverVersion, DWORD cbSize, DRVENABLEDATA* pded) override;
    HRESULT STDCALL DisableDriver() override;
    HRESULT STDCALL EnablePDEV(PDEVOBJ pdevobj, PWSTR pPrinterName, ULONG cPatterns,
                               HSURF* phsurfPatterns, ULONG cjGdiInfo, GDIINFO* pGdiInfo,
                               ULONG cjDevInfo, DEVINFO* pDevInfo, DRVENABLEDATA* pded,
                               PVOID* pDevOem) override;
    HRESULT STDCALL DisablePDEV(PDEVOBJ pdevobj) override;
    HRESULT STDCALL ResetPDEV(PDEVOBJ pdevobjOld, PDEVOBJ pdevobjNew) override;
    HRESULT STDCALL PublishDriverInterface(IUnknown* pIUnknown) override;
    HRESULT STDCALL GetImplementedMethod(PSTR pMethodName) override;
    HRESULT STDCALL DriverDMS(PVOID pDevObj, PVOID pBuffer, DWORD cbSize,
                              PDWORD pcbNeeded) override;
    HRESULT STDCALL CommandCallback(PDEVOBJ pdevobj, DWORD dwCallbackID, DWORD dwCount,
                                    PDWORD pdwParams, INT* piResult) override;
    HRESULT STDCALL ImageProcessing(PDEVOBJ pdevobj, PBYTE pSrcBitmap,
                                    BITMAPINFOHEADER* pBitmapInfoHeader, PBYTE pColorTable,
                                    DWORD dwCallbackID, IPPARAMS* pIPParams,
                                    PBYTE* ppbResult) override;
    HRESULT STDCALL FilterGraphics(PDEVOBJ pdevobj, PBYTE pBuf, DWORD dwLen) override;
    HRESULT STDCALL Compression(PDEVOBJ pdevobj, PBYTE pInBuf, PBYTE pOutBuf, DWORD dwInLen,
                                DWORD dwOutLen, INT* piResult) override;
    HRESULT STDCALL HalftonePattern(PDEVOBJ pdevobj, PBYTE pHTPattern, DWORD dwHTPatternX,
                                    DWORD dwHTPatternY, DWORD dwHTNumPatterns, DWORD dwCallbackID,
                                    PBYTE pResource, DWORD dwResourceSize) override;
    HRESULT STDCALL MemoryUsage(PDEVOBJ pdevobj, OEMMEMORYUSAGE* pMemoryUsage) override;
    HRESULT STDCALL TTYGetInfo(PDEVOBJ pdevobj, DWORD dwInfoIndex, PVOID pOutputBuf, DWORD dwSize,
                               DWORD* pcbcNeeded) override;
    HRESULT STDCALL DownloadFontHeader(PDEVOBJ pdevobj, UNIFONTOBJ* pUFObj,
                                       DWORD* pdwResult) override;
    HRESULT STDCALL DownloadCharGlyph(PDEVOBJ pdevobj, UNIFONTOBJ* pUFObj, HGLYPH hGlyph,
                                      PDWORD pdwWidth, DWORD* pdwResult) override;
    HRESULT STDCALL TTDownloadMethod(PDEVOBJ pdevobj, UNIFONTOBJ* pUFObj,
                                     DWORD* pdwResult) override;
    HRESULT STDCALL OutputCharStr(PDEVOBJ pdevobj, UNIFONTOBJ* pUFObj, DWORD dwType,
                                  DWORD dwCount, PVOID pGlyph) override;
    HRESULT STDCALL SendFontCmd(PDEVOBJ pdevobj, UNIFONTOBJ* pUFObj,
                                FINVOCATION* pFInv) override;
    HRESULT STDCALL TextOutAsBitmap(SURFOBJ* pso, STROBJ* pstro, FONTOBJ* pfo, CLIPOBJ* pco,
                                    RECTL* prclExtra, RECTL* prclOpaque, BRUSHOBJ* pboFore,
                                    BRUSHOBJ* pboOpaque, POINTL* pptlOrg, MIX mix) override;

  private:
    // Unidrv's driver services, holding one reference; only ever released.
    IPrintOemDriverUni* driverHelp = nullptr;
};

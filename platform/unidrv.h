// The Unidrv plug-in interface: the records Unidrv hands a rendering plug-in
// and the two COM interfaces between them, in their published order.
#pragma once

#include "platform/com.h"
#include "platform/ddi.h"
#include "platform/gdi.h"

struct DEVOBJ;
using PDEVOBJ = DEVOBJ*;

using PFN_DrvWriteSpoolBuf = DWORD(STDCALL*)(PDEVOBJ pdevobj, PVOID pBuffer, DWORD cbSize);

struct DRVPROCS {
    PFN_DrvWriteSpoolBuf DrvWriteSpoolBuf;
    PVOID DrvXMoveTo;
    PVOID DrvYMoveTo;
    PVOID DrvGetDriverSetting;
    PVOID BGetStandardVariable;
    PVOID DrvUnidriverTextOut;
    PVOID DrvWriteAbortBuf;
};
static_assert(offsetof(DRVPROCS, DrvWriteSpoolBuf) == 0 && sizeof(DRVPROCS) == byTarget(28, 56));

struct DEVOBJ {
    DWORD dwSize;
    PVOID pdevOEM;
    HANDLE hEngine;
    HANDLE hPrinter;
    HANDLE hOEM;
    DEVMODEW* pPublicDM;
    PVOID pOEMDM;
    DRVPROCS* pDrvProcs;
};
static_assert(sizeof(DEVOBJ) == byTarget(32, 64) && offsetof(DEVOBJ, pdevOEM) == byTarget(4, 8) &&
              offsetof(DEVOBJ, hEngine) == byTarget(8, 16) &&
              offsetof(DEVOBJ, hPrinter) == byTarget(12, 24) &&
              offsetof(DEVOBJ, hOEM) == byTarget(16, 32) &&
              offsetof(DEVOBJ, pPublicDM) == byTarget(20, 40) &&
              offsetof(DEVOBJ, pOEMDM) == byTarget(24, 48) &&
              offsetof(DEVOBJ, pDrvProcs) == byTarget(28, 56));

struct OEMDMPARAM {
    DWORD cbSize;
    PVOID pdriverobj;
    HANDLE hPrinter;
    HANDLE hModule;
    DEVMODEW* pPublicDMIn;
    DEVMODEW* pPublicDMOut;
    PVOID pOEMDMIn;
    PVOID pOEMDMOut;
    DWORD cbBufSize;
};
static_assert(sizeof(OEMDMPARAM) == byTarget(36, 72) &&
              offsetof(OEMDMPARAM, pdriverobj) == byTarget(4, 8) &&
              offsetof(OEMDMPARAM, hPrinter) == byTarget(8, 16) &&
              offsetof(OEMDMPARAM, hModule) == byTarget(12, 24) &&
              offsetof(OEMDMPARAM, pPublicDMIn) == byTarget(16, 32) &&
              offsetof(OEMDMPARAM, pPublicDMOut) == byTarget(20, 40) &&
              offsetof(OEMDMPARAM, pOEMDMIn) == byTarget(24, 48) &&
              offsetof(OEMDMPARAM, pOEMDMOut) == byTarget(28, 56) &&
              offsetof(OEMDMPARAM, cbBufSize) == byTarget(32, 64));

struct OEM_DMEXTRAHEADER {
    DWORD dwSize;
    DWORD dwSignature;
    DWORD dwVersion;
};
static_assert(sizeof(OEM_DMEXTRAHEADER) == 12);

struct IPPARAMS {
    DWORD dwSize;
    POINTL ptOffset;
    PSTR pHalftoneOption;
    BOOL bBanding;
    BOOL bBlankBand;
};
static_assert(sizeof(IPPARAMS) == byTarget(24, 32) && offsetof(IPPARAMS, ptOffset) == 4 &&
              offsetof(IPPARAMS, pHalftoneOption) == byTarget(12, 16) &&
              offsetof(IPPARAMS, bBanding) == byTarget(16, 24) &&
              offsetof(IPPARAMS, bBlankBand) == byTarget(20, 28));

struct OEMMEMORYUSAGE {
    DWORD dwFixedMemoryUsage;
    DWORD dwPercentMemoryUsage;
    DWORD dwMaxBandSize;
};

struct FINVOCATION {
    DWORD dwCount;
    PBYTE pubCommand;
};

struct UNIFONTOBJ {
    ULONG ulFontID;
    DWORD dwFlags;
    IFIMETRICS* pIFIMetrics;
    PVOID pfnGetInfo;
};

inline constexpr DWORD OEMGI_GETSIGNATURE = 1;
inline constexpr DWORD OEMGI_GETINTERFACEVERSION = 2;
inline constexpr DWORD OEMGI_GETVERSION = 3;
inline constexpr DWORD OEMGI_GETPUBLISHERINFO = 4;

inline constexpr DWORD OEMDM_SIZE = 1;
inline constexpr DWORD OEMDM_DEFAULT = 2;
inline constexpr DWORD OEMDM_CONVERT = 3;
inline constexpr DWORD OEMDM_MERGE = 4;

inline constexpr IID IID_IPrintOemUni = {
    0xD67EBBF0, 0x78BF, 0x11D1, {0x94, 0x80, 0x00, 0xA0, 0xC9, 0x06, 0x40, 0xB8}};
inline constexpr IID IID_IPrintOemDriverUni = {
    0xD67EBBF1, 0x78BF, 0x11D1, {0x94, 0x80, 0x00, 0xA0, 0xC9, 0x06, 0x40, 0xB8}};
// The one class every rendering plug-in serves.
inline constexpr CLSID CLSID_OEMRENDER = {
    0x6D6ABF26, 0x9F38, 0x11D1, {0x88, 0x2A, 0x00, 0xC0, 0x4F, 0xB9, 0x61, 0xEC}};

// Slots 0 to 25, in the published order.
struct IPrintOemUni : IUnknown {
    virtual HRESULT STDCALL GetInfo(DWORD dwMode, PVOID pBuffer, DWORD cbSize,
                                    PDWORD pcbNeeded) = 0;
    virtual HRESULT STDCALL DevMode(DWORD dwMode, OEMDMPARAM* pOemDMParam) = 0;
    virtual HRESULT STDCALL EnableDriver(DWORD DriverVersion, DWORD cbSize,
                                         DRVENABLEDATA* pded) = 0;
    virtual HRESULT STDCALL DisableDriver() = 0;
    virtual HRESULT STDCALL EnablePDEV(PDEVOBJ pdevobj, PWSTR pPrinterName, ULONG cPatterns,
                                       HSURF* phsurfPatterns, ULONG cjGdiInfo, GDIINFO* pGdiInfo,
                                       ULONG cjDevInfo, DEVINFO* pDevInfo, DRVENABLEDATA* pded,
                                       PVOID* pDevOem) = 0;
    virtual HRESULT STDCALL DisablePDEV(PDEVOBJ pdevobj) = 0;
    virtual HRESULT STDCALL ResetPDEV(PDEVOBJ pdevobjOld, PDEVOBJ pdevobjNew) = 0;
    virtual HRESULT STDCALL PublishDriverInterface(IUnknown* pIUnknown) = 0;
    virtual HRESULT STDCALL GetImplementedMethod(PSTR pMethodName) = 0;
    virtual HRESULT STDCALL DriverDMS(PVOID pDevObj, PVOID pBuffer, DWORD cbSize,
                                      PDWORD pcbNeeded) = 0;
    virtual HRESULT STDCALL CommandCallback(PDEVOBJ pdevobj, DWORD dwCallbackID, DWORD dwCount,
                                            PDWORD pdwParams, INT* piResult) = 0;
    virtual HRESULT STDCALL ImageProcessing(PDEVOBJ pdevobj, PBYTE pSrcBitmap,
                                            BITMAPINFOHEADER* pBitmapInfoHeader, PBYTE pColorTable,
                                            DWORD dwCallbackID, IPPARAMS* pIPParams,
                                            PBYTE* ppbResult) = 0;
    virtual HRESULT STDCALL FilterGraphics(PDEVOBJ pdevobj, PBYTE pBuf, DWORD dwLen) = 0;
    virtual HRESULT STDCALL Compression(PDEVOBJ pdevobj, PBYTE pInBuf, PBYTE pOutBuf, DWORD dwInLen,
                                        DWORD dwOutLen, INT* piResult) = 0;
    virtual HRESULT STDCALL HalftonePattern(PDEVOBJ pdevobj, PBYTE pHTPattern, DWORD dwHTPatternX,
                                            DWORD dwHTPatternY, DWORD dwHTNumPatterns,
                                            DWORD dwCallbackID, PBYTE pResource,
                                            DWORD dwResourceSize) = 0;
    virtual HRESULT STDCALL MemoryUsage(PDEVOBJ pdevobj, OEMMEMORYUSAGE* pMemoryUsage) = 0;
    virtual HRESULT STDCALL TTYGetInfo(PDEVOBJ pdevobj, DWORD dwInfoIndex, PVOID pOutputBuf,
                                       DWORD dwSize, DWORD* pcbcNeeded) = 0;
    virtual HRESULT STDCALL DownloadFontHeader(PDEVOBJ pdevobj, UNIFONTOBJ* pUFObj,
                                               DWORD* pdwResult) = 0;
    virtual HRESULT STDCALL DownloadCharGlyph(PDEVOBJ pdevobj, UNIFONTOBJ* pUFObj, HGLYPH hGlyph,
                                              PDWORD pdwWidth, DWORD* pdwResult) = 0;
    virtual HRESULT STDCALL TTDownloadMethod(PDEVOBJ pdevobj, UNIFONTOBJ* pUFObj,
                                             DWORD* pdwResult) = 0;
    virtual HRESULT STDCALL OutputCharStr(PDEVOBJ pdevobj, UNIFONTOBJ* pUFObj, DWORD dwType,
                                          DWORD dwCount, PVOID pGlyph) = 0;
    virtual HRESULT STDCALL SendFontCmd(PDEVOBJ pdevobj, UNIFONTOBJ* pUFObj,
                                        FINVOCATION* pFInv) = 0;
    virtual HRESULT STDCALL TextOutAsBitmap(SURFOBJ* pso, STROBJ* pstro, FONTOBJ* pfo, CLIPOBJ* pco,
                                            RECTL* prclExtra, RECTL* prclOpaque, BRUSHOBJ* pboFore,
                                            BRUSHOBJ* pboOpaque, POINTL* pptlOrg, MIX mix) = 0;
};

// Unidrv's driver services. The plug-in holds a reference and calls only
// Release; the full table is declared so a host can implement it.
struct IPrintOemDriverUni : IUnknown {
    virtual HRESULT STDCALL DrvGetDriverSetting(PVOID pdriverobj, const char* Feature,
                                                PVOID pOutput, DWORD cbSize, PDWORD pcbNeeded,
                                                PDWORD pdwOptionsReturned) = 0;
    virtual HRESULT STDCALL DrvWriteSpoolBuf(PDEVOBJ pdevobj, PVOID pBuffer, DWORD cbSize,
                                             DWORD* pdwResult) = 0;
    virtual HRESULT STDCALL DrvXMoveTo(PDEVOBJ pdevobj, INT x, DWORD dwFlags, INT* piResult) = 0;
    virtual HRESULT STDCALL DrvYMoveTo(PDEVOBJ pdevobj, INT y, DWORD dwFlags, INT* piResult) = 0;
    virtual HRESULT STDCALL DrvGetStandardVariable(PDEVOBJ pdevobj, DWORD dwIndex, PVOID pBuffer,
                                                   DWORD cbSize, PDWORD pcbNeeded) = 0;
    virtual HRESULT STDCALL DrvGetGPDData(PDEVOBJ pdevobj, DWORD dwType, PVOID pInputData,
                                          PVOID pBuffer, DWORD cbSize, PDWORD pcbNeeded) = 0;
    virtual HRESULT STDCALL DrvUniTextOut(SURFOBJ* pso, STROBJ* pstro, FONTOBJ* pfo, CLIPOBJ* pco,
                                          RECTL* prclExtra, RECTL* prclOpaque, BRUSHOBJ* pboFore,
                                          BRUSHOBJ* pboOpaque, POINTL* pptlBrushOrg, MIX mix) = 0;
    virtual HRESULT STDCALL DrvWriteAbortBuf(PDEVOBJ pdevobj, PVOID pBuffer, DWORD cbSize,
                                             DWORD dwWait) = 0;
};

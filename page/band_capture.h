// Capture of every scan line Unidrv renders into the device's page row table.
#pragma once

#include "plugin/oem_pdev.h"

// The plug-in object's ImageProcessing: stores the band's lines and hands the
// band back unchanged. Always S_OK.
HRESULT captureBand(PDEVOBJ pdevobj, PBYTE pSrcBitmap, const BITMAPINFOHEADER* pBitmapInfoHeader,
                    DWORD dwCallbackID, const IPPARAMS* pIPParams, PBYTE* ppbResult);

// Appends the band's lines to the table, a blank band as 0xFF lines. Returns
// FALSE when a line could not be stored; the lines before it stay. A band
// that would take the page past what a page may hold stores nothing.
BOOL appendBandRows(OemPDEV* pdev, const BYTE* pSrcBitmap,
                    const BITMAPINFOHEADER* pBitmapInfoHeader, const IPPARAMS* pIPParams);

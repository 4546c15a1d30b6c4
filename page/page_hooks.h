// The document, page and band hooks: page table bookkeeping and the user's
// stored commands around Unidrv's own handling of each call.
#pragma once

#include "platform/unidrv.h"

#include <atomic>

// 1 until the first page of the current document has been sent. One value
// for the whole module.
extern std::atomic<DWORD> firstPage;

// Page row table slots for a page: the paper length (portrait) or width
// (any other orientation) in dots, plus 10 spare lines.
LONG pageCapacity(const DEVMODEW& publicDM);

BOOL STDCALL DrvStartDoc(SURFOBJ* pso, LPWSTR pwszDocName, DWORD dwJobId);
BOOL STDCALL DrvStartPage(SURFOBJ* pso);
BOOL STDCALL DrvSendPage(SURFOBJ* pso);
BOOL STDCALL DrvEndDoc(SURFOBJ* pso, FLONG fl);
BOOL STDCALL DrvStartBanding(SURFOBJ* pso, POINTL* pptl);
BOOL STDCALL DrvNextBand(SURFOBJ* pso, POINTL* pptl);

// The driver and device lifecycle: the hook table, and the per-device record
// from EnablePDEV to DisablePDEV.
#pragma once

#include "platform/unidrv.h"

inline constexpr ULONG kHookCount = 12;

// The engine functions the plug-in hooks, in table order.
extern const DRVFN hookTable[kHookCount];

HRESULT enableDriver(DRVENABLEDATA* pded);
// Builds the device's record: Unidrv's entry points, the private heap, the
// font image and a reference to the driver services Unidrv published, if
// any. E_FAIL with *pDevOem null when the record or heap fails.
HRESULT enablePdev(DEVINFO* pDevInfo, const DRVENABLEDATA* pded, PVOID* pDevOem,
                   IPrintOemDriverUni* driverServices = nullptr);
HRESULT disablePdev(PDEVOBJ pdevobj);

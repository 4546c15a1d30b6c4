// How every hook finds its device and Unidrv's own entry point: the surface's
// dhpdev is the DEVOBJ, whose pdevOEM is the plug-in's record.
#pragma once

#include "plugin/oem_pdev.h"
#include "settings/oem_devmode.h"

inline PDEVOBJ deviceOf(SURFOBJ* pso) {
    return static_cast<PDEVOBJ>(pso->dhpdev);
}

inline OemPDEV* oemPdevOf(PDEVOBJ pdevobj) {
    return static_cast<OemPDEV*>(pdevobj->pdevOEM);
}

inline OemDevMode* oemDevModeOf(PDEVOBJ pdevobj) {
    return static_cast<OemDevMode*>(pdevobj->pOEMDM);
}

// The only way bytes reach the printer: Unidrv's service table where Unidrv
// fills it, else the driver services it published. Returns the count Unidrv
// took; 0 when it has no way to take any.
DWORD writeSpool(PDEVOBJ pdevobj, const void* bytes, DWORD count);

// Passes a hooked call on to Unidrv with the same arguments. Where Unidrv's
// table had no such function there is nothing for it to do, so the call
// counts as done.
template <typename Fn, typename... Args>
BOOL passOnToUnidrv(const OemPDEV* pdev, UnidrvHookRow row, Args... args) {
    const auto unidrv = functionCast<Fn>(pdev->unidrvHooks[row]);
    return unidrv ? unidrv(args...) : TRUE;
}

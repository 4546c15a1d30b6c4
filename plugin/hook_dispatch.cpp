#include "plugin/hook_dispatch.h"

// Unidrvs that follow the COM interfaces alone may leave the service table,
// or its write entry, empty; then the driver services write the same bytes.
// With neither there is nowhere to write, and the job goes on without them.
DWORD writeSpool(PDEVOBJ pdevobj, const void* bytes, DWORD count) {
    void* buffer = const_cast<void*>(bytes);
    if (const DRVPROCS* procs = pdevobj->pDrvProcs; procs && procs->DrvWriteSpoolBuf)
        return procs->DrvWriteSpoolBuf(pdevobj, buffer, count);
    const OemPDEV* pdev = oemPdevOf(pdevobj);
    if (!pdev || !pdev->driverServices)
        return 0;
    DWORD written = 0;
    if (!SUCCEEDED(pdev->driverServices->DrvWriteSpoolBuf(pdevobj, buffer, count, &written)))
        return 0;
    return written;
}

// The plug-in's record for one enabled device, handed back by Unidrv in
// DEVOBJ::pdevOEM with every call for that device.
#pragma once

#include "platform/memory.h"
#include "platform/unidrv.h"

// Rows of the hook table whose calls are passed on to Unidrv, in table order.
enum UnidrvHookRow : int {
    kRowBitBlt = 0,
    kRowStretchBlt,
    kRowTextOut,
    kRowStrokePath,
    kRowStartPage,
    kRowSendPage,
    kRowStartDoc,
    kRowEndDoc,
    kRowNextBand,
    kRowStartBanding,
    kUnidrvHookCount
};

// One captured scan line of the current page.
struct PageRow {
    BYTE* bits;  // rowBytes bytes from the device heap, or null
    DWORD inUse; // 1 while bits holds a line of the current page
};

struct OemPDEV {
    PFN unidrvHooks[kUnidrvHookCount]; // Unidrv's own entry points; null where absent
    platform::HeapHandle heap;         // every row table and scan line comes from here
    LONG approHeight;                  // slots in rows
    PageRow* rows;                     // the page row table, or null
    DWORD pageOpen;                    // 1 once the first band of a page arrived
    LONG rowCount;                     // slots filled so far
    LONG rowBytes;                     // bytes per captured line, a multiple of 4
    // Unidrv's driver services with a reference of the device's own, or null:
    // the way bytes go out where Unidrv fills no service table.
    IPrintOemDriverUni* driverServices;
};

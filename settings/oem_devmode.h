// The plug-in's private block inside every DEVMODE of the printer. Its layout
// is shared with the user-interface plug-in and with every stored setting, so
// it is fixed byte for byte.
#pragma once

#include "platform/unidrv.h"

inline constexpr DWORD kOemSignature = 0x57504453; // the bytes "SDPW"
inline constexpr DWORD kOemVersion = 1;
inline constexpr DWORD kOemDevModeSize = 2228;
inline constexpr int kCommandTextUnits = 260;
inline constexpr int kColourClassCount = 7;

struct ColourFlags {
    DWORD printBitmaps; // 0 drops bitmaps of the class; any other value prints
    DWORD printLines;
    DWORD printText;
};

struct OemDevMode {
    OEM_DMEXTRAHEADER dmExtraHeader;
    ColourFlags colourFlags[kColourClassCount];
    BYTE reserved1[20];
    SHORT colourMode;
    // On-switches count only when exactly 1. Note the order differs from the
    // command texts below.
    WORD jobStartOn;
    WORD pageStartOn;
    WORD pageEndOn;
    WORD jobEndOn;
    WCHAR jobStartCmd[kCommandTextUnits];
    WCHAR jobEndCmd[kCommandTextUnits];
    WCHAR pageStartCmd[kCommandTextUnits];
    WCHAR pageEndCmd[kCommandTextUnits];
    BYTE reserved2[2];
    DWORD callbackFlag;
    BYTE reserved3[8];
    SHORT shiftX;
    SHORT shiftY;
    SHORT density;
    SHORT direction;
};

static_assert(sizeof(OemDevMode) == kOemDevModeSize);
static_assert(offsetof(OemDevMode, colourFlags) == 12);
static_assert(offsetof(OemDevMode, colourFlags[6].printText) == 92);
static_assert(offsetof(OemDevMode, reserved1) == 96);
static_assert(offsetof(OemDevMode, colourMode) == 116);
static_assert(offsetof(OemDevMode, jobStartOn) == 118);
static_assert(offsetof(OemDevMode, pageStartOn) == 120);
static_assert(offsetof(OemDevMode, pageEndOn) == 122);
static_assert(offsetof(OemDevMode, jobEndOn) == 124);
static_assert(offsetof(OemDevMode, jobStartCmd) == 126);
static_assert(offsetof(OemDevMode, jobEndCmd) == 646);
static_assert(offsetof(OemDevMode, pageStartCmd) == 1166);
static_assert(offsetof(OemDevMode, pageEndCmd) == 1686);
static_assert(offsetof(OemDevMode, reserved2) == 2206);
static_assert(offsetof(OemDevMode, callbackFlag) == 2208);
static_assert(offsetof(OemDevMode, reserved3) == 2212);
static_assert(offsetof(OemDevMode, shiftX) == 2220);
static_assert(offsetof(OemDevMode, shiftY) == 2222);
static_assert(offsetof(OemDevMode, density) == 2224);
static_assert(offsetof(OemDevMode, direction) == 2226);

// Fills the defaults into `out`; returns the block size, or 0 for a null
// pointer. Reserved ranges and the shift, density and direction fields keep
// what `out` held.
DWORD defaultDevMode(const DEVMODEW* publicIn, OemDevMode* out);

// Takes over a block that came from elsewhere: a block with another signature
// than `out` holds is replaced by defaults. Returns the bytes taken.
DWORD convertDevMode(const DEVMODEW* publicIn, const OemDevMode* in, OemDevMode* out);

// The plug-in object's DevMode request: size, default, convert or merge.
HRESULT handleDevModeRequest(DWORD dwMode, OEMDMPARAM* pOemDMParam);

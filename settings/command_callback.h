// Configuration callbacks from the printer's configuration file, and the
// module-wide mode they switch.
#pragma once

#include "platform/unidrv.h"

#include <atomic>

// 0: label (raster) mode; 1: text mode. One value for the whole module,
// shared by every device; nothing resets it at a document start.
extern std::atomic<DWORD> textMode;

inline constexpr DWORD kCallbackLabelMode = 10;
inline constexpr DWORD kCallbackTextMode = 11;
inline constexpr DWORD kCallbackFlagOff = 800;
inline constexpr DWORD kCallbackFlagOn = 803;

// Answers every callback ID with S_OK and a result of 0; the four known IDs
// switch the mode or the devmode's callbackFlag.
HRESULT commandCallback(PDEVOBJ pdevobj, DWORD dwCallbackID, INT* piResult);

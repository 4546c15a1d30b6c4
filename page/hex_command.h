// The user's stored command bytes: hexadecimal text in the private devmode,
// sent around jobs and pages.
#pragma once

#include "settings/oem_devmode.h"

inline constexpr int kHexCommandBytes = 200;

// Turns the hex text of one command field into bytes; every character takes
// one nibble position, non-hex characters counting as 0. A field without a
// terminator is read to its end and no further. Returns the byte count.
DWORD hexToBytes(const WCHAR (&text)[kCommandTextUnits], BYTE (&bytes)[kHexCommandBytes]);

// Writes the command's bytes in one spool write when its switch is exactly 1,
// even when the text is empty.
void sendHexCommand(PDEVOBJ pdevobj, WORD on, const WCHAR (&text)[kCommandTextUnits]);

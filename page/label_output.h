// Writing one captured page as a label program in the printer's language.
#pragma once

#include "platform/unidrv.h"

// Shifts the captured lines by the user's offsets, turns them for a landscape
// page, and writes header, bitmap lines and print command. When the turned
// image's buffer cannot be obtained, nothing of the page is written: a
// header without its bitmap would make the printer take the following bytes
// as image data.
void emitLabelPage(PDEVOBJ pdevobj);

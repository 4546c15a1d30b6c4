// The two image operations of a label page: the user's offset and the
// quarter turn for landscape. Both work on the captured lines as plain data.
#pragma once

#include "plugin/oem_pdev.h"

#include <cstddef>

// Moves the page by shiftX bytes (positive: right) and shiftY lines
// (positive: up, toward line 0), in place. Uncovered bytes become 0xFF and
// whatever leaves the width × height frame is lost. Lines move as whole
// slots, so every slot keeps a buffer of its own.
void shiftPageImage(PageRow* rows, LONG width, LONG height, LONG shiftX, LONG shiftY);

// Bytes per line and lines of the turned page, for `width` bytes × `height`
// lines captured.
inline LONG rotatedWidthBytes(LONG height) {
    return (height + 7) / 8;
}
inline LONG rotatedHeightDots(LONG width) {
    return 8 * width;
}

// Turns the page a quarter turn counter-clockwise into `out`, which holds
// rotatedHeightDots(width) lines of rotatedWidthBytes(height) bytes and is
// zero on entry: output line y, dot x is the source dot at column
// 8 × width − 1 − y on line x. Dots beyond `height` in a line stay 0.
void rotatePageImage(const PageRow* rows, LONG width, LONG height, BYTE* out);

// The same turn for source bytes firstByte .. firstByte + byteCount − 1
// only: `out` holds their 8 × byteCount output lines, which start at output
// line 8 × (width − firstByte − byteCount), and is zero on entry. Lets a
// landscape page go out band by band from one small buffer.
void rotatePageBand(const PageRow* rows, LONG width, LONG height, LONG firstByte, LONG byteCount,
                    BYTE* out);

// How Unidrv describes one band it hands to ImageProcessing: the bitmap
// header and the image-processing parameters.
#pragma once

#include "platform/unidrv.h"

namespace standin {

struct BandDescription {
    BITMAPINFOHEADER header{};
    IPPARAMS params{};
};

// A band of `lines` lines of `width` dots, 24 bits a dot for image callback
// 24 and 1 bit otherwise; `blank` says no dot of it is printed.
inline BandDescription describeBand(LONG width, LONG lines, DWORD callbackId, bool blank) {
    BandDescription band;
    band.header.biSize = sizeof band.header;
    band.header.biWidth = width;
    band.header.biHeight = lines;
    band.header.biPlanes = 1;
    band.header.biBitCount = callbackId == 24 ? 24 : 1;
    band.params.dwSize = sizeof band.params;
    band.params.bBanding = TRUE;
    band.params.bBlankBand = blank ? TRUE : FALSE;
    return band;
}

} // namespace standin

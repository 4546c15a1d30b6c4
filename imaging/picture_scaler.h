// Grey pictures scaled onto a label: the pictures' side of label fitting
// (PDF pages are rendered at the fitted size instead).
#pragma once

#include <cstddef>
#include <cstdint>

#include "imaging/bilevel_image.h"
#include "imaging/label_fit.h"

// 8-bit grey pixels, 0 black to 255 white, rows from the top `stride` bytes
// apart.
struct GreyView {
    int32_t width = 0;
    int32_t height = 0;
    const uint8_t* pixels = nullptr;
    size_t stride = 0;
};

// The picture turned and scaled as `placement` says (from placeOnLabel()
// with the picture's size), on a white labelWidth x labelHeight label, made
// into dots as pictures are (threshold at mid grey, or dither). Shrinking
// averages the picture's area under each dot; enlarging interpolates
// bilinearly. 0 x 0 when the label cannot be allocated.
BilevelImage placeGreyPicture(const GreyView& picture, const Placement& placement,
                              int32_t labelWidth, int32_t labelHeight, bool dither);

// Turning rows of grey or coloured pixels into printed dots.
#pragma once

#include <cstdint>
#include <vector>

#include "imaging/bilevel_image.h"

// Luminance of an 8-bit grey (1 channel), grey+alpha (2) or RGBA (4) pixel
// laid on white paper, 0 black to 1 white.
float lightnessOnWhite(const uint8_t* pixel, int channels);

// Turns 8-bit grey, grey+alpha or RGBA rows, in order from the top, into the
// dots of a picture allocated beforehand. Pixels are laid on white paper;
// those darker than mid grey are printed, or, with dither, grey shades become
// a Floyd-Steinberg dot pattern.
class DotMaker {
  public:
    DotMaker(BilevelImage& image, bool dither);

    // `channels` is 1 (grey), 2 (grey, alpha) or 4 (red, green, blue, alpha);
    // the row holds image.width pixels.
    void addRow(int y, const uint8_t* pixels, int channels);

  private:
    BilevelImage& image_;
    bool dither_;
    // Error carried to this row and the next, one spare cell on each side so
    // the edges need no special case.
    std::vector<float> current_;
    std::vector<float> next_;
};

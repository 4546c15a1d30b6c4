#include "imaging/dot_maker.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <utility>

namespace {

// The dots of eight grey pixels, the first in the top bit: each pixel's
// inverted top bit, gathered by one multiplication (every partial product
// lands on a bit of its own, so nothing carries into the top byte).
uint8_t darkOfEight(const uint8_t* pixels) {
    uint64_t eight = 0;
    std::memcpy(&eight, pixels, sizeof eight);
    if constexpr (std::endian::native == std::endian::big)
        eight = __builtin_bswap64(eight);
    const uint64_t dark = (~eight & 0x8080808080808080u) >> 7; // pixel k at bit 8k
    return static_cast<uint8_t>((dark * 0x8040201008040201u) >> 56);
}

} // namespace

float lightnessOnWhite(const uint8_t* pixel, int channels) {
    if (channels == 1)
        return pixel[0] / 255.0f;
    float luma;
    float alpha;
    if (channels == 2) {
        luma = pixel[0] / 255.0f;
        alpha = pixel[1] / 255.0f;
    } else {
        luma = (0.299f * pixel[0] + 0.587f * pixel[1] + 0.114f * pixel[2]) / 255.0f;
        alpha = pixel[3] / 255.0f;
    }
    return alpha * luma + (1.0f - alpha);
}

DotMaker::DotMaker(BilevelImage& image, bool dither) : image_(image), dither_(dither) {
    if (dither) {
        current_.assign(static_cast<size_t>(image.width) + 2, 0.0f);
        next_.assign(static_cast<size_t>(image.width) + 2, 0.0f);
    }
}

void DotMaker::addRow(int y, const uint8_t* pixels, int channels) {
    uint8_t* out = image_.bits.data() + static_cast<size_t>(y) * image_.stride();
    if (channels == 1 && !dither_) {
        // Grey at a threshold, the most common row of all (every PDF page):
        // v / 255 < 0.5 is v < 128, a clear top bit.
        int x = 0;
        for (; x + 8 <= image_.width; x += 8)
            out[x / 8] = static_cast<uint8_t>(out[x / 8] | darkOfEight(pixels + x));
        for (; x < image_.width; ++x) {
            if (pixels[x] < 128)
                out[x / 8] = static_cast<uint8_t>(out[x / 8] | (0x80u >> (x % 8)));
        }
        return;
    }
    for (int x = 0; x < image_.width; ++x) {
        const float light = lightnessOnWhite(pixels + static_cast<size_t>(x) * channels, channels);
        bool printed;
        if (dither_) {
            const float wanted = light + current_[x + 1];
            printed = wanted < 0.5f;
            const float error = wanted - (printed ? 0.0f : 1.0f);
            current_[x + 2] += error * (7.0f / 16);
            next_[x] += error * (3.0f / 16);
            next_[x + 1] += error * (5.0f / 16);
            next_[x + 2] += error * (1.0f / 16);
        } else {
            printed = light < 0.5f;
        }
        if (printed)
            out[x / 8] = static_cast<uint8_t>(out[x / 8] | (0x80u >> (x % 8)));
    }
    if (dither_) {
        std::swap(current_, next_);
        std::fill(next_.begin(), next_.end(), 0.0f);
    }
}

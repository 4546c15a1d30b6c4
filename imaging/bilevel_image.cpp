#include "imaging/bilevel_image.h"

#include <new>

bool BilevelImage::dot(int x, int y) const {
    if (x < 0 || y < 0 || x >= width || y >= height)
        return false;
    const size_t index = static_cast<size_t>(y) * stride() + static_cast<size_t>(x) / 8;
    return index < bits.size() && (bits[index] & (0x80u >> (x % 8))) != 0;
}

void BilevelImage::setDot(int x, int y, bool printed) {
    if (x < 0 || y < 0 || x >= width || y >= height)
        return;
    const size_t index = static_cast<size_t>(y) * stride() + static_cast<size_t>(x) / 8;
    if (index >= bits.size())
        return;
    const auto mask = static_cast<uint8_t>(0x80u >> (x % 8));
    bits[index] = static_cast<uint8_t>(printed ? bits[index] | mask : bits[index] & ~mask);
}

BilevelImage BilevelImage::blank(int width, int height) {
    BilevelImage image;
    if (width <= 0 || height <= 0)
        return image;
    try {
        image.width = width;
        image.height = height;
        image.bits.assign(image.stride() * static_cast<size_t>(height), 0);
    } catch (const std::bad_alloc&) {
        return BilevelImage{};
    }
    return image;
}

// A 1-bit picture as the tools read, compare and write it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Rows of stride() bytes, leftmost dot in the most significant bit, bit 1 =
// printed dot. Bits past the width in a row's last byte stay 0.
struct BilevelImage {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> bits;

    size_t stride() const { return (static_cast<size_t>(width > 0 ? width : 0) + 7) / 8; }

    // Dots outside the picture read as blank.
    bool dot(int x, int y) const;

    // Dots outside the picture are ignored.
    void setDot(int x, int y, bool printed);

    // An all-blank picture; one that cannot be allocated comes back 0 x 0.
    static BilevelImage blank(int width, int height);

    bool operator==(const BilevelImage&) const = default;
};

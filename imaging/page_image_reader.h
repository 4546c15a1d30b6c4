// Reading the pictures the tools print, and writing 1-bit pictures back.
#pragma once

#include <optional>
#include <string>

#include "imaging/bilevel_image.h"

// Largest side and largest dot count accepted, checked before any allocation.
inline constexpr int32_t kMaxImageSide = 65535;
inline constexpr uint64_t kMaxImageDots = uint64_t{1} << 28;
// Interlaced PNGs are decoded whole first, so they get a quarter of that.
inline constexpr uint64_t kMaxInterlacedDots = uint64_t{1} << 26;

struct ImageReadResult {
    BilevelImage image;
    std::string error; // one line naming the file and the problem
    bool ok() const { return error.empty(); }
};

// Reads a PBM (plain or raw) or PNG file, told apart by their first bytes.
// PNG pixels are laid on white; those darker than mid grey are printed, or,
// with dither, grey shades become a Floyd-Steinberg dot pattern.
ImageReadResult readPageImage(const std::string& path, bool dither);

// Where the rows of a raw PBM file lie: packed as a page's rows are, so a
// large page can be read straight into the buffer it is printed from.
struct RawPbmLayout {
    int32_t width = 0;
    int32_t height = 0;
    uint64_t rowsOffset = 0; // of the first row's first byte
};

// The layout of a raw PBM regular file that holds all its rows and a size
// readPageImage() accepts; nullopt for anything else, which readPageImage()
// then reads or explains.
std::optional<RawPbmLayout> rawPbmLayout(const std::string& path);

// Writes a 1-bit grey PNG, printed dots black. A failed write leaves no file.
bool writePng(const std::string& path, const BilevelImage& image, std::string& error);

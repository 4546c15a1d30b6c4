// Reading the pictures the tools print, and writing 1-bit pictures back.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "imaging/bilevel_image.h"
#include "imaging/picture_scaler.h"

// Largest side and largest dot count accepted, checked before any allocation.
inline constexpr int32_t kMaxImageSide = 65535;
inline constexpr uint64_t kMaxImageDots = uint64_t{1} << 28;
// Interlaced PNGs are decoded whole first, so they get a quarter of that.
inline constexpr uint64_t kMaxInterlacedDots = uint64_t{1} << 26;
// Pictures kept as grey for scaling take a byte a dot, so they get as much.
inline constexpr uint64_t kMaxGreyDots = kMaxInterlacedDots;

struct ImageReadResult {
    BilevelImage image;
    std::string error; // one line naming the file and the problem
    bool ok() const { return error.empty(); }
};

// Reads a PBM (plain or raw) or PNG file, told apart by their first bytes.
// PNG pixels are laid on white; those darker than mid grey are printed, or,
// with dither, grey shades become a Floyd-Steinberg dot pattern.
ImageReadResult readPageImage(const std::string& path, bool dither);

// A picture as grey values, 0 black to 255 white, rows packed.
struct GreyPicture {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> pixels;

    GreyView view() const { return {width, height, pixels.data(), static_cast<size_t>(width)}; }
};

struct GreyReadResult {
    GreyPicture picture;
    std::string error; // one line naming the file and the problem
    bool ok() const { return error.empty(); }
};

// Reads a PBM or PNG file as readPageImage() does, keeping each pixel's
// lightness on white instead of making dots, so that it can be scaled
// first. PBM dots are black (0) or white (255). At most kMaxGreyDots.
GreyReadResult readPageGrey(const std::string& path);

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

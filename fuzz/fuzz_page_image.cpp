// The picture reader on any file: the input, less its first byte, is written
// to a file of this run's own and read, the first byte choosing dithering.
// A picture read must have the size it claims and come back the same
// through the PNG writer. A raw PBM's layout, where one is found, must agree
// with the reader: the same size, and rows where the reader found them.
#include "imaging/page_image_reader.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

std::string inputPath;
std::string pngPath;

// Round trips cost a PNG encoding; small pictures show the same faults.
constexpr std::uint64_t kRoundTripDots = std::uint64_t{1} << 20;

// A broken promise of the reader or writer: a finding.
void require(bool condition) {
    if (!condition)
        std::abort();
}

// Leaves no scratch files behind at exit.
void removeFiles() {
    std::remove(inputPath.c_str());
    std::remove(pngPath.c_str());
}

} // namespace

// Scratch file names of this process's own, so that runs side by side
// never share one.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const std::string stem = (fs::temp_directory_path() / "label-fuzz-image-").string() +
                             std::to_string(static_cast<long>(getpid()));
    inputPath = stem + ".in";
    pngPath = stem + ".png";
    std::atexit(removeFiles);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const bool dither = data[0] & 1;
    std::FILE* file = std::fopen(inputPath.c_str(), "wb");
    require(file != nullptr);
    require(std::fwrite(data + 1, 1, size - 1, file) == size - 1);
    require(std::fclose(file) == 0);

    const ImageReadResult read = readPageImage(inputPath, dither);
    const std::optional<RawPbmLayout> layout = rawPbmLayout(inputPath);
    if (layout) {
        require(read.ok() && read.image.width == layout->width &&
                read.image.height == layout->height);
        const std::size_t stride = read.image.stride();
        require(layout->rowsOffset + stride * std::size_t(layout->height) <= size - 1);
        for (int y = 0; y < read.image.height; ++y) {
            const std::uint8_t* row = data + 1 + layout->rowsOffset + std::size_t(y) * stride;
            for (std::size_t b = 0; b + 1 < stride; ++b)
                require(row[b] == read.image.bits[std::size_t(y) * stride + b]);
        }
    }
    if (!read.ok()) {
        require(read.error.rfind(inputPath + ": ", 0) == 0);
        require(read.error.find('\n') == std::string::npos);
        return 0;
    }
    const BilevelImage& image = read.image;
    require(image.width > 0 && image.height > 0 && image.width <= kMaxImageSide &&
            image.height <= kMaxImageSide);
    require(std::uint64_t(image.width) * std::uint64_t(image.height) <= kMaxImageDots);
    require(image.bits.size() == image.stride() * std::size_t(image.height));
    if (image.width % 8 != 0) {
        const auto padding = static_cast<std::uint8_t>(0xFF >> (image.width % 8));
        for (int y = 0; y < image.height; ++y)
            require((image.bits[(y + 1) * image.stride() - 1] & padding) == 0);
    }
    if (std::uint64_t(image.width) * std::uint64_t(image.height) <= kRoundTripDots) {
        std::string error;
        require(writePng(pngPath, image, error));
        const ImageReadResult again = readPageImage(pngPath, false);
        require(again.ok() && again.image == image);
    }
    return 0;
}

// The picture reader on any file: the input, less its first byte, is written
// to a file of this run's own and read, the first byte choosing dithering.
// A picture read must have the size it claims and come back the same
// through the PNG writer. A raw PBM's layout, where one is found, must agree
// with the reader: the same size, and rows where the reader found them.
#include "imaging/page_image_reader.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace {

namespace fs = std::filesystem;

// The scratch files live in memory where the system offers a folder for it:
// a disk file's write and read cost more than most pictures do. The input
// file stays open for writing.
int inputFile = -1;
std::string inputPath;
std::string pngPath;

// Pictures the reader would take but larger than this are left out: every
// size it accepts goes through the same code, and a large one only costs
// its allocation and rows. Its largest side and dot limits are still met,
// by sizes it refuses.
constexpr std::uint64_t kMaxDots = std::uint64_t{1} << 14;

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

// Whether the reader would accept a picture of this size.
bool accepted(std::uint64_t width, std::uint64_t height, std::uint64_t mostDots) {
    return width > 0 && height > 0 && width <= kMaxImageSide && height <= kMaxImageSide &&
           width * height <= mostDots;
}

// PNG stores its numbers most significant byte first.
std::uint32_t bigEndian32(const std::uint8_t* bytes) {
    return std::uint32_t{bytes[0]} << 24 | std::uint32_t{bytes[1]} << 16 |
           std::uint32_t{bytes[2]} << 8 | std::uint32_t{bytes[3]};
}

// The size a PNG's header declares, where the reader looks for it first.
bool pngSize(const std::uint8_t* file, std::size_t size, std::uint64_t& width,
             std::uint64_t& height, bool& interlaced) {
    static constexpr std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (size < 8 + 8 + 13 || std::memcmp(file, kSignature, 8) != 0 ||
        std::memcmp(file + 12, "IHDR", 4) != 0)
        return false;
    width = bigEndian32(file + 16);
    height = bigEndian32(file + 20);
    interlaced = file[28] != 0;
    return true;
}

// PBM header whitespace, as the reader knows it.
bool pbmSpace(std::uint8_t c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// The size a PBM header declares: its two numbers after the magic, past
// whitespace and comments, each saturating as the reader's do.
bool pbmSize(const std::uint8_t* file, std::size_t size, std::uint64_t& width,
             std::uint64_t& height) {
    if (size < 3 || file[0] != 'P' || (file[1] != '1' && file[1] != '4'))
        return false;
    std::size_t at = 2;
    std::uint64_t* numbers[] = {&width, &height};
    for (std::uint64_t* number : numbers) {
        while (at < size && (pbmSpace(file[at]) || file[at] == '#')) {
            if (file[at] == '#')
                while (at < size && file[at] != '\n' && file[at] != '\r')
                    ++at;
            else
                ++at;
        }
        if (at == size || file[at] < '0' || file[at] > '9')
            return false;
        *number = 0;
        for (; at < size && file[at] >= '0' && file[at] <= '9'; ++at)
            *number = std::min<std::uint64_t>(*number * 10 + (file[at] - '0'), UINT32_MAX);
    }
    return true;
}

// Whether the file declares a picture the reader would take but larger than
// kMaxDots.
bool tooLarge(const std::uint8_t* file, std::size_t size) {
    std::uint64_t width = 0;
    std::uint64_t height = 0;
    bool interlaced = false;
    if (pngSize(file, size, width, height, interlaced))
        return accepted(width, height, interlaced ? kMaxInterlacedDots : kMaxImageDots) &&
               width * height > kMaxDots;
    if (pbmSize(file, size, width, height))
        return accepted(width, height, kMaxImageDots) && width * height > kMaxDots;
    return false;
}

// Replaces the input file's contents.
void writeInput(const std::uint8_t* bytes, std::size_t size) {
    for (std::size_t done = 0; done < size;) {
        const ssize_t wrote = pwrite(inputFile, bytes + done, size - done, off_t(done));
        require(wrote > 0);
        done += std::size_t(wrote);
    }
    require(ftruncate(inputFile, off_t(size)) == 0);
}

// Removes the scratch files of runs that ended without their exit handlers,
// as a crash ends one: they would hold memory until the machine restarts.
void removeStaleFiles(const fs::path& folder) {
    constexpr std::string_view kPrefix = "label-fuzz-image-";
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(kPrefix, 0) != 0)
            continue;
        const long pid = std::strtol(name.c_str() + kPrefix.size(), nullptr, 10);
        if (pid > 0 && kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)
            fs::remove(entry.path(), error);
    }
}

} // namespace

// Scratch file names of this process's own, so that runs side by side
// never share one.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::error_code error;
    const fs::path folder =
        fs::is_directory("/dev/shm", error) ? fs::path("/dev/shm") : fs::temp_directory_path();
    removeStaleFiles(folder);
    const std::string stem =
        (folder / "label-fuzz-image-").string() + std::to_string(static_cast<long>(getpid()));
    inputPath = stem + ".in";
    pngPath = stem + ".png";
    inputFile = open(inputPath.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
    if (inputFile < 0) {
        std::perror(inputPath.c_str());
        std::abort();
    }
    std::atexit(removeFiles);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0 || tooLarge(data + 1, size - 1))
        return 0;
    const bool dither = data[0] & 1;
    writeInput(data + 1, size - 1);

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
    std::string error;
    require(writePng(pngPath, image, error));
    const ImageReadResult again = readPageImage(pngPath, false);
    require(again.ok() && again.image == image);
    return 0;
}

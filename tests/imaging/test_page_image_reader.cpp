#include "imaging/page_image_reader.h"

#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <chrono>
#include <csetjmp>
#include <cstdio>
#include <optional>
#include <random>

#include "support/scratch_files.h"

namespace {

using tools_test::rowsOf;
using tools_test::ScratchDir;
using Rows = std::vector<std::string>;
using Bytes = std::vector<uint8_t>;

struct PngLayout {
    int width = 0;
    int height = 0;
    int colourType = PNG_COLOR_TYPE_GRAY;
    int bitDepth = 8;
    bool interlaced = false;
    std::vector<Bytes> rows; // as stored in the file: packed, 16-bit big-endian
    std::vector<png_color> palette;
    Bytes paletteAlpha;
    std::optional<png_color_16> transparent;
};

// Only trivial locals here: libpng leaves by longjmp on failure.
bool writeRawPng(const char* path, const PngLayout* layout, png_bytep* rows) {
    std::FILE* file = std::fopen(path, "wb");
    if (file == nullptr)
        return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(file);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(layout->width),
                 static_cast<png_uint_32>(layout->height), layout->bitDepth, layout->colourType,
                 layout->interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!layout->palette.empty())
        png_set_PLTE(png, info, layout->palette.data(), static_cast<int>(layout->palette.size()));
    if (!layout->paletteAlpha.empty())
        png_set_tRNS(png, info, layout->paletteAlpha.data(),
                     static_cast<int>(layout->paletteAlpha.size()), nullptr);
    if (layout->transparent)
        png_set_tRNS(png, info, nullptr, 0, &*layout->transparent);
    png_write_info(png, info);
    png_write_image(png, rows);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return std::fclose(file) == 0;
}

std::string writeTestPng(const ScratchDir& dir, const std::string& name, PngLayout layout) {
    const std::string path = dir.path(name);
    std::vector<png_bytep> pointers;
    for (Bytes& row : layout.rows)
        pointers.push_back(row.data());
    EXPECT_TRUE(writeRawPng(path.c_str(), &layout, pointers.data())) << path;
    return path;
}

PngLayout oneRow(int width, int colourType, int bitDepth, Bytes row) {
    PngLayout layout;
    layout.width = width;
    layout.height = 1;
    layout.colourType = colourType;
    layout.bitDepth = bitDepth;
    layout.rows = {std::move(row)};
    return layout;
}

Bytes bigEndian16(std::initializer_list<unsigned> values) {
    Bytes bytes;
    for (unsigned value : values) {
        bytes.push_back(static_cast<uint8_t>(value >> 8));
        bytes.push_back(static_cast<uint8_t>(value));
    }
    return bytes;
}

std::string fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string pngHeaderOnly(uint32_t width, uint32_t height) {
    std::string bytes("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16);
    for (uint32_t value : {width, height})
        for (int shift = 24; shift >= 0; shift -= 8)
            bytes += static_cast<char>((value >> shift) & 0xFF);
    bytes += std::string("\x08\x00\x00\x00\x00", 5) + "CRC!";
    return bytes;
}

TEST(BilevelImage, DotsAreMostSignificantBitFirstAndBoundsAreSafe) {
    BilevelImage image = BilevelImage::blank(10, 2);
    ASSERT_EQ(image.stride(), 2u);
    ASSERT_EQ(image.bits.size(), 4u);
    image.setDot(0, 0, true);
    image.setDot(9, 1, true);
    image.setDot(10, 0, true);
    image.setDot(-1, 0, true);
    image.setDot(0, 2, true);
    EXPECT_EQ(image.bits, (Bytes{0x80, 0x00, 0x00, 0x40}));
    EXPECT_FALSE(image.dot(10, 0));
    EXPECT_FALSE(image.dot(0, -1));
    image.setDot(0, 0, false);
    EXPECT_EQ(image.bits[0], 0x00);
    EXPECT_TRUE(BilevelImage::blank(0, 5).bits.empty());
}

struct PbmCase {
    const char* name;
    std::string content;
    Rows expected;
};

class PbmRead : public testing::TestWithParam<PbmCase> {};

TEST_P(PbmRead, GivesTheDots) {
    ScratchDir dir;
    const std::string path = dir.write("in.pbm", GetParam().content);
    const ImageReadResult result = readPageImage(path, false);
    ASSERT_TRUE(result.ok()) << result.error;
    EXPECT_EQ(rowsOf(result.image), GetParam().expected);
    // A raw row's padding bits never turn into dots elsewhere.
    const BilevelImage& image = result.image;
    ASSERT_EQ(image.bits.size(), image.stride() * static_cast<size_t>(image.height));
    if (image.width % 8 == 0)
        return;
    const int padding = 0xFF >> (image.width % 8);
    for (int y = 0; y < image.height; ++y)
        EXPECT_EQ(image.bits[(y + 1) * image.stride() - 1] & padding, 0) << "row " << y;
}

INSTANTIATE_TEST_SUITE_P(
    Files, PbmRead,
    testing::Values(
        PbmCase{"PlainWithComments",
                "P1\n# drawn by hand\n3 2 # size\n1 0 1\n0\t1\r\n0\n",
                {"#.#", ".#."}},
        PbmCase{"PlainWithoutSpaces", "P1 4 1\n0110", {".##."}},
        PbmCase{"PlainCommentAmongDots", "P1\n2 2\n1 0 # first row\n0 1\n", {"#.", ".#"}},
        PbmCase{"PlainCommentRightAfterMagic", "P1#x\n2 1 10", {"#."}},
        PbmCase{"RawPaddingBitsCleared",
                std::string("P4\n10 2\n\xFF\xFF\x80\x3F", 12),
                {"##########", "#........."}},
        PbmCase{"RawCommentInHeader", std::string("P4 # note\n8 1\n\xA5", 15), {"#.#..#.#"}},
        PbmCase{"RawTrailingBytesIgnored", std::string("P4\n8 1\n\x0Fmore", 12), {"....####"}}),
    [](const testing::TestParamInfo<PbmCase>& info) { return std::string(info.param.name); });

struct BadFileCase {
    const char* name;
    std::string content;
    std::string problem;
};

class UnreadableImage : public testing::TestWithParam<BadFileCase> {};

TEST_P(UnreadableImage, ReportsFileAndProblem) {
    ScratchDir dir;
    const std::string path = dir.write("in.img", GetParam().content);
    const auto started = std::chrono::steady_clock::now();
    const ImageReadResult result = readPageImage(path, false);
    const auto took = std::chrono::steady_clock::now() - started;
    EXPECT_FALSE(result.ok());
    EXPECT_EQ(result.error.rfind(path + ": ", 0), 0u) << result.error;
    EXPECT_NE(result.error.find(GetParam().problem), std::string::npos) << result.error;
    EXPECT_EQ(result.error.find('\n'), std::string::npos);
    EXPECT_TRUE(result.image.bits.empty());
    // Hostile sizes are turned away from the header, not after filling memory.
    EXPECT_LT(took, std::chrono::seconds(1));
}

INSTANTIATE_TEST_SUITE_P(
    Files, UnreadableImage,
    testing::Values(
        BadFileCase{"Empty", "", "not an image (expected PBM or PNG)"},
        BadFileCase{"Text", "hello, world", "not an image"},
        BadFileCase{"GreyPnm", std::string("P5\n1 1\n255\n\0", 12), "not an image"},
        BadFileCase{"MagicWithoutSeparator", "P12 1\n10", "not an image"},
        BadFileCase{"PlainDotsMissing", "P1\n3 2\n1 0 1\n0", "truncated"},
        BadFileCase{"PlainHeaderCut", "P1\n2", "truncated"},
        BadFileCase{"RawRowsMissing", std::string("P4\n16 2\n\0\0\0", 11), "truncated"},
        BadFileCase{"PlainBadDot", "P1\n2 1\n1 2", "malformed PBM"},
        BadFileCase{"LetterForWidth", "P1\nx 1\n", "malformed PBM header"},
        BadFileCase{"NoSpaceAfterHeight", "P4\n8 1x", "malformed PBM header"},
        BadFileCase{"ZeroWidth", "P4\n0 5\n", "empty image (0 x 5)"},
        BadFileCase{"TooWide", "P4\n65536 1\n", "image too large (65536 x 1)"},
        BadFileCase{"HugeBothWays", "P4\n65535 65535\n", "image too large (65535 x 65535)"},
        BadFileCase{"TooManyDots", "P1\n16384 16385\n", "image too large (16384 x 16385)"},
        BadFileCase{"AbsurdNumber", "P4\n99999999999999999999 1\n", "image too large"},
        BadFileCase{"LargestAllowedButEmpty", "P4\n16384 16384\n", "truncated"},
        BadFileCase{"PngSignatureOnly", "\x89PNG\r\n\x1a\n", "truncated"},
        BadFileCase{"PngTooWide", pngHeaderOnly(70000, 1), "image too large (70000 x 1)"},
        BadFileCase{"PngHuge", pngHeaderOnly(65535, 65535), "image too large (65535 x 65535)"},
        BadFileCase{"PngTooManyDots", pngHeaderOnly(65535, 4097), "image too large"},
        BadFileCase{"PngZeroHeight", pngHeaderOnly(5, 0), "empty image (5 x 0)"},
        BadFileCase{"PngBadHeaderChecksum", pngHeaderOnly(5, 5), "unreadable (IHDR: CRC error)"}),
    [](const testing::TestParamInfo<BadFileCase>& info) { return std::string(info.param.name); });

TEST(PageImageReader, NamesMissingFilesAndDirectories) {
    ScratchDir dir;
    const std::string missing = dir.path("absent.png");
    EXPECT_EQ(readPageImage(missing, false).error,
              missing + ": cannot open (No such file or directory)");
    const ImageReadResult directory = readPageImage(dir.path(""), false);
    EXPECT_FALSE(directory.ok());
    EXPECT_NE(directory.error.find("unreadable"), std::string::npos) << directory.error;
}

TEST(PageImageReader, DamagedPngIsAnError) {
    ScratchDir dir;
    PngLayout layout;
    layout.width = layout.height = 64;
    layout.colourType = PNG_COLOR_TYPE_RGB;
    std::mt19937 random(7);
    for (int y = 0; y < layout.height; ++y) {
        Bytes row(static_cast<size_t>(layout.width) * 3);
        for (uint8_t& byte : row)
            byte = static_cast<uint8_t>(random());
        layout.rows.push_back(row);
    }
    const std::string good = writeTestPng(dir, "good.png", layout);
    const std::string bytes = fileBytes(good);
    ASSERT_GT(bytes.size(), 1000u);

    const std::string cut = dir.write("cut.png", bytes.substr(0, bytes.size() / 2));
    EXPECT_EQ(readPageImage(cut, false).error, cut + ": truncated");

    std::string garbled = bytes;
    for (size_t i = 200; i < 260; ++i)
        garbled[i] = static_cast<char>(garbled[i] ^ 0x5A);
    const std::string bad = dir.write("garbled.png", garbled);
    const ImageReadResult result = readPageImage(bad, false);
    EXPECT_EQ(result.error.rfind(bad + ": unreadable (", 0), 0u) << result.error;
}

TEST(PageImageReader, EveryCutOfAFileIsAnErrorNotACrash) {
    ScratchDir dir;
    PngLayout layout = oneRow(9, PNG_COLOR_TYPE_RGB_ALPHA, 8, Bytes(36, 90));
    layout.interlaced = true;
    const std::string png = fileBytes(writeTestPng(dir, "whole.png", layout));
    const std::string pbm = std::string("P4\n# c\n9 2\n\xFF\x80\x00\x80", 15);
    for (const std::string& whole : {png, pbm}) {
        for (size_t cut = 0; cut < whole.size(); ++cut) {
            const std::string path = dir.write("cut", whole.substr(0, cut));
            const ImageReadResult result = readPageImage(path, false);
            EXPECT_FALSE(result.ok()) << cut;
            EXPECT_EQ(result.error.rfind(path + ": ", 0), 0u) << result.error;
        }
        EXPECT_TRUE(readPageImage(dir.write("whole", whole), false).ok());
    }
}

struct PngCase {
    const char* name;
    PngLayout layout;
    std::string expected; // one row
};

PngLayout withPalette(PngLayout layout, std::vector<png_color> palette, Bytes alpha = {}) {
    layout.palette = std::move(palette);
    layout.paletteAlpha = std::move(alpha);
    return layout;
}

PngLayout withTransparent(PngLayout layout, png_color_16 colour) {
    layout.transparent = colour;
    return layout;
}

class PngThreshold : public testing::TestWithParam<PngCase> {};

TEST_P(PngThreshold, DarkerThanMidGreyOnWhiteIsPrinted) {
    ScratchDir dir;
    const std::string path = writeTestPng(dir, "in.png", GetParam().layout);
    const ImageReadResult result = readPageImage(path, false);
    ASSERT_TRUE(result.ok()) << result.error;
    EXPECT_EQ(rowsOf(result.image), Rows{GetParam().expected});
}

png_color_16 grey16(uint16_t grey) {
    png_color_16 colour{};
    colour.gray = grey;
    return colour;
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, PngThreshold,
    testing::Values(
        PngCase{"Grey8", oneRow(4, PNG_COLOR_TYPE_GRAY, 8, {0, 127, 128, 255}), "##.."},
        PngCase{"Grey1", oneRow(4, PNG_COLOR_TYPE_GRAY, 1, {0x50}), "#.#."},
        PngCase{"Grey2", oneRow(4, PNG_COLOR_TYPE_GRAY, 2, {0x1B}), "##.."},
        PngCase{"Grey16",
                oneRow(4, PNG_COLOR_TYPE_GRAY, 16, bigEndian16({0x7FFF, 0x8000, 0, 0xFFFF})),
                "#.#."},
        PngCase{"GreyTransparentValue",
                withTransparent(oneRow(2, PNG_COLOR_TYPE_GRAY, 8, {0, 10}), grey16(0)), ".#"},
        PngCase{"GreyAlpha",
                oneRow(4, PNG_COLOR_TYPE_GRAY_ALPHA, 8, {0, 255, 0, 0, 0, 128, 0, 127}), "#.#."},
        // Red, green and blue weigh 0.299, 0.587 and 0.114.
        PngCase{"Rgb8",
                oneRow(4, PNG_COLOR_TYPE_RGB, 8, {255, 0, 0, 0, 255, 0, 0, 0, 255, 128, 128, 128}),
                "#.#."},
        PngCase{"Rgb16",
                oneRow(2, PNG_COLOR_TYPE_RGB, 16, bigEndian16({0, 0xFFFF, 0, 0xFFFF, 0, 0})), ".#"},
        PngCase{"RgbaOnWhite",
                oneRow(5, PNG_COLOR_TYPE_RGB_ALPHA, 8,
                       {0, 0, 0, 255, 0, 0, 0, 0, 0, 0, 0, 128, 0, 0, 0, 127, 255, 255, 255, 255}),
                "#.#.."},
        PngCase{"RgbaHalfRedStaysLight",
                oneRow(2, PNG_COLOR_TYPE_RGB_ALPHA, 8, {255, 0, 0, 255, 255, 0, 0, 128}), "#."},
        PngCase{"Palette8WithAlpha",
                withPalette(oneRow(4, PNG_COLOR_TYPE_PALETTE, 8, {0, 1, 2, 3}),
                            {{0, 0, 0}, {255, 255, 255}, {200, 0, 0}, {0, 0, 0}},
                            {255, 255, 255, 0}),
                "#.#."},
        PngCase{
            "Palette1",
            withPalette(oneRow(4, PNG_COLOR_TYPE_PALETTE, 1, {0x50}), {{255, 255, 255}, {0, 0, 0}}),
            ".#.#"}),
    [](const testing::TestParamInfo<PngCase>& info) { return std::string(info.param.name); });

TEST(PageImageReader, InterlacedPngReadsLikePlainOne) {
    ScratchDir dir;
    PngLayout layout;
    layout.width = 11;
    layout.height = 9;
    layout.colourType = PNG_COLOR_TYPE_RGB;
    Rows expected;
    for (int y = 0; y < layout.height; ++y) {
        Bytes row;
        std::string dots;
        for (int x = 0; x < layout.width; ++x) {
            const bool dark = (x * 7 + y * 3) % 5 < 2;
            const uint8_t level = dark ? 40 : 220;
            row.insert(row.end(), {level, level, level});
            dots += dark ? '#' : '.';
        }
        layout.rows.push_back(row);
        expected.push_back(dots);
    }
    layout.interlaced = true;
    const std::string path = writeTestPng(dir, "interlaced.png", layout);
    const ImageReadResult result = readPageImage(path, false);
    ASSERT_TRUE(result.ok()) << result.error;
    EXPECT_EQ(rowsOf(result.image), expected);
}

PngLayout flatGrey(int side, uint8_t level) {
    PngLayout layout;
    layout.width = layout.height = side;
    layout.rows.assign(static_cast<size_t>(side), Bytes(static_cast<size_t>(side), level));
    return layout;
}

TEST(PageImageReader, DitheringSpreadsGreyIntoDots) {
    ScratchDir dir;
    const struct {
        uint8_t level;
        double low, high;
    } shades[] = {
        {0, 1.0, 1.0}, {64, 0.70, 0.80}, {128, 0.45, 0.55}, {192, 0.20, 0.30}, {255, 0.0, 0.0}};
    for (const auto& shade : shades) {
        SCOPED_TRACE(int{shade.level});
        const std::string path = writeTestPng(dir, "grey" + std::to_string(shade.level) + ".png",
                                              flatGrey(64, shade.level));
        const ImageReadResult dithered = readPageImage(path, true);
        ASSERT_TRUE(dithered.ok()) << dithered.error;
        const double share = tools_test::printedShare(dithered.image);
        EXPECT_GE(share, shade.low);
        EXPECT_LE(share, shade.high);
    }
    // Without dithering, mid grey falls on the light side entirely.
    const ImageReadResult plain = readPageImage(dir.path("grey128.png"), false);
    ASSERT_TRUE(plain.ok());
    EXPECT_EQ(tools_test::printedShare(plain.image), 0.0);
}

TEST(PageImageReader, DitheredMidGreyHasNoRunsEitherWay) {
    ScratchDir dir;
    const std::string path = writeTestPng(dir, "grey.png", flatGrey(32, 128));
    const ImageReadResult result = readPageImage(path, true);
    ASSERT_TRUE(result.ok()) << result.error;
    const Rows rows = rowsOf(result.image);
    Rows columns(rows[0].size());
    for (const std::string& row : rows)
        for (size_t x = 0; x < row.size(); ++x)
            columns[x] += row[x];
    for (const Rows& lines : {rows, columns}) {
        for (const std::string& line : lines) {
            EXPECT_EQ(line.find("####"), std::string::npos) << line;
            EXPECT_EQ(line.find("...."), std::string::npos) << line;
        }
    }
}

TEST(WritePng, RoundTripsThroughTheReader) {
    ScratchDir dir;
    BilevelImage image = BilevelImage::blank(13, 7);
    std::mt19937 random(11);
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            image.setDot(x, y, random() % 3 == 0);
    const std::string path = dir.path("out.png");
    std::string error;
    ASSERT_TRUE(writePng(path, image, error)) << error;
    for (bool dither : {false, true}) {
        const ImageReadResult back = readPageImage(path, dither);
        ASSERT_TRUE(back.ok()) << back.error;
        EXPECT_EQ(back.image, image) << "dither " << dither;
    }
}

TEST(WritePng, RefusesWhatItCannotWrite) {
    ScratchDir dir;
    std::string error;
    EXPECT_FALSE(writePng(dir.path("empty.png"), BilevelImage{}, error));
    EXPECT_NE(error.find("empty image"), std::string::npos) << error;
    EXPECT_FALSE(std::filesystem::exists(dir.path("empty.png")));

    BilevelImage short_ = BilevelImage::blank(16, 4);
    short_.bits.pop_back();
    EXPECT_FALSE(writePng(dir.path("short.png"), short_, error));

    const std::string nowhere = dir.path("no/such/dir/out.png");
    EXPECT_FALSE(writePng(nowhere, BilevelImage::blank(8, 8), error));
    EXPECT_EQ(error, nowhere + ": cannot create (No such file or directory)");
}

} // namespace

TEST(PageImageReader, HugeInterlacedHeaderIsRefusedBeforeDecoding) {
    // Interlaced pictures are decoded whole: a 100-byte header must not make
    // the reader take a gigabyte before it finds the data missing.
    auto chunk = [](const std::string& type, const std::string& data) {
        std::string out;
        for (int shift = 24; shift >= 0; shift -= 8)
            out += static_cast<char>((data.size() >> shift) & 0xFF);
        const std::string body = type + data;
        out += body;
        const uLong crc =
            crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()));
        for (int shift = 24; shift >= 0; shift -= 8)
            out += static_cast<char>((crc >> shift) & 0xFF);
        return out;
    };
    const std::string header("\x00\x00\x40\x00\x00\x00\x40\x00\x08\x02\x00\x00\x01", 13);
    ScratchDir dir;
    const std::string path = dir.write(
        "huge.png", "\x89PNG\r\n\x1a\n" + chunk("IHDR", header) +
                        chunk("IDAT", std::string("\x78\x9c\x03\x00\x00\x00\x00\x01", 8)) +
                        chunk("IEND", ""));
    const ImageReadResult result = readPageImage(path, false);
    EXPECT_FALSE(result.ok());
    EXPECT_NE(result.error.find("too large"), std::string::npos) << result.error;
}

#include "decoder/label_decoder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "imaging/page_image_reader.h"
#include "support/scratch_files.h"

namespace {

using tools_test::ScratchDir;
using Bytes = std::vector<uint8_t>;

const std::string kPrint = "\r\nPRINT 1,1\r\n";

std::string header(int density, int direction, long long sizeWidth, long long sizeHeight,
                   long long widthBytes, long long heightDots) {
    return "Density " + std::to_string(density) + "\r\nDIRECTION " + std::to_string(direction) +
           ",0\r\nSIZE " + std::to_string(sizeWidth) + " mm, " + std::to_string(sizeHeight) +
           " mm\r\nCLS\r\nBITMAP 0,0," + std::to_string(widthBytes) + "," +
           std::to_string(heightDots) + ",1,";
}

// A program as the plug-in writes it; bitmap bytes cycle through `pattern`.
std::string program(int widthBytes, int heightDots, const std::string& pattern = "\xF0",
                    int density = 8, int direction = 0) {
    std::string bitmap;
    for (int i = 0; i < widthBytes * heightDots; ++i)
        bitmap += pattern[static_cast<size_t>(i) % pattern.size()];
    return header(density, direction, widthBytes, heightDots / 8, widthBytes, heightDots) + bitmap +
           kPrint;
}

LabelStream decode(const std::string& bytes) {
    return decodeLabelStream(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

TEST(LabelDecoder, ReadsOneProgram) {
    const LabelStream stream = decode(program(2, 16, std::string("\x00\xFF\x0F", 3), -3, -1));
    ASSERT_TRUE(stream.ok()) << stream.error;
    EXPECT_TRUE(stream.notes.empty());
    ASSERT_EQ(stream.labels.size(), 1u);
    const DecodedLabel& label = stream.labels[0];
    EXPECT_EQ(label.offset, 0u);
    EXPECT_EQ(label.density, -3);
    EXPECT_EQ(label.direction, -1);
    EXPECT_EQ(label.sizeWidthMm, 2);
    EXPECT_EQ(label.sizeHeightMm, 2);
    EXPECT_EQ(label.widthBytes, 2);
    EXPECT_EQ(label.heightDots, 16);
    ASSERT_EQ(label.bitmap.size(), 32u);
    EXPECT_EQ(label.bitmap[0], 0x00);
    EXPECT_EQ(label.bitmap[1], 0xFF);
    EXPECT_EQ(label.bitmap[31], 0xFF);
    // Per 3 bytes: 8 + 0 + 4 zero bits; 10 full cycles and 0x00, 0xFF left.
    EXPECT_EQ(label.printedDots, 10u * 12 + 8);
}

TEST(LabelDecoder, SkipsForeignBytesAroundPrograms) {
    const std::string junk = "\x1B@ok";
    // The user's own density command starts like a program but is not one.
    const std::string userCommand = "Density 12\r\nSPEED 4\r\n";
    const std::string first = program(1, 8, "\x55");
    const std::string second = program(3, 9);
    const std::string bytes = junk + first + userCommand + second + "Density ";
    const LabelStream stream = decode(bytes);
    ASSERT_TRUE(stream.ok()) << stream.error;
    ASSERT_EQ(stream.labels.size(), 2u);
    EXPECT_EQ(stream.labels[0].offset, 4u);
    EXPECT_EQ(stream.labels[0].printedDots, 32u);
    const size_t secondAt = junk.size() + first.size() + userCommand.size();
    EXPECT_EQ(stream.labels[1].offset, secondAt);
    EXPECT_EQ(stream.labels[1].widthBytes, 3);
    EXPECT_EQ(stream.labels[1].sizeHeightMm, 1);
    const size_t commandAt = junk.size() + first.size();
    const size_t tailAt = secondAt + second.size();
    EXPECT_EQ(stream.notes,
              (std::vector<std::string>{
                  "bytes 0-3: 4 bytes that are not a label program",
                  "bytes " + std::to_string(commandAt) + "-" + std::to_string(secondAt - 1) + ": " +
                      std::to_string(userCommand.size()) + " bytes that are not a label program",
                  "bytes " + std::to_string(tailAt) + "-" + std::to_string(bytes.size() - 1) +
                      ": 8 bytes that are not a label program"}));
}

TEST(LabelDecoder, NothingButForeignBytes) {
    EXPECT_TRUE(decode("").notes.empty());
    EXPECT_TRUE(decodeLabelStream(nullptr, 0).ok());
    const LabelStream stream = decode("X");
    EXPECT_TRUE(stream.ok());
    EXPECT_TRUE(stream.labels.empty());
    EXPECT_EQ(stream.notes, std::vector<std::string>{"byte 0: 1 byte that is not a label program"});
}

TEST(LabelDecoder, BitmapBytesThatSpellAHeaderStayBitmap) {
    const std::string inner = program(1, 8);
    const std::string outer = header(8, 0, static_cast<long long>(inner.size()), 0,
                                     static_cast<long long>(inner.size()), 1) +
                              inner + kPrint;
    const LabelStream stream = decode(outer);
    ASSERT_TRUE(stream.ok()) << stream.error;
    ASSERT_EQ(stream.labels.size(), 1u);
    EXPECT_EQ(stream.labels[0].bitmap.size(), inner.size());
}

struct BrokenCase {
    const char* name;
    std::string bytes;
    std::string error;
    size_t labelsBefore;
};

class BrokenProgram : public testing::TestWithParam<BrokenCase> {};

TEST_P(BrokenProgram, StopsWithTheOffsetAndProblem) {
    const LabelStream stream = decode(GetParam().bytes);
    EXPECT_EQ(stream.error, GetParam().error);
    EXPECT_EQ(stream.labels.size(), GetParam().labelsBefore);
}

const std::string kGood = program(2, 8);
const std::string kGoodAt = std::to_string(kGood.size());

INSTANTIATE_TEST_SUITE_P(
    Streams, BrokenProgram,
    testing::Values(
        BrokenCase{"BitmapCut", header(8, 0, 4, 0, 4, 5) + "12345",
                   "label 1 at byte 0: bitmap truncated (expected 20 bytes, 5 present)", 0},
        BrokenCase{"SecondBitmapCut", kGood + header(8, 0, 48, 100, 48, 800) + "abc",
                   "label 2 at byte " + kGoodAt +
                       ": bitmap truncated (expected 38400 bytes, 3 present)",
                   1},
        BrokenCase{"HugeDeclaredBitmap",
                   header(8, 0, 2147483647, 268435455, 2147483647, 2147483647) + "x",
                   "label 1 at byte 0: bitmap truncated (expected 4611686014132420609 bytes, 1 "
                   "present)",
                   0},
        BrokenCase{"WrongPrintCommand", header(8, 0, 1, 0, 1, 1) + "A\r\nPRINT 2,1\r\n",
                   "label 1 at byte 0: no print command after the bitmap (byte 66)", 0},
        BrokenCase{"PrintCommandCut", kGood + header(8, 0, 1, 0, 1, 1) + "A\r\nPRI",
                   "label 2 at byte " + kGoodAt + ": print command truncated after the bitmap", 1},
        BrokenCase{"NothingAfterBitmap", header(8, 0, 1, 0, 1, 1) + "A",
                   "label 1 at byte 0: print command truncated after the bitmap", 0},
        BrokenCase{"NegativeWidth", header(8, 0, -2, 1, -2, 8),
                   "label 1 at byte 0: negative bitmap size (-2 bytes x 8 lines)", 0},
        BrokenCase{"NegativeHeight", header(8, 0, 2, 0, 2, -1) + kPrint,
                   "label 1 at byte 0: negative bitmap size (2 bytes x -1 lines)", 0},
        BrokenCase{"WidthOverflows", header(8, 0, 99999999999, 1, 99999999999, 8),
                   "label 1 at byte 0: number out of range", 0},
        BrokenCase{"DensityOverflows", header(8, 0, 1, 1, 1, 8).replace(8, 1, "-2147483649"),
                   "label 1 at byte 0: number out of range", 0},
        BrokenCase{"SizeWidthDiffers", header(8, 0, 3, 1, 2, 8),
                   "label 1 at byte 0: SIZE width 3 mm does not match bitmap width 2 bytes", 0},
        BrokenCase{"SizeHeightDiffers", header(8, 0, 2, 2, 2, 15),
                   "label 1 at byte 0: SIZE height 2 mm does not match bitmap height 15 lines", 0},
        BrokenCase{"HeaderCut", kGood + "Density 4\r\nDIRECTION 0,0\r\nSI",
                   "label 2 at byte " + kGoodAt + ": header truncated", 1},
        BrokenCase{"OtherBitmapMode", header(8, 0, 1, 0, 1, 1).replace(63, 1, "0"),
                   "label 1 at byte 0: malformed header at byte 62", 0}),
    [](const testing::TestParamInfo<BrokenCase>& info) { return std::string(info.param.name); });

TEST(LabelDecoder, DamagedStreamsNeverReadPastTheirEnd) {
    const std::string good = "ab" + program(3, 9, "\x81\x42") + "cd" + program(1, 8);
    std::mt19937 random(3);
    for (int round = 0; round < 2000; ++round) {
        std::string bytes = good.substr(0, random() % (good.size() + 1));
        for (int flips = random() % 4; flips > 0 && !bytes.empty(); --flips)
            bytes[random() % bytes.size()] = "0-9,\r\n \xFF"[random() % 9];
        // A copy of exactly the right size lets the sanitizers see any overrun.
        const std::vector<uint8_t> exact(bytes.begin(), bytes.end());
        const LabelStream stream = decodeLabelStream(exact.data(), exact.size());
        for (const DecodedLabel& label : stream.labels) {
            EXPECT_EQ(label.bitmap.size(), static_cast<size_t>(label.widthBytes) *
                                               static_cast<size_t>(label.heightDots));
            EXPECT_LT(label.offset, exact.size());
        }
    }
}

TEST(LabelPicture, ClearBitsArePrintedDots) {
    const LabelStream stream = decode(program(2, 3, std::string("\x7F\xFE", 2)));
    ASSERT_EQ(stream.labels.size(), 1u);
    const BilevelImage picture = labelPicture(stream.labels[0]);
    EXPECT_EQ(
        tools_test::rowsOf(picture),
        (std::vector<std::string>{"#..............#", "#..............#", "#..............#"}));
    EXPECT_TRUE(labelPicture(DecodedLabel{}).bits.empty());
}

TEST(LabelPicture, PngRoundTripKeepsEveryDot) {
    ScratchDir dir;
    const LabelStream stream =
        decode(program(3, 10, std::string("\x12\xE4\x00\xFF\x81", 5)) + "--" + program(1, 8));
    ASSERT_TRUE(stream.ok()) << stream.error;
    std::string error;
    ASSERT_TRUE(writeLabelPictures(stream, dir.path("label.png"), error)) << error;
    EXPECT_FALSE(std::filesystem::exists(dir.path("label.png")));
    for (size_t i = 0; i < stream.labels.size(); ++i) {
        const ImageReadResult back =
            readPageImage(numberedPath(dir.path("label.png"), i, 2), false);
        ASSERT_TRUE(back.ok()) << back.error;
        EXPECT_EQ(back.image, labelPicture(stream.labels[i]));
        EXPECT_DOUBLE_EQ(tools_test::printedShare(back.image) * back.image.width *
                             back.image.height,
                         static_cast<double>(stream.labels[i].printedDots));
    }
}

TEST(LabelPicture, NothingToDrawIsAnError) {
    ScratchDir dir;
    std::string error;
    EXPECT_FALSE(writeLabelPictures(LabelStream{}, dir.path("x.png"), error));
    EXPECT_NE(error.find("no labels"), std::string::npos);
    const LabelStream empty = decode(program(0, 0));
    ASSERT_EQ(empty.labels.size(), 1u);
    EXPECT_FALSE(writeLabelPictures(empty, dir.path("x.png"), error));
    EXPECT_NE(error.find("no dots"), std::string::npos) << error;
}

TEST(NumberedPath, NumbersOnlyWhenThereAreSeveral) {
    const struct {
        std::string path;
        size_t index, count;
        std::string expected;
    } cases[] = {
        {"out.png", 0, 1, "out.png"},
        {"out.png", 0, 2, "out-1.png"},
        {"out.png", 1, 2, "out-2.png"},
        {"out.png", 11, 12, "out-12.png"},
        {"out", 0, 3, "out-1"},
        {"some.dir/out", 2, 3, "some.dir/out-3"},
        {"c:\\pics.d\\out", 0, 2, "c:\\pics.d\\out-1"},
        {"a/b.c/label.tar.png", 1, 2, "a/b.c/label.tar-2.png"},
        {"dir/.png", 0, 2, "dir/.png-1"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(numberedPath(c.path, c.index, c.count), c.expected)
            << c.path << " " << c.index << "/" << c.count;
}

} // namespace

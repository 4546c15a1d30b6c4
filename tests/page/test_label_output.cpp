// The label program written for a captured page in label mode: header,
// bitmap lines (shifted, and turned for landscape) and the print command.
#include "page/page_hooks.h"
#include "platform/host/test_controls.h"
#include "support/fake_device.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::vector<BYTE>>;

constexpr char kTrailer[] = "\r\nPRINT 1,1\r\n";

// The written label, split at the write calls: the last write is the print
// command, the `lineCount` writes before it the bitmap lines, and whatever
// came before them the header.
struct Label {
    std::string header;
    Lines lines;
    std::string trailer;
};

Label splitLabel(const fake::FakeDevice& device, std::size_t lineCount) {
    Label label;
    const auto& writes = device.writes;
    if (writes.size() < lineCount + 2) {
        ADD_FAILURE() << writes.size() << " writes, expected header, " << lineCount
                      << " lines and trailer";
        return label;
    }
    const std::size_t firstLine = writes.size() - 1 - lineCount;
    for (std::size_t i = 0; i < firstLine; ++i)
        label.header.append(writes[i].begin(), writes[i].end());
    label.lines.assign(writes.begin() + static_cast<std::ptrdiff_t>(firstLine), writes.end() - 1);
    label.trailer.assign(writes.back().begin(), writes.back().end());
    return label;
}

std::string headerText(int density, int direction, int widthBytes, int heightDots) {
    return "Density " + std::to_string(density) + "\r\nDIRECTION " + std::to_string(direction) +
           ",0\r\nSIZE " + std::to_string(widthBytes) + " mm, " + std::to_string(heightDots / 8) +
           " mm\r\nCLS\r\nBITMAP 0,0," + std::to_string(widthBytes) + "," +
           std::to_string(heightDots) + ",1,";
}

Lines randomLines(std::size_t count, std::size_t bytes, unsigned seed) {
    std::mt19937 random(seed);
    Lines lines(count, std::vector<BYTE>(bytes));
    for (auto& line : lines)
        for (BYTE& byte : line)
            byte = static_cast<BYTE>(random());
    return lines;
}

int dotOf(const std::vector<BYTE>& line, std::size_t column) {
    return (line[column / 8] >> (7 - column % 8)) & 1;
}

// The page turned dot by dot: output line y, dot x is the source dot at
// column 8W - 1 - y on line x; dots past the source's last line stay 0.
Lines turned(const Lines& source, std::size_t widthBytes) {
    const std::size_t height = source.size();
    const std::size_t outHeight = 8 * widthBytes;
    Lines out(outHeight, std::vector<BYTE>((height + 7) / 8, 0));
    for (std::size_t y = 0; y < outHeight; ++y)
        for (std::size_t x = 0; x < height; ++x)
            if (dotOf(source[x], outHeight - 1 - y))
                out[y][x / 8] |= static_cast<BYTE>(0x80 >> (x % 8));
    return out;
}

// The page moved by whole bytes right and whole lines up, white where
// nothing moved in.
Lines shifted(const Lines& source, long shiftX, long shiftY) {
    Lines out = source;
    const long height = static_cast<long>(source.size());
    for (long r = 0; r < height; ++r) {
        const long width = static_cast<long>(source[r].size());
        for (long b = 0; b < width; ++b) {
            const long fromLine = r + shiftY;
            const long fromByte = b - shiftX;
            const bool inside =
                fromLine >= 0 && fromLine < height && fromByte >= 0 && fromByte < width;
            out[r][b] = inside ? source[fromLine][fromByte] : 0xFF;
        }
    }
    return out;
}

class LabelOutput : public ::testing::Test {
  protected:
    ~LabelOutput() override { platform::host::failNthAllocation(0); }

    // One page of `lines`, captured `biWidth` dots wide and sent in label
    // mode; only the label's own writes are kept.
    void printPage(fake::FakeDevice& device, LONG biWidth, const Lines& lines) {
        ASSERT_EQ(DrvStartPage(device.surface()), TRUE);
        ASSERT_EQ(fake::feedBand(device, biWidth, lines), S_OK);
        device.clearRecords();
        ASSERT_EQ(DrvSendPage(device.surface()), TRUE);
    }
};

TEST_F(LabelOutput, PortraitPageAsInTheWorkedExample) {
    fake::FakeDevice device(DMORIENT_PORTRAIT);
    const Lines lines = randomLines(800, 48, 1);
    printPage(device, 384, lines);
    const Label label = splitLabel(device, 800);
    EXPECT_EQ(label.header, "Density 4\r\nDIRECTION 0,0\r\nSIZE 48 mm, 100 mm\r\nCLS\r\n"
                            "BITMAP 0,0,48,800,1,");
    EXPECT_EQ(label.header.size(), 71u);
    EXPECT_EQ(label.lines, lines);
    EXPECT_EQ(label.trailer, kTrailer);
    EXPECT_EQ(label.trailer.size(), 13u);
}

TEST_F(LabelOutput, LandscapePageAsInTheWorkedExample) {
    fake::FakeDevice device(DMORIENT_LANDSCAPE);
    const Lines lines = randomLines(800, 48, 2);
    printPage(device, 384, lines);
    const Label label = splitLabel(device, 384);
    EXPECT_EQ(label.header, "Density 4\r\nDIRECTION 0,0\r\nSIZE 100 mm, 48 mm\r\nCLS\r\n"
                            "BITMAP 0,0,100,384,1,");
    EXPECT_EQ(label.lines, turned(lines, 48));
    EXPECT_EQ(label.trailer, kTrailer);
}

TEST_F(LabelOutput, HeaderCarriesDensityAndDirection) {
    struct Case {
        SHORT density;
        SHORT direction;
        int densitySent;
    };
    const Case cases[] = {{0, 0, 4},
                          {1, 0, 0},
                          {2, 1, 1},
                          {8, 0, 7},
                          {-1, -1, -2},
                          {0, -3, 4},
                          {-32768, 32767, -32769},
                          {32767, -32768, 32766}};
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << "density " << c.density << " direction " << c.direction);
        fake::FakeDevice device;
        device.settings.density = c.density;
        device.settings.direction = c.direction;
        printPage(device, 32, randomLines(8, 4, 3));
        EXPECT_EQ(splitLabel(device, 8).header, headerText(c.densitySent, c.direction, 4, 8));
    }
}

TEST_F(LabelOutput, OnlyOrientation2IsLandscape) {
    for (const SHORT orientation : {SHORT{0}, SHORT{1}, SHORT{2}, SHORT{3}, SHORT{-2}}) {
        SCOPED_TRACE(orientation);
        fake::FakeDevice device(orientation);
        const Lines lines = randomLines(16, 4, 4);
        printPage(device, 32, lines);
        if (orientation == DMORIENT_LANDSCAPE) {
            const Label label = splitLabel(device, 32);
            EXPECT_EQ(label.header, headerText(4, 0, 2, 32));
            EXPECT_EQ(label.lines, turned(lines, 4));
        } else {
            const Label label = splitLabel(device, 16);
            EXPECT_EQ(label.header, headerText(4, 0, 4, 16));
            EXPECT_EQ(label.lines, lines);
        }
    }
}

TEST_F(LabelOutput, PageSizesRoundAsTheLanguageExpects) {
    struct Case {
        SHORT orientation;
        std::size_t lineCount;
        const char* size;
        const char* bitmap;
        std::size_t outLines;
    };
    const Case cases[] = {
        {DMORIENT_PORTRAIT, 809, "SIZE 48 mm, 101 mm", "BITMAP 0,0,48,809,1,", 809},
        {DMORIENT_PORTRAIT, 7, "SIZE 48 mm, 0 mm", "BITMAP 0,0,48,7,1,", 7},
        {DMORIENT_PORTRAIT, 8, "SIZE 48 mm, 1 mm", "BITMAP 0,0,48,8,1,", 8},
        {DMORIENT_LANDSCAPE, 801, "SIZE 101 mm, 48 mm", "BITMAP 0,0,101,384,1,", 384},
        {DMORIENT_LANDSCAPE, 1, "SIZE 1 mm, 48 mm", "BITMAP 0,0,1,384,1,", 384},
        {DMORIENT_LANDSCAPE, 8, "SIZE 1 mm, 48 mm", "BITMAP 0,0,1,384,1,", 384},
        {DMORIENT_LANDSCAPE, 9, "SIZE 2 mm, 48 mm", "BITMAP 0,0,2,384,1,", 384},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.orientation << ", " << c.lineCount << " lines");
        fake::FakeDevice device(c.orientation);
        const Lines lines = randomLines(c.lineCount, 48, 5);
        printPage(device, 384, lines);
        const Label label = splitLabel(device, c.outLines);
        EXPECT_NE(label.header.find(std::string("\r\n") + c.size + "\r\n"), std::string::npos)
            << label.header;
        EXPECT_TRUE(label.header.ends_with(std::string("\r\nCLS\r\n") + c.bitmap)) << label.header;
        const std::size_t outWidth =
            c.orientation == DMORIENT_LANDSCAPE ? (c.lineCount + 7) / 8 : 48;
        for (const auto& line : label.lines)
            ASSERT_EQ(line.size(), outWidth);
        EXPECT_EQ(label.trailer, kTrailer);
    }
}

TEST_F(LabelOutput, APageWithoutLinesStillGetsAWholeProgram) {
    {
        fake::FakeDevice device(DMORIENT_PORTRAIT);
        printPage(device, 384, {});
        ASSERT_EQ(device.writes.size(), 2u);
        EXPECT_EQ(splitLabel(device, 0).header,
                  "Density 4\r\nDIRECTION 0,0\r\nSIZE 48 mm, 0 mm\r\nCLS\r\nBITMAP 0,0,48,0,1,");
        EXPECT_EQ(splitLabel(device, 0).trailer, kTrailer);
    }
    {
        fake::FakeDevice device(DMORIENT_LANDSCAPE);
        printPage(device, 384, {});
        const Label label = splitLabel(device, 384);
        EXPECT_EQ(label.header,
                  "Density 4\r\nDIRECTION 0,0\r\nSIZE 0 mm, 48 mm\r\nCLS\r\nBITMAP 0,0,0,384,1,");
        EXPECT_EQ(label.lines, Lines(384));
        EXPECT_EQ(label.trailer, kTrailer);
    }
}

TEST_F(LabelOutput, APageWithoutAnyBandIsAnEmptyProgram) {
    for (const SHORT orientation : {DMORIENT_PORTRAIT, DMORIENT_LANDSCAPE}) {
        SCOPED_TRACE(orientation);
        fake::FakeDevice device(orientation);
        ASSERT_EQ(DrvStartPage(device.surface()), TRUE);
        ASSERT_EQ(DrvSendPage(device.surface()), TRUE);
        EXPECT_EQ(device.spoolText(), headerText(4, 0, 0, 0) + kTrailer);
    }
}

// Each page takes its width from its own first band.
TEST_F(LabelOutput, EveryPageHasItsOwnWidth) {
    fake::FakeDevice device;
    printPage(device, 384, randomLines(3, 48, 9));
    EXPECT_EQ(splitLabel(device, 3).header, headerText(4, 0, 48, 3));
    const Lines narrow = randomLines(2, 4, 10);
    printPage(device, 32, narrow);
    const Label label = splitLabel(device, 2);
    EXPECT_EQ(label.header, headerText(4, 0, 4, 2));
    EXPECT_EQ(label.lines, narrow);
}

TEST_F(LabelOutput, LandscapeTurnsEveryDot) {
    struct Case {
        std::size_t widthBytes;
        std::size_t lineCount;
    };
    for (const Case c :
         {Case{4, 1}, Case{4, 3}, Case{4, 8}, Case{8, 9}, Case{12, 17}, Case{4, 64}}) {
        SCOPED_TRACE(::testing::Message() << c.widthBytes << " bytes, " << c.lineCount << " lines");
        fake::FakeDevice device(DMORIENT_LANDSCAPE);
        const Lines lines = randomLines(c.lineCount, c.widthBytes, 6);
        printPage(device, static_cast<LONG>(8 * c.widthBytes), lines);
        const Label label = splitLabel(device, 8 * c.widthBytes);
        EXPECT_EQ(label.lines, turned(lines, c.widthBytes));
    }
}

// Dots past the page's last line are padding of the turned lines; they must
// stay clear even when every captured dot is set.
TEST_F(LabelOutput, LandscapePaddingDotsStayClear) {
    fake::FakeDevice device(DMORIENT_LANDSCAPE);
    printPage(device, 32, Lines(3, std::vector<BYTE>(4, 0xFF)));
    const Label label = splitLabel(device, 32);
    ASSERT_EQ(label.lines.size(), 32u);
    for (const auto& line : label.lines) {
        ASSERT_EQ(line.size(), 1u);
        EXPECT_EQ(line[0], 0xE0);
    }
}

TEST_F(LabelOutput, ShiftsMoveWholeBytesAndLines) {
    struct Case {
        SHORT shiftX;
        SHORT shiftY;
        Lines expected;
    };
    const Lines page = {
        {0x11, 0x22, 0x33, 0x44}, {0x55, 0x66, 0x77, 0x88}, {0x99, 0xAA, 0xBB, 0xCC}};
    const std::vector<BYTE> white(4, 0xFF);
    const Case cases[] = {
        {0, 0, page},
        {2, 0, {{0xFF, 0xFF, 0x11, 0x22}, {0xFF, 0xFF, 0x55, 0x66}, {0xFF, 0xFF, 0x99, 0xAA}}},
        {-1, 0, {{0x22, 0x33, 0x44, 0xFF}, {0x66, 0x77, 0x88, 0xFF}, {0xAA, 0xBB, 0xCC, 0xFF}}},
        {3, 0, {{0xFF, 0xFF, 0xFF, 0x11}, {0xFF, 0xFF, 0xFF, 0x55}, {0xFF, 0xFF, 0xFF, 0x99}}},
        {4, 0, {white, white, white}},
        {-4, 0, {white, white, white}},
        {32767, 0, {white, white, white}},
        {-32768, 0, {white, white, white}},
        {0, 1, {page[1], page[2], white}},
        {0, -1, {white, page[0], page[1]}},
        {0, 2, {page[2], white, white}},
        {0, 3, {white, white, white}},
        {0, -3, {white, white, white}},
        {0, 32767, {white, white, white}},
        {0, -32768, {white, white, white}},
        {1, 1, {{0xFF, 0x55, 0x66, 0x77}, {0xFF, 0x99, 0xAA, 0xBB}, white}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "shift " << c.shiftX << ", " << c.shiftY);
        ASSERT_EQ(shifted(page, c.shiftX, c.shiftY), c.expected); // the reference agrees
        fake::FakeDevice device;
        device.settings.shiftX = c.shiftX;
        device.settings.shiftY = c.shiftY;
        printPage(device, 32, page);
        EXPECT_EQ(splitLabel(device, 3).lines, c.expected);
    }
}

TEST_F(LabelOutput, ZeroShiftKeepsTheCapturedPaddingBits) {
    fake::FakeDevice device;
    // 20 dots wide: the stride is 4 bytes, of which 12 bits are padding.
    const Lines lines = {{0x12, 0x34, 0x5F, 0xFF}, {0x00, 0x01, 0x0A, 0x7E}};
    printPage(device, 20, lines);
    EXPECT_EQ(splitLabel(device, 2).lines, lines);
}

TEST_F(LabelOutput, LandscapeShiftsBeforeItTurns) {
    for (const auto& [shiftX, shiftY] : {std::pair<SHORT, SHORT>{1, 0}, {-2, 0}, {0, 3}, {2, -5}}) {
        SCOPED_TRACE(::testing::Message() << "shift " << shiftX << ", " << shiftY);
        fake::FakeDevice device(DMORIENT_LANDSCAPE);
        device.settings.shiftX = shiftX;
        device.settings.shiftY = shiftY;
        const Lines lines = randomLines(21, 8, 7);
        printPage(device, 64, lines);
        const Label label = splitLabel(device, 64);
        EXPECT_EQ(label.header, headerText(4, 0, 3, 64));
        EXPECT_EQ(label.lines, turned(shifted(lines, shiftX, shiftY), 8));
    }
}

// A header without its bitmap would make the printer read the following
// bytes as image data, so a page whose turned image has no memory is dropped.
TEST_F(LabelOutput, LandscapeWithoutMemoryForTheTurnedImageWritesNothing) {
    fake::FakeDevice device(DMORIENT_LANDSCAPE);
    ASSERT_EQ(DrvStartPage(device.surface()), TRUE);
    ASSERT_EQ(fake::feedBand(device, 32, randomLines(5, 4, 8)), S_OK);
    device.clearRecords();
    const auto live = platform::host::liveAllocations();
    platform::host::failNthAllocation(1);
    EXPECT_EQ(DrvSendPage(device.surface()), TRUE);
    EXPECT_TRUE(device.spool.empty()) << device.spoolText();
    EXPECT_EQ(device.pdev()->rows, nullptr);
    EXPECT_LT(platform::host::liveAllocations(), live); // the lines were released
}

} // namespace

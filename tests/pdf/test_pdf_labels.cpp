#include "pdf/pdf_labels.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "support/scratch_files.h"
#include "support/test_pdf.h"

namespace {

using tools_test::printedShare;
using tools_test::readFile;
using tools_test::ScratchDir;

const std::string kSample = SOURCE_DIR "/tools/samples/shipping-label.pdf";

// The files under tests/data were made from a 1 x 1 inch page whose lower
// left quarter is black, by qpdf --static-id --encrypt USER owner-secret 256
// [--print=none].
std::string dataFile(const std::string& name) {
    return std::string(TEST_DATA_DIR "/") + name;
}

using tools_test::pdfOf;
using tools_test::TestPage;

// Opens a file the test expects to be printable.
std::unique_ptr<PdfLabels> openOrFail(const std::string& path) {
    std::string error;
    std::unique_ptr<PdfLabels> pdf = PdfLabels::open(path, error);
    EXPECT_TRUE(pdf) << error;
    return pdf;
}

// The smallest rectangle holding every printed dot, as "x0 y0 x1 y1"
// (exclusive ends), or "blank".
std::string printedBounds(const BilevelImage& image) {
    int x0 = image.width, y0 = image.height, x1 = 0, y1 = 0;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            if (image.dot(x, y)) {
                x0 = std::min(x0, x), y0 = std::min(y0, y);
                x1 = std::max(x1, x + 1), y1 = std::max(y1, y + 1);
            }
    if (x1 == 0)
        return "blank";
    return std::to_string(x0) + " " + std::to_string(y0) + " " + std::to_string(x1) + " " +
           std::to_string(y1);
}

struct HeadCase {
    const char* name;
    std::string bytes;
    bool pdf;
};

class PdfHead : public testing::TestWithParam<HeadCase> {};

TEST_P(PdfHead, IsToldApart) {
    const std::string& bytes = GetParam().bytes;
    EXPECT_EQ(looksLikePdf(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()),
              GetParam().pdf);
}

INSTANTIATE_TEST_SUITE_P(
    Heads, PdfHead,
    testing::Values(HeadCase{"AtStart", "%PDF-1.7\n%\xe2\xe3\n1 0 obj", true},
                    HeadCase{"AfterJunk", std::string(300, '\0') + "\r\n%PDF-1.4\n", true},
                    HeadCase{"EndingAtTheWindow", std::string(1019, 'x') + "%PDF-1.4", true},
                    HeadCase{"PastTheWindow", std::string(1020, 'x') + "%PDF-1.4", false},
                    HeadCase{"Png", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16), false},
                    HeadCase{"Pbm", "P4\n8 1\n\xff", false}, HeadCase{"Cut", "%PDF", false},
                    HeadCase{"Empty", "", false}),
    [](const testing::TestParamInfo<HeadCase>& info) { return std::string(info.param.name); });

TEST(PdfLabels, SampleIsAFourBySixInchLabel) {
    const auto pdf = openOrFail(kSample);
    ASSERT_TRUE(pdf);
    EXPECT_EQ(pdf->pageCount(), 1);
    const PdfPageSize at300 = pdf->pageSize(0, 300);
    EXPECT_EQ(at300.width, 1200);
    EXPECT_EQ(at300.height, 1800);
    const PdfPageSize at203 = pdf->pageSize(0, 203);
    ASSERT_EQ(at203.width, 812);
    ASSERT_EQ(at203.height, 1218);

    const ImageReadResult page = pdf->renderPage(0, 203, false);
    ASSERT_TRUE(page.ok()) << page.error;
    const BilevelImage& image = page.image;
    ASSERT_EQ(image.width, 812);
    ASSERT_EQ(image.height, 1218);
    EXPECT_GT(printedShare(image), 0.05);
    // White margin of 10 dots, then a 6-dot frame.
    EXPECT_EQ(printedBounds(image), "10 10 802 1208");
    for (int along : {100, 600, 1100}) {
        EXPECT_TRUE(image.dot(12, along) && image.dot(14, along)) << along;
        EXPECT_TRUE(image.dot(797, along) && image.dot(799, along)) << along;
    }
    // Drawn on the 203 dpi grid, every bar and space of the barcode is a
    // whole number of 3-dot modules: nothing half-covered turned into a dot
    // too many or too few.
    std::vector<int> runs;
    for (int x = 100, run = 0; x < 712; ++x) {
        ++run;
        if (image.dot(x, 650) != image.dot(x + 1, 650)) {
            runs.push_back(run);
            run = 0;
        }
    }
    // 17 symbols of 3 bars and 3 spaces, the stop's extra bar, and the
    // quiet zone before them.
    ASSERT_EQ(runs.size(), 1u + 17 * 6 + 1);
    EXPECT_EQ(runs.front(), 22);
    for (size_t i = 1; i < runs.size(); ++i)
        EXPECT_EQ(runs[i] % 3, 0) << "run " << i << " is " << runs[i] << " dots";
}

struct TurnCase {
    int rotate;
    int width;
    int height;
    const char* corner; // where the bar across the lower left corner ends up
};

class PdfPageTurn : public testing::TestWithParam<TurnCase> {};

// Viewers show a page with /Rotate 90 turned clockwise; labels must print as
// the viewer shows them.
TEST_P(PdfPageTurn, FollowsTheRotateEntry) {
    ScratchDir dir;
    TestPage page{"0 0 100 50", "0 g 0 0 20 10 re f",
                  "/Rotate " + std::to_string(GetParam().rotate)};
    const auto pdf = openOrFail(dir.write("turned.pdf", pdfOf({page})));
    ASSERT_TRUE(pdf);
    const PdfPageSize size = pdf->pageSize(0, 72);
    EXPECT_EQ(size.width, GetParam().width);
    EXPECT_EQ(size.height, GetParam().height);
    const ImageReadResult result = pdf->renderPage(0, 72, false);
    ASSERT_TRUE(result.ok()) << result.error;
    EXPECT_EQ(result.image.width, GetParam().width);
    EXPECT_EQ(result.image.height, GetParam().height);
    EXPECT_EQ(printedBounds(result.image), GetParam().corner);
}

INSTANTIATE_TEST_SUITE_P(
    Rotate, PdfPageTurn,
    testing::Values(TurnCase{0, 100, 50, "0 40 20 50"}, TurnCase{90, 50, 100, "0 0 10 20"},
                    TurnCase{180, 100, 50, "80 0 100 10"}, TurnCase{270, 50, 100, "40 80 50 100"},
                    TurnCase{-90, 50, 100, "40 80 50 100"}, TurnCase{450, 50, 100, "0 0 10 20"}),
    [](const testing::TestParamInfo<TurnCase>& info) {
        const int rotate = info.param.rotate;
        return (rotate < 0 ? "Minus" : "") + std::to_string(std::abs(rotate));
    });

TEST(PdfLabels, SizeIsTheCropBoxRoundedToWholeDots) {
    ScratchDir dir;
    const std::vector<TestPage> pages = {
        {"0 0 100.3 50.7", "", ""},
        // Only the crop box prints: the strip left of it stays blank, the
        // square at its corner lands at the picture's corner.
        {"0 0 200 200", "0 g 0 0 50 200 re f 50 50 10 10 re f", "/CropBox [50 50 150.3 100.7]"},
        {"0 0 200 200", "", "/CropBox [10.4 20.2 110.9 70.6] /Rotate 90"},
    };
    const auto pdf = openOrFail(dir.write("sizes.pdf", pdfOf(pages)));
    ASSERT_TRUE(pdf);
    ASSERT_EQ(pdf->pageCount(), 3);
    const int expected[][2] = {{283, 143}, {283, 143}, {142, 283}};
    for (int index = 0; index < 3; ++index) {
        const PdfPageSize size = pdf->pageSize(index, 203);
        EXPECT_EQ(size.width, expected[index][0]) << "page " << index + 1;
        EXPECT_EQ(size.height, expected[index][1]) << "page " << index + 1;
        const ImageReadResult result = pdf->renderPage(index, 203, false);
        ASSERT_TRUE(result.ok()) << result.error;
        EXPECT_EQ(result.image.width, size.width) << "page " << index + 1;
        EXPECT_EQ(result.image.height, size.height) << "page " << index + 1;
    }
    EXPECT_EQ(printedBounds(pdf->renderPage(1, 72, false).image), "0 41 10 51");

    const ImageReadResult past = pdf->renderPage(3, 203, false);
    EXPECT_FALSE(past.ok());
    EXPECT_EQ(past.error, dir.path("sizes.pdf") + ": page 4: no such page");
    EXPECT_EQ(pdf->pageSize(3, 203).width, 0);
    EXPECT_EQ(pdf->pageSize(-1, 203).height, 0);
}

struct LargeCase {
    const char* name;
    const char* mediaBox;
    int dpi;
    const char* problem;
};

class PdfPageRefused : public testing::TestWithParam<LargeCase> {};

// Sizes are checked before poppler allocates a byte a dot.
TEST_P(PdfPageRefused, BeforeRendering) {
    ScratchDir dir;
    const std::string path =
        dir.write("big.pdf", pdfOf({{GetParam().mediaBox, "0 g 0 0 10 10 re f", ""}}));
    const auto pdf = openOrFail(path);
    ASSERT_TRUE(pdf);
    const ImageReadResult result = pdf->renderPage(0, GetParam().dpi, false);
    EXPECT_FALSE(result.ok());
    EXPECT_EQ(result.error, path + ": page 1: " + GetParam().problem);
    EXPECT_TRUE(result.image.bits.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, PdfPageRefused,
    testing::Values(LargeCase{"TooWide", "0 0 14400 72", 600,
                              "page too large (120000 x 600 dots at 600 dpi)"},
                    LargeCase{"TooManyDots", "0 0 14400 14400", 203,
                              "page too large (40600 x 40600 dots at 203 dpi)"},
                    LargeCase{"NoResolution", "0 0 72 72", 0, "empty page (0 x 0 dots at 0 dpi)"}),
    [](const testing::TestParamInfo<LargeCase>& info) { return std::string(info.param.name); });

struct FillCase {
    const char* name;
    const char* colour; // PDF fill colour operator
    bool dither;
    double share; // of dots printed
};

class PdfFill : public testing::TestWithParam<FillCase> {};

TEST_P(PdfFill, PrintsItsShareOfDots) {
    ScratchDir dir;
    const std::string content = std::string(GetParam().colour) + " 0 0 72 72 re f";
    const auto pdf = openOrFail(dir.write("fill.pdf", pdfOf({{"0 0 72 72", content, ""}})));
    ASSERT_TRUE(pdf);
    const ImageReadResult result = pdf->renderPage(0, 144, GetParam().dither);
    ASSERT_TRUE(result.ok()) << result.error;
    EXPECT_NEAR(printedShare(result.image), GetParam().share, GetParam().dither ? 0.02 : 0.0);
}

// Mid grey comes out of poppler as byte 128, a shade lighter than the half,
// so the threshold leaves it blank.
INSTANTIATE_TEST_SUITE_P(Colours, PdfFill,
                         testing::Values(FillCase{"DarkGrey", "0.45 g", false, 1.0},
                                         FillCase{"MidGrey", "0.5 g", false, 0.0},
                                         FillCase{"LightGrey", "0.55 g", false, 0.0},
                                         FillCase{"Red", "1 0 0 rg", false, 1.0},
                                         FillCase{"Yellow", "1 1 0 rg", false, 0.0},
                                         FillCase{"DarkGreyDithered", "0.25 g", true, 0.75},
                                         FillCase{"MidGreyDithered", "0.5 g", true, 0.5},
                                         FillCase{"LightGreyDithered", "0.75 g", true, 0.25}),
                         [](const testing::TestParamInfo<FillCase>& info) {
                             return std::string(info.param.name);
                         });

struct BadPdfCase {
    const char* name;
    std::string (*make)(const ScratchDir&); // the path to open
    const char* problem;
};

std::string cutSample(const ScratchDir& dir) {
    return dir.write("cut.pdf", readFile(kSample).substr(0, 1500));
}

class PdfRefused : public testing::TestWithParam<BadPdfCase> {};

TEST_P(PdfRefused, WithOneQuietLine) {
    ScratchDir dir;
    const std::string path = GetParam().make(dir);
    std::string error;
    testing::internal::CaptureStderr();
    const std::unique_ptr<PdfLabels> pdf = PdfLabels::open(path, error);
    const std::string printed = testing::internal::GetCapturedStderr();
    EXPECT_FALSE(pdf);
    EXPECT_EQ(error, path + ": " + GetParam().problem);
    EXPECT_EQ(printed, "");
}

INSTANTIATE_TEST_SUITE_P(
    Files, PdfRefused,
    testing::Values(
        BadPdfCase{"Missing", [](const ScratchDir& dir) { return dir.path("none.pdf"); },
                   "cannot open (No such file or directory)"},
        BadPdfCase{"Directory", [](const ScratchDir& dir) { return dir.path(""); },
                   "unreadable (Is a directory)"},
        BadPdfCase{"Picture",
                   [](const ScratchDir& dir) { return dir.write("p.pdf", "P1\n1 1\n1\n"); },
                   "not a PDF (no %PDF- header)"},
        BadPdfCase{"Cut", cutSample, "damaged PDF"},
        BadPdfCase{"Garbage",
                   [](const ScratchDir& dir) {
                       return dir.write("g.pdf", "%PDF-1.4\n" + std::string(4000, '\x9c'));
                   },
                   "damaged PDF"},
        BadPdfCase{"NoPages",
                   [](const ScratchDir& dir) { return dir.write("none.pdf", pdfOf({})); },
                   "no pages"},
        BadPdfCase{"UserPassword",
                   [](const ScratchDir&) { return dataFile("encrypted-user-password.pdf"); },
                   "needs a password"},
        BadPdfCase{"PrintingForbidden",
                   [](const ScratchDir&) { return dataFile("encrypted-no-printing.pdf"); },
                   "printing not permitted"}),
    [](const testing::TestParamInfo<BadPdfCase>& info) { return std::string(info.param.name); });

// Encryption that only guards editing still lets anyone print.
TEST(PdfLabels, EncryptedButPrintableRendersDecrypted) {
    const auto pdf = openOrFail(dataFile("encrypted-printable.pdf"));
    ASSERT_TRUE(pdf);
    const ImageReadResult result = pdf->renderPage(0, 72, false);
    ASSERT_TRUE(result.ok()) << result.error;
    EXPECT_EQ(printedBounds(result.image), "0 36 36 72");
}

// A pipe cannot be reopened by name or seeked; it is read whole instead.
TEST(PdfLabels, ReadsFromAPipe) {
    ScratchDir dir;
    const std::string fifo = dir.path("pipe");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string bytes = readFile(kSample);
    std::thread writer([&] { std::ofstream(fifo, std::ios::binary) << bytes; });
    std::string error;
    const std::unique_ptr<PdfLabels> pdf = PdfLabels::open(fifo, error);
    writer.join();
    ASSERT_TRUE(pdf) << error;
    EXPECT_EQ(pdf->pageSize(0, 203).width, 812);
    EXPECT_TRUE(pdf->renderPage(0, 203, false).ok());
}

} // namespace

namespace {

struct DamageCase {
    const char* name;
    std::string (*damage)(const std::string& pdf, size_t table); // `table`: where "xref" starts
};

class DamagedTable : public testing::TestWithParam<DamageCase> {};

// Careless writers leave cross-reference tables that point beside their
// objects or stop short; poppler rebuilds them from the objects themselves,
// and the page must come out as the undamaged file's.
TEST_P(DamagedTable, PrintsAsTheUndamagedFile) {
    ScratchDir dir;
    const std::string good = readFile(kSample);
    const size_t table = good.rfind("xref\n");
    ASSERT_NE(table, std::string::npos);
    const auto damaged = openOrFail(dir.write("damaged.pdf", GetParam().damage(good, table)));
    const auto undamaged = openOrFail(kSample);
    ASSERT_TRUE(damaged && undamaged);
    ASSERT_EQ(damaged->pageCount(), 1);
    const ImageReadResult page = damaged->renderPage(0, 203, false);
    ASSERT_TRUE(page.ok()) << page.error;
    EXPECT_EQ(page.image, undamaged->renderPage(0, 203, false).image);
}

INSTANTIATE_TEST_SUITE_P(
    Tables, DamagedTable,
    testing::Values(DamageCase{"OffsetsWrong",
                               [](const std::string& pdf, size_t table) {
                                   std::string bad = pdf;
                                   for (size_t at = bad.find(" 00000 n", table);
                                        at != std::string::npos; at = bad.find(" 00000 n", at + 1))
                                       bad[at - 1] = bad[at - 1] == '9' ? '0' : bad[at - 1] + 1;
                                   return bad;
                               }},
                    DamageCase{"CutAfterTwoEntries",
                               [](const std::string& pdf, size_t table) {
                                   const size_t third = pdf.find(" n \n", table) + 4;
                                   const size_t cut = pdf.find(" n \n", third) + 4;
                                   return pdf.substr(0, cut) + pdf.substr(pdf.find("trailer"));
                               }},
                    DamageCase{"NoTable",
                               [](const std::string& pdf, size_t table) {
                                   return pdf.substr(0, table) + pdf.substr(pdf.find("trailer"));
                               }}),
    [](const testing::TestParamInfo<DamageCase>& info) { return std::string(info.param.name); });

// A page tree that counts pages it does not lead to: those pages are left
// out and the rest print in order, told by their number in the document.
TEST(PdfLabels, PagesTheTreeDoesNotLeadToAreLeftOut) {
    ScratchDir dir;
    std::string pdf = pdfOf({{"0 0 72 72", "0 g 0 0 10 72 re f", ""},
                             {"0 0 72 72", "", ""},
                             {"0 0 72 72", "0 g 62 0 10 72 re f", ""}});
    pdf.replace(pdf.find("5 0 R"), 5, "5 1 R"); // the second kid names no object
    const auto labels = openOrFail(dir.write("tree.pdf", pdf));
    ASSERT_TRUE(labels);
    EXPECT_EQ(labels->pageCount(), 2);
    EXPECT_EQ(labels->pagesLeftOut(), 1);
    EXPECT_EQ(printedBounds(labels->renderPage(0, 72, false).image), "0 0 10 72");
    EXPECT_EQ(printedBounds(labels->renderPage(1, 72, false).image), "62 0 72 72");
    EXPECT_EQ(labels->renderPage(2, 72, false).error,
              dir.path("tree.pdf") + ": page 3: no such page");

    pdf.replace(pdf.find("3 0 R"), 5, "3 1 R");
    pdf.replace(pdf.find("7 0 R"), 5, "7 1 R");
    std::string error;
    EXPECT_FALSE(PdfLabels::open(dir.write("none.pdf", pdf), error));
    EXPECT_EQ(error, dir.path("none.pdf") + ": damaged PDF (none of its pages can be found)");
}

struct PlacedCase {
    const char* name;
    Scaling scaling;
    int32_t labelWidth, labelHeight;
    const char* printed; // bounds of the printed dots on the label
};

class PdfPlaced : public testing::TestWithParam<PlacedCase> {};

// A 200 x 100 point page with a bar down its middle and a mark in its lower
// left corner, rendered at 72 dpi onto labels of other sizes.
TEST_P(PdfPlaced, RendersOnlyWhatLandsOnTheLabel) {
    ScratchDir dir;
    const auto pdf = openOrFail(
        dir.write("wide.pdf", pdfOf({{"0 0 200 100", "0 g 90 0 20 100 re f 0 0 20 10 re f", ""}})));
    ASSERT_TRUE(pdf);
    const PlacedCase& c = GetParam();
    const Placement placement = placeOnLabel(200, 100, c.labelWidth, c.labelHeight, c.scaling);
    const ImageReadResult label =
        pdf->renderPlaced(0, 72, placement, c.labelWidth, c.labelHeight, false);
    ASSERT_TRUE(label.ok()) << label.error;
    EXPECT_EQ(label.image.width, c.labelWidth);
    EXPECT_EQ(label.image.height, c.labelHeight);
    EXPECT_EQ(printedBounds(label.image), c.printed);
}

// Turned counter-clockwise the bar runs across the label and the corner mark
// ends at the lower left; uncropped the mark is off the label's left edge.
INSTANTIATE_TEST_SUITE_P(
    Labels, PdfPlaced,
    testing::Values(PlacedCase{"TurnedToFit", Scaling::kFit, 100, 200, "0 90 100 200"},
                    PlacedCase{"TurnedAndShrunk", Scaling::kFit, 50, 100, "0 45 50 100"},
                    PlacedCase{"CroppedAtItsOwnSize", Scaling::kNone, 100, 100, "40 0 60 100"}),
    [](const testing::TestParamInfo<PlacedCase>& info) { return std::string(info.param.name); });

} // namespace

#include "imaging/label_fit.h"
#include "imaging/picture_scaler.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/scratch_files.h"

namespace {

using tools_test::rowsOf;

struct PlaceCase {
    const char* name;
    int32_t pageWidth, pageHeight, labelWidth, labelHeight;
    Scaling scaling;
    bool mayTurn;
    Placement expected;
};

class LabelPlacement : public testing::TestWithParam<PlaceCase> {};

TEST_P(LabelPlacement, IsWhereThePagePrints) {
    const PlaceCase& c = GetParam();
    const Placement got =
        placeOnLabel(c.pageWidth, c.pageHeight, c.labelWidth, c.labelHeight, c.scaling, c.mayTurn);
    EXPECT_EQ(got.quarterTurn, c.expected.quarterTurn);
    EXPECT_NEAR(got.scale, c.expected.scale, 1e-4);
    EXPECT_EQ(got.x, c.expected.x);
    EXPECT_EQ(got.y, c.expected.y);
    EXPECT_EQ(got.width, c.expected.width);
    EXPECT_EQ(got.height, c.expected.height);
}

// A 4 x 6 inch label at 203 dpi is 812 x 1218 dots; Letter is 1726 x 2233.
INSTANTIATE_TEST_SUITE_P(
    Pages, LabelPlacement,
    testing::Values(
        PlaceCase{
            "ExactFit", 812, 1218, 812, 1218, Scaling::kFit, true, {false, 1, 0, 0, 812, 1218}},
        PlaceCase{"PortraitOnPortrait",
                  1726,
                  2233,
                  812,
                  1218,
                  Scaling::kFit,
                  true,
                  {false, 0.47045, 0, 83, 812, 1051}},
        PlaceCase{"LandscapeTurns",
                  2233,
                  1726,
                  812,
                  1218,
                  Scaling::kFit,
                  true,
                  {true, 0.47045, 0, 83, 812, 1051}},
        PlaceCase{"LandscapeKeptWhenNotToTurn",
                  2233,
                  1726,
                  812,
                  1218,
                  Scaling::kFit,
                  false,
                  {false, 0.36364, 0, 295, 812, 628}},
        PlaceCase{"TinyPageEnlarged",
                  40,
                  20,
                  812,
                  1218,
                  Scaling::kFit,
                  true,
                  {true, 30.45, 101, 0, 609, 1218}},
        PlaceCase{"SquareNotTurnedAndOddDotGoesRight",
                  10,
                  10,
                  13,
                  13,
                  Scaling::kNone,
                  true,
                  {false, 1, 1, 1, 10, 10}},
        PlaceCase{"FillCropsTheSides",
                  1000,
                  1000,
                  812,
                  1218,
                  Scaling::kFill,
                  true,
                  {false, 1.218, -203, 0, 1218, 1218}},
        PlaceCase{"NoneCentresAndCrops",
                  2000,
                  3000,
                  812,
                  1218,
                  Scaling::kNone,
                  true,
                  {false, 1, -594, -891, 2000, 3000}},
        PlaceCase{"NoneStillTurns",
                  1000,
                  500,
                  812,
                  1218,
                  Scaling::kNone,
                  true,
                  {true, 1, 156, 109, 500, 1000}},
        PlaceCase{"AutoFillsANearShape",
                  1000,
                  1520,
                  812,
                  1218,
                  Scaling::kAuto,
                  true,
                  {false, 0.812, 0, -8, 812, 1234}},
        PlaceCase{"AutoFitsLetter",
                  1726,
                  2233,
                  812,
                  1218,
                  Scaling::kAuto,
                  true,
                  {false, 0.47045, 0, 83, 812, 1051}},
        PlaceCase{"AutoFitShrinksALargePage",
                  1624,
                  2436,
                  812,
                  1218,
                  Scaling::kAutoFit,
                  true,
                  {false, 0.5, 0, 0, 812, 1218}},
        PlaceCase{"AutoFitLeavesASmallPage",
                  400,
                  600,
                  812,
                  1218,
                  Scaling::kAutoFit,
                  true,
                  {false, 1, 206, 309, 400, 600}},
        PlaceCase{"NoArea", 0, 600, 812, 1218, Scaling::kFit, true, {false, 0, 0, 0, 0, 0}}),
    [](const testing::TestParamInfo<PlaceCase>& info) { return std::string(info.param.name); });

TEST(LabelFit, MillimetresToDots) {
    EXPECT_EQ(dotsForMillimetres(101.6, 203), 812);
    EXPECT_EQ(dotsForMillimetres(152.4, 203), 1218);
    EXPECT_EQ(dotsForMillimetres(100, 203), 799); // 799.2
    EXPECT_EQ(dotsForMillimetres(57.15, 300), 675);
    EXPECT_EQ(dotsForMillimetres(0, 203), 0);
}

// A grey picture from rows of '#' (black), '+' (dark grey), '-' (light grey)
// and '.' (white).
struct Picture {
    std::vector<uint8_t> pixels;
    GreyView view;
    explicit Picture(const std::vector<std::string>& rows) {
        for (const std::string& row : rows)
            for (char c : row)
                pixels.push_back(c == '#' ? 0 : c == '+' ? 64 : c == '-' ? 192 : 255);
        view = {static_cast<int32_t>(rows[0].size()), static_cast<int32_t>(rows.size()),
                pixels.data(), rows[0].size()};
    }
};

struct ScaleCase {
    const char* name;
    std::vector<std::string> picture;
    Placement placement;
    int32_t labelWidth, labelHeight;
    std::vector<std::string> label;
};

class PictureOnLabel : public testing::TestWithParam<ScaleCase> {};

TEST_P(PictureOnLabel, PrintsTheseDots) {
    const ScaleCase& c = GetParam();
    const Picture picture(c.picture);
    const BilevelImage label =
        placeGreyPicture(picture.view, c.placement, c.labelWidth, c.labelHeight, false);
    EXPECT_EQ(rowsOf(label), c.label);
}

INSTANTIATE_TEST_SUITE_P(
    Pictures, PictureOnLabel,
    testing::Values(
        // At scale 1 every pixel is a dot, at the placement's offset.
        ScaleCase{"Offset", {"#.", "+-"}, {false, 1, 1, 1, 2, 2}, 4, 3, {"....", ".#..", ".#.."}},
        // Turned counter-clockwise: the top right corner goes to the top left.
        ScaleCase{"QuarterTurn", {"..#", "..."}, {true, 1, 0, 0, 2, 3}, 2, 3, {"#.", "..", ".."}},
        // Halving averages each 2 x 2 block: three black of four prints,
        // one of four does not.
        ScaleCase{"ShrinkAverages", {"##.#", "#..."}, {false, 0.5, 0, 0, 2, 1}, 2, 1, {"#."}},
        // Enlarging interpolates: the edge stays half way.
        ScaleCase{"EnlargeKeepsTheEdge", {"#."}, {false, 4, 0, 0, 8, 1}, 8, 1, {"####...."}},
        // Placed past the label's left edge, the picture's left is cropped.
        ScaleCase{"Cropped", {"#..#"}, {false, 1, -2, 0, 4, 1}, 3, 1, {".#."}},
        ScaleCase{"NothingOnTheLabel", {"#"}, {false, 1, 5, 0, 1, 1}, 3, 1, {"..."}}),
    [](const testing::TestParamInfo<ScaleCase>& info) { return std::string(info.param.name); });

// A picture scaled onto a label prints the same share of dots through the
// dither as through the area average: grey stays grey.
TEST(PictureScaler, DitherKeepsTheGrey) {
    const Picture grey({std::string(64, '-'), std::string(64, '+')});
    const Placement placement = placeOnLabel(64, 2, 256, 8, Scaling::kFit, false);
    const BilevelImage label = placeGreyPicture(grey.view, placement, 256, 8, true);
    ASSERT_EQ(label.height, 8);
    EXPECT_NEAR(tools_test::printedShare(label), 0.5, 0.05);
}

} // namespace

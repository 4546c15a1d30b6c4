#include "imaging/label_fit.h"
#include "imaging/test_label.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

namespace {

const std::vector<std::string> kLines = {"Shipping desk", "101.6 x 152.4 mm", "Darkness 50 %",
                                         "Speed 4 in/s",  "Media: gap 3 mm",  "2026-12-10 08:15"};

TestLabelFacts factsFor(int width, int height, int dpi, std::vector<std::string> lines = kLines) {
    return TestLabelFacts{width, height, dpi, std::move(lines)};
}

struct Label {
    int width, height, dpi;
    int inset, inside; // label edge to the outline's outer and inner edge
};

// 4 x 6 in and 50 x 30 mm at 203 dpi, 4 x 6 in at 300, 25 x 15 mm at 203.
const Label kLabels[] = {
    {812, 1218, 203, 4, 7}, {400, 240, 203, 4, 7}, {1200, 1800, 300, 6, 10}, {200, 120, 203, 4, 7}};

// The outline's dots are all printed and the strip beyond it is blank; the
// right and bottom sides are as thick as the others (the dot inside blank).
TEST(TestLabel, OutlineSitsItsInsetInsideEachEdgeAndNothingPrintsBeyondIt) {
    for (const Label& l : kLabels) {
        SCOPED_TRACE(std::to_string(l.width) + " x " + std::to_string(l.height));
        const BilevelImage image = drawTestLabel(factsFor(l.width, l.height, l.dpi));
        ASSERT_EQ(image.width, l.width);
        ASSERT_EQ(image.height, l.height);
        auto within = [&](int x, int y, int by) {
            return x >= by && x < l.width - by && y >= by && y < l.height - by;
        };
        for (int y = 0; y < l.height; ++y)
            for (int x = 0; x < l.width; ++x)
                if (!within(x, y, l.inside)) {
                    ASSERT_EQ(image.dot(x, y), within(x, y, l.inset)) << x << ", " << y;
                }
        EXPECT_FALSE(image.dot(l.width - l.inside - 1, l.height / 2));
        EXPECT_FALSE(image.dot(l.width / 2, l.height - l.inside - 1));
    }
}

// Ticks hang from the outline; the tick of n mm lies dotsForMillimetres(n)
// from the outline's outer top left corner along either ruler, 1, 2 or 3 mm
// long, numbered at 10 mm. The first 3 mm, where the rulers meet, have none.
TEST(TestLabel, RulerTicksLieEveryMillimetreFromTheOutlineCorner) {
    for (const Label& l : kLabels) {
        auto mm = [&](double millimetres) { return dotsForMillimetres(millimetres, l.dpi); };
        const BilevelImage image = drawTestLabel(factsFor(l.width, l.height, l.dpi));
        const int tickWidth = std::max(1, mm(0.15));
        for (bool top : {true, false}) {
            SCOPED_TRACE(std::to_string(l.width) + (top ? " top" : " left"));
            const int length = (top ? l.width : l.height) - l.inside;
            auto at = [&](int along, int across) {
                return top ? image.dot(along, l.inside + across)
                           : image.dot(l.inside + across, along);
            };
            std::set<int> expected, printed;
            for (int along = l.inside; along < length; ++along)
                if (at(along, 0))
                    printed.insert(along);
            for (int n = 4; l.inset + mm(n) + tickWidth <= length; ++n) {
                SCOPED_TRACE(n);
                const int along = l.inset + mm(n);
                for (int w = 0; w < tickWidth; ++w)
                    expected.insert(along + w);
                const int tickLength = mm(n % 10 == 0 ? 3 : n % 5 == 0 ? 2 : 1);
                EXPECT_TRUE(at(along, tickLength - 1));
                EXPECT_FALSE(at(along, tickLength));
                // A number is left out only where it would reach the outline.
                if (n % 10 != 0 || along + mm(5) > length)
                    continue;
                bool numbered = false;
                for (int a = along + tickWidth; a < along + mm(4); ++a)
                    for (int c = mm(1); c < mm(3); ++c)
                        numbered = numbered || at(a, c);
                EXPECT_TRUE(numbered);
            }
            EXPECT_EQ(printed, expected);
        }
    }
}

// Without lines, past the rulers there is the grid alone: every 10 mm tick
// goes on as a dotted line as wide as the tick, a dot at least every 0.5 mm,
// to the far side (a line up to 0.25 mm from the outline), and nothing lies
// between the lines.
TEST(TestLabel, GridGoesOnFromEveryTenMillimetreTick) {
    for (const Label& l : {kLabels[0], kLabels[1], kLabels[2]}) {
        auto mm = [&](double millimetres) { return dotsForMillimetres(millimetres, l.dpi); };
        const BilevelImage image = drawTestLabel(factsFor(l.width, l.height, l.dpi, {}));
        const int width = std::max(1, mm(0.15)); // of a line, as of a tick
        auto linesAcross = [&](int breadth) {
            std::set<int> lines;
            for (int n = 1; l.inset + mm(10 * n) < breadth - l.inside - mm(0.25); ++n)
                for (int w = 0; w < width; ++w)
                    lines.insert(l.inset + mm(10 * n) + w);
            return lines;
        };
        for (bool vertical : {true, false}) {
            SCOPED_TRACE(std::to_string(l.width) + (vertical ? " vertical" : " horizontal"));
            const int length = vertical ? l.height : l.width; // along a line
            const int breadth = vertical ? l.width : l.height;
            const std::set<int> lines = linesAcross(breadth), crossing = linesAcross(length);
            const int from = l.inside + mm(5), period = mm(0.5);
            for (int along = from; along + period <= length - l.inside - mm(1); along += period) {
                if (crossing.lower_bound(along) != crossing.lower_bound(along + period))
                    continue;
                std::set<int> printed;
                for (int across = from; across < breadth - l.inside; ++across)
                    for (int y = along; y < along + period; ++y)
                        if (vertical ? image.dot(across, y) : image.dot(y, across))
                            printed.insert(across);
                ASSERT_EQ(printed, lines) << "at " << along;
            }
        }
    }
}

// Around the dots the lines add to a label.
struct LinesBox {
    int left = 1 << 30, top = 1 << 30, right = 0, bottom = 0;
};

// The lines stand in blank space (2 dots all round) inside the outline,
// clear of the rulers, capitals 4 dots a font dot tall at 203 dpi (28 dots,
// 3.5 mm) where they fit; a line too wide is cut rather than shrinking the
// rest below 2; a small label takes them smaller, and as many as it holds.
// Heights run from the first line's capitals to the last one's baseline, or
// its descenders.
TEST(TestLabel, LinesStandClearInsideTheOutlineAtAReadableSize) {
    struct Case {
        const char* name;
        TestLabelFacts facts;
        int height;
    };
    const Case cases[] = {
        {"4 x 6 in", factsFor(812, 1218, 203), 5 * 40 + 28},
        {"50 x 30 mm", factsFor(400, 240, 203), 5 * 30 + 21},
        {"25 x 15 mm", factsFor(200, 120, 203), 5 * 10 + 7},
        {"4 x 6 in at 300 dpi", factsFor(1200, 1800, 300), 5 * 60 + 42},
        {"a long name", factsFor(812, 1218, 203, {std::string(70, 'W'), "4 x 6"}), 20 + 14},
        {"a line without end", factsFor(812, 1218, 203, {std::string(100000, 'x')}), 5 * 2},
        {"many lines", factsFor(200, 120, 203, std::vector<std::string>(200, "Line")), 0},
        {"not in the font", factsFor(400, 240, 203, {"T\u00e9l\u00e9phone 20 \u00b0C"}), 9 * 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const BilevelImage image = drawTestLabel(c.facts);
        const BilevelImage bare =
            drawTestLabel(factsFor(image.width, image.height, c.facts.dpi, {}));
        LinesBox box;
        for (int y = 0; y < image.height; ++y)
            for (int x = 0; x < image.width; ++x)
                if (image.dot(x, y) && !bare.dot(x, y))
                    box = {std::min(box.left, x), std::min(box.top, y), std::max(box.right, x + 1),
                           std::max(box.bottom, y + 1)};
        ASSERT_LT(box.left, box.right) << "no lines drawn";
        const int inside = c.facts.dpi == 300 ? 10 : 7;
        const int rulers = inside + dotsForMillimetres(3, c.facts.dpi);
        EXPECT_GT(box.left, rulers);
        EXPECT_GT(box.top, rulers);
        EXPECT_LT(box.right, image.width - inside);
        EXPECT_LT(box.bottom, image.height - inside);
        if (c.height > 0) {
            EXPECT_EQ(box.bottom - box.top, c.height);
        }
        for (int y = box.top - 2; y < box.bottom + 2; ++y)
            for (int x = box.left - 2; x < box.right + 2; ++x)
                if (x < box.left || x >= box.right || y < box.top || y >= box.bottom) {
                    ASSERT_FALSE(image.dot(x, y)) << "touching the lines at " << x << ", " << y;
                }
    }
}

// Out of range, or too small for the outline: an empty picture, no crash.
// The largest labels draw whole.
TEST(TestLabel, SizesOutOfRangeGiveAnEmptyPicture) {
    struct Case {
        int width, height, dpi;
        bool drawn;
    };
    const Case cases[] = {
        {0, 0, 203, false},        {-812, 1218, 203, false},   {812, -1, 203, false},
        {4097, 1218, 203, false},  {812, 16385, 203, false},   {812, 1218, 0, false},
        {812, 1218, -203, false},  {812, 1218, 100000, false}, {14, 200, 203, false},
        {15, 15, 203, true},       {200, 120, 72, true},       {4096, 16384, 203, true},
        {4096, 16384, 2400, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height) + " at " +
                     std::to_string(c.dpi));
        const BilevelImage image = drawTestLabel(factsFor(c.width, c.height, c.dpi));
        EXPECT_EQ(image.width, c.drawn ? c.width : 0);
        EXPECT_EQ(image.height, c.drawn ? c.height : 0);
        EXPECT_EQ(image.dot(c.width / 2, dotsForMillimetres(0.5, c.dpi)), c.drawn);
    }
}

} // namespace

// The picture of the test label, printed when a printer is added to show at
// once whether its labels are aligned and dark enough.
#pragma once

#include <ctime>
#include <string>
#include <vector>

#include "imaging/bilevel_image.h"

struct TestLabelFacts {
    int widthDots = 0; // the loaded label at the printer's resolution
    int heightDots = 0;
    int dpi = 203;
    // Printed in the middle, one under the other: the printer's name, the
    // label's size, darkness, speed, media, the date (UTF-8; what the
    // built-in font lacks prints as a box).
    std::vector<std::string> lines;
};

// The largest label drawn: 173 x 693 mm at 600 dpi, 512 x 2050 mm at 203.
inline constexpr int kMaxTestLabelWidthDots = 4096;
inline constexpr int kMaxTestLabelHeightDots = 16384;
// The resolutions drawn: a dot from a third of a millimetre to a hundredth.
inline constexpr int kMinTestLabelDpi = 72;
inline constexpr int kMaxTestLabelDpi = 2400;

// Draws the test label, the whole label's size:
// - an outline 0.5 mm inside each edge, 0.35 mm thick (4 and 3 dots at 203
//   dpi), so that a label that sits off by more than half a millimetre shows
//   it cut or far from an edge;
// - millimetre rulers along the top and the left, their 0 at the outline's
//   outer top left corner: the tick of n mm lies round(n * dpi / 25.4) dots
//   right of (or below) that corner, 1, 2 and 3 mm long at every 1, 5 and 10
//   mm, the last with its number of centimetres beside it (left out where it
//   would reach the outline); the rulers' first 3 mm, where they meet, have
//   no ticks;
// - a dotted grid going on from the 10 mm ticks over the label, so skew
//   shows; broken around the lines, a piece shorter than 10 mm left out;
// - the lines centred, capitals about 3.5 mm tall, smaller when they do not
//   fit: as small as needed for the height, but a line too wide makes them
//   no smaller than 1.75 mm and is cut short, ending in "..."; lines that do
//   not fit the height at the smallest size are left out, the last first.
// An empty picture (0 x 0) for a size or resolution out of the ranges above,
// or a label too small for the outline.
BilevelImage drawTestLabel(const TestLabelFacts& facts);

// The local date and time as a test label shows it: "2026-12-10 08:15".
std::string testLabelDate(std::time_t now);

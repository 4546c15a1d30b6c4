// Where a page lands on a label of another size: fitting, filling or centring
// it, turned a quarter when that suits the label better. Shared by every kind
// of page that prints on a label (PDF pages, pictures, raster pages).
#pragma once

#include <cstdint>

// How a page is sized to the label, as IPP's print-scaling names it.
enum class Scaling {
    kFit,     // the largest proportional size inside the label, white around it
    kFill,    // the smallest proportional size covering the label, cropped
    kNone,    // the page's own size, centred, cropped when larger
    kAuto,    // fill when page and label are nearly the same shape, else fit
    kAutoFit, // fit when the page is larger than the label, else none
};

// Where the page lands, in label dots. The page is first turned a quarter
// turn counter-clockwise when `quarterTurn` (as the plug-in turns landscape
// pages), then scaled by `scale` (label dots per page dot) to cover the
// rectangle x, y, width, height, which reaches past the label's edges when
// the page is cropped (x or y negative, or the far edge beyond the label).
struct Placement {
    bool quarterTurn = false;
    double scale = 1.0;
    int32_t x = 0;
    int32_t y = 0;
    int32_t width = 0;
    int32_t height = 0;
};

// Places a pageWidth x pageHeight page (in dots) on a labelWidth x
// labelHeight label. The page is turned when that lets it be shown larger
// (its long side along the label's long side), unless `mayTurn` is false.
// Sizes are rounded to whole dots, the offsets centre the page (an odd dot
// left over goes right or down). A page or label without area gets a
// placement of no area.
Placement placeOnLabel(int32_t pageWidth, int32_t pageHeight, int32_t labelWidth,
                       int32_t labelHeight, Scaling scaling, bool mayTurn = true);

// Shape tolerance of kAuto: fill when the aspect ratios of the (turned) page
// and the label differ by at most this factor, so no more than about 5 % of
// the page's length is cropped.
inline constexpr double kAutoFillAspectTolerance = 1.05;

// A length on the label in dots at `dpi`: round(millimetres * dpi / 25.4).
int32_t dotsForMillimetres(double millimetres, int dpi);

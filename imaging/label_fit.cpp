#include "imaging/label_fit.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

// Largest scale at which a width x height page stays inside the label.
double fitScale(double width, double height, double labelWidth, double labelHeight) {
    return std::min(labelWidth / width, labelHeight / height);
}

// Page and label nearly the same shape: filling crops next to nothing.
bool similarShape(double width, double height, double labelWidth, double labelHeight) {
    const double page = width / height;
    const double label = labelWidth / labelHeight;
    return std::max(page / label, label / page) <= kAutoFillAspectTolerance;
}

// The scale a mode asks for, once the page is turned as it will print.
double scaleFor(Scaling scaling, double width, double height, double labelWidth,
                double labelHeight) {
    const double fit = fitScale(width, height, labelWidth, labelHeight);
    const double fill = std::max(labelWidth / width, labelHeight / height);
    switch (scaling) {
    case Scaling::kFit:
        return fit;
    case Scaling::kFill:
        return fill;
    case Scaling::kNone:
        return 1.0;
    case Scaling::kAuto:
        return similarShape(width, height, labelWidth, labelHeight) ? fill : fit;
    case Scaling::kAutoFit:
        return width > labelWidth || height > labelHeight ? fit : 1.0;
    }
    return fit;
}

// A scaled length in whole dots: never less than one, never past int32_t.
int32_t wholeDots(double length) {
    return static_cast<int32_t>(std::clamp(std::round(length), 1.0, double{INT32_MAX}));
}

} // namespace

Placement placeOnLabel(int32_t pageWidth, int32_t pageHeight, int32_t labelWidth,
                       int32_t labelHeight, Scaling scaling, bool mayTurn) {
    Placement placement;
    if (pageWidth <= 0 || pageHeight <= 0 || labelWidth <= 0 || labelHeight <= 0) {
        placement.scale = 0.0;
        return placement;
    }
    const double across = pageWidth, down = pageHeight;
    const double labelAcross = labelWidth, labelDown = labelHeight;
    placement.quarterTurn = mayTurn && fitScale(down, across, labelAcross, labelDown) >
                                           fitScale(across, down, labelAcross, labelDown);
    const double width = placement.quarterTurn ? down : across;
    const double height = placement.quarterTurn ? across : down;
    placement.scale = scaleFor(scaling, width, height, labelAcross, labelDown);
    placement.width = wholeDots(width * placement.scale);
    placement.height = wholeDots(height * placement.scale);
    placement.x = static_cast<int32_t>(std::floor((labelAcross - placement.width) / 2.0));
    placement.y = static_cast<int32_t>(std::floor((labelDown - placement.height) / 2.0));
    return placement;
}

int32_t dotsForMillimetres(double millimetres, int dpi) {
    const double dots = std::round(millimetres * dpi / 25.4);
    if (!(dots > 0.0))
        return 0;
    return dots >= double{INT32_MAX} ? INT32_MAX : static_cast<int32_t>(dots);
}

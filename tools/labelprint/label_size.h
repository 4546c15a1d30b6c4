// The label pages are fitted to, as the user names it with --label.
#pragma once

#include <optional>
#include <string>
#include <string_view>

// Label printers take labels from 12.7 x 6.35 mm (half by a quarter inch) up
// to 108 mm across and a metre along.
inline constexpr double kLabelMaxWidthMm = 108.0;
inline constexpr double kLabelMaxLengthMm = 1000.0;
inline constexpr double kLabelMinWidthMm = 12.7;
inline constexpr double kLabelMinLengthMm = 6.35;

struct LabelSize {
    double widthMm = 0.0;  // across the print head
    double lengthMm = 0.0; // along the paper
};

// Reads WIDTHxLENGTH and a unit, "in" or "mm": "4x6in", "100x150mm",
// "2.25x1.25in". Null, with `problem` saying why in words that follow the
// option's name, for malformed text or a label no printer takes.
std::optional<LabelSize> parseLabelSize(std::string_view text, std::string& problem);

// The label in dots at `dpi`: round(millimetres * dpi / 25.4) each way.
struct LabelDots {
    int width = 0;
    int height = 0;
};

// Null, with `problem` set as for parseLabelSize(), when the label is too
// large to render at that resolution.
std::optional<LabelDots> labelDots(const LabelSize& size, int dpi, std::string& problem);

// A length in tenths of a millimetre, as paper sizes are given.
int paperTenths(double millimetres);

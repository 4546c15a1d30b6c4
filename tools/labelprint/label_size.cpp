#include "tools/labelprint/label_size.h"

#include "imaging/label_fit.h"
#include "imaging/page_image_reader.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>

namespace {

constexpr double kMillimetresPerInch = 25.4;
// Inches turned into millimetres may land a hair past a limit given in
// millimetres (0.25 in is 6.35 mm); a label at the limit is accepted.
constexpr double kSlackMm = 1e-9;

// A plain decimal number: digits, at most one point, nothing else, so that
// signs, exponents and "inf" are turned away.
std::optional<double> decimal(std::string_view text) {
    bool digit = false;
    int points = 0;
    for (const char c : text) {
        digit = digit || std::isdigit(static_cast<unsigned char>(c));
        if (c == '.')
            ++points;
        else if (!std::isdigit(static_cast<unsigned char>(c)))
            return std::nullopt;
    }
    double value = 0.0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (!digit || points > 1 || error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

// Millimetres per unit of the text's last two letters; 0 for no known unit.
double unitOf(std::string_view text) {
    if (text.size() < 2)
        return 0.0;
    std::string unit(text.substr(text.size() - 2));
    for (char& c : unit)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return unit == "in" ? kMillimetresPerInch : unit == "mm" ? 1.0 : 0.0;
}

// Empty when printers take a label of this size.
std::string sizeProblem(const LabelSize& size) {
    if (size.widthMm > kLabelMaxWidthMm + kSlackMm)
        return "is wider than labels go (108 mm, 4.25 in)";
    if (size.lengthMm > kLabelMaxLengthMm + kSlackMm)
        return "is longer than labels go (1000 mm)";
    if (size.widthMm < kLabelMinWidthMm - kSlackMm || size.lengthMm < kLabelMinLengthMm - kSlackMm)
        return "is smaller than labels go (12.7 x 6.35 mm, 0.5 x 0.25 in)";
    return {};
}

} // namespace

std::optional<LabelSize> parseLabelSize(std::string_view text, std::string& problem) {
    const double perUnit = unitOf(text);
    const std::string_view numbers = text.substr(0, perUnit > 0.0 ? text.size() - 2 : 0);
    const size_t cross = numbers.find_first_of("xX");
    const auto width = decimal(numbers.substr(0, cross));
    const auto length =
        cross == std::string_view::npos ? std::nullopt : decimal(numbers.substr(cross + 1));
    if (perUnit == 0.0 || !width || !length) {
        problem = "takes WIDTHxLENGTH and a unit, in or mm (4x6in, 100x150mm), not '" +
                  std::string(text) + "'";
        return std::nullopt;
    }
    const LabelSize size{*width * perUnit, *length * perUnit};
    problem = sizeProblem(size);
    if (!problem.empty()) {
        problem = std::string(text) + " " + problem;
        return std::nullopt;
    }
    return size;
}

std::optional<LabelDots> labelDots(const LabelSize& size, int dpi, std::string& problem) {
    const LabelDots dots{dotsForMillimetres(size.widthMm, dpi),
                         dotsForMillimetres(size.lengthMm, dpi)};
    if (dots.width <= 0 || dots.height <= 0 || dots.width > kMaxImageSide ||
        dots.height > kMaxImageSide ||
        uint64_t(dots.width) * uint64_t(dots.height) > kMaxImageDots) {
        problem = "is too large to print at " + std::to_string(dpi) + " dpi (" +
                  std::to_string(dots.width) + " x " + std::to_string(dots.height) + " dots)";
        return std::nullopt;
    }
    return dots;
}

int paperTenths(double millimetres) {
    return static_cast<int>(std::lround(millimetres * 10.0));
}

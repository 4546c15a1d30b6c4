#include "imaging/picture_scaler.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <vector>

#include "imaging/dot_maker.h"

namespace {

// The source pixels one destination pixel reads along one axis, and how much
// each counts; the weights add up to 1.
struct Taps {
    int first = 0;
    std::vector<float> weights;
};

// Shrinking averages the source cells the destination cell covers, so thin
// lines thin out into grey instead of vanishing or jumping; enlarging
// interpolates between the two nearest source pixels.
Taps tapsFor(int index, int sourceLength, int destinationLength) {
    Taps taps;
    const double ratio = static_cast<double>(sourceLength) / destinationLength;
    if (ratio > 1.0) {
        const double begin = index * ratio;
        const double end = std::min((index + 1) * ratio, static_cast<double>(sourceLength));
        taps.first = static_cast<int>(begin);
        for (int k = taps.first; k < end; ++k) {
            const double covered = std::min<double>(k + 1, end) - std::max<double>(k, begin);
            taps.weights.push_back(static_cast<float>(covered / (end - begin)));
        }
        return taps;
    }
    const double centre = (index + 0.5) * ratio - 0.5;
    const int low = static_cast<int>(std::floor(centre));
    const float share = static_cast<float>(centre - low);
    taps.first = std::clamp(low, 0, sourceLength - 1);
    const int high = std::clamp(low + 1, 0, sourceLength - 1);
    if (high == taps.first || share == 0.0f) {
        taps.weights = {1.0f};
    } else {
        taps.weights = {1.0f - share, share};
    }
    return taps;
}

// Taps for destination cells [begin, end) of an axis `length` cells long.
std::vector<Taps> axisTaps(int begin, int end, int sourceLength, int length) {
    std::vector<Taps> taps;
    taps.reserve(static_cast<size_t>(end - begin));
    for (int i = begin; i < end; ++i)
        taps.push_back(tapsFor(i, sourceLength, length));
    return taps;
}

// The picture as it prints: turned a quarter counter-clockwise when asked,
// so that its column u, row v is the source's row u, column width-1-v.
class TurnedPicture {
  public:
    TurnedPicture(const GreyView& picture, bool turned) : picture_(picture), turned_(turned) {}

    int width() const { return turned_ ? picture_.height : picture_.width; }
    int height() const { return turned_ ? picture_.width : picture_.height; }

    float at(int u, int v) const {
        const int column = turned_ ? picture_.width - 1 - v : u;
        const int row = turned_ ? u : v;
        return picture_
            .pixels[static_cast<size_t>(row) * picture_.stride + static_cast<size_t>(column)];
    }

  private:
    const GreyView& picture_;
    bool turned_;
};

// One destination pixel from the taps of both axes.
uint8_t sample(const TurnedPicture& picture, const Taps& across, const Taps& down) {
    float sum = 0.0f;
    for (size_t j = 0; j < down.weights.size(); ++j) {
        float row = 0.0f;
        const int v = down.first + static_cast<int>(j);
        for (size_t i = 0; i < across.weights.size(); ++i)
            row += across.weights[i] * picture.at(across.first + static_cast<int>(i), v);
        sum += down.weights[j] * row;
    }
    return static_cast<uint8_t>(std::clamp(std::lround(sum), 0L, 255L));
}

bool usable(const GreyView& picture) {
    return picture.width > 0 && picture.height > 0 && picture.pixels != nullptr &&
           picture.stride >= static_cast<size_t>(picture.width);
}

} // namespace

BilevelImage placeGreyPicture(const GreyView& picture, const Placement& placement,
                              int32_t labelWidth, int32_t labelHeight, bool dither) {
    BilevelImage label = BilevelImage::blank(labelWidth, labelHeight);
    if (label.bits.empty())
        return label;
    try {
        const TurnedPicture turned(picture, placement.quarterTurn);
        // The part of the placed picture that lies on the label.
        const int64_t left = std::max<int64_t>(placement.x, 0);
        const int64_t top = std::max<int64_t>(placement.y, 0);
        const int64_t right = std::min<int64_t>(int64_t{placement.x} + placement.width, labelWidth);
        const int64_t bottom =
            std::min<int64_t>(int64_t{placement.y} + placement.height, labelHeight);
        const bool shown = usable(picture) && placement.width > 0 && placement.height > 0 &&
                           left < right && top < bottom;
        std::vector<Taps> across, down;
        if (shown) {
            across =
                axisTaps(static_cast<int>(left - placement.x),
                         static_cast<int>(right - placement.x), turned.width(), placement.width);
            down =
                axisTaps(static_cast<int>(top - placement.y),
                         static_cast<int>(bottom - placement.y), turned.height(), placement.height);
        }
        std::vector<uint8_t> row(static_cast<size_t>(labelWidth));
        DotMaker dots(label, dither);
        for (int y = 0; y < labelHeight; ++y) {
            std::fill(row.begin(), row.end(), uint8_t{255});
            if (shown && y >= top && y < bottom) {
                const Taps& rowTaps = down[static_cast<size_t>(y - top)];
                for (int64_t x = left; x < right; ++x)
                    row[static_cast<size_t>(x)] =
                        sample(turned, across[static_cast<size_t>(x - left)], rowTaps);
            }
            dots.addRow(y, row.data(), 1);
        }
    } catch (const std::bad_alloc&) {
        return BilevelImage{};
    }
    return label;
}

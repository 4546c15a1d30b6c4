#include "imaging/test_label.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "imaging/bitmap_font.h"
#include "imaging/label_fit.h"

namespace {

// A rectangle of dots, right and bottom excluded.
struct Box {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    int width() const { return right - left; }
    int height() const { return bottom - top; }
    bool empty() const { return right <= left || bottom <= top; }
};

// Every length of the picture in dots, from millimetres at the printer's
// resolution, so that the label looks the same at any dpi.
struct Geometry {
    int dpi = 0;
    int inset = 0;     // label edge to the outline, and the rulers' 0
    int thickness = 0; // of the outline
    Box inside;        // within the outline
    int tickWidth = 0;
    int shortTick = 0; // every millimetre
    int midTick = 0;   // every 5 mm
    int longTick = 0;  // every 10 mm
    int gap = 0;       // clear space between things that must not touch
    int digitScale = 1;
    int gridPeriod = 0; // one grid dot in this many
    int shortestGridPiece = 0;
    int textScale = 1; // the lines' size when they fit
    int legibleScale = 1;
    int textMargin = 0; // between the lines and the rulers
};

// The lengths for a label of width x height dots.
Geometry geometryFor(int width, int height, int dpi) {
    auto mm = [dpi](double millimetres) { return dotsForMillimetres(millimetres, dpi); };
    Geometry g;
    g.dpi = dpi;
    g.inset = std::max(1, mm(0.5));
    g.thickness = std::max(2, mm(0.35));
    const int edge = g.inset + g.thickness;
    g.inside = {edge, edge, width - edge, height - edge};
    g.tickWidth = std::max(1, mm(0.15));
    g.shortTick = std::max(2, mm(1));
    g.midTick = std::max(g.shortTick + 1, mm(2));
    g.longTick = std::max(g.midTick + 1, mm(3));
    g.gap = std::max(1, mm(0.25));
    // Numbers 1.75 mm tall, under the short ticks, about as deep as the long.
    g.digitScale = std::max(1, (mm(1.75) + kCapHeight / 2) / kCapHeight);
    g.gridPeriod = std::max(2, mm(0.5));
    g.shortestGridPiece = mm(10);
    g.textScale = std::max(1, (mm(3.5) + kCapHeight / 2) / kCapHeight);
    g.legibleScale = std::max(1, (mm(1.75) + kCapHeight / 2) / kCapHeight);
    g.textMargin = std::max(g.gap, mm(1));
    return g;
}

// The box with `by` dots taken off every side.
Box shrunk(const Box& box, int by) {
    return {box.left + by, box.top + by, box.right - by, box.bottom - by};
}

// Sets the box's dots that lie on the picture.
void fill(BilevelImage& image, const Box& box, bool printed) {
    for (int y = std::max(box.top, 0); y < std::min(box.bottom, image.height); ++y)
        for (int x = std::max(box.left, 0); x < std::min(box.right, image.width); ++x)
            image.setDot(x, y, printed);
}

// The frame whose distance to each edge shows how the label sits.
void drawOutline(BilevelImage& image, const Geometry& g) {
    const Box outer = {g.inset, g.inset, image.width - g.inset, image.height - g.inset};
    fill(image, {outer.left, outer.top, outer.right, g.inside.top}, true);
    fill(image, {outer.left, g.inside.bottom, outer.right, outer.bottom}, true);
    fill(image, {outer.left, outer.top, g.inside.left, outer.bottom}, true);
    fill(image, {g.inside.right, outer.top, outer.right, outer.bottom}, true);
}

// Where the tick of a millimetre lies along either ruler.
int tickAt(int millimetres, const Geometry& g) {
    return g.inset + dotsForMillimetres(millimetres, g.dpi);
}

// Longer ticks at 5 and 10 mm, so that a distance reads at a glance.
int tickLength(int millimetres, const Geometry& g) {
    if (millimetres % 10 == 0)
        return g.longTick;
    return millimetres % 5 == 0 ? g.midTick : g.shortTick;
}

// The rulers' ticks of the first 3 mm would cross where the rulers meet;
// from 4 mm on they lie past the other ruler's longest ticks (a millimetre
// is more than the outline's thickness at any resolution drawn).
constexpr int kFirstTick = 4;

// The ruler along the top edge; returns how far down it reaches.
int drawTopRuler(BilevelImage& image, const Geometry& g) {
    int depth = g.longTick;
    for (int mm = kFirstTick;; ++mm) {
        const int x = tickAt(mm, g);
        if (x + g.tickWidth > g.inside.right)
            break;
        fill(image, {x, g.inside.top, x + g.tickWidth, g.inside.top + tickLength(mm, g)}, true);
        if (mm % 10 != 0)
            continue;
        // The number sits right of its tick, under the short ticks, and is
        // left out where it would reach the next 5 mm tick or the outline.
        const std::string number = std::to_string(mm / 10);
        const int left = x + g.tickWidth + g.gap;
        const int64_t right = left + textWidth(number, g.digitScale);
        if (right + g.gap > std::min(tickAt(mm + 5, g), g.inside.right))
            continue;
        const int top = g.inside.top + g.shortTick + g.gap;
        drawText(image, left, top, number, g.digitScale);
        depth = std::max(depth, g.shortTick + g.gap + kCapHeight * g.digitScale);
    }
    return depth;
}

// The ruler along the left edge; returns how far right it reaches.
int drawLeftRuler(BilevelImage& image, const Geometry& g) {
    int depth = g.longTick;
    for (int mm = kFirstTick;; ++mm) {
        const int y = tickAt(mm, g);
        if (y + g.tickWidth > g.inside.bottom)
            break;
        fill(image, {g.inside.left, y, g.inside.left + tickLength(mm, g), y + g.tickWidth}, true);
        if (mm % 10 != 0)
            continue;
        // The number sits under its tick, right of the short ticks, and is
        // left out where it would reach the next 5 mm tick or the outline.
        const std::string number = std::to_string(mm / 10);
        const int top = y + g.tickWidth + g.gap;
        const int bottom = top + kCapHeight * g.digitScale;
        if (bottom + g.gap > std::min(tickAt(mm + 5, g), g.inside.bottom))
            continue;
        const int left = g.inside.left + g.shortTick + g.gap;
        drawText(image, left, top, number, g.digitScale);
        const int64_t right = g.shortTick + g.gap + textWidth(number, g.digitScale);
        depth = std::max(depth, static_cast<int>(std::min<int64_t>(right, g.inside.width())));
    }
    return depth;
}

// One grid line's dots from `from` to `to` along it, in step with every
// other line's so that the lines cross on a dot; as wide as a tick, so that
// they print at any resolution.
void drawDotted(BilevelImage& image, const Geometry& g, bool vertical, int at, int from, int to) {
    for (int along = from; along < to; ++along)
        if ((along - g.inset) % g.gridPeriod == 0) {
            const int end = std::min(along + g.tickWidth, to);
            fill(image,
                 vertical ? Box{at, along, at + g.tickWidth, end}
                          : Box{along, at, end, at + g.tickWidth},
                 true);
        }
}

// A grid line from `from` to `to`, broken where it would cross the lines of
// text (between clearFrom and clearTo); a piece too short to show a line's
// slant is left out.
void drawGridLine(BilevelImage& image, const Geometry& g, bool vertical, int at, int from, int to,
                  int clearFrom, int clearTo) {
    auto piece = [&](int start, int end) {
        if (end - start >= g.shortestGridPiece)
            drawDotted(image, g, vertical, at, start, end);
    };
    if (clearTo <= from || clearFrom >= to) {
        piece(from, to);
        return;
    }
    piece(from, clearFrom);
    piece(clearTo, to);
}

// Dotted lines on from the 10 mm ticks across `area`, but not through `clear`.
void drawGrid(BilevelImage& image, const Geometry& g, const Box& area, const Box& clear) {
    for (int cm = 1;; ++cm) {
        const int x = tickAt(10 * cm, g);
        if (x >= area.right)
            break;
        const bool crossesClear = x >= clear.left && x < clear.right;
        if (x >= area.left)
            drawGridLine(image, g, true, x, area.top, area.bottom,
                         crossesClear ? clear.top : area.bottom,
                         crossesClear ? clear.bottom : area.bottom);
    }
    for (int cm = 1;; ++cm) {
        const int y = tickAt(10 * cm, g);
        if (y >= area.bottom)
            break;
        const bool crossesClear = y >= clear.top && y < clear.bottom;
        if (y >= area.top)
            drawGridLine(image, g, false, y, area.left, area.right,
                         crossesClear ? clear.left : area.right,
                         crossesClear ? clear.right : area.right);
    }
}

// The lines as they are drawn: the size, and each line cut to the width.
struct TextBlock {
    int scale = 1;
    std::vector<std::string> lines;
    Box box; // where the lines are drawn, empty without any
};

// Rows of blank under one line's descenders and above the next one's
// capitals, in font dots.
constexpr int kLineGap = 1;
constexpr int kLinePitch = kGlyphHeight + kLineGap;

// How many lines a height holds, the last without the blank under it.
int64_t linesThatFit(int height, int scale) {
    return (int64_t{height} + kLineGap * scale) / (int64_t{kLinePitch} * scale);
}

// The line, or as much of it as fits `width` followed by "...".
std::string cutToWidth(std::string_view line, int width, int scale) {
    if (textWidth(line, scale) <= width)
        return std::string(line);
    constexpr std::string_view kEllipsis = "...";
    const int64_t glyphsThatFit = (int64_t{width} / scale + 1) / kGlyphAdvance;
    const int64_t keep = glyphsThatFit - static_cast<int64_t>(kEllipsis.size());
    if (keep <= 0)
        return std::string();
    GlyphReader reader(line);
    char32_t character;
    for (int64_t kept = 0; kept < keep && reader.next(character); ++kept) {
    }
    return std::string(line.substr(0, reader.position())) + std::string(kEllipsis);
}

// The lines at the largest size, up to 3.5 mm, at which all of them fit the
// area's height and the widest its width. A line too wide at the legible
// size is cut rather than shrinking the rest below it; lines the height
// cannot hold even at the smallest size are left out.
TextBlock layOutLines(const std::vector<std::string>& lines, const Box& area, const Geometry& g,
                      const BilevelImage& image) {
    TextBlock block;
    if (lines.empty() || area.empty())
        return block;
    const auto count = static_cast<int64_t>(lines.size());
    int fitsHeight = 1;
    for (int scale = g.textScale; scale >= 1; --scale)
        if (linesThatFit(area.height(), scale) >= count) {
            fitsHeight = scale;
            break;
        }
    int64_t widest = 0;
    for (const std::string& line : lines)
        widest = std::max(widest, textWidth(line, 1));
    int fitsWidth = 1;
    for (int scale = fitsHeight; scale >= 1; --scale)
        if (widest * scale <= area.width()) {
            fitsWidth = scale;
            break;
        }
    block.scale = std::max(fitsWidth, std::min(g.legibleScale, fitsHeight));
    const int64_t shown = std::min(count, linesThatFit(area.height(), block.scale));
    if (shown <= 0)
        return block;
    int blockWidth = 0;
    for (int64_t i = 0; i < shown; ++i) {
        block.lines.push_back(cutToWidth(lines[i], area.width(), block.scale));
        blockWidth =
            std::max(blockWidth, static_cast<int>(textWidth(block.lines.back(), block.scale)));
    }
    const int blockHeight = static_cast<int>(shown * kLinePitch - kLineGap) * block.scale;
    // Centred on the label, moved into the area where the rulers leave it
    // too little room.
    const int left =
        std::max(area.left, std::min((image.width - blockWidth) / 2, area.right - blockWidth));
    const int top =
        std::max(area.top, std::min((image.height - blockHeight) / 2, area.bottom - blockHeight));
    block.box = {left, top, left + blockWidth, top + blockHeight};
    return block;
}

// Each line centred in the block.
void drawLines(BilevelImage& image, const TextBlock& block) {
    const int centre = block.box.left + block.box.width() / 2;
    int top = block.box.top;
    for (const std::string& line : block.lines) {
        const auto width = static_cast<int>(textWidth(line, block.scale));
        drawText(image, centre - width / 2, top, line, block.scale);
        top += kLinePitch * block.scale;
    }
}

// A size and resolution a label printer can have.
bool drawable(const TestLabelFacts& facts) {
    return facts.widthDots > 0 && facts.widthDots <= kMaxTestLabelWidthDots &&
           facts.heightDots > 0 && facts.heightDots <= kMaxTestLabelHeightDots &&
           facts.dpi >= kMinTestLabelDpi && facts.dpi <= kMaxTestLabelDpi;
}

} // namespace

BilevelImage drawTestLabel(const TestLabelFacts& facts) {
    if (!drawable(facts))
        return BilevelImage{};
    const Geometry g = geometryFor(facts.widthDots, facts.heightDots, facts.dpi);
    if (g.inside.empty())
        return BilevelImage{};
    BilevelImage image = BilevelImage::blank(facts.widthDots, facts.heightDots);
    if (image.width == 0)
        return image;
    drawOutline(image, g);

    // What the rulers leave: all of the inside on a label too small for
    // them, which then has the lines alone.
    Box rest = g.inside;
    const int rulerRoom = 2 * (g.longTick + g.gap);
    const bool rulers = g.inside.width() >= rulerRoom && g.inside.height() >= rulerRoom;
    if (rulers) {
        rest.top += drawTopRuler(image, g);
        rest.left += drawLeftRuler(image, g);
    }
    const Box area = shrunk(rest, g.gap);
    const Box textArea = rulers ? shrunk(rest, g.textMargin) : area;
    const TextBlock block = layOutLines(facts.lines, textArea, g, image);
    if (rulers) {
        const int margin = g.textMargin;
        const Box clear = {block.box.left - margin, block.box.top - margin,
                           block.box.right + margin, block.box.bottom + margin};
        drawGrid(image, g, area, block.box.empty() ? Box{} : clear);
    }
    drawLines(image, block);
    return image;
}

std::string testLabelDate(std::time_t now) {
    char date[32] = "";
    std::tm local{};
    if (localtime_r(&now, &local))
        std::strftime(date, sizeof date, "%Y-%m-%d %H:%M", &local);
    return date;
}

// A small dot font built into the program, for the pictures it draws itself
// (the test label): readable on any printer with no font file or library.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "imaging/bilevel_image.h"

inline constexpr int kGlyphWidth = 5;
// Capitals and digits stand 7 rows tall on the baseline; g, j, p, q, y and
// the comma reach 2 rows below it.
inline constexpr int kCapHeight = 7;
inline constexpr int kGlyphHeight = kCapHeight + 2;
// One blank column after each character.
inline constexpr int kGlyphAdvance = kGlyphWidth + 1;

// A glyph's rows, top first; bit 4 is the leftmost dot, bit 0 the rightmost.
using GlyphRows = std::array<uint8_t, kGlyphHeight>;

// The glyph of a character: ASCII 32-126 have their own, anything else
// (control characters, everything past ASCII) draws as a hollow box.
const GlyphRows& glyphFor(char32_t character);

// The characters of UTF-8 text as the font draws them, one at a time: a
// multi-byte sequence is one character outside the font (one box), as is a
// stray byte that starts none.
class GlyphReader {
  public:
    explicit GlyphReader(std::string_view text) : text_(text) {}

    // The next character, or false at the end.
    bool next(char32_t& character);
    // Bytes read so far.
    size_t position() const { return position_; }

  private:
    std::string_view text_;
    size_t position_ = 0;
};

// How many characters the font draws for the text.
size_t glyphCount(std::string_view text);

// The width of the text drawn at `scale` dots a font dot, in dots: from the
// first glyph's left column to the last one's right column.
int64_t textWidth(std::string_view text, int scale);

// Draws the text with its top left corner at x, y, each font dot a `scale` x
// `scale` square. What falls outside the picture is left out.
void drawText(BilevelImage& image, int x, int y, std::string_view text, int scale);

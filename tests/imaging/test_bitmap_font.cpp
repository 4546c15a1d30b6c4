#include "imaging/bitmap_font.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <string_view>

namespace {

BilevelImage drawn(std::string_view text, int scale) {
    BilevelImage image = BilevelImage::blank(200, 40);
    drawText(image, 3, 2, text, scale);
    return image;
}

// Every printable character has a glyph of its own within the 5 columns, so
// no two read alike on a label ('1' and 'l', '0' and 'O'); only the space
// is blank; what the font lacks is none of them.
TEST(BitmapFont, EveryPrintableCharacterHasAGlyphOfItsOwn) {
    std::set<GlyphRows> seen;
    for (char32_t c = 32; c <= 126; ++c) {
        SCOPED_TRACE(static_cast<char>(c));
        const GlyphRows& rows = glyphFor(c);
        bool anyDot = false;
        for (uint8_t row : rows) {
            EXPECT_LT(row, 1 << kGlyphWidth);
            anyDot = anyDot || row != 0;
        }
        EXPECT_EQ(anyDot, c != ' ');
        EXPECT_TRUE(seen.insert(rows).second) << "drawn as an earlier character";
    }
    EXPECT_EQ(seen.count(glyphFor(0x7f)), 0u);
    EXPECT_NE(drawn("1", 1), drawn("l", 1));
}

// A character the font lacks is one box however many bytes UTF-8 gives it,
// and the characters around it keep their places.
TEST(BitmapFont, CharactersOutsideTheFontDrawAsOneBoxEach) {
    const std::string box = "\x01";
    struct Case {
        std::string text;
        std::string drawnAs;
    };
    const Case cases[] = {
        {"\u00e9", box},                   // e with an acute accent
        {"20 \u00b0C", "20 " + box + "C"}, // a degree sign
        {"\u20ac5", box + "5"},            // the euro sign
        {"\U0001f5a8!", box + "!"},        // four bytes
        {"a\200b", "a" + box + "b"},       // a stray continuation byte
        {"a\303", "a" + box},              // cut short at the end
        {"a\tb\n", "a" + box + "b" + box}, // control characters
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(glyphCount(c.text), glyphCount(c.drawnAs));
        EXPECT_EQ(textWidth(c.text, 2), textWidth(c.drawnAs, 2));
        EXPECT_EQ(drawn(c.text, 2), drawn(c.drawnAs, 2));
    }
}

} // namespace

// The engine's drawing and text calls as the stand-in makes them on a device:
// fonts that answer FONTOBJ_pifi, strings whose glyph positions are supplied
// or handed out in batches, and brushes solid or not.
#pragma once

#include "host/device.h"
#include "host/text/engine_objects.h"

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace standin {

// The unique name under which the engine knows the printer-resident font.
inline constexpr std::u16string_view kPrinterFontUniqueName = u"EPSON24 24x24 打印机字体";

// A realised font whose metrics record carries `uniqueName` after the record,
// as the engine lays one out.
class NamedFont {
  public:
    explicit NamedFont(std::u16string_view uniqueName);
    NamedFont(const NamedFont&) = delete;
    NamedFont& operator=(const NamedFont&) = delete;

    FONTOBJ* fontobj() { return &font.fontobj; }
    // A font the engine has no metrics for.
    void forgetMetrics() { font.metrics = nullptr; }

  private:
    std::vector<std::uint64_t> storage; // the record and the name, 8-byte aligned
    EngineFont font;
};

// One string as the engine hands it to DrvTextOut.
class TextString {
  public:
    // Glyphs `advance` dots apart from `x`; the positions are supplied with
    // the string unless batches are asked for.
    TextString(std::u16string_view text, const RECTL& background, LONG x, LONG advance = 24);
    TextString(const TextString&) = delete;
    TextString& operator=(const TextString&) = delete;

    // Positions handed out through STROBJ_bEnum in batches of these sizes
    // instead; the sizes should add up to the glyph count.
    void deliverInBatches(const std::vector<std::size_t>& sizes);
    // STROBJ_bEnum answers DDI_ERROR after the batches.
    void failEnumeration() { string.failEnumeration = true; }
    // A string without its source text.
    void dropSourceText() { string.strobj.pwszOrg = nullptr; }

    STROBJ* strobj() { return &string.strobj; }

  private:
    std::u16string text;
    std::vector<GLYPHPOS> positions;
    EngineString string;
};

// A brush of one solid colour (0x00BBGGRR), and one with a pattern.
BRUSHOBJ solidBrush(ULONG colour);
BRUSHOBJ patternBrush();

// The engine's calls through the plug-in's hook table; each returns the
// hook's answer, or FALSE when the plug-in does not hook the call.
BOOL textOut(Device& device, TextString& string, FONTOBJ* font, BRUSHOBJ* foreground = nullptr);
BOOL bitBlt(Device& device, BRUSHOBJ* brush);
BOOL stretchBlt(Device& device);
BOOL strokePath(Device& device, BRUSHOBJ* brush);

// Unidrv's TextOutAsBitmap request to the plug-in object.
HRESULT textOutAsBitmap(Device& device, TextString& string, FONTOBJ* font,
                        BRUSHOBJ* foreground = nullptr);

} // namespace standin

#include "host/text/text_calls.h"

#include <algorithm>
#include <cstring>

namespace standin {

NamedFont::NamedFont(std::u16string_view uniqueName) {
    const std::size_t nameBytes = (uniqueName.size() + 1) * sizeof(char16_t);
    const std::size_t bytes = sizeof(IFIMETRICS) + nameBytes;
    storage.assign((bytes + sizeof(std::uint64_t) - 1) / sizeof(std::uint64_t), 0);
    auto* metrics = reinterpret_cast<IFIMETRICS*>(storage.data());
    metrics->cjThis = static_cast<ULONG>(bytes);
    metrics->dpwszUniqueName = static_cast<PTRDIFF>(sizeof(IFIMETRICS));
    std::memcpy(reinterpret_cast<BYTE*>(metrics) + sizeof(IFIMETRICS), uniqueName.data(),
                uniqueName.size() * sizeof(char16_t));
    font.metrics = metrics;
}

TextString::TextString(std::u16string_view text, const RECTL& background, LONG x, LONG advance)
    : text(text) {
    positions.resize(this->text.size());
    for (std::size_t i = 0; i < positions.size(); ++i) {
        positions[i].hg = this->text[i];
        positions[i].ptl = {x + static_cast<LONG>(i) * advance, background.bottom};
    }
    STROBJ& strobj = string.strobj;
    strobj.cGlyphs = static_cast<ULONG>(this->text.size());
    strobj.ulCharInc = static_cast<ULONG>(advance);
    strobj.rclBkGround = background;
    strobj.pgp = positions.empty() ? nullptr : positions.data();
    strobj.pwszOrg = this->text.data();
}

void TextString::deliverInBatches(const std::vector<std::size_t>& sizes) {
    string.strobj.pgp = nullptr;
    string.batches.clear();
    std::size_t first = 0;
    for (std::size_t size : sizes) {
        const std::size_t end = std::min(first + size, positions.size());
        string.batches.emplace_back(positions.begin() + static_cast<std::ptrdiff_t>(first),
                                    positions.begin() + static_cast<std::ptrdiff_t>(end));
        first = end;
    }
}

BRUSHOBJ solidBrush(ULONG colour) {
    return {colour, nullptr, 0};
}

BRUSHOBJ patternBrush() {
    return {0xFFFFFFFF, nullptr, 0};
}

BOOL textOut(Device& device, TextString& string, FONTOBJ* font, BRUSHOBJ* foreground) {
    auto hook = device.pluginHook<PFN_DrvTextOut>(INDEX_DrvTextOut);
    RECTL opaque = string.strobj()->rclBkGround;
    POINTL origin{0, 0};
    return hook ? hook(device.surface(), string.strobj(), font, nullptr, nullptr, &opaque,
                       foreground, nullptr, &origin, 0x0D0D)
                : FALSE;
}

BOOL bitBlt(Device& device, BRUSHOBJ* brush) {
    auto hook = device.pluginHook<PFN_DrvBitBlt>(INDEX_DrvBitBlt);
    RECTL target{0, 0, 8, 8};
    POINTL origin{0, 0};
    return hook ? hook(device.surface(), nullptr, nullptr, nullptr, nullptr, &target, nullptr,
                       nullptr, brush, &origin, 0xF0F0)
                : FALSE;
}

BOOL stretchBlt(Device& device) {
    auto hook = device.pluginHook<PFN_DrvStretchBlt>(INDEX_DrvStretchBlt);
    RECTL target{0, 0, 16, 16}, source{0, 0, 8, 8};
    POINTL origin{0, 0};
    return hook ? hook(device.surface(), device.surface(), nullptr, nullptr, nullptr, nullptr,
                       &origin, &target, &source, nullptr, 3)
                : FALSE;
}

BOOL strokePath(Device& device, BRUSHOBJ* brush) {
    auto hook = device.pluginHook<PFN_DrvStrokePath>(INDEX_DrvStrokePath);
    POINTL origin{0, 0};
    return hook ? hook(device.surface(), nullptr, nullptr, nullptr, brush, &origin, nullptr, 0x0D0D)
                : FALSE;
}

HRESULT textOutAsBitmap(Device& device, TextString& string, FONTOBJ* font, BRUSHOBJ* foreground) {
    RECTL opaque = string.strobj()->rclBkGround;
    POINTL origin{0, 0};
    return device.pluginObject().TextOutAsBitmap(device.surface(), string.strobj(), font, nullptr,
                                                 nullptr, &opaque, foreground, nullptr, &origin,
                                                 0x0D0D);
}

} // namespace standin

// The host has no system code page, so ANSI_CODE_PAGE names it (936 when
// unset) and iconv converts, answering as WideCharToMultiByte would.
#include "platform/ansi.h"

#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iconv.h>

namespace platform {
namespace {

constexpr unsigned kDefaultCodePage = 936;

// The code page the environment sets; false when it is not a number.
bool ansiCodePage(unsigned& codePage) {
    const char* text = std::getenv("ANSI_CODE_PAGE");
    if (!text || !*text) {
        codePage = kDefaultCodePage;
        return true;
    }
    unsigned value = 0;
    for (const char* digit = text; *digit; ++digit) {
        if (*digit < '0' || *digit > '9' || value > 65535)
            return false;
        value = value * 10 + static_cast<unsigned>(*digit - '0');
    }
    if (value == 0 || value > 65535)
        return false;
    codePage = value;
    return true;
}

// iconv's name for a Windows code page; the numbered pages share the "CP"
// names, the rest are spelled out.
void charsetName(unsigned codePage, char (&name)[16]) {
    switch (codePage) {
    case 65001:
        std::strcpy(name, "UTF-8");
        break;
    case 54936:
        std::strcpy(name, "GB18030");
        break;
    case 20127:
        std::strcpy(name, "ASCII");
        break;
    default:
        std::snprintf(name, sizeof name, "CP%u", codePage);
        break;
    }
}

} // namespace

int wideToAnsi(const char16_t* text, int units, char* out, int outBytes) {
    if (!text || units <= 0 || !out || outBytes <= 0)
        return 0;
    unsigned codePage = 0;
    if (!ansiCodePage(codePage))
        return 0;
    char charset[16];
    charsetName(codePage, charset);
    const char* wide = std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE";
    iconv_t converter = iconv_open(charset, wide);
    if (converter == reinterpret_cast<iconv_t>(-1))
        return 0;
    char* in = reinterpret_cast<char*>(const_cast<char16_t*>(text));
    std::size_t inLeft = static_cast<std::size_t>(units) * sizeof(char16_t);
    char* to = out;
    std::size_t outLeft = static_cast<std::size_t>(outBytes);
    bool fits = true;
    while (inLeft > 0 && fits) {
        if (iconv(converter, &in, &inLeft, &to, &outLeft) != static_cast<std::size_t>(-1))
            break;
        // A unit the code page lacks (a lone surrogate included) becomes the
        // default character, one for each unit, as on Windows.
        if (errno == E2BIG || outLeft == 0) {
            fits = false;
        } else {
            *to++ = '?';
            --outLeft;
            const std::size_t skip = inLeft < sizeof(char16_t) ? inLeft : sizeof(char16_t);
            in += skip;
            inLeft -= skip;
        }
    }
    if (fits && iconv(converter, nullptr, nullptr, &to, &outLeft) == static_cast<std::size_t>(-1))
        fits = false;
    iconv_close(converter);
    return fits ? static_cast<int>(to - out) : 0;
}

} // namespace platform

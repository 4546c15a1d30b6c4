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

// The converter for one code page, kept per thread: opening one costs more
// than most conversions, and a converter may not be shared between threads.
class CachedConverter {
  public:
    ~CachedConverter() { close(); }

    // The converter from UTF-16 to `codePage` in its initial state, or -1
    // when iconv has no such conversion.
    iconv_t get(unsigned codePage) {
        if (codePage != openFor) {
            close();
            char charset[16];
            charsetName(codePage, charset);
            const char* wide = std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE";
            handle = iconv_open(charset, wide);
            openFor = handle == kNone ? 0 : codePage;
        }
        // Back to the initial state, which a failed conversion may have left.
        if (handle != kNone)
            iconv(handle, nullptr, nullptr, nullptr, nullptr);
        return handle;
    }

  private:
    static inline const iconv_t kNone = reinterpret_cast<iconv_t>(-1);

    void close() {
        if (handle != kNone)
            iconv_close(handle);
        handle = kNone;
        openFor = 0;
    }

    iconv_t handle = kNone;
    unsigned openFor = 0;
};

} // namespace

int wideToAnsi(const char16_t* text, int units, char* out, int outBytes) {
    if (!text || units <= 0 || !out || outBytes <= 0)
        return 0;
    unsigned codePage = 0;
    if (!ansiCodePage(codePage))
        return 0;
    thread_local CachedConverter cached;
    iconv_t converter = cached.get(codePage);
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
    return fits ? static_cast<int>(to - out) : 0;
}

} // namespace platform

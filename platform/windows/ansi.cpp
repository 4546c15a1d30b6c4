// The system's own conversion: the ANSI code page is a machine setting.
#include "platform/ansi.h"

#include <windows.h>

namespace platform {

int wideToAnsi(const char16_t* text, int units, char* out, int outBytes) {
    static_assert(sizeof(wchar_t) == sizeof(char16_t));
    if (!text || units <= 0 || !out || outBytes <= 0)
        return 0;
    return WideCharToMultiByte(CP_ACP, 0, reinterpret_cast<const wchar_t*>(text), units, out,
                               outBytes, nullptr, nullptr);
}

} // namespace platform

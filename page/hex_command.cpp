#include "page/hex_command.h"

#include "plugin/hook_dispatch.h"

namespace {

BYTE nibbleValue(WCHAR unit) {
    if (unit >= u'0' && unit <= u'9')
        return static_cast<BYTE>(unit - u'0');
    if ((unit >= u'A' && unit <= u'F') || (unit >= u'a' && unit <= u'f'))
        return static_cast<BYTE>((unit - 7) & 0x0F);
    return 0;
}

} // namespace

DWORD hexToBytes(const WCHAR (&text)[kCommandTextUnits], BYTE (&bytes)[kHexCommandBytes]) {
    static_assert(kCommandTextUnits / 2 <= kHexCommandBytes);
    int length = 0;
    while (length < kCommandTextUnits && text[length] != 0)
        ++length;
    for (int i = 0; i + 1 < length; i += 2)
        bytes[i / 2] = static_cast<BYTE>(nibbleValue(text[i]) << 4 | nibbleValue(text[i + 1]));
    return static_cast<DWORD>(length / 2);
}

void sendHexCommand(PDEVOBJ pdevobj, WORD on, const WCHAR (&text)[kCommandTextUnits]) {
    if (on != 1)
        return;
    BYTE bytes[kHexCommandBytes] = {};
    const DWORD count = hexToBytes(text, bytes);
    writeSpool(pdevobj, bytes, count);
}

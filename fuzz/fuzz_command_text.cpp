// The stored command texts: any 260 units, terminated anywhere or not at all,
// turned into bytes and sent. Each field and the byte buffer are heap blocks
// of their exact size, so a read or write past either is reported.
#include "page/hex_command.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

using Field = WCHAR[kCommandTextUnits];
using Bytes = BYTE[kHexCommandBytes];
constexpr BYTE kUntouched = 0xA5;

struct Spool {
    int writes = 0;
    std::vector<BYTE> bytes;
};

// The device as the command sender meets it: a spool stream and no more.
struct SpoolDevice {
    DEVOBJ devobj{};
    DRVPROCS procs{};
    Spool spool;
};

// Unidrv's spool write: keeps the bytes and counts the writes.
DWORD STDCALL takeSpool(PDEVOBJ pdevobj, PVOID buffer, DWORD count) {
    Spool& spool = reinterpret_cast<SpoolDevice*>(pdevobj)->spool;
    ++spool.writes;
    const auto* first = static_cast<const BYTE*>(buffer);
    spool.bytes.insert(spool.bytes.end(), first, first + count);
    return count;
}

// A hex digit's value; any other unit counts as 0.
BYTE nibble(WCHAR unit) {
    if (unit >= u'0' && unit <= u'9')
        return static_cast<BYTE>(unit - u'0');
    if (unit >= u'A' && unit <= u'F')
        return static_cast<BYTE>(unit - u'A' + 10);
    if (unit >= u'a' && unit <= u'f')
        return static_cast<BYTE>(unit - u'a' + 10);
    return 0;
}

// The bytes the field stands for: its units up to the terminator or its end,
// two to a byte, an odd last unit ignored.
std::vector<BYTE> expectedBytes(const Field& text) {
    int length = 0;
    while (length < kCommandTextUnits && text[length] != 0)
        ++length;
    std::vector<BYTE> bytes;
    for (int i = 0; i + 1 < length; i += 2)
        bytes.push_back(static_cast<BYTE>(nibble(text[i]) << 4 | nibble(text[i + 1])));
    return bytes;
}

// A result that differs from the model: a finding.
void require(bool condition) {
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const WORD on = input.ConsumeBool() ? 1 : input.ConsumeIntegral<WORD>();
    const int terminator = input.ConsumeIntegralInRange(0, 2); // none, as given, at a place
    const int terminatorAt = input.ConsumeIntegralInRange(0, kCommandTextUnits - 1);
    const auto filler = input.ConsumeIntegral<WCHAR>();

    auto text = std::make_unique<Field[]>(1);
    Field& field = text[0];
    for (WCHAR& unit : field)
        unit = input.remaining_bytes() >= 2 ? input.ConsumeIntegral<WCHAR>() : filler;
    if (terminator == 0) {
        for (WCHAR& unit : field)
            if (unit == 0)
                unit = u'0';
    } else if (terminator == 2) {
        field[terminatorAt] = 0;
    }

    auto converted = std::make_unique<Bytes[]>(1);
    std::memset(converted[0], kUntouched, sizeof(Bytes));
    const std::vector<BYTE> expected = expectedBytes(field);
    const DWORD count = hexToBytes(field, converted[0]);
    require(count == expected.size());
    require(std::equal(expected.begin(), expected.end(), converted[0]));
    for (std::size_t i = count; i < sizeof(Bytes); ++i)
        require(converted[0][i] == kUntouched);

    auto device = std::make_unique<SpoolDevice>();
    device->procs.DrvWriteSpoolBuf = takeSpool;
    device->devobj.pDrvProcs = &device->procs;
    sendHexCommand(&device->devobj, on, field);
    require(device->spool.writes == (on == 1 ? 1 : 0));
    require(device->spool.bytes == (on == 1 ? expected : std::vector<BYTE>{}));
    return 0;
}

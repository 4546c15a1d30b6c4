#include "printerapp/printers/pack_bits.h"

#include <algorithm>

namespace {

// A header byte says 1-128 bytes follow as they are (0 to 127), or that the
// next byte is repeated 2-128 times (-1 to -127 as a signed byte).
constexpr std::size_t kLongest = 128;

std::size_t runAt(const std::uint8_t* bytes, std::size_t count, std::size_t at) {
    const std::size_t end = std::min(count, at + kLongest);
    std::size_t next = at + 1;
    while (next < end && bytes[next] == bytes[at])
        ++next;
    return next - at;
}

} // namespace

std::vector<std::uint8_t> packBits(const std::uint8_t* bytes, std::size_t count) {
    std::vector<std::uint8_t> packed;
    packed.reserve(count / 32 + 16);
    std::size_t at = 0;
    while (at < count) {
        const std::size_t run = runAt(bytes, count, at);
        if (run >= 2) {
            packed.push_back(static_cast<std::uint8_t>(257 - run));
            packed.push_back(bytes[at]);
            at += run;
            continue;
        }
        // Literal bytes up to the next run of three or more (a run of two
        // costs as much either way).
        std::size_t end = at + 1;
        while (end < count && end - at < kLongest && runAt(bytes, count, end) < 3)
            ++end;
        packed.push_back(static_cast<std::uint8_t>(end - at - 1));
        packed.insert(packed.end(), bytes + at, bytes + end);
        at = end;
    }
    return packed;
}

std::vector<std::uint8_t> unpackBits(const std::vector<std::uint8_t>& packed) {
    std::vector<std::uint8_t> bytes;
    std::size_t at = 0;
    while (at < packed.size()) {
        const std::uint8_t header = packed[at++];
        if (header < 128) {
            const std::size_t literal = header + 1u;
            if (packed.size() - at < literal)
                break;
            bytes.insert(bytes.end(), packed.begin() + static_cast<std::ptrdiff_t>(at),
                         packed.begin() + static_cast<std::ptrdiff_t>(at + literal));
            at += literal;
        } else if (header > 128) {
            if (at == packed.size())
                break;
            bytes.insert(bytes.end(), 257u - header, packed[at++]);
        }
    }
    return bytes;
}

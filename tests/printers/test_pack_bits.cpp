// The packing a printer's last label is kept in: every kind of run and
// literal at the header's limits comes back byte for byte, a label packs
// small, and a damaged packing stops at the damage.
#include "printerapp/printers/pack_bits.h"

#include <gtest/gtest.h>

#include <random>

namespace {

std::vector<std::uint8_t> repeated(std::size_t count, std::uint8_t value) {
    return std::vector<std::uint8_t>(count, value);
}

std::vector<std::uint8_t> counting(std::size_t count) {
    std::vector<std::uint8_t> bytes(count);
    for (std::size_t i = 0; i < count; ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 7 + 1);
    return bytes;
}

std::vector<std::uint8_t> operator+(std::vector<std::uint8_t> a,
                                    const std::vector<std::uint8_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(PackBits, EveryRunAndLiteralComesBackWhole) {
    std::mt19937 random(7);
    std::vector<std::uint8_t> noise(5000);
    for (std::uint8_t& byte : noise)
        byte = static_cast<std::uint8_t>(random() & 3); // short runs among literals
    const std::vector<std::vector<std::uint8_t>> cases = {
        {},
        {0x42},
        repeated(2, 0),
        repeated(128, 0xFF),
        repeated(129, 0xFF),
        repeated(257, 0),
        counting(128),
        counting(129),
        counting(300),
        counting(5) + repeated(2, 9) + counting(5),
        counting(127) + repeated(3, 0) + counting(1),
        repeated(130, 0) + counting(200) + repeated(1, 0),
        noise,
    };
    for (const std::vector<std::uint8_t>& bytes : cases)
        EXPECT_EQ(unpackBits(packBits(bytes.data(), bytes.size())), bytes) << bytes.size();
}

TEST(PackBits, ALabelKeepsSmallAndADamagedPackingStopsAtTheDamage) {
    // A 4 x 6 in label: white with a black frame and a bar.
    std::vector<std::uint8_t> label;
    for (int row = 0; row < 1218; ++row) {
        std::vector<std::uint8_t> line = repeated(102, row < 8 || row >= 1210 ? 0xFF : 0);
        line.front() = line.back() = 0xFF;
        label = label + line;
    }
    const std::vector<std::uint8_t> packed = packBits(label.data(), label.size());
    EXPECT_LT(packed.size(), label.size() / 20);
    EXPECT_EQ(unpackBits(packed), label);

    const std::vector<std::uint8_t> cut = {0x04, 'a', 'b'}; // five literal bytes promised
    EXPECT_TRUE(unpackBits(cut).empty());
    const std::vector<std::uint8_t> runCut = {0x01, 'a', 'b', 0xFE};
    EXPECT_EQ(unpackBits(runCut), (std::vector<std::uint8_t>{'a', 'b'}));
}

} // namespace

// The user's stored commands: hex text to bytes, and when they are sent.
#include "page/hex_command.h"
#include "support/fake_device.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

std::vector<BYTE> convert(std::u16string_view text) {
    WCHAR field[kCommandTextUnits];
    fake::setCommand(field, text);
    BYTE bytes[kHexCommandBytes] = {};
    const DWORD count = hexToBytes(field, bytes);
    EXPECT_LE(count, DWORD{kHexCommandBytes});
    return {bytes, bytes + std::min<DWORD>(count, kHexCommandBytes)};
}

TEST(HexToBytes, ReadsEveryCharacterAsOneNibble) {
    struct Case {
        std::u16string_view text;
        std::vector<BYTE> bytes;
    };
    const Case cases[] = {
        {u"1b40", {0x1B, 0x40}},
        {u"1B40", {0x1B, 0x40}},
        {u"1B 40", {0x1B, 0x04}}, // the space is a zero nibble, the last 0 is dropped
        {u"", {}},
        {u"G1", {0x01}},
        {u"7", {}},
        {u"abc", {0xAB}},
        {u"0123456789abcdefABCDEF",
         {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF, 0xAB, 0xCD, 0xEF}},
        {u"fF", {0xFF}},
        {u"zz", {0x00}},
        {u"@`Gg/:", {0x00, 0x00, 0x00}}, // neighbours of the digit and letter ranges
        {u"0d0a", {0x0D, 0x0A}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.text.begin(), c.text.end()));
        EXPECT_EQ(convert(c.text), c.bytes);
    }
}

TEST(HexToBytes, ReadsAFieldWithoutTerminatorToItsEndOnly) {
    // The field sits at the end of its own allocation, so a read past it is
    // caught by the address sanitizer.
    auto storage = std::make_unique<WCHAR[]>(kCommandTextUnits);
    auto& field = *reinterpret_cast<WCHAR(*)[kCommandTextUnits]>(storage.get());
    for (int i = 0; i < kCommandTextUnits; ++i)
        field[i] = i % 2 == 0 ? u'A' : u'5';
    BYTE bytes[kHexCommandBytes] = {};
    ASSERT_EQ(hexToBytes(field, bytes), 130u);
    for (int i = 0; i < 130; ++i)
        ASSERT_EQ(bytes[i], 0xA5) << "at byte " << i;
}

TEST(SendHexCommand, WritesOnceOnlyWhenSwitchedOnWithExactly1) {
    struct Case {
        WORD on;
        std::u16string_view text;
        std::vector<std::vector<BYTE>> writes;
    };
    const Case cases[] = {
        {1, u"1b40", {{0x1B, 0x40}}},
        {1, u"", {{}}}, // an empty command is still one (empty) write
        {1, u"A", {{}}},
        {0, u"1b40", {}},
        {2, u"1b40", {}},
        {0xFFFF, u"1b40", {}},
        {0x0101, u"1b40", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "switch " << c.on);
        fake::FakeDevice device;
        ASSERT_EQ(device.enableResult, S_OK);
        WCHAR field[kCommandTextUnits];
        fake::setCommand(field, c.text);
        sendHexCommand(device.device(), c.on, field);
        EXPECT_EQ(device.writes, c.writes);
    }
}

} // namespace

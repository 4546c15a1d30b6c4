// The private devmode block as Unidrv asks for it: size, defaults,
// conversion of a block from elsewhere, and merging.
#include "platform/last_error.h"
#include "settings/oem_devmode.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

constexpr std::size_t kBlock = kOemDevModeSize;

const BYTE* bytesOf(const OemDevMode& block) {
    return reinterpret_cast<const BYTE*>(&block);
}
BYTE* bytesOf(OemDevMode& block) {
    return reinterpret_cast<BYTE*>(&block);
}

OemDevMode filled(BYTE value) {
    OemDevMode block;
    std::memset(&block, value, sizeof block);
    return block;
}

DWORD dwordAt(const OemDevMode& block, std::size_t offset) {
    DWORD value;
    std::memcpy(&value, bytesOf(block) + offset, sizeof value);
    return value;
}

void putDword(OemDevMode& block, std::size_t offset, DWORD value) {
    std::memcpy(bytesOf(block) + offset, &value, sizeof value);
}

constexpr DWORD kOtherSignature = 0x12345678;

// What one byte of a defaulted block holds when the block was filled with
// `pattern` beforehand (every command text then has no terminator, so each
// is emptied completely). Worked out from the block's layout byte by byte.
BYTE defaultByte(std::size_t offset, BYTE pattern, SHORT dmColor) {
    static const BYTE header[12] = {0xB4, 0x08, 0, 0, 'S', 'D', 'P', 'W', 1, 0, 0, 0};
    if (offset < 12)
        return header[offset];
    if (offset < 96)
        return (offset - 12) % 4 == 0 ? 1 : 0; // 21 switches of value 1
    if (offset < 116)
        return pattern;
    if (offset < 118)
        return static_cast<BYTE>(static_cast<WORD>(dmColor) >> (8 * (offset - 116)));
    if (offset < 2206)
        return 0; // on-switches and command texts
    return pattern;
}

void expectDefaulted(const OemDevMode& block, BYTE pattern, SHORT dmColor, std::size_t from = 0) {
    for (std::size_t offset = from; offset < kBlock; ++offset)
        ASSERT_EQ(bytesOf(block)[offset], defaultByte(offset, pattern, dmColor))
            << "at offset " << offset;
}

void expectHeader(const OemDevMode& block) {
    EXPECT_EQ(dwordAt(block, 0), 2228u);
    EXPECT_EQ(std::memcmp(bytesOf(block) + 4, "SDPW", 4), 0);
    EXPECT_EQ(dwordAt(block, 8), 1u);
}

void expectUnchanged(const OemDevMode& block, BYTE pattern) {
    for (std::size_t offset = 0; offset < kBlock; ++offset)
        ASSERT_EQ(bytesOf(block)[offset], pattern) << "at offset " << offset;
}

class DevModeRequest : public ::testing::Test {
  protected:
    DevModeRequest() {
        publicDM.dmSize = sizeof publicDM;
        publicDM.dmColor = DMCOLOR_COLOR;
        param.cbSize = sizeof param;
        param.pPublicDMIn = &publicDM;
        param.pPublicDMOut = &publicDM;
        param.cbBufSize = 4321;
    }

    DEVMODEW publicDM{};
    OEMDMPARAM param{};
};

TEST_F(DevModeRequest, RejectsUnknownModesAndMissingParameters) {
    struct Case {
        DWORD mode;
        bool withParam;
    };
    const Case cases[] = {{0, true},  {5, true},  {0xFFFFFFFF, true}, {1, false},
                          {2, false}, {3, false}, {4, false},         {0, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "mode " << c.mode << " param " << c.withParam);
        OemDevMode in = filled(0x3C);
        OemDevMode out = filled(0xC3);
        param.pOEMDMIn = &in;
        param.pOEMDMOut = &out;
        param.cbBufSize = 4321;
        platform::setLastError(0);
        EXPECT_EQ(handleDevModeRequest(c.mode, c.withParam ? &param : nullptr), E_FAIL);
        EXPECT_EQ(platform::lastError(), 87u);
        EXPECT_EQ(param.cbBufSize, 4321u);
        expectUnchanged(in, 0x3C);
        expectUnchanged(out, 0xC3);
    }
}

TEST_F(DevModeRequest, SizeReportsTheBlockAndWritesNothingElse) {
    OemDevMode in = filled(0x3C);
    OemDevMode out = filled(0xC3);
    param.pOEMDMIn = &in;
    param.pOEMDMOut = &out;
    ASSERT_EQ(handleDevModeRequest(OEMDM_SIZE, &param), S_OK);
    EXPECT_EQ(param.cbBufSize, 2228u);
    expectUnchanged(in, 0x3C);
    expectUnchanged(out, 0xC3);
}

TEST_F(DevModeRequest, DefaultFillsTheDocumentedFieldsOnly) {
    for (const SHORT colour : {DMCOLOR_MONOCHROME, DMCOLOR_COLOR, SHORT{-1}}) {
        SCOPED_TRACE(colour);
        publicDM.dmColor = colour;
        OemDevMode out = filled(0xA5);
        param.pOEMDMOut = &out;
        ASSERT_EQ(handleDevModeRequest(OEMDM_DEFAULT, &param), S_OK);
        EXPECT_EQ(param.cbBufSize, 2228u);
        expectDefaulted(out, 0xA5, colour);
    }
}

TEST_F(DevModeRequest, DefaultEmptiesEachCommandTextOnlyUpToItsTerminator) {
    OemDevMode out = filled(0xA5);
    out.jobStartCmd[5] = 0;
    out.jobEndCmd[0] = 0;
    out.pageStartCmd[259] = 0;
    param.pOEMDMOut = &out;
    ASSERT_EQ(handleDevModeRequest(OEMDM_DEFAULT, &param), S_OK);
    for (int i = 0; i < kCommandTextUnits; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(out.jobStartCmd[i], i <= 5 ? 0 : 0xA5A5);
        EXPECT_EQ(out.jobEndCmd[i], i == 0 ? 0 : 0xA5A5);
        EXPECT_EQ(out.pageStartCmd[i], 0);
        EXPECT_EQ(out.pageEndCmd[i], 0);
    }
}

TEST_F(DevModeRequest, DefaultWithAMissingBlockWritesNothing) {
    OemDevMode out = filled(0xA5);
    param.pPublicDMIn = nullptr;
    param.pOEMDMOut = &out;
    ASSERT_EQ(handleDevModeRequest(OEMDM_DEFAULT, &param), S_OK);
    EXPECT_EQ(param.cbBufSize, 0u);
    expectUnchanged(out, 0xA5);

    param.pPublicDMIn = &publicDM;
    param.pOEMDMOut = nullptr;
    param.cbBufSize = 4321;
    ASSERT_EQ(handleDevModeRequest(OEMDM_DEFAULT, &param), S_OK);
    EXPECT_EQ(param.cbBufSize, 0u);

    EXPECT_EQ(defaultDevMode(nullptr, &out), 0u);
    EXPECT_EQ(defaultDevMode(&publicDM, nullptr), 0u);
    expectUnchanged(out, 0xA5);
}

// A block from elsewhere with the signature `out` holds is taken over for
// as many bytes as it says it has, at most the block size.
TEST_F(DevModeRequest, ConvertTakesOverTheBytesTheIncomingBlockHolds) {
    struct Case {
        DWORD inSize;
        DWORD taken;
    };
    const Case cases[] = {{1000, 1000}, {5000, 2228}, {2228, 2228}, {2227, 2227},
                          {12, 12},     {5, 5},       {0, 0},       {0xFFFFFFFF, 2228}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.inSize);
        OemDevMode in = filled(0x11);
        putDword(in, 0, c.inSize);
        putDword(in, 4, kOemSignature);
        putDword(in, 8, 9);
        OemDevMode out = filled(0xAB);
        putDword(out, 4, kOemSignature);
        param.pOEMDMIn = &in;
        param.pOEMDMOut = &out;
        ASSERT_EQ(handleDevModeRequest(OEMDM_CONVERT, &param), S_OK);
        EXPECT_EQ(param.cbBufSize, c.taken);
        expectHeader(out);
        for (std::size_t offset = 12; offset < c.taken; ++offset)
            ASSERT_EQ(bytesOf(out)[offset], 0x11) << "at offset " << offset;
        expectDefaulted(out, 0xAB, DMCOLOR_COLOR, std::max<std::size_t>(c.taken, 12));
    }
}

TEST_F(DevModeRequest, ConvertReplacesABlockOfAnotherSignatureByDefaults) {
    struct Case {
        DWORD inSignature;
        DWORD outSignature;
    };
    const Case cases[] = {{kOtherSignature, kOemSignature},
                          {kOemSignature, 0},
                          {kOemSignature, 0xABABABAB},
                          {0, kOemSignature}};
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << std::hex << c.inSignature << " " << c.outSignature);
        OemDevMode in = filled(0x11);
        putDword(in, 0, 2228);
        putDword(in, 4, c.inSignature);
        OemDevMode out = filled(0xAB);
        putDword(out, 4, c.outSignature);
        param.pOEMDMIn = &in;
        param.pOEMDMOut = &out;
        ASSERT_EQ(handleDevModeRequest(OEMDM_CONVERT, &param), S_OK);
        EXPECT_EQ(param.cbBufSize, 2228u);
        expectDefaulted(out, 0xAB, DMCOLOR_COLOR);
    }
}

// Only the two signatures are compared: a block that is not ours is still
// taken over when `out` holds the same foreign signature.
TEST_F(DevModeRequest, ConvertComparesAgainstTheSignatureOutHolds) {
    OemDevMode in = filled(0x11);
    putDword(in, 0, 600);
    putDword(in, 4, kOtherSignature);
    OemDevMode out = filled(0xAB);
    putDword(out, 4, kOtherSignature);
    param.pOEMDMIn = &in;
    param.pOEMDMOut = &out;
    ASSERT_EQ(handleDevModeRequest(OEMDM_CONVERT, &param), S_OK);
    EXPECT_EQ(param.cbBufSize, 600u);
    EXPECT_EQ(dwordAt(out, 0), 2228u);
    EXPECT_EQ(dwordAt(out, 4), kOtherSignature);
    EXPECT_EQ(dwordAt(out, 8), 1u);
    for (std::size_t offset = 12; offset < 600; ++offset)
        ASSERT_EQ(bytesOf(out)[offset], 0x11) << "at offset " << offset;
    expectDefaulted(out, 0xAB, DMCOLOR_COLOR, 600);
}

TEST_F(DevModeRequest, ConvertWithAMissingBlockWritesNothing) {
    for (int missing = 0; missing < 3; ++missing) {
        SCOPED_TRACE(missing);
        OemDevMode in = filled(0x11);
        putDword(in, 4, kOemSignature);
        OemDevMode out = filled(0xAB);
        putDword(out, 4, kOemSignature);
        const OemDevMode inBefore = in;
        const OemDevMode outBefore = out;
        param.pPublicDMIn = missing == 0 ? nullptr : &publicDM;
        param.pOEMDMIn = missing == 1 ? nullptr : &in;
        param.pOEMDMOut = missing == 2 ? nullptr : &out;
        param.cbBufSize = 4321;
        ASSERT_EQ(handleDevModeRequest(OEMDM_CONVERT, &param), S_OK);
        EXPECT_EQ(param.cbBufSize, 0u);
        EXPECT_EQ(std::memcmp(&in, &inBefore, kBlock), 0);
        EXPECT_EQ(std::memcmp(&out, &outBefore, kBlock), 0);
    }
}

TEST_F(DevModeRequest, ConvertInPlaceKeepsTheBlocksContent) {
    for (const DWORD size : {DWORD{2228}, DWORD{1000}}) {
        SCOPED_TRACE(size);
        OemDevMode block;
        for (std::size_t offset = 0; offset < kBlock; ++offset)
            bytesOf(block)[offset] = static_cast<BYTE>(offset * 7 + 3) | 0x01;
        putDword(block, 0, size);
        putDword(block, 4, kOemSignature);
        const OemDevMode before = block;
        param.pOEMDMIn = &block;
        param.pOEMDMOut = &block;
        ASSERT_EQ(handleDevModeRequest(OEMDM_CONVERT, &param), S_OK);
        EXPECT_EQ(param.cbBufSize, size);
        expectHeader(block);
        EXPECT_EQ(std::memcmp(bytesOf(block) + 12, bytesOf(before) + 12, size - 12), 0);
        // Past the bytes taken the defaults apply; the reserved tail stays.
        for (std::size_t offset = size; offset < 2206; ++offset)
            ASSERT_EQ(bytesOf(block)[offset], 0) << "at offset " << offset;
        EXPECT_EQ(std::memcmp(bytesOf(block) + 2206, bytesOf(before) + 2206, 22), 0);
    }
}

TEST_F(DevModeRequest, MergeConvertsButLeavesTheBufferSizeAlone) {
    OemDevMode in = filled(0x11);
    putDword(in, 0, 1000);
    putDword(in, 4, kOemSignature);
    putDword(in, 8, 9);
    OemDevMode out = filled(0xAB);
    putDword(out, 4, kOemSignature);
    param.pOEMDMIn = &in;
    param.pOEMDMOut = &out;
    ASSERT_EQ(handleDevModeRequest(OEMDM_MERGE, &param), S_OK);
    EXPECT_EQ(param.cbBufSize, 4321u);
    expectHeader(out);
    for (std::size_t offset = 12; offset < 1000; ++offset)
        ASSERT_EQ(bytesOf(out)[offset], 0x11) << "at offset " << offset;
    expectDefaulted(out, 0xAB, DMCOLOR_COLOR, 1000);
}

TEST_F(DevModeRequest, MergeOfAForeignBlockGivesDefaults) {
    OemDevMode in = filled(0x11);
    putDword(in, 4, kOtherSignature);
    OemDevMode out = filled(0xAB);
    putDword(out, 4, kOemSignature);
    param.pOEMDMIn = &in;
    param.pOEMDMOut = &out;
    ASSERT_EQ(handleDevModeRequest(OEMDM_MERGE, &param), S_OK);
    EXPECT_EQ(param.cbBufSize, 4321u);
    expectDefaulted(out, 0xAB, DMCOLOR_COLOR);
}

// Without an incoming block nothing is converted, yet the header of `out`
// is still made ours — even over a block of another signature.
TEST_F(DevModeRequest, MergeWithoutAnIncomingBlockWritesOnlyTheHeader) {
    OemDevMode out = filled(0xAB);
    param.pOEMDMIn = nullptr;
    param.pOEMDMOut = &out;
    ASSERT_EQ(handleDevModeRequest(OEMDM_MERGE, &param), S_OK);
    EXPECT_EQ(param.cbBufSize, 4321u);
    expectHeader(out);
    for (std::size_t offset = 12; offset < kBlock; ++offset)
        ASSERT_EQ(bytesOf(out)[offset], 0xAB) << "at offset " << offset;
}

TEST_F(DevModeRequest, MergeWithoutAnOutgoingBlockWritesNothing) {
    OemDevMode in = filled(0x11);
    putDword(in, 4, kOemSignature);
    param.pOEMDMIn = &in;
    param.pOEMDMOut = nullptr;
    ASSERT_EQ(handleDevModeRequest(OEMDM_MERGE, &param), S_OK);
    EXPECT_EQ(param.cbBufSize, 4321u);
    putDword(in, 4, 0x11111111);
    expectUnchanged(in, 0x11);
}

} // namespace

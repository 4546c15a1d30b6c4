// The private devmode requests on blocks from anywhere: an input block whose
// dwSize claims anything, an output buffer holding anything, both in one
// buffer or missing. The result must equal a plain model of the request.
#include "settings/oem_devmode.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

using Block = std::vector<BYTE>;

constexpr std::size_t kSize = kOemDevModeSize;
constexpr std::size_t kTextOffsets[] = {
    offsetof(OemDevMode, jobStartCmd), offsetof(OemDevMode, jobEndCmd),
    offsetof(OemDevMode, pageStartCmd), offsetof(OemDevMode, pageEndCmd)};

// The block's little-endian fields, read and written in place.
void put32(Block& block, std::size_t at, std::uint32_t value) {
    std::memcpy(&block[at], &value, 4);
}

std::uint32_t get32(const BYTE* block, std::size_t at) {
    std::uint32_t value;
    std::memcpy(&value, block + at, 4);
    return value;
}

// What the defaults leave in a block: the header, every colour switch on,
// the colour mode, the on-switches off and each command text emptied up to
// its terminator; everything else as it was.
Block withDefaults(Block block, SHORT colour) {
    put32(block, 0, kOemDevModeSize);
    put32(block, 4, kOemSignature);
    put32(block, 8, kOemVersion);
    for (std::size_t at = offsetof(OemDevMode, colourFlags); at < offsetof(OemDevMode, reserved1);
         at += 4)
        put32(block, at, 1);
    std::memcpy(&block[offsetof(OemDevMode, colourMode)], &colour, sizeof colour);
    std::memset(&block[offsetof(OemDevMode, jobStartOn)], 0, 4 * sizeof(WORD));
    for (std::size_t text : kTextOffsets) {
        for (int unit = 0; unit < kCommandTextUnits; ++unit) {
            BYTE* at = &block[text + 2 * static_cast<std::size_t>(unit)];
            if (at[0] == 0 && at[1] == 0)
                break;
            at[0] = at[1] = 0;
        }
    }
    return block;
}

// A block from the input: its bytes, and on request the plug-in's signature
// so that the blocks are taken over rather than replaced.
Block blockFrom(FuzzedDataProvider& data, bool signed_) {
    Block block = data.ConsumeBytes<BYTE>(kSize);
    block.resize(kSize, data.ConsumeIntegral<BYTE>());
    if (signed_)
        put32(block, 4, kOemSignature);
    return block;
}

// A result that differs from the model: a finding.
void require(bool condition) {
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    FuzzedDataProvider data(bytes, size);
    const DWORD mode = data.ConsumeIntegralInRange<DWORD>(0, 5);
    const bool oneBuffer = data.ConsumeBool();
    const bool noPublic = data.ConsumeIntegralInRange(0, 15) == 0;
    const bool noIn = data.ConsumeIntegralInRange(0, 15) == 0;
    const bool noOut = data.ConsumeIntegralInRange(0, 15) == 0;
    const bool signIn = data.ConsumeBool();
    const bool signOut = data.ConsumeBool();
    const auto claimedSize = data.ConsumeIntegral<std::uint32_t>();
    const bool claimSize = data.ConsumeBool();
    DEVMODEW publicDm{};
    publicDm.dmColor = data.ConsumeIntegral<SHORT>();

    Block in = blockFrom(data, signIn);
    if (claimSize)
        put32(in, 0, claimedSize);
    const Block out = oneBuffer ? in : blockFrom(data, signOut);

    // Separate heap blocks of exactly the block size, so that any access
    // past one is reported.
    auto inBuffer = std::make_unique<BYTE[]>(kSize);
    auto outBuffer = std::make_unique<BYTE[]>(kSize);
    std::memcpy(inBuffer.get(), in.data(), kSize);
    std::memcpy(outBuffer.get(), out.data(), kSize);
    BYTE* inBlock = noIn ? nullptr : inBuffer.get();
    BYTE* outBlock = noOut ? nullptr : oneBuffer ? inBlock : outBuffer.get();

    OEMDMPARAM param{};
    param.cbSize = sizeof param;
    param.pPublicDMIn = noPublic ? nullptr : &publicDm;
    param.pOEMDMIn = inBlock;
    param.pOEMDMOut = outBlock;
    param.cbBufSize = 0xDEADBEEF;
    const HRESULT result = handleDevModeRequest(mode, &param);

    if (mode < OEMDM_SIZE || mode > OEMDM_MERGE) {
        require(result == E_FAIL);
        return 0;
    }
    require(result == S_OK);
    const bool haveOut = outBlock != nullptr;
    const bool complete = !noPublic && inBlock && haveOut;
    Block expected = out;
    DWORD expectedSize = 0;
    switch (mode) {
    case OEMDM_SIZE:
        expectedSize = kOemDevModeSize;
        break;
    case OEMDM_DEFAULT:
        if (!noPublic && haveOut) {
            expected = withDefaults(out, publicDm.dmColor);
            expectedSize = kOemDevModeSize;
        }
        break;
    case OEMDM_CONVERT:
    case OEMDM_MERGE:
        if (complete && get32(in.data(), 4) != get32(out.data(), 4)) {
            expected = withDefaults(out, publicDm.dmColor);
            expectedSize = kOemDevModeSize;
        } else if (complete) {
            expectedSize = std::min<DWORD>(get32(in.data(), 0), kOemDevModeSize);
            expected = withDefaults(out, publicDm.dmColor);
            std::memcpy(expected.data(), in.data(), expectedSize);
            put32(expected, 8, kOemVersion);
            put32(expected, 0, kOemDevModeSize);
        }
        if (mode == OEMDM_MERGE && haveOut) {
            put32(expected, 0, kOemDevModeSize);
            put32(expected, 4, kOemSignature);
            put32(expected, 8, kOemVersion);
        }
        break;
    }
    if (mode != OEMDM_MERGE)
        require(param.cbBufSize == expectedSize);
    else
        require(param.cbBufSize == 0xDEADBEEF);
    if (haveOut)
        require(std::memcmp(outBlock, expected.data(), kSize) == 0);
    if (!oneBuffer && inBlock)
        require(std::memcmp(inBlock, in.data(), kSize) == 0);
    return 0;
}

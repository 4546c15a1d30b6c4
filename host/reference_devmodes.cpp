#include "host/reference_devmodes.h"

#include "host/standin.h"
#include "settings/oem_devmode.h"

#include <cstring>
#include <random>

namespace standin {
namespace {

constexpr DWORD kForeignSignature = 0x44434241; // "ABCD"

// Bytes from the standard generator, the same on every platform.
std::vector<BYTE> noise(std::size_t size, unsigned seed) {
    std::vector<BYTE> bytes(size);
    std::mt19937 random(seed);
    for (BYTE& byte : bytes)
        byte = static_cast<BYTE>(random());
    return bytes;
}

void put32(std::vector<BYTE>& block, std::size_t at, DWORD value) {
    for (int i = 0; i < 4; ++i)
        block[at + i] = static_cast<BYTE>(value >> (8 * i));
}

// A block as the user-interface plug-in stores one: a header, then settings
// and reserved bytes this plug-in only carries along.
std::vector<BYTE> storedBlock(DWORD size, DWORD signature, unsigned seed,
                              std::size_t bytes = kOemDevModeSize) {
    std::vector<BYTE> block = noise(bytes, seed);
    put32(block, 0, size);
    put32(block, 4, signature);
    put32(block, 8, 1);
    // Command texts end within their fields, as the editor leaves them.
    for (std::size_t end = 126 + 518; end + 2 <= bytes && end < 2206; end += 520) {
        block[end] = 0;
        block[end + 1] = 0;
    }
    return block;
}

// An output buffer already holding a block, as Unidrv hands one over.
std::vector<BYTE> outputBuffer(unsigned seed) {
    return storedBlock(kOemDevModeSize, kOemSignature, seed);
}

DEVMODEW colourDevMode(SHORT color) {
    DEVMODEW dm{};
    dm.dmSize = sizeof dm;
    dm.dmDriverExtra = kOemDevModeSize;
    dm.dmColor = color;
    return dm;
}

} // namespace

std::vector<DevModeCase> referenceDevModes() {
    const DEVMODEW mono = colourDevMode(DMCOLOR_MONOCHROME);
    const DEVMODEW colour = colourDevMode(DMCOLOR_COLOR);
    return {
        {"devmode-size", OEMDM_SIZE, mono, {}, outputBuffer(1)},
        {"devmode-default", OEMDM_DEFAULT, colour, {}, outputBuffer(2)},
        {"devmode-convert-same", OEMDM_CONVERT, mono,
         storedBlock(kOemDevModeSize, kOemSignature, 3), outputBuffer(4)},
        {"devmode-convert-smaller", OEMDM_CONVERT, colour,
         storedBlock(1000, kOemSignature, 5, 1000), outputBuffer(6)},
        {"devmode-convert-larger", OEMDM_CONVERT, mono, storedBlock(4000, kOemSignature, 7, 4000),
         outputBuffer(8)},
        {"devmode-convert-foreign", OEMDM_CONVERT, colour,
         storedBlock(kOemDevModeSize, kForeignSignature, 9), outputBuffer(10)},
        {"devmode-merge", OEMDM_MERGE, mono, storedBlock(1500, kOemSignature, 11, 1500),
         outputBuffer(12)},
        {"devmode-merge-nothing-stored", OEMDM_MERGE, colour, {}, outputBuffer(13)},
    };
}

std::vector<BYTE> answerDevMode(const PluginModule& module, const DevModeCase& request) {
    UnidrvStandIn unidrv(module);
    std::string error;
    if (!unidrv.startUp(error))
        return {};
    std::vector<BYTE> stored = request.stored;
    std::vector<BYTE> output = request.output;
    DEVMODEW publicIn = request.publicIn;
    OEMDMPARAM param{};
    param.cbSize = sizeof param;
    param.pPublicDMIn = &publicIn;
    param.pOEMDMIn = stored.empty() ? nullptr : stored.data();
    param.pOEMDMOut = output.data();
    param.cbBufSize = 0xFFFFFFFF; // shows whether the request reported a size
    const HRESULT result = unidrv.plugin()->DevMode(request.mode, &param);
    std::vector<BYTE> answer(8);
    put32(answer, 0, param.cbBufSize);
    put32(answer, 4, static_cast<DWORD>(result));
    answer.insert(answer.end(), output.begin(), output.end());
    return answer;
}

} // namespace standin

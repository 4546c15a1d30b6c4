// Sizing, defaulting, converting and merging the private devmode block.
#include "platform/last_error.h"
#include "settings/oem_devmode.h"

#include <algorithm>
#include <cstring>

namespace {

void writeHeader(OemDevMode* block) {
    block->dmExtraHeader.dwSize = kOemDevModeSize;
    block->dmExtraHeader.dwSignature = kOemSignature;
    block->dmExtraHeader.dwVersion = kOemVersion;
}

// Empties a command text up to its terminator, never past its field.
void clearCommandText(WCHAR (&text)[kCommandTextUnits]) {
    for (WCHAR& unit : text) {
        if (unit == 0)
            break;
        unit = 0;
    }
}

} // namespace

DWORD defaultDevMode(const DEVMODEW* publicIn, OemDevMode* out) {
    if (!publicIn || !out)
        return 0;
    writeHeader(out);
    for (ColourFlags& flags : out->colourFlags)
        flags = {1, 1, 1};
    out->colourMode = publicIn->dmColor;
    out->jobStartOn = 0;
    out->pageStartOn = 0;
    out->pageEndOn = 0;
    out->jobEndOn = 0;
    clearCommandText(out->jobStartCmd);
    clearCommandText(out->jobEndCmd);
    clearCommandText(out->pageStartCmd);
    clearCommandText(out->pageEndCmd);
    return kOemDevModeSize;
}

DWORD convertDevMode(const DEVMODEW* publicIn, const OemDevMode* in, OemDevMode* out) {
    if (!publicIn || !in || !out)
        return 0;
    if (in->dmExtraHeader.dwSignature != out->dmExtraHeader.dwSignature)
        return defaultDevMode(publicIn, out);
    // Take the bytes first: the two blocks may be one buffer, which the
    // defaults below would otherwise wipe before the copy.
    const DWORD taken = std::min(in->dmExtraHeader.dwSize, kOemDevModeSize);
    BYTE kept[kOemDevModeSize];
    std::memcpy(kept, in, taken);
    defaultDevMode(publicIn, out);
    std::memcpy(out, kept, taken);
    out->dmExtraHeader.dwVersion = kOemVersion;
    out->dmExtraHeader.dwSize = kOemDevModeSize;
    return taken;
}

HRESULT handleDevModeRequest(DWORD dwMode, OEMDMPARAM* param) {
    if (!param || dwMode < OEMDM_SIZE || dwMode > OEMDM_MERGE) {
        platform::setLastError(ERROR_INVALID_PARAMETER);
        return E_FAIL;
    }
    const auto* publicIn = param->pPublicDMIn;
    const auto* in = static_cast<const OemDevMode*>(param->pOEMDMIn);
    auto* out = static_cast<OemDevMode*>(param->pOEMDMOut);
    switch (dwMode) {
    case OEMDM_SIZE:
        param->cbBufSize = kOemDevModeSize;
        break;
    case OEMDM_DEFAULT:
        param->cbBufSize = defaultDevMode(publicIn, out);
        break;
    case OEMDM_CONVERT:
        param->cbBufSize = convertDevMode(publicIn, in, out);
        break;
    case OEMDM_MERGE:
        convertDevMode(publicIn, in, out);
        if (out)
            writeHeader(out);
        break;
    }
    return S_OK;
}

// Private devmode requests on fixed stored blocks. The block holds no
// pointers, so one stored DEVMODE must read the same in every build: a 32-bit
// client may print to a 64-bit print server. Both DLLs and the host build
// answer the same set, and the answers are compared byte for byte.
#pragma once

#include "host/plugin_module.h"
#include "platform/unidrv.h"

#include <string>
#include <vector>

namespace standin {

struct DevModeCase {
    std::string name;
    DWORD mode = OEMDM_SIZE;
    DEVMODEW publicIn{};
    std::vector<BYTE> stored; // the block given; none for a request without one
    std::vector<BYTE> output; // what the output buffer holds before the request
};

std::vector<DevModeCase> referenceDevModes();

// The plug-in's answer, as bytes to compare: the size it reported (cbBufSize,
// 4 bytes little-endian), its result (4 bytes), then the output block. Empty
// when the plug-in cannot be started.
std::vector<BYTE> answerDevMode(const PluginModule& module, const DevModeCase& request);

} // namespace standin

// Font metrics files for tests, written field by field from the figures the
// plug-in reads: a file header pointing at the font's IFIMETRICS.
#pragma once

#include "text/font_file_layout.h"

#include "platform/win_types.h"

#include <filesystem>
#include <vector>

namespace ufm {

// The font's figures, in font units. The defaults are a fixed-pitch 24-dot
// font with bits 0x10 and 0x20 of the family set.
struct Font {
    BYTE pitchAndFamily = 0x31;
    SHORT maxCharInc = 24;
    SHORT underscoreSize = 1;
    SHORT underscorePosition = -2;
    SHORT strikeoutPosition = 8;
    LONG fontBoxTop = 20;
    LONG fontBoxBottom = -4;
    DWORD ifiOffset = 44; // where the IFIMETRICS starts: after the header
};

using fontfile::kHeaderSize;
using fontfile::kIfiBytesRead;
using fontfile::kIfiOffsetField;
using fontfile::kIfiSize;

// A whole file: the header, zeros up to `ifiOffset`, the IFIMETRICS.
std::vector<BYTE> write(const Font& font);

// The file's header claims its IFIMETRICS lie at `offset`.
void pointIfiAt(std::vector<BYTE>& file, DWORD offset);

// Writes `file` as "3/ZIKU.UFM" below `driverDirectory`.
void install(const std::filesystem::path& driverDirectory, const std::vector<BYTE>& file);

} // namespace ufm

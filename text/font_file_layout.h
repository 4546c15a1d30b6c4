// Where the printer font's metrics lie in its metrics file: the offset of the
// font record is in the file's header, and each field sits at a fixed offset
// in that record, as 32-bit Windows lays it out. Little-endian throughout.
#pragma once

#include "platform/win_types.h"

namespace fontfile {

inline constexpr DWORD kHeaderSize = 44;
inline constexpr DWORD kIfiOffsetField = 20; // in the header: where the font record starts

// Within the font record.
inline constexpr DWORD kIfiSize = 184;
inline constexpr DWORD kPitchAndFamily = 45;
inline constexpr DWORD kMaxCharInc = 78;
inline constexpr DWORD kUnderscoreSize = 100;
inline constexpr DWORD kUnderscorePosition = 102;
inline constexpr DWORD kStrikeoutPosition = 106;
inline constexpr DWORD kFontBoxTop = 148;
inline constexpr DWORD kFontBoxBottom = 156;
inline constexpr DWORD kIfiBytesRead = 160; // through the bottom of the font box

} // namespace fontfile

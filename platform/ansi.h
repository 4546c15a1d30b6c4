// Conversion of UTF-16 text to the system's ANSI code page, the encoding in
// which the printer's resident font takes its characters.
#pragma once

namespace platform {

// Converts `units` UTF-16 units into at most `outBytes` bytes at `out`, as
// WideCharToMultiByte does with CP_ACP and no flags: characters the code page
// lacks become its default character. Returns the bytes written; 0 when
// nothing could be converted, including when the result would not fit.
int wideToAnsi(const char16_t* text, int units, char* out, int outBytes);

} // namespace platform

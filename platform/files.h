// Files and the spooler's printer driver directory, for the font metrics file.
#pragma once

#include "platform/win_types.h"

namespace platform {

// The printer driver directory of the local machine for "Windows NT x86",
// as a terminated UTF-16 text in `buffer`. False when it cannot be had.
bool getPrinterDriverDirectory(WCHAR* buffer, DWORD bufferBytes);

using FileHandle = void*;

// Opens an existing file for reading, sharing reads; null when it cannot.
FileHandle openFileForRead(const WCHAR* path);
// The file's 32-bit size, or 0xFFFFFFFF on failure.
DWORD fileSize(FileHandle file);
bool readFile(FileHandle file, void* buffer, DWORD bytes, DWORD* bytesRead);
void closeFile(FileHandle file);

} // namespace platform

// Files and the spooler's printer driver directory, for the font metrics file.
// Paths are UTF-16 with Windows separators.
#pragma once

#include <cstdint>

namespace platform {

// The printer driver directory of the local machine for the plug-in's own
// architecture ("Windows NT x86" or "Windows x64"), as a terminated UTF-16
// text in `buffer`. False when it cannot be had.
bool getPrinterDriverDirectory(char16_t* buffer, std::uint32_t bufferBytes);

using FileHandle = void*;

// Opens an existing file for reading, sharing reads; null when it cannot.
FileHandle openFileForRead(const char16_t* path);
// The file's 32-bit size, or 0xFFFFFFFF on failure.
std::uint32_t fileSize(FileHandle file);
bool readFile(FileHandle file, void* buffer, std::uint32_t bytes, std::uint32_t* bytesRead);
void closeFile(FileHandle file);

} // namespace platform

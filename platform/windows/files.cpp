// The spooler's driver directory and plain file reading, from the system.
#include "platform/files.h"

#include <windows.h>
#include <winspool.h>

namespace platform {

namespace {

// A driver's files are installed below the directory of the environment of
// its own architecture, so each DLL looks where it was installed itself.
#if defined(_WIN64)
constexpr wchar_t kDriverEnvironment[] = L"Windows x64";
#else
constexpr wchar_t kDriverEnvironment[] = L"Windows NT x86";
#endif

} // namespace

bool getPrinterDriverDirectory(char16_t* buffer, std::uint32_t bufferBytes) {
    DWORD needed = 0;
    // The spooler only reads the environment name, whatever its declaration says.
    return GetPrinterDriverDirectoryW(nullptr, const_cast<wchar_t*>(kDriverEnvironment), 1,
                                      reinterpret_cast<LPBYTE>(buffer), bufferBytes,
                                      &needed) != FALSE;
}

FileHandle openFileForRead(const char16_t* path) {
    HANDLE file = CreateFileW(reinterpret_cast<const wchar_t*>(path), GENERIC_READ, FILE_SHARE_READ,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    return file == INVALID_HANDLE_VALUE ? nullptr : file;
}

std::uint32_t fileSize(FileHandle file) {
    return GetFileSize(static_cast<HANDLE>(file), nullptr);
}

bool readFile(FileHandle file, void* buffer, std::uint32_t bytes, std::uint32_t* bytesRead) {
    DWORD got = 0;
    const BOOL ok = ReadFile(static_cast<HANDLE>(file), buffer, bytes, &got, nullptr);
    if (bytesRead)
        *bytesRead = got;
    return ok != FALSE;
}

void closeFile(FileHandle file) {
    CloseHandle(static_cast<HANDLE>(file));
}

} // namespace platform

// Host stand-ins for the spooler's driver directory and for file reading.
// The directory is what the PRINTER_DRIVER_DIR environment variable says;
// without it the lookup fails, as on a machine with no spooler. Paths keep
// the Windows separator inside the plug-in and become host paths here.
#include "platform/files.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>

namespace platform {
namespace {

// UTF-16 to UTF-8, with the Windows separator turned into the host's.
std::string hostPath(const char16_t* path) {
    std::string out;
    for (std::size_t i = 0; path[i] != 0; ++i) {
        char32_t c = path[i];
        if (c >= 0xD800 && c < 0xDC00 && path[i + 1] >= 0xDC00 && path[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (path[i + 1] - 0xDC00);
            ++i;
        }
        if (c == u'\\')
            c = u'/';
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

} // namespace

bool getPrinterDriverDirectory(char16_t* buffer, std::uint32_t bufferBytes) {
    const char* directory = std::getenv("PRINTER_DRIVER_DIR");
    if (!directory || !buffer)
        return false;
    // Bytes of the UTF-8 value become units one by one: the tests and tools
    // use plain ASCII directories.
    const std::size_t units = bufferBytes / sizeof(char16_t);
    std::size_t i = 0;
    for (; directory[i] != 0; ++i) {
        if (i + 1 >= units)
            return false;
        buffer[i] = static_cast<unsigned char>(directory[i]);
    }
    if (units == 0)
        return false;
    buffer[i] = 0;
    return true;
}

FileHandle openFileForRead(const char16_t* path) {
    const std::string name = hostPath(path);
    struct stat info {};
    if (stat(name.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return nullptr;
    return std::fopen(name.c_str(), "rb");
}

std::uint32_t fileSize(FileHandle file) {
    auto* stream = static_cast<std::FILE*>(file);
    struct stat info {};
    if (fstat(fileno(stream), &info) != 0 || info.st_size >= 0xFFFFFFFFLL)
        return 0xFFFFFFFF;
    return static_cast<std::uint32_t>(info.st_size);
}

bool readFile(FileHandle file, void* buffer, std::uint32_t bytes, std::uint32_t* bytesRead) {
    auto* stream = static_cast<std::FILE*>(file);
    const std::size_t got = std::fread(buffer, 1, bytes, stream);
    if (bytesRead)
        *bytesRead = static_cast<std::uint32_t>(got);
    return !std::ferror(stream);
}

void closeFile(FileHandle file) {
    std::fclose(static_cast<std::FILE*>(file));
}

} // namespace platform

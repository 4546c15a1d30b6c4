#include "support/ufm_writer.h"

#include <fstream>

namespace ufm {
namespace {

using namespace fontfile;

// Little-endian, as the file format is on every machine.
void put(std::vector<BYTE>& file, std::size_t at, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        file[at + i] = static_cast<BYTE>(value >> (8 * i));
}

} // namespace

// Only the sizes and the IFIMETRICS offset of the header are filled in; the
// plug-in reads nothing else of it.
std::vector<BYTE> write(const Font& font) {
    const std::size_t ifi = font.ifiOffset < kHeaderSize ? kHeaderSize : font.ifiOffset;
    std::vector<BYTE> file(ifi + kIfiSize, 0);
    put(file, 0, static_cast<std::uint32_t>(file.size()), 4); // dwSize
    put(file, 4, 0x00010000, 4);                              // dwVersion
    put(file, kIfiOffsetField, static_cast<std::uint32_t>(ifi), 4);
    put(file, ifi, kIfiSize, 4); // cjThis
    put(file, ifi + kPitchAndFamily, font.pitchAndFamily, 1);
    put(file, ifi + kMaxCharInc, static_cast<WORD>(font.maxCharInc), 2);
    put(file, ifi + kUnderscoreSize, static_cast<WORD>(font.underscoreSize), 2);
    put(file, ifi + kUnderscorePosition, static_cast<WORD>(font.underscorePosition), 2);
    put(file, ifi + kStrikeoutPosition, static_cast<WORD>(font.strikeoutPosition), 2);
    put(file, ifi + kFontBoxTop, static_cast<std::uint32_t>(font.fontBoxTop), 4);
    put(file, ifi + kFontBoxBottom, static_cast<std::uint32_t>(font.fontBoxBottom), 4);
    return file;
}

void pointIfiAt(std::vector<BYTE>& file, DWORD offset) {
    put(file, kIfiOffsetField, offset, 4);
}

void install(const std::filesystem::path& driverDirectory, const std::vector<BYTE>& file) {
    std::filesystem::create_directories(driverDirectory / "3");
    std::ofstream(driverDirectory / "3" / "ZIKU.UFM", std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()),
               static_cast<std::streamsize>(file.size()));
}

} // namespace ufm

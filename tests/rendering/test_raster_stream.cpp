// Raster lines decoded by the program must be libcups's to the bit: every
// document here is read both ways, the program's lines and libcups's, and
// the pages, the page count and the reason a document is refused compared.
#include "printerapp/rendering/raster_file.h"
#include "support/scratch_files.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::string;

void putBig(Bytes& to, std::size_t offset, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        to[offset + i] = static_cast<char>(value >> (24 - 8 * i));
}

// A PWG page header (what follows "RaS2", and comes before each page).
Bytes pwgHeader(std::uint32_t width, std::uint32_t height, std::uint32_t bits = 1,
                std::uint32_t space = CUPS_CSPACE_K, std::uint32_t bytesPerLine = 0) {
    Bytes header(1796, '\0');
    header.replace(0, 9, "PwgRaster");
    putBig(header, 276, 203);
    putBig(header, 280, 203);
    putBig(header, 372, width);
    putBig(header, 376, height);
    putBig(header, 384, bits == 1 ? 1 : 8);
    putBig(header, 388, bits);
    putBig(header, 392, bytesPerLine ? bytesPerLine : (width * bits + 7) / 8);
    putBig(header, 400, space);
    putBig(header, 420, 1);
    return header;
}

// An Apple raster page header: 8-bit grey in colour space `space`.
Bytes appleHeader(std::uint32_t width, std::uint32_t height, std::uint8_t space) {
    Bytes header(32, '\0');
    header[0] = 8;
    header[1] = static_cast<char>(space);
    header[3] = 4;
    putBig(header, 12, width);
    putBig(header, 16, height);
    putBig(header, 20, 203);
    return header;
}

Bytes appleFile(std::uint32_t pages) {
    Bytes file("UNIRAST", 8);
    file.resize(12);
    putBig(file, 8, pages);
    return file;
}

// A line as one group of `lines` lines: runs of equal bytes, the rest as
// they are.
Bytes group(const Bytes& line, int lines = 1) {
    Bytes out(1, static_cast<char>(lines - 1));
    for (std::size_t i = 0; i < line.size();) {
        std::size_t j = i;
        while (j + 1 < line.size() && line[j + 1] == line[i] && j - i < 127)
            ++j;
        out += static_cast<char>(j - i);
        out += line[i];
        i = j + 1;
    }
    return out;
}

struct Read {
    bool ok = false;
    std::string error;
    std::size_t count = 0;
    std::vector<std::vector<std::uint8_t>> pages;
    bool operator==(const Read&) const = default;
};

Read readAll(const std::string& path, bool ownLines, bool dither = false) {
    Read read;
    RasterFilePages pages(ownLines);
    read.ok = pages.open(path, dither, read.error);
    if (!read.ok)
        return read;
    read.count = pages.count();
    // Last to first, then the first again: each page is read anew.
    for (std::size_t i = pages.count(); i-- > 0;) {
        standin::PageView view{};
        std::string error;
        if (!pages.page(i, view, error)) {
            read.error = error;
            return read;
        }
        const std::size_t bytes = (static_cast<std::size_t>(view.width) + 7) / 8 * view.height;
        read.pages.emplace_back(view.bits, view.bits + bytes);
    }
    return read;
}

std::string describe(const Read& read) {
    return std::string(read.ok ? "read" : "refused") + " (" + read.error + "), " +
           std::to_string(read.count) + " pages";
}

void expectAsLibcups(const tools_test::ScratchDir& dir, const std::string& name,
                     const Bytes& document, bool mustRead) {
    const std::string path = dir.write(name, document);
    for (const bool dither : {false, true}) {
        const Read reference = readAll(path, false, dither);
        const Read own = readAll(path, true, dither);
        EXPECT_EQ(own, reference) << name << ": " << describe(own) << " where libcups "
                                  << describe(reference);
        EXPECT_TRUE(!mustRead || (reference.ok && reference.error.empty()))
            << name << ": " << describe(reference);
    }
}

TEST(RasterStream, DecodesEveryKindOfRunAsLibcupsDoes) {
    tools_test::ScratchDir dir;
    const Bytes k = "RaS2";
    Bytes box;
    for (int y = 0; y < 40; ++y) {
        Bytes line(13, '\0');
        line[0] = line[12] = static_cast<char>(0xFF);
        if (y < 3 || y >= 37)
            line.assign(13, static_cast<char>(0xFF));
        box += group(line);
    }
    const Bytes ramp = [] {
        Bytes line;
        for (int x = 0; x < 90; ++x)
            line += static_cast<char>(x * 255 / 89);
        return line;
    }();
    struct Case {
        const char* name;
        Bytes document;
        bool mustRead;
    };
    const Case cases[] = {
        {"black_1 box", k + pwgHeader(100, 40) + box, true},
        // Groups of lines, one of them running past the page's end (the
        // rest is dropped, and the next page starts anew).
        {"line groups",
         k + pwgHeader(16, 6) + group("\x0f\xf0", 2) + group("\xaa\x55", 7) + pwgHeader(16, 2) +
             group("\x01\x80", 2),
         true},
        // A literal run longer than the line: its bytes past the line start
        // the next line.
        {"literal past the line",
         k + pwgHeader(16, 2) + Bytes("\x00\xfd\x11\x22\x00\x33", 6) + Bytes("\x00\x33", 2), true},
        {"repeat past the line", k + pwgHeader(16, 1) + Bytes("\x00\x7f\x5a", 3), true},
        // 128 clears the rest of the line: blank is 0 in black_1 and 255 in
        // grey.
        {"cleared black_1", k + pwgHeader(24, 2) + Bytes("\x01\x00\xff\x80", 4), true},
        {"cleared grey",
         k + pwgHeader(90, 3, 8, CUPS_CSPACE_SW) + group(ramp) + Bytes("\x01\x05\x00\x80", 4),
         true},
        {"grey ramp", k + pwgHeader(90, 4, 8, CUPS_CSPACE_W) + group(ramp, 4), true},
        {"lines longer than the page is wide",
         k + pwgHeader(16, 2, 1, CUPS_CSPACE_K, 4) + group("\xff\x0f\xaa\x55", 2), false},
        {"apple grey sGray", appleFile(1) + appleHeader(90, 2, 0) + group(ramp, 2), true},
        {"apple grey device",
         appleFile(2) + appleHeader(90, 1, 4) + group(ramp) + appleHeader(40, 2, 0) +
             Bytes("\x01\x80", 2),
         true},
        {"colour page",
         k + pwgHeader(8, 1, 24, CUPS_CSPACE_SRGB) + Bytes("\x00\x07\x10\x20\x30", 5), false},
        {"cut inside a line", k + pwgHeader(100, 40) + box.substr(0, box.size() / 2), false},
        {"cut inside a run", k + pwgHeader(16, 1) + Bytes("\x00\xfe\x11", 3), false},
        {"cut inside the second header",
         k + pwgHeader(16, 1) + group("\x12\x34") + pwgHeader(16, 1).substr(0, 900), false},
        {"nothing after the sync word", k, false},
        {"not raster", "%PDF-1.4\n", false},
    };
    for (const Case& test : cases)
        expectAsLibcups(dir, test.name, test.document, test.mustRead);
}

// Random lines of every run kind, pages of random sizes, some cut short:
// whatever libcups makes of them, the program makes too.
TEST(RasterStream, RandomDocumentsReadAsLibcupsReadsThem) {
    tools_test::ScratchDir dir;
    std::mt19937 random(20261210);
    const auto pick = [&](int low, int high) {
        return std::uniform_int_distribution<int>(low, high)(random);
    };
    for (int document = 0; document < 300; ++document) {
        const bool apple = pick(0, 4) == 0;
        const int pages = pick(1, 3);
        Bytes bytes = apple ? appleFile(static_cast<std::uint32_t>(pages)) : Bytes("RaS2");
        for (int page = 0; page < pages; ++page) {
            const bool grey = apple || pick(0, 2) == 0;
            const auto width = static_cast<std::uint32_t>(pick(1, 70));
            const auto height = static_cast<std::uint32_t>(pick(1, 12));
            bytes += apple ? appleHeader(width, height, static_cast<std::uint8_t>(pick(0, 1) * 4))
                           : pwgHeader(width, height, grey ? 8 : 1,
                                       grey ? CUPS_CSPACE_SW : CUPS_CSPACE_K);
            const int codes = pick(0, 3 * static_cast<int>(width) * static_cast<int>(height));
            for (int i = 0; i < codes; ++i) {
                const int kind = pick(0, 9);
                const int code = kind < 4 ? pick(0, 127) : kind < 9 ? pick(129, 255) : 128;
                bytes += static_cast<char>(code);
                for (int extra = code < 128 ? 1 : code > 128 ? 257 - code : 0; extra > 0; --extra)
                    bytes += static_cast<char>(pick(0, 255));
            }
        }
        if (pick(0, 3) == 0)
            bytes.resize(static_cast<std::size_t>(pick(0, static_cast<int>(bytes.size()))));
        expectAsLibcups(dir, "random-" + std::to_string(document), bytes, false);
    }
}

} // namespace

// labelview: lists the label programs in a spool file and draws them as PNGs,
// to check what the plug-in sent without a printer.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "decoder/label_decoder.h"

namespace {

constexpr const char* kUsage = "usage: labelview FILE [--png OUT.png]\n";

struct Arguments {
    std::string file;
    std::string png;
    bool help = false;
};

// Accepts the file and --png in either order; anything else is a usage error.
bool parseArguments(int argc, char** argv, Arguments& args) {
    bool haveFile = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            args.help = true;
        } else if (arg == "--png") {
            if (i + 1 >= argc || !args.png.empty() || argv[i + 1][0] == '\0')
                return false;
            args.png = argv[++i];
        } else if (arg.size() > 1 && arg[0] == '-') {
            return false;
        } else {
            if (haveFile || arg.empty())
                return false;
            args.file = arg;
            haveFile = true;
        }
    }
    return args.help || haveFile;
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// Reads to the end, so that pipes and device files work too.
bool readWholeFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& error) {
    errno = 0;
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        error = path + ": cannot open (" + std::strerror(errno != 0 ? errno : ENOENT) + ")";
        return false;
    }
    uint8_t chunk[1 << 16];
    for (;;) {
        errno = 0;
        const size_t got = std::fread(chunk, 1, sizeof chunk, file.get());
        bytes.insert(bytes.end(), chunk, chunk + got);
        if (got < sizeof chunk)
            break;
    }
    if (std::ferror(file.get())) {
        error = path + ": unreadable (" + std::strerror(errno != 0 ? errno : EIO) + ")";
        return false;
    }
    return true;
}

// One line per label, numbers as the header gave them, so a script can grep it.
void printLabel(size_t index, const DecodedLabel& label) {
    std::printf("label %zu: size %d mm x %d mm, density %d, direction %d, bitmap %d bytes x %d "
                "lines, %llu printed dots\n",
                index + 1, label.sizeWidthMm, label.sizeHeightMm, label.density, label.direction,
                label.widthBytes, label.heightDots,
                static_cast<unsigned long long>(label.printedDots));
}

// Exits 0 when done, 1 on a problem with a file, 2 on a usage error.
int run(int argc, char** argv) {
    Arguments args;
    if (!parseArguments(argc, argv, args)) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    if (args.help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    std::vector<uint8_t> bytes;
    std::string error;
    if (!readWholeFile(args.file, bytes, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    const LabelStream stream = decodeLabelStream(bytes.data(), bytes.size());
    for (size_t i = 0; i < stream.labels.size(); ++i)
        printLabel(i, stream.labels[i]);
    for (const std::string& note : stream.notes)
        std::printf("outside the labels: %s\n", note.c_str());
    if (!stream.ok()) {
        std::fflush(stdout);
        std::fprintf(stderr, "%s: %s\n", args.file.c_str(), stream.error.c_str());
        return 1;
    }
    if (stream.labels.empty())
        std::printf("no label programs\n");
    if (args.png.empty())
        return 0;
    if (stream.labels.empty()) {
        std::fflush(stdout);
        std::fprintf(stderr, "%s: no label programs to draw\n", args.file.c_str());
        return 1;
    }
    if (!writeLabelPictures(stream, args.png, error)) {
        std::fflush(stdout);
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    for (size_t i = 0; i < stream.labels.size(); ++i)
        std::printf("wrote %s\n", numberedPath(args.png, i, stream.labels.size()).c_str());
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (const std::bad_alloc&) {
        std::fputs("labelview: out of memory\n", stderr);
        return 1;
    }
}

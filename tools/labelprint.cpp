// labelprint: prints page images as one label job, or a text file as one
// text-mode job, through the plug-in, the way Unidrv would drive it, and
// writes the spool stream.
#include "host/print_job.h"
#include "host/text_job.h"
#include "tools/imaging/label_decoder.h"
#include "tools/imaging/page_image_reader.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

constexpr char kUsage[] =
    "usage: labelprint [-o FILE] [--dpi N] [--landscape] [--density N] [--direction N]\n"
    "                  [--shift-x N] [--shift-y N] [--job-start HEX] [--page-start HEX]\n"
    "                  [--page-end HEX] [--job-end HEX] [--band-height N] [--dither]\n"
    "                  [--preview FILE.png] [--plugin MODULE] PAGE...\n"
    "       labelprint [-o FILE] [--code-page N] [--dpi N] [--job-start HEX] [--page-start HEX]\n"
    "                  [--page-end HEX] [--job-end HEX] [--plugin MODULE] --text FILE\n";

struct CommandText {
    bool on = false;
    std::u16string text;
};

struct Options {
    std::string output;
    std::string preview;
    std::string plugin;
    std::string text; // a text file to print in text mode instead of pages
    int codePage = 936;
    int dpi = 203;
    bool landscape = false;
    bool dither = false;
    SHORT density = 0, direction = 0, shiftX = 0, shiftY = 0;
    CommandText jobStart, pageStart, pageEnd, jobEnd;
    LONG bandHeight = 64;
    std::vector<std::string> pages;
};

struct Failure {
    int status;
    std::string message;
};

std::optional<long> parseInteger(std::string_view text) {
    long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty())
        return std::nullopt;
    return value;
}

// UTF-8 to UTF-16; nullopt for a malformed text.
std::optional<std::u16string> toUtf16(std::string_view text) {
    std::u16string out;
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const int length = lead < 0x80       ? 1
                           : lead >> 5 == 6  ? 2
                           : lead >> 4 == 14 ? 3
                           : lead >> 3 == 30 ? 4
                                             : 0;
        if (length == 0 || i + length > text.size())
            return std::nullopt;
        char32_t c = length == 1 ? lead : lead & (0x7F >> length);
        for (int k = 1; k < length; ++k)
            c = c << 6 | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        if (c >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
        i += length;
    }
    return out;
}

std::optional<Failure> parseArguments(int argc, char** argv, Options& options) {
    auto usage = [](const std::string& why) { return Failure{kExitUsage, "labelprint: " + why}; };
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--landscape") {
            options.landscape = true;
        } else if (arg == "--dither") {
            options.dither = true;
        } else if (arg == "-h" || arg == "--help") {
            return Failure{kExitUsage, ""};
        } else if (arg.starts_with("-") && arg.size() > 1) {
            if (i + 1 >= argc)
                return usage(std::string(arg) + " needs a value");
            const std::string_view value = argv[++i];
            auto integer = [&](long low, long high) -> std::optional<long> {
                auto n = parseInteger(value);
                return n && *n >= low && *n <= high ? n : std::nullopt;
            };
            auto shortField = [&](SHORT& field) -> std::optional<Failure> {
                auto n = integer(SHRT_MIN, SHRT_MAX);
                if (!n)
                    return usage(std::string(arg) +
                                 " takes a whole number from -32768 to 32767, not '" +
                                 std::string(value) + "'");
                field = static_cast<SHORT>(*n);
                return std::nullopt;
            };
            auto command = [&](CommandText& field) -> std::optional<Failure> {
                auto text = toUtf16(value);
                if (!text)
                    return usage(std::string(arg) + " text is not valid UTF-8");
                if (text->size() > kCommandTextUnits - 1)
                    return usage(std::string(arg) + " text is longer than 259 characters");
                field = {true, *text};
                return std::nullopt;
            };
            std::optional<Failure> failure;
            if (arg == "-o") {
                options.output = value;
            } else if (arg == "--preview") {
                options.preview = value;
            } else if (arg == "--plugin") {
                options.plugin = value;
            } else if (arg == "--text") {
                options.text = value;
            } else if (arg == "--code-page") {
                auto n = integer(1, 65535);
                if (!n)
                    return usage("--code-page takes a code page number from 1 to 65535");
                options.codePage = static_cast<int>(*n);
            } else if (arg == "--dpi") {
                auto n = integer(1, SHRT_MAX);
                if (!n)
                    return usage("--dpi takes a whole number from 1 to 32767");
                options.dpi = static_cast<int>(*n);
            } else if (arg == "--band-height") {
                auto n = integer(1, 65536);
                if (!n)
                    return usage("--band-height takes a whole number from 1 to 65536");
                options.bandHeight = static_cast<LONG>(*n);
            } else if (arg == "--density") {
                failure = shortField(options.density);
            } else if (arg == "--direction") {
                failure = shortField(options.direction);
            } else if (arg == "--shift-x") {
                failure = shortField(options.shiftX);
            } else if (arg == "--shift-y") {
                failure = shortField(options.shiftY);
            } else if (arg == "--job-start") {
                failure = command(options.jobStart);
            } else if (arg == "--page-start") {
                failure = command(options.pageStart);
            } else if (arg == "--page-end") {
                failure = command(options.pageEnd);
            } else if (arg == "--job-end") {
                failure = command(options.jobEnd);
            } else {
                return usage("unknown option " + std::string(arg));
            }
            if (failure)
                return failure;
        } else {
            options.pages.emplace_back(arg);
        }
    }
    if (!options.text.empty()) {
        if (!options.pages.empty())
            return usage("--text prints a text file; give no PAGE with it");
        if (!options.preview.empty())
            return usage("--preview draws labels, and a text job has none");
        return std::nullopt;
    }
    if (options.pages.empty())
        return usage("no page given");
    return std::nullopt;
}

// The plug-in module: --plugin, else $LABEL_PLUGIN, else the one built
// beside this program.
std::string pluginPath(const Options& options) {
    if (!options.plugin.empty())
        return options.plugin;
    if (const char* fromEnvironment = std::getenv("LABEL_PLUGIN"))
        return fromEnvironment;
    char self[4096];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    std::string directory = ".";
    if (length > 0) {
        directory.assign(self, static_cast<std::size_t>(length));
        directory.erase(directory.find_last_of('/'));
    }
    return directory + "/../lib/liblabelplug.so";
}

// Paper size in tenths of a millimetre, rounded up; nullopt beyond 16 bits.
std::optional<SHORT> tenthsOfMillimetre(LONG dots, int dpi) {
    const long long tenths = (static_cast<long long>(dots) * 254 + dpi - 1) / dpi;
    if (tenths > SHRT_MAX)
        return std::nullopt;
    return static_cast<SHORT>(tenths);
}

void storeCommand(const CommandText& command, WORD& on, WCHAR (&field)[kCommandTextUnits]) {
    if (!command.on)
        return;
    on = 1;
    std::fill(std::begin(field), std::end(field), u'\0');
    std::copy(command.text.begin(), command.text.end(), field);
}

std::optional<Failure> readPages(const Options& options, standin::LabelJob& job) {
    LONG widest = 0, tallest = 0;
    for (const std::string& path : options.pages) {
        ImageReadResult read = readPageImage(path, options.dither);
        if (!read.ok())
            return Failure{kExitFailure, read.error};
        standin::PageBitmap page;
        page.width = read.image.width;
        page.height = read.image.height;
        page.bits = std::move(read.image.bits);
        widest = std::max(widest, page.width);
        tallest = std::max(tallest, page.height);
        job.pages.push_back(std::move(page));
    }
    // One paper size serves the job: large enough for its largest page.
    const auto across = tenthsOfMillimetre(widest, options.dpi);
    const auto down = tenthsOfMillimetre(tallest, options.dpi);
    if (!across || !down)
        return Failure{kExitFailure, options.pages.front() + ": too large for a label at " +
                                         std::to_string(options.dpi) + " dpi"};
    job.paper.orientation = options.landscape ? DMORIENT_LANDSCAPE : DMORIENT_PORTRAIT;
    job.paper.paperWidth = options.landscape ? *down : *across;
    job.paper.paperLength = options.landscape ? *across : *down;
    job.paper.printQuality = static_cast<SHORT>(options.dpi);
    job.paper.yResolution = static_cast<SHORT>(options.dpi);
    return std::nullopt;
}

// Writes the whole stream or nothing: a temporary file renamed into place.
std::optional<Failure> writeOutput(const std::string& path, const std::vector<BYTE>& bytes) {
    if (path.empty() || path == "-") {
        if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size() ||
            std::fflush(stdout) != 0)
            return Failure{kExitFailure, "labelprint: cannot write standard output"};
        return std::nullopt;
    }
    std::string temporary = path + ".XXXXXX";
    const int descriptor = mkstemp(temporary.data());
    if (descriptor < 0)
        return Failure{kExitFailure, path + ": cannot write (" + std::strerror(errno) + ")"};
    const mode_t mask = umask(0); // mkstemp makes the file private; give it the usual mode
    umask(mask);
    fchmod(descriptor, 0666 & ~mask);
    std::FILE* file = fdopen(descriptor, "wb");
    bool written = file && std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    const int savedErrno = errno;
    written = file && std::fclose(file) == 0 && written;
    if (!file)
        close(descriptor);
    if (!written || std::rename(temporary.c_str(), path.c_str()) != 0) {
        const int reason = written ? errno : savedErrno;
        std::remove(temporary.c_str());
        return Failure{kExitFailure, path + ": cannot write (" + std::strerror(reason) + ")"};
    }
    return std::nullopt;
}

std::optional<Failure> writePreview(const std::string& path, const std::vector<BYTE>& spool) {
    const LabelStream stream = decodeLabelStream(spool.data(), spool.size());
    if (!stream.error.empty())
        return Failure{kExitFailure,
                       "labelprint: the spool stream does not decode: " + stream.error};
    std::string error;
    if (!writeLabelPictures(stream, path, error))
        return Failure{kExitFailure, error};
    return std::nullopt;
}

// Splits a text file into pages at form feeds and pages into lines; a line's
// carriage return belongs to the file's line ending. A form feed that ends
// the file starts no further page.
std::vector<std::vector<std::u16string>> textPages(const std::u16string& text) {
    std::vector<std::vector<std::u16string>> pages(1);
    std::u16string line;
    auto endLine = [&] {
        if (!line.empty() && line.back() == u'\r')
            line.pop_back();
        pages.back().push_back(std::move(line));
        line.clear();
    };
    for (char16_t unit : text) {
        if (unit == u'\n') {
            endLine();
        } else if (unit == u'\f') {
            endLine();
            pages.emplace_back();
        } else {
            line += unit;
        }
    }
    endLine();
    const auto blank = [](const std::u16string& l) { return l.empty(); };
    if (pages.size() > 1 && std::all_of(pages.back().begin(), pages.back().end(), blank))
        pages.pop_back();
    return pages;
}

// The text job: the configuration turns text mode on at the start of the
// document, and every line is drawn in the printer-resident font.
std::optional<Failure> readTextJob(const Options& options, standin::TextJob& job) {
    std::FILE* file = std::fopen(options.text.c_str(), "rb");
    if (!file)
        return Failure{kExitFailure, options.text + ": cannot read (" + std::strerror(errno) + ")"};
    std::string bytes;
    char block[4096];
    std::size_t got;
    while ((got = std::fread(block, 1, sizeof block, file)) > 0)
        bytes.append(block, got);
    const int reason = errno;
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed)
        return Failure{kExitFailure,
                       options.text + ": cannot read (" + std::strerror(reason) + ")"};
    const auto text = toUtf16(bytes);
    if (!text)
        return Failure{kExitFailure, options.text + ": not UTF-8 text"};
    job.documents = {{{11}, standin::layOutText(textPages(*text))}};
    job.paper.orientation = options.landscape ? DMORIENT_LANDSCAPE : DMORIENT_PORTRAIT;
    job.paper.paperWidth = 1040; // 104 × 152 mm; text mode sends no image
    job.paper.paperLength = 1520;
    job.paper.printQuality = static_cast<SHORT>(options.dpi);
    job.paper.yResolution = static_cast<SHORT>(options.dpi);
    return std::nullopt;
}

std::optional<Failure> run(const Options& options) {
    standin::LabelJob job;
    standin::TextJob textJob;
    const bool textMode = !options.text.empty();
    if (auto failure = textMode ? readTextJob(options, textJob) : readPages(options, job))
        return failure;
    job.bandHeight = options.bandHeight;
    job.editSettings = [&options](OemDevMode& settings) {
        settings.density = options.density;
        settings.direction = options.direction;
        settings.shiftX = options.shiftX;
        settings.shiftY = options.shiftY;
        storeCommand(options.jobStart, settings.jobStartOn, settings.jobStartCmd);
        storeCommand(options.pageStart, settings.pageStartOn, settings.pageStartCmd);
        storeCommand(options.pageEnd, settings.pageEndOn, settings.pageEndCmd);
        storeCommand(options.jobEnd, settings.jobEndOn, settings.jobEndCmd);
    };
    textJob.editSettings = job.editSettings;
    // The host plug-in's stand-in for the system's ANSI code page.
    setenv("ANSI_CODE_PAGE", std::to_string(options.codePage).c_str(), 1);
    standin::PluginModule module;
    std::string error;
    if (!standin::loadPluginModule(pluginPath(options), module, error))
        return Failure{kExitFailure, error};
    standin::JobOutcome outcome =
        textMode ? standin::printTextJob(module, textJob) : standin::printLabelJob(module, job);
    standin::unloadPluginModule(module);
    if (!outcome.ok)
        return Failure{kExitFailure, "labelprint: " + outcome.error};
    if (auto failure = writeOutput(options.output, outcome.spool))
        return failure;
    if (!options.preview.empty())
        return writePreview(options.preview, outcome.spool);
    return std::nullopt;
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    std::optional<Failure> failure = parseArguments(argc, argv, options);
    if (!failure) {
        try {
            failure = run(options);
        } catch (const std::bad_alloc&) {
            failure = Failure{kExitFailure, "labelprint: out of memory"};
        }
    }
    if (!failure)
        return 0;
    if (!failure->message.empty())
        std::fprintf(stderr, "%s\n", failure->message.c_str());
    if (failure->status == kExitUsage)
        std::fputs(kUsage, stderr);
    return failure->status;
}

#include "tools/labelprint/text_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

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
    if (!textJobOf(bytes, options.dpi, options.landscape, job))
        return Failure{kExitFailure, options.text + ": not UTF-8 text"};
    return std::nullopt;
}

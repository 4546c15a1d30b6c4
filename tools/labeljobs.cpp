// labeljobs: runs the reference job set through a plug-in module and writes
// each job's spool stream to OUTDIR/<job>.prn, and the answer to each
// reference devmode request to OUTDIR/<request>.dm. Built for the host and
// for both Windows targets, so that every build's output can be compared.
#include "host/reference_devmodes.h"
#include "host/reference_jobs.h"

#include <cstdio>
#include <string>

namespace {

// Writes DIRECTORY/NAME; false when it cannot.
bool writeFile(const std::string& path, const std::vector<BYTE>& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    const bool written = file && std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    if (file && std::fclose(file) != 0)
        return false;
    return written;
}

// Writes one job's spool stream to DIRECTORY/NAME.prn; 1 when the job or the
// write failed.
int writeOutcome(const std::string& directory, const std::string& name,
                 const standin::JobOutcome& outcome) {
    const bool written = writeFile(directory + "/" + name + ".prn", outcome.spool);
    if (outcome.ok && written)
        return 0;
    std::fprintf(stderr, "%s: %s\n", name.c_str(),
                 outcome.ok ? "cannot write the spool file" : outcome.error.c_str());
    return 1;
}

// Writes one devmode answer to DIRECTORY/NAME.dm; 1 when there was none or
// the write failed.
int writeAnswer(const std::string& directory, const std::string& name,
                const std::vector<BYTE>& answer) {
    if (!answer.empty() && writeFile(directory + "/" + name + ".dm", answer))
        return 0;
    std::fprintf(stderr, "%s: %s\n", name.c_str(),
                 answer.empty() ? "the plug-in did not start" : "cannot write the answer");
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: labeljobs MODULE OUTDIR\n", stderr);
        return 2;
    }
    standin::PluginModule module;
    std::string error;
    if (!standin::loadPluginModule(argv[1], module, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    int status = 0;
    for (const standin::NamedJob& named : standin::referenceJobs())
        status |= writeOutcome(argv[2], named.name, standin::printLabelJob(module, named.job));
    for (const standin::NamedTextJob& named : standin::referenceTextJobs())
        status |= writeOutcome(argv[2], named.name, standin::printTextJob(module, named.job));
    for (const standin::DevModeCase& request : standin::referenceDevModes())
        status |= writeAnswer(argv[2], request.name, standin::answerDevMode(module, request));
    standin::unloadPluginModule(module);
    return status;
}

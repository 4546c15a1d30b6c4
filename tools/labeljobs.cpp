// labeljobs: runs the reference job set through a plug-in module and writes
// each job's spool stream to OUTDIR/<job>.prn. Built for both platforms, so
// the two builds' streams can be compared.
#include "host/reference_jobs.h"

#include <cstdio>
#include <string>

namespace {

// Writes one job's spool stream to DIRECTORY/NAME.prn; 1 when the job or the
// write failed.
int writeOutcome(const std::string& directory, const std::string& name,
                 const standin::JobOutcome& outcome) {
    const std::string path = directory + "/" + name + ".prn";
    std::FILE* file = std::fopen(path.c_str(), "wb");
    const bool written = file && std::fwrite(outcome.spool.data(), 1, outcome.spool.size(), file) ==
                                     outcome.spool.size();
    if (file)
        std::fclose(file);
    if (outcome.ok && written)
        return 0;
    std::fprintf(stderr, "%s: %s\n", name.c_str(),
                 outcome.ok ? "cannot write the spool file" : outcome.error.c_str());
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
    standin::unloadPluginModule(module);
    return status;
}

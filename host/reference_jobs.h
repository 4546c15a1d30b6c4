// A fixed set of jobs that exercises every setting the plug-in acts on. Both
// builds run the same set, so their spool streams can be compared byte for
// byte.
#pragma once

#include "host/print_job.h"
#include "host/text/text_job.h"

#include <string>
#include <vector>

namespace standin {

struct NamedJob {
    std::string name;
    LabelJob job;
};

std::vector<NamedJob> referenceJobs();

struct NamedTextJob {
    std::string name;
    TextJob job;
};

// Text-mode jobs in the printer font, with characters of the double-byte
// ANSI code page 936; run with that code page as the system's.
std::vector<NamedTextJob> referenceTextJobs();

} // namespace standin

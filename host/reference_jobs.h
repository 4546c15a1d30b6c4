// A fixed set of jobs that exercises every setting the plug-in acts on. Both
// builds run the same set, so their spool streams can be compared byte for
// byte.
#pragma once

#include "host/print_job.h"

#include <string>
#include <vector>

namespace standin {

struct NamedJob {
    std::string name;
    LabelJob job;
};

std::vector<NamedJob> referenceJobs();

} // namespace standin

// Where the programs find the modules installed with them.
#pragma once

#include <string>

// The value of `variable` when it is set; else the module `name` (such as
// "liblabelplug.so") where an install puts it, in ../lib/label-printer-app
// beside the running program's directory, or where the build tree keeps it,
// in ../lib.
std::string installedFile(const char* variable, const std::string& name);

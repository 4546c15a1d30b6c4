// Where labelprint finds the modules installed with it.
#pragma once

#include <string>

// The value of `variable` when it is set, else `relative` taken from the
// directory of the running program ("../lib/liblabelplug.so").
std::string installedFile(const char* variable, const std::string& relative);

#include "host/installed_files.h"

#include <cstdlib>
#include <unistd.h>

std::string installedFile(const char* variable, const std::string& name) {
    if (const char* fromEnvironment = std::getenv(variable); fromEnvironment && *fromEnvironment)
        return fromEnvironment;
    char self[4096];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    std::string directory = ".";
    if (length > 0) {
        directory.assign(self, static_cast<std::size_t>(length));
        directory.erase(directory.find_last_of('/'));
    }
    // Installed, the modules are the package's own, in a directory of their
    // own; in the build tree they sit in lib/ beside bin/.
    const std::string installed = directory + "/../lib/label-printer-app/" + name;
    if (access(installed.c_str(), F_OK) == 0)
        return installed;
    return directory + "/../lib/" + name;
}

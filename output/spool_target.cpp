// Telling apart what a spool target names, and the failure every kind keeps.
#include "output/spool_target.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <new>
#include <utility>

#include "output/spool_kinds.h"

SpoolTarget::SpoolTarget(std::string name) : name_(std::move(name)) {}

SpoolTarget::~SpoolTarget() = default;

// Keeps the first failure: a write that fails after a timeout would
// otherwise hide why the job stopped.
bool SpoolTarget::fail(const std::string& reason) {
    if (error_.empty()) {
        try {
            error_ = name_ + ": " + reason;
        } catch (const std::bad_alloc&) {
            error_ = "out of memory";
        }
    }
    return false;
}

// Only what the name is on disk now decides the kind: a device node or a
// pipe must be written in place, a file replaced whole.
std::unique_ptr<SpoolTarget> SpoolTarget::open(const std::string& target, int timeoutSeconds,
                                               std::string& error) {
    error.clear();
    try {
        if (target.empty() || target == "-")
            return openStandardOutput(error);
        if (target.rfind("socket://", 0) == 0)
            return openPrinterSocket(target, timeoutSeconds, error);
        struct stat status {};
        if (::stat(target.c_str(), &status) != 0) {
            // A missing name, or a symbolic link to one, becomes a file.
            if (errno == ENOENT)
                return openReplacedFile(target, error);
            error = target + ": cannot open (" + std::strerror(errno) + ")";
            return nullptr;
        }
        if (S_ISDIR(status.st_mode)) {
            error = target + ": is a directory";
            return nullptr;
        }
        if (S_ISREG(status.st_mode))
            return openReplacedFile(target, error);
        return openPathStream(target, status.st_mode, timeoutSeconds, error);
    } catch (const std::bad_alloc&) {
        error = target + ": out of memory";
        return nullptr;
    }
}

// A spool stream written to a file whole or not at all: into a temporary
// file beside the file, renamed over it at the end.
#include "output/spool_kinds.h"

#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <utility>

namespace {

// The kernel's own limit on links followed for one name.
constexpr int kMaxLinkHops = 40;
// Leaves room for ".XXXXXX" within a name's 255 bytes.
constexpr std::size_t kMaxTemporaryStem = 200;

class ReplacedFile final : public BufferedTarget {
  public:
    ReplacedFile(std::string name, int descriptor, std::string temporary, std::string final)
        : BufferedTarget(std::move(name), descriptor, true, Peer::file, 0),
          temporary_(std::move(temporary)), final_(std::move(final)) {}
    ~ReplacedFile() override { abandon(); }

    bool streams() const override { return false; }

  private:
    bool complete(bool ok) override;
    void discard() override { ::unlink(temporary_.c_str()); }

    std::string temporary_;
    std::string final_;
};

// The rename is the single step that changes the target; until then the old
// file was never touched, so removing the new one is all a failure needs.
bool ReplacedFile::complete(bool ok) {
    if (ok && ::rename(temporary_.c_str(), final_.c_str()) != 0)
        ok = fail("cannot replace " + final_ + " (" + std::strerror(errno) + ")");
    if (!ok)
        discard();
    return ok;
}

// Where a link's relative target and the temporary file are placed.
std::string directoryOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The name the temporary file's name is made from.
std::string leafOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

struct FinalPath {
    std::string path;
    bool exists = false;
    mode_t mode = 0;
};

// Follows symbolic links one at a time, since the last may name a file that
// does not exist yet, where the kernel would only answer ENOENT.
bool resolveLinks(const std::string& target, FinalPath& final, std::string& error) {
    std::string path = target;
    for (int hop = 0; hop <= kMaxLinkHops; ++hop) {
        struct stat status {};
        if (::lstat(path.c_str(), &status) != 0) {
            if (errno != ENOENT) {
                error = target + ": cannot open (" + std::strerror(errno) + ")";
                return false;
            }
            final = FinalPath{path, false, 0};
            return true;
        }
        if (!S_ISLNK(status.st_mode)) {
            final = FinalPath{path, true, status.st_mode};
            return true;
        }
        std::string link(PATH_MAX, '\0');
        const ssize_t size = ::readlink(path.c_str(), link.data(), link.size());
        if (size < 0 || static_cast<std::size_t>(size) >= link.size()) {
            error =
                target + ": cannot open (" + std::strerror(size < 0 ? errno : ENAMETOOLONG) + ")";
            return false;
        }
        link.resize(static_cast<std::size_t>(size));
        path = !link.empty() && link.front() == '/' ? link : directoryOf(path) + "/" + link;
    }
    error = target + ": cannot open (" + std::strerror(ELOOP) + ")";
    return false;
}

// A missing name on the filesystem of /dev is a printer that is not plugged
// in; a file made there would stand where its device node belongs. Where
// /dev is no filesystem of its own, nothing can be told apart.
bool onDeviceFilesystem(std::string directory) {
    struct stat devices {};
    struct stat root {};
    if (::stat("/dev", &devices) != 0 || ::stat("/", &root) != 0 || devices.st_dev == root.st_dev)
        return false;
    struct stat place {};
    while (::stat(directory.c_str(), &place) != 0) {
        if (directory == "/" || directory == ".")
            return false;
        directory = directoryOf(directory);
    }
    return place.st_dev == devices.st_dev;
}

// The umask without changing it: umask() reads it only by setting it, which
// races with other threads creating files.
mode_t currentUmask() {
    if (std::FILE* status = std::fopen("/proc/self/status", "re")) {
        char line[256];
        unsigned mask = 0;
        bool found = false;
        while (!found && std::fgets(line, sizeof line, status))
            found = std::sscanf(line, "Umask: %o", &mask) == 1;
        std::fclose(status);
        if (found)
            return static_cast<mode_t>(mask);
    }
    const mode_t mask = ::umask(022);
    ::umask(mask);
    return mask;
}

} // namespace

// The temporary file sits beside the final file, not the link naming it, so
// that the rename stays within one filesystem.
std::unique_ptr<SpoolTarget> openReplacedFile(const std::string& target, std::string& error) {
    FinalPath final;
    if (!resolveLinks(target, final, error))
        return nullptr;
    if (final.exists && !S_ISREG(final.mode)) {
        error = target + ": changed while it was being opened";
        return nullptr;
    }
    const std::string directory = directoryOf(final.path);
    const std::string leaf = leafOf(final.path);
    if (leaf.empty() || (!final.exists && onDeviceFilesystem(directory))) {
        error = target + ": cannot open (" + std::strerror(ENOENT) + ")";
        return nullptr;
    }
    std::string temporary =
        (directory == "/" ? "/" : directory + "/") + leaf.substr(0, kMaxTemporaryStem) + ".XXXXXX";
    const int descriptor = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (descriptor < 0) {
        error =
            target + ": cannot create a file in " + directory + " (" + std::strerror(errno) + ")";
        return nullptr;
    }
    // mkstemp makes the file private; it gets the mode the file had, or the
    // one a newly created file would get.
    const mode_t mode = final.exists ? final.mode & 0777 : 0666 & ~currentUmask();
    if (::fchmod(descriptor, mode) != 0) {
        error =
            target + ": cannot create a file in " + directory + " (" + std::strerror(errno) + ")";
        ::close(descriptor);
        ::unlink(temporary.c_str());
        return nullptr;
    }
    std::unique_ptr<ReplacedFile> file(new (std::nothrow)
                                           ReplacedFile(target, descriptor, temporary, final.path));
    if (file && file->hasBuffer())
        return file;
    if (!file) {
        ::close(descriptor);
        ::unlink(temporary.c_str());
    }
    error = target + ": out of memory";
    return nullptr;
}

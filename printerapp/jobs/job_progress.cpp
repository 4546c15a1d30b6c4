#include "printerapp/jobs/job_progress.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

JobProgress::JobProgress(const std::string& spoolDirectory, int printerId, int jobId) {
    char name[64];
    std::snprintf(name, sizeof name, "/p%05dj%09d.progress", printerId, jobId);
    path_ = spoolDirectory + name;
    if (const int fd = open(path_.c_str(), O_RDONLY | O_CLOEXEC); fd >= 0) {
        recorded_ = true;
        char text[32] = {};
        if (read(fd, text, sizeof text - 1) > 0)
            taken_ = std::strtoul(text, nullptr, 10);
        close(fd);
    }
}

JobProgress::~JobProgress() {
    if (fd_ >= 0)
        close(fd_);
}

void JobProgress::record(std::size_t labels) {
    // The job-end commands go after the job ended, and leave no record.
    if (finished_)
        return;
    if (fd_ < 0)
        fd_ = open(path_.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ < 0)
        return; // without a record the job starts over after a restart
    recorded_ = true;
    char text[32];
    // Fixed width, so that one write replaces the number whole.
    const int length = std::snprintf(text, sizeof text, "%20zu\n", labels);
    // A record that cannot be written costs only a duplicate after a restart.
    if (pwrite(fd_, text, static_cast<std::size_t>(length), 0) == length)
        fdatasync(fd_);
}

void JobProgress::finish() {
    finished_ = true;
    if (fd_ >= 0)
        close(fd_);
    fd_ = -1;
    // Most jobs (every job on a file printer) never had a record.
    if (recorded_)
        unlink(path_.c_str());
    recorded_ = false;
}

// How many labels of a job its printer has taken whole, kept on disk as the
// job prints: a job that was printing when the server ended (stopped,
// killed, the power lost) goes on after the last label the printer took,
// not from its first label. Only printers that acknowledge what they take
// (network and USB) have progress to keep.
#pragma once

#include <cstddef>
#include <string>

class JobProgress {
  public:
    // The record of job `jobId` of printer `printerId` in the spool
    // directory, read if an earlier run of the job left one.
    JobProgress(const std::string& spoolDirectory, int printerId, int jobId);
    JobProgress(const JobProgress&) = delete;
    JobProgress& operator=(const JobProgress&) = delete;
    ~JobProgress();

    // Labels taken whole by an earlier run of the job (0 for a new job).
    std::size_t taken() const { return taken_; }

    // `labels` are taken whole now; written through to the disk.
    void record(std::size_t labels);

    // The job ended: its record goes, and no more is recorded.
    void finish();

  private:
    std::string path_;
    std::size_t taken_ = 0;
    int fd_ = -1;
    bool recorded_ = false; // the record is on disk
    bool finished_ = false;
};

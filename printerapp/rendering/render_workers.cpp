#include "printerapp/rendering/render_workers.h"

#include "printerapp/rendering/render_worker.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

// How long a worker may render without sending anything before it is taken
// to hang: a page of any size renders far sooner.
constexpr int kHungAfterSeconds = 60;
// How often a job waiting for its worker looks whether it was canceled.
constexpr int kCancelLookMs = 50;

std::string ownProgram() {
    char path[PATH_MAX];
    const ssize_t size = readlink("/proc/self/exe", path, sizeof path - 1);
    return size > 0 ? std::string(path, static_cast<std::size_t>(size)) : "label-printer-app";
}

// The job's document, open for its worker to read. A worker running as
// another user also gets the right to read it (the file's group becomes the
// worker's, readable by the group, while the job renders); the spool
// directory itself stays closed to it.
class HandedDocument {
  public:
    HandedDocument(const std::string& path, const std::optional<WorkerAccount>& account)
        : fd_(open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
        struct stat info {};
        if (fd_ < 0) {
            error_ = path + ": cannot open (" + std::strerror(errno) + ")";
            return;
        }
        if (!account)
            return;
        if (fstat(fd_, &info) != 0 || fchown(fd_, static_cast<uid_t>(-1), account->gid) != 0 ||
            fchmod(fd_, (info.st_mode & 0700) | 0040) != 0) {
            error_ = path + ": cannot hand the document to the render worker (" +
                     std::strerror(errno) + ")";
            return;
        }
        restore_ = true;
        mode_ = info.st_mode & 07777;
        gid_ = info.st_gid;
    }
    HandedDocument(const HandedDocument&) = delete;
    HandedDocument& operator=(const HandedDocument&) = delete;
    ~HandedDocument() {
        if (restore_ &&
            (fchmod(fd_, mode_) != 0 || fchown(fd_, static_cast<uid_t>(-1), gid_) != 0)) {
            // Still the server's file; the worker's group may read it until
            // the job is forgotten.
        }
        if (fd_ >= 0)
            close(fd_);
    }
    int fd() const { return fd_; }
    // Why the worker cannot have the document; empty when it can.
    const std::string& error() const { return error_; }

  private:
    int fd_;
    std::string error_;
    bool restore_ = false;
    mode_t mode_ = 0;
    gid_t gid_ = 0;
};

} // namespace

RenderWorkers::~RenderWorkers() {
    const std::lock_guard<std::mutex> hold(lock_);
    for (auto& [id, worker] : workers_)
        stop(worker, true);
}

bool RenderWorkers::start(Worker& worker, std::string& error) {
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
        error = std::string("cannot start the label renderer: ") + std::strerror(errno);
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // dup2 leaves the worker's end open across exec.
    posix_spawn_file_actions_adddup2(&actions, ends[1], kRenderWorkerFd);
    const std::string program = ownProgram();
    const std::string account = account_ ? accountArgument(*account_) : "";
    char* argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>(kRenderWorkerArgument),
                    account_ ? const_cast<char*>(account.c_str()) : nullptr, nullptr};
    pid_t pid = 0;
    const int failed = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(ends[1]);
    if (failed != 0) {
        close(ends[0]);
        error = std::string("cannot start the label renderer: ") + std::strerror(failed);
        return false;
    }
    worker.pid = pid;
    worker.fd = ends[0];
    return true;
}

std::string RenderWorkers::stop(Worker& worker, bool kill) {
    if (worker.pid <= 0)
        return {};
    if (kill)
        ::kill(worker.pid, SIGKILL);
    close(worker.fd);
    int status = 0;
    while (waitpid(worker.pid, &status, 0) < 0 && errno == EINTR) {
    }
    worker = Worker{};
    if (WIFSIGNALED(status))
        return "the label renderer stopped (signal " + std::to_string(WTERMSIG(status)) + ", " +
               strsignal(WTERMSIG(status)) + ")";
    return "the label renderer stopped (exit status " + std::to_string(WEXITSTATUS(status)) + ")";
}

pid_t RenderWorkers::workerOf(int printerId) {
    const std::lock_guard<std::mutex> hold(lock_);
    const auto found = workers_.find(printerId);
    return found == workers_.end() ? 0 : found->second.pid;
}

void RenderWorkers::prepare(int printerId) {
    const std::lock_guard<std::mutex> hold(lock_);
    Worker& worker = workers_[printerId];
    std::string error;
    if (worker.pid <= 0 && !start(worker, error))
        worker = Worker{};
}

void RenderWorkers::forget(int printerId) {
    const std::lock_guard<std::mutex> hold(lock_);
    if (const auto found = workers_.find(printerId); found != workers_.end()) {
        stop(found->second, true);
        workers_.erase(found);
    }
}

RenderOutcome RenderWorkers::render(int printerId, const RenderRequest& request,
                                    PageReceiver& receiver) {
    RenderOutcome outcome;
    Worker worker;
    {
        // The printer's lane lets one of its jobs at a time come here.
        const std::lock_guard<std::mutex> hold(lock_);
        worker = workers_[printerId];
    }
    const auto keep = [&] {
        const std::lock_guard<std::mutex> hold(lock_);
        workers_[printerId] = worker;
    };
    const std::vector<std::uint8_t> job = encodeRequest(request);
    const HandedDocument document(request.path, account_);
    if (!document.error().empty()) {
        outcome.error = document.error();
        return outcome;
    }
    if (worker.pid <= 0 || !sendMessage(worker.fd, MessageType::kJob, job, document.fd())) {
        // Not started yet, or gone since its last job: a new one.
        stop(worker, true);
        const bool started = start(worker, outcome.error);
        keep();
        if (!started || !sendMessage(worker.fd, MessageType::kJob, job, document.fd())) {
            outcome.workerFailed = true;
            if (outcome.error.empty())
                outcome.error = stop(worker, true);
            keep();
            return outcome;
        }
    }
    bool stopSent = false;
    const auto stopJob = [&] {
        if (!stopSent)
            sendMessage(worker.fd, MessageType::kCancel, nullptr, 0);
        stopSent = true;
    };
    int quietMs = 0;
    Message message; // its payload's memory serves every page
    for (;;) {
        pollfd ready{worker.fd, POLLIN, 0};
        const int polled = poll(&ready, 1, kCancelLookMs);
        if (polled == 0) {
            if (receiver.canceled())
                stopJob();
            quietMs += kCancelLookMs;
            if (quietMs < kHungAfterSeconds * 1000)
                continue;
            outcome.workerFailed = true;
            outcome.error =
                "the label renderer did not answer for " + std::to_string(kHungAfterSeconds) + " s";
            stop(worker, true);
            keep();
            return outcome;
        }
        quietMs = 0;
        if (polled < 0 || !receiveMessage(worker.fd, message)) {
            if (polled < 0 && errno == EINTR)
                continue;
            outcome.workerFailed = true;
            outcome.error = stop(worker, false);
            keep();
            return outcome;
        }
        if (message.type == MessageType::kPage) {
            if (!stopSent && receiver.canceled())
                stopJob();
            if (!stopSent && !receiver.page(message.payload))
                stopJob();
            continue;
        }
        if (message.type != MessageType::kEnd)
            continue;
        const std::optional<RenderEnd> end = decodeEnd(message.payload);
        if (!end) {
            outcome.workerFailed = true;
            outcome.error = stop(worker, true);
            keep();
            return outcome;
        }
        outcome.ok = end->ok;
        outcome.canceled = end->canceled;
        outcome.error = end->error;
        outcome.trailing = end->trailing;
        keep();
        return outcome;
    }
}

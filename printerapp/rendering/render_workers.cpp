#include "printerapp/rendering/render_workers.h"

#include "printerapp/rendering/render_worker.h"

#include <algorithm>
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

RenderWorkers::RenderWorkers(std::size_t limit, std::optional<WorkerAccount> account,
                             std::chrono::milliseconds idleFor, std::size_t jobsAWorker,
                             std::string program)
    : limit_(std::max<std::size_t>(limit, 1)), account_(std::move(account)), idleFor_(idleFor),
      jobsAWorker_(std::max<std::size_t>(jobsAWorker, 1)),
      program_(program.empty() ? ownProgram() : std::move(program)),
      ending_(&RenderWorkers::endIdleWorkers, this) {}

RenderWorkers::~RenderWorkers() {
    {
        const std::lock_guard<std::mutex> hold(lock_);
        stopping_ = true;
        idled_.notify_all();
    }
    ending_.join();
    // A busy worker is its job's until the job ends; it ends with the server.
    for (Worker& worker : idle_)
        stop(worker, true);
}

std::size_t RenderWorkers::defaultLimit() {
    return std::max(1u, std::thread::hardware_concurrency());
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
    const std::string& program = program_;
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

RenderWorkers::Taken RenderWorkers::take(Worker& worker, PageReceiver& receiver,
                                         std::string& error) {
    std::unique_lock<std::mutex> hold(lock_);
    // Jobs that wait are served in the order they came, so no printer's job
    // waits behind later ones.
    const std::uint64_t ticket = tickets_++;
    waiting_.push_back(ticket);
    const auto leave = [&] {
        waiting_.erase(std::find(waiting_.begin(), waiting_.end(), ticket));
        freed_.notify_all();
    };
    for (;;) {
        if (waiting_.front() == ticket && !idle_.empty()) {
            worker = idle_.back();
            idle_.pop_back();
            leave();
            return Taken::kIdle;
        }
        if (waiting_.front() == ticket && running_ < limit_) {
            ++running_;
            leave();
            hold.unlock();
            if (start(worker, error))
                return Taken::kStarted;
            release();
            return Taken::kFailed;
        }
        freed_.wait_for(hold, std::chrono::milliseconds(kCancelLookMs));
        // Asked outside the pool's lock: PAPPL takes the job's own for it.
        hold.unlock();
        const bool canceled = receiver.canceled();
        hold.lock();
        if (canceled) {
            leave();
            return Taken::kCanceled;
        }
    }
}

void RenderWorkers::giveBack(Worker worker) {
    if (worker.jobs >= jobsAWorker_) {
        stop(worker, false);
        release();
        return;
    }
    const std::lock_guard<std::mutex> hold(lock_);
    worker.idleSince = std::chrono::steady_clock::now();
    idle_.push_back(worker);
    freed_.notify_all();
    idled_.notify_all();
}

void RenderWorkers::release() {
    const std::lock_guard<std::mutex> hold(lock_);
    --running_;
    freed_.notify_all();
}

void RenderWorkers::endIdleWorkers() {
    std::unique_lock<std::mutex> hold(lock_);
    while (!stopping_) {
        if (idle_.empty()) {
            idled_.wait(hold);
            continue;
        }
        // The first in line became idle first.
        if (idled_.wait_until(hold, idle_.front().idleSince + idleFor_) ==
            std::cv_status::no_timeout)
            continue;
        const auto now = std::chrono::steady_clock::now();
        std::vector<Worker> ended;
        while (!idle_.empty() && idle_.front().idleSince + idleFor_ <= now) {
            ended.push_back(idle_.front());
            idle_.pop_front();
        }
        // Room for another worker only once these are gone, so that no more
        // than the limit ever run.
        hold.unlock();
        for (Worker& worker : ended)
            stop(worker, false);
        hold.lock();
        running_ -= ended.size();
        freed_.notify_all();
    }
}

void RenderWorkers::prepare() {
    {
        const std::lock_guard<std::mutex> hold(lock_);
        if (running_ > 0)
            return;
        ++running_;
    }
    Worker worker;
    std::string error;
    if (start(worker, error))
        giveBack(worker);
    else
        release();
}

// The pages of a job its worker has sent and its printer has not yet taken,
// passed from the thread that reads the worker to the job's own thread.
struct RenderWorkers::Pages {
    std::mutex lock;
    std::condition_variable ready; // a page came, or the job's rendering ended
    std::condition_variable taken; // a page was passed on, or the job is to stop
    std::deque<std::vector<std::uint8_t>> queue;
    bool stop = false;  // canceled, or the printer takes no more: the worker stops
    bool ended = false; // the worker ended the job, or failed
    RenderOutcome outcome;
};

bool RenderWorkers::keepPage(std::size_t bytes, bool anyway) {
    const std::lock_guard<std::mutex> hold(lock_);
    if (!anyway && keptBytes_ + bytes > kKeptPageBytes)
        return false;
    keptBytes_ += bytes;
    return true;
}

void RenderWorkers::pageTaken(std::size_t bytes) {
    const std::lock_guard<std::mutex> hold(lock_);
    keptBytes_ -= bytes;
}

void RenderWorkers::read(Worker worker, Pages& pages) {
    // A worker that failed is ended and leaves the pool; the job fails.
    const auto failed = [&](bool kill, const std::string& error) {
        const std::string ended = stop(worker, kill);
        release();
        const std::lock_guard<std::mutex> hold(pages.lock);
        pages.outcome.workerFailed = true;
        pages.outcome.error = error.empty() ? ended : error;
        pages.ended = true;
        pages.ready.notify_all();
    };
    bool stopSent = false;
    int quietMs = 0;
    Message message;
    for (;;) {
        if (!stopSent) {
            const std::lock_guard<std::mutex> hold(pages.lock);
            if ((stopSent = pages.stop))
                sendMessage(worker.fd, MessageType::kCancel, nullptr, 0);
        }
        pollfd ready{worker.fd, POLLIN, 0};
        const int polled = poll(&ready, 1, kCancelLookMs);
        if (polled == 0) {
            quietMs += kCancelLookMs;
            if (quietMs < kHungAfterSeconds * 1000)
                continue;
            return failed(true, "the label renderer did not answer for " +
                                    std::to_string(kHungAfterSeconds) + " s");
        }
        quietMs = 0;
        if (polled < 0 || !receiveMessage(worker.fd, message)) {
            if (polled < 0 && errno == EINTR)
                continue;
            return failed(false, "");
        }
        if (message.type == MessageType::kPage) {
            std::unique_lock<std::mutex> hold(pages.lock);
            // A page is always let wait while its job holds none; more
            // only within the pool's budget, else the worker waits for the
            // printer as well.
            const std::size_t bytes = message.payload.size();
            while (!pages.stop && !keepPage(bytes, pages.queue.empty()))
                pages.taken.wait_for(hold, std::chrono::milliseconds(kCancelLookMs));
            if (pages.stop)
                continue;
            pages.queue.push_back(std::move(message.payload));
            pages.ready.notify_all();
            continue;
        }
        if (message.type != MessageType::kEnd)
            continue;
        const std::optional<RenderEnd> end = decodeEnd(message.payload);
        if (!end)
            return failed(true, "");
        // Rendered: the worker serves the next job while the printer takes
        // what is left of this one.
        ++worker.jobs;
        giveBack(worker);
        const std::lock_guard<std::mutex> hold(pages.lock);
        pages.outcome.ok = end->ok;
        pages.outcome.canceled = end->canceled;
        pages.outcome.error = end->error;
        pages.outcome.trailing = end->trailing;
        pages.ended = true;
        pages.ready.notify_all();
        return;
    }
}

RenderOutcome RenderWorkers::render(const RenderRequest& request, PageReceiver& receiver) {
    RenderOutcome outcome;
    const HandedDocument document(request.path, account_);
    if (!document.error().empty()) {
        outcome.error = document.error();
        return outcome;
    }
    const std::vector<std::uint8_t> job = encodeRequest(request);
    Worker worker;
    for (;;) {
        const Taken taken = take(worker, receiver, outcome.error);
        if (taken == Taken::kCanceled) {
            outcome.canceled = true;
            return outcome;
        }
        if (taken == Taken::kFailed) {
            outcome.workerFailed = true;
            return outcome;
        }
        if (sendMessage(worker.fd, MessageType::kJob, job, document.fd()))
            break;
        // An idle worker that ended since its last job gives way to another.
        const std::string ended = stop(worker, true);
        release();
        if (taken == Taken::kStarted) {
            outcome.workerFailed = true;
            outcome.error = ended;
            return outcome;
        }
    }
    // The worker is read on a thread of its own, so that it renders on and
    // goes back to the pool as soon as the job is rendered, however slowly
    // the printer takes the pages; they are passed on here, on the job's
    // thread, as the printer takes them.
    Pages pages;
    std::thread reading(&RenderWorkers::read, this, worker, std::ref(pages));
    const auto stopJob = [&] {
        const std::lock_guard<std::mutex> hold(pages.lock);
        pages.stop = true;
        pages.taken.notify_all();
    };
    bool stopped = false;
    for (;;) {
        std::vector<std::uint8_t> page;
        bool got = false;
        {
            std::unique_lock<std::mutex> hold(pages.lock);
            pages.ready.wait_for(hold, std::chrono::milliseconds(kCancelLookMs),
                                 [&] { return !pages.queue.empty() || pages.ended; });
            if (pages.queue.empty() && pages.ended)
                break;
            if (!pages.queue.empty()) {
                got = true;
                page = std::move(pages.queue.front());
                pages.queue.pop_front();
                pages.taken.notify_all();
            }
        }
        if (got)
            pageTaken(page.size());
        if (stopped)
            continue;
        if (receiver.canceled() || (got && !receiver.page(page))) {
            stopJob();
            stopped = true;
        }
    }
    reading.join();
    return std::move(pages.outcome);
}

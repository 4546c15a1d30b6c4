// The server's side of the render workers: a pool of processes that any
// printer's job may use, started when a job finds none free, at most as many
// at once as the pool's limit, and ended after a while without a job.
#pragma once

#include "printerapp/rendering/render_protocol.h"
#include "printerapp/rendering/worker_sandbox.h"

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

// How long a worker waits for its next job before it is ended: long enough
// that a printer's next job of a burst finds it warm (a start costs the job
// the plug-in's and the PDF reader's loading), short enough that a quiet
// server keeps no process.
inline constexpr auto kWorkerIdleFor = std::chrono::seconds(30);
// A worker ends after this many jobs, a fresh one in its place when wanted:
// what its heap grew to over a busy day goes with it (a ten-minute run at
// full load grew a worker by 0.4 MB a minute), for a few milliseconds'
// start now and then.
inline constexpr std::size_t kJobsAWorker = 1000;

// How much of the server's memory the pages rendered for printers that have
// not yet taken them may fill, over all jobs (a 4 x 6 in label is about
// 120 KiB): a slow printer does not hold a worker while it prints, and the
// server does not grow with many of them; past it a job's worker waits for
// its printer, as it always does for the page after its job's first.
inline constexpr std::size_t kKeptPageBytes = 32u << 20;

// Where a job's pages go as the worker sends them.
class PageReceiver {
  public:
    // One page's bytes; false when they could not be passed on (the job
    // then stops).
    virtual bool page(const std::vector<std::uint8_t>& bytes) = 0;
    // Whether the job was canceled: no further page is passed on.
    virtual bool canceled() = 0;

  protected:
    ~PageReceiver() = default;
};

struct RenderOutcome {
    bool ok = false;
    bool canceled = false;
    bool workerFailed = false; // the worker crashed, hung or could not be started
    std::string error;
    std::vector<std::uint8_t> trailing; // what the job wrote after its last page
};

class RenderWorkers {
  public:
    // At most `limit` workers at once (at least one), each ended after
    // `idleFor` without a job; they run as `account` when given (the server
    // being root), else as the server's user. A worker is this program,
    // unless `program` names another that serves as one (tests, which are
    // not the server, name the server's).
    explicit RenderWorkers(std::size_t limit, std::optional<WorkerAccount> account = std::nullopt,
                           std::chrono::milliseconds idleFor = kWorkerIdleFor,
                           std::size_t jobsAWorker = kJobsAWorker, std::string program = {});
    RenderWorkers(const RenderWorkers&) = delete;
    RenderWorkers& operator=(const RenderWorkers&) = delete;
    ~RenderWorkers();

    // The pool's limit when the site names none: one worker for each core.
    static std::size_t defaultLimit();

    // Renders `request` in a free worker, or in one started for it while
    // the pool has room, else waits for one to be free (canceled when the
    // job is, meanwhile); the pages go to `receiver` on the caller's thread
    // as the printer takes them, the worker free for the next job once it
    // has rendered this one.
    RenderOutcome render(const RenderRequest& request, PageReceiver& receiver);

    // Starts a worker when the pool has none, so that the first job does
    // not wait for it; one that cannot be started now is tried again at a
    // job.
    void prepare();

  private:
    struct Worker {
        pid_t pid = 0;
        int fd = -1;
        std::chrono::steady_clock::time_point idleSince;
        std::size_t jobs = 0; // rendered whole
    };
    enum class Taken { kIdle, kStarted, kFailed, kCanceled };
    struct Pages;

    // A worker for a job: the last one to become free, a new one, or one
    // that becomes free while the job waits.
    Taken take(Worker& worker, PageReceiver& receiver, std::string& error);
    // A worker that rendered its job whole goes back to the pool, or ends
    // once it has rendered `jobsAWorker_` jobs.
    void giveBack(Worker worker);
    // A worker that was ended (it failed, or could not be started) leaves
    // room for another.
    void release();
    // Reads the job's pages from its worker into `pages`, and gives the
    // worker back as soon as it has rendered the job.
    void read(Worker worker, Pages& pages);
    // Counts a page that waits for its printer; false, unless `anyway`, when
    // the pool's budget for them has no room.
    bool keepPage(std::size_t bytes, bool anyway);
    // A page its printer took leaves room for another.
    void pageTaken(std::size_t bytes);
    bool start(Worker& worker, std::string& error);
    // Ends a worker, saying how it ended.
    std::string stop(Worker& worker, bool kill);
    // The pool's thread: ends the workers idle for `idleFor_`.
    void endIdleWorkers();

    const std::size_t limit_;
    const std::optional<WorkerAccount> account_;
    const std::chrono::milliseconds idleFor_;
    const std::size_t jobsAWorker_;
    const std::string program_;
    std::mutex lock_;
    std::condition_variable freed_;     // a worker or room for one became free
    std::condition_variable idled_;     // a worker became idle, or the pool is ending
    std::deque<Worker> idle_;           // the last to become free at the back
    std::size_t running_ = 0;           // busy, idle and starting
    std::deque<std::uint64_t> waiting_; // the jobs that want a worker, first come first
    std::uint64_t tickets_ = 0;
    std::size_t keptBytes_ = 0; // pages waiting for their printers
    bool stopping_ = false;
    std::thread ending_;
};

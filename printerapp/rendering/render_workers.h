// The server's side of the render workers: one process for each printer,
// started with the printer and started again after a crash.
#pragma once

#include "printerapp/rendering/render_protocol.h"
#include "printerapp/rendering/worker_sandbox.h"

#include <sys/types.h>

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

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
    // Workers run as `account` when given (the server being root), else as
    // the server's user.
    explicit RenderWorkers(std::optional<WorkerAccount> account = std::nullopt)
        : account_(std::move(account)) {}
    RenderWorkers(const RenderWorkers&) = delete;
    RenderWorkers& operator=(const RenderWorkers&) = delete;
    ~RenderWorkers();

    // Renders `request` in the printer's worker, one job of a printer at a
    // time; the pages go to `receiver` as they come.
    RenderOutcome render(int printerId, const RenderRequest& request, PageReceiver& receiver);

    // Starts the printer's worker, unless it has one, so that its first job
    // does not wait for it; a worker that cannot be started now is tried
    // again at the job.
    void prepare(int printerId);

    // Stops a deleted printer's worker.
    void forget(int printerId);

    // The printer's worker process, or 0 while it has none.
    pid_t workerOf(int printerId);

  private:
    struct Worker {
        pid_t pid = 0;
        int fd = -1;
    };
    bool start(Worker& worker, std::string& error);
    // Ends a worker that failed, saying how it ended.
    std::string stop(Worker& worker, bool kill);

    const std::optional<WorkerAccount> account_;
    std::mutex lock_;
    std::map<int, Worker> workers_;
};

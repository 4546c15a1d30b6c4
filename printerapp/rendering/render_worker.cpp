#include "printerapp/rendering/render_worker.h"

#include "host/installed_files.h"
#include "host/page_memory.h"
#include "printerapp/rendering/label_renderer.h"
#include "printerapp/rendering/worker_sandbox.h"

#include <cstdio>
#include <cstdlib>
#include <malloc.h>
#include <poll.h>

namespace {

// Freed memory the worker keeps for the next job rather than give back.
constexpr std::size_t kKeptFreeBytes = 16u << 20;

// The job's spool stream to the server, a page at a time; what follows the
// last page (the job-end commands) goes with the job's end. The page's
// buffer is the worker's, kept from job to job at the size of its largest
// page, so a page is not copied again as it grows.
class ServerSink final : public standin::SpoolSink {
  public:
    ServerSink(int fd, std::vector<std::uint8_t>& pending) : fd_(fd), pending_(pending) {
        pending_.clear();
    }
    bool write(const BYTE* bytes, std::size_t count) override {
        pending_.insert(pending_.end(), bytes, bytes + count);
        return true;
    }
    bool pageDone() override {
        const bool sent = sendMessage(fd_, MessageType::kPage, pending_);
        pending_.clear();
        return sent;
    }
    const std::vector<std::uint8_t>& pending() const { return pending_; }

  private:
    int fd_;
    std::vector<std::uint8_t>& pending_;
};

// Whether the server has asked this job to stop; asked between pages.
bool cancelArrived(int fd) {
    pollfd ready{fd, POLLIN, 0};
    if (poll(&ready, 1, 0) <= 0)
        return false;
    Message message;
    // A server that went away stops the job as well.
    return !receiveMessage(fd, message) || message.type == MessageType::kCancel;
}

// The job's document is read through the open file the server sent with
// it: the worker may have no right to its name in the spool directory.
// Messages still name the document as the server knows it.
RenderResult renderHandedDocument(PluginEngine& engine, RenderRequest request, int document,
                                  standin::SpoolSink& sink, const std::function<bool()>& stop) {
    if (document < 0) {
        RenderResult result;
        result.error = request.path + ": the document did not come with the job";
        return result;
    }
    const std::string named = request.path;
    request.path = "/proc/self/fd/" + std::to_string(document);
    RenderResult result = renderDocument(engine, request, sink, stop);
    if (result.error.compare(0, request.path.size(), request.path) == 0)
        result.error.replace(0, request.path.size(), named);
    return result;
}

void renderJob(PluginEngine& engine, int fd, const RenderRequest& request, int document,
               std::vector<std::uint8_t>& pageBuffer) {
    // The host plug-in's stand-in for the system's ANSI code page; this
    // process has one thread.
    setenv("ANSI_CODE_PAGE", std::to_string(request.settings.codePage).c_str(), 1);
    ServerSink sink(fd, pageBuffer);
    bool canceled = false;
    const std::function<bool()> stop = [&] { return canceled = canceled || cancelArrived(fd); };
    const RenderResult result = renderHandedDocument(engine, request, document, sink, stop);
    RenderEnd end;
    end.ok = result.ok;
    end.canceled = result.stopped;
    end.error = result.error;
    end.trailing = sink.pending();
    sendMessage(fd, MessageType::kEnd, encodeEnd(end));
}

} // namespace

int runRenderWorker(const char* account) {
    // A worker never outlives its server: the socket's end ends it. (Not
    // PR_SET_PDEATHSIG: that follows the thread that started the worker,
    // and job threads end with their jobs.)
    const int fd = kRenderWorkerFd;
    std::optional<WorkerAccount> user;
    if (account && !(user = parseAccountArgument(account))) {
        std::fprintf(stderr, "label-printer-app render worker: no account in \"%s\"\n", account);
        return 1;
    }
    std::string error;
    if (!enterWorkerSandbox(user, error)) {
        std::fprintf(stderr, "label-printer-app render worker: %s\n", error.c_str());
        return 1;
    }
    keepPageMemory();
    PluginEngine engine;
    if (!engine.load(installedFile("LABEL_PLUGIN", "liblabelplug.so"), error)) {
        std::fprintf(stderr, "label-printer-app render worker: %s\n", error.c_str());
        return 1;
    }
    Message message;
    std::vector<std::uint8_t> pageBuffer;
    while (receiveMessage(fd, message)) {
        if (message.type != MessageType::kJob)
            continue; // a cancel that came after its job ended
        const std::optional<RenderRequest> request = decodeRequest(message.payload);
        if (!request)
            return 1;
        renderJob(engine, fd, *request, message.passed, pageBuffer);
        // What a large job took goes back to the system (trimming after
        // every small job would cost each a few milliseconds).
        if (pageBuffer.capacity() > kKeptFreeBytes)
            std::vector<std::uint8_t>().swap(pageBuffer);
        if (mallinfo2().fordblks > kKeptFreeBytes)
            malloc_trim(0);
    }
    return 0;
}

// Getting a spool stream's bytes into a descriptor: through a fixed buffer,
// past interrupted and short writes, waiting for a slow reader only so long,
// and turning a vanished reader into an error instead of SIGPIPE.
#include "output/spool_kinds.h"

#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>
#include <new>
#include <optional>
#include <utility>

namespace {

constexpr std::size_t kBufferSize = 64 * 1024;

// Blocks SIGPIPE in this thread around writes to a pipe, FIFO or device, so
// that a reader that went away shows as EPIPE; the process's disposition and
// other threads are left alone.
class SigpipeBlock {
  public:
    SigpipeBlock() {
        sigemptyset(&pipeOnly_);
        sigaddset(&pipeOnly_, SIGPIPE);
        blocked_ = pthread_sigmask(SIG_BLOCK, &pipeOnly_, &previous_) == 0;
        sigset_t pending;
        sigemptyset(&pending);
        pendingBefore_ = blocked_ && sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE);
    }
    ~SigpipeBlock() {
        if (blocked_)
            pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
    }
    SigpipeBlock(const SigpipeBlock&) = delete;
    SigpipeBlock& operator=(const SigpipeBlock&) = delete;

    // Takes back the SIGPIPE our own EPIPE raised, so that unblocking does
    // not deliver it; one that was pending before is somebody else's.
    void settle(int error) {
        if (!blocked_ || error != EPIPE || pendingBefore_)
            return;
        const timespec zero{};
        while (sigtimedwait(&pipeOnly_, nullptr, &zero) < 0 && errno == EINTR) {
        }
    }

  private:
    sigset_t pipeOnly_;
    sigset_t previous_;
    bool blocked_ = false;
    bool pendingBefore_ = false;
};

// Who fails to take data, in messages.
const char* readerNoun(Peer peer) {
    return peer == Peer::device || peer == Peer::printerSocket ? "printer" : "reader";
}

} // namespace

WaitLimit::WaitLimit(int timeoutSeconds, SpoolClock::time_point start)
    : limited_(timeoutSeconds > 0), deadline_(start + std::chrono::seconds(timeoutSeconds)) {}

// Rounded up, so that a wait never ends just short of the deadline and spins.
int WaitLimit::remainingMilliseconds() const {
    if (!limited_)
        return -1;
    const auto left = deadline_ - SpoolClock::now();
    if (left <= SpoolClock::duration::zero())
        return 0;
    const auto milliseconds = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return static_cast<int>(std::min<long long>(milliseconds, INT_MAX));
}

std::string secondsText(int seconds) {
    return std::to_string(seconds) + (seconds == 1 ? " second" : " seconds");
}

BufferedTarget::BufferedTarget(std::string name, int descriptor, bool closes, Peer peer,
                               int timeoutSeconds)
    : SpoolTarget(std::move(name)), descriptor_(descriptor), peer_(peer),
      // Standard output is shared, so it stays blocking and is waited on.
      timeoutSeconds_(peer == Peer::standardOutput || peer == Peer::file ? 0 : timeoutSeconds),
      closes_(closes), buffer_(new (std::nothrow) unsigned char[kBufferSize]) {}

// A descriptor still open here belongs to a target its owner never
// finished; the derived class has already dealt with what it means.
BufferedTarget::~BufferedTarget() {
    closeDescriptor();
}

// Small writes gather in the buffer; a piece at least as large as the buffer
// goes straight out when the buffer is empty, saving the copy.
bool BufferedTarget::write(const void* data, std::size_t size) {
    if (failed() || descriptor_ < 0)
        return false;
    const auto* bytes = static_cast<const unsigned char*>(data);
    while (size > 0) {
        if (used_ == 0 && size >= kBufferSize)
            return writeOut(bytes, size);
        const std::size_t piece = std::min(size, kBufferSize - used_);
        std::memcpy(buffer_.get() + used_, bytes, piece);
        used_ += piece;
        bytes += piece;
        size -= piece;
        if (used_ == kBufferSize && !flush())
            return false;
    }
    return true;
}

// The buffer is empty afterwards even on failure, so nothing is sent twice.
bool BufferedTarget::flush() {
    if (failed() || descriptor_ < 0)
        return false;
    const std::size_t size = used_;
    used_ = 0;
    return writeOut(buffer_.get(), size);
}

// close() is checked as well, since some filesystems report a failed write
// only there.
bool BufferedTarget::commit() {
    if (finished_)
        return committed_;
    finished_ = true;
    bool ok = flush() && settle();
    if (!closeDescriptor() && ok)
        ok = failWith(errno);
    committed_ = complete(ok);
    return committed_;
}

// What was already sent stays sent; what is still buffered is dropped.
void BufferedTarget::abandon() {
    if (finished_)
        return;
    finished_ = true;
    used_ = 0;
    closeDescriptor();
    discard();
}

bool BufferedTarget::closeDescriptor() {
    if (descriptor_ < 0)
        return true;
    const int descriptor = std::exchange(descriptor_, -1);
    // After EINTR the descriptor is gone all the same on the systems we run on.
    return !closes_ || ::close(descriptor) == 0 || errno == EINTR;
}

// Sockets say MSG_NOSIGNAL themselves; everything else written with write()
// is covered by blocking SIGPIPE. A wait for room is measured from the last
// byte that got through, so a slow printer is not a stalled one.
bool BufferedTarget::writeOut(const unsigned char* data, std::size_t size) {
    const bool socket = peer_ == Peer::localSocket || peer_ == Peer::printerSocket;
    std::optional<SigpipeBlock> block;
    if (!socket && peer_ != Peer::file && size > 0)
        block.emplace();
    auto lastProgress = SpoolClock::now();
    while (size > 0) {
        const ssize_t written = socket ? ::send(descriptor_, data, size, MSG_NOSIGNAL)
                                       : ::write(descriptor_, data, size);
        if (written > 0) {
            data += written;
            size -= static_cast<std::size_t>(written);
            lastProgress = SpoolClock::now();
            continue;
        }
        const int error = written < 0 ? errno : EAGAIN; // nothing taken: wait as when full
        if (error == EINTR)
            continue;
        if (error != EAGAIN && error != EWOULDBLOCK) {
            if (block)
                block->settle(error);
            return failWith(error);
        }
        const WaitLimit limit(timeoutSeconds_, lastProgress);
        pollfd room{descriptor_, POLLOUT, 0};
        const int waitMs = limit.remainingMilliseconds();
        if (waitMs == 0)
            return failWith(kStalled);
        // A descriptor that takes nothing yet reports room must not spin.
        const int ready = written == 0 ? ::poll(nullptr, 0, std::min(waitMs < 0 ? 10 : waitMs, 10))
                                       : ::poll(&room, 1, waitMs);
        if (ready < 0 && errno != EINTR)
            return failWith(errno);
        // Room, an error the next write reports, or time to look at the clock.
    }
    return true;
}

// The same errno means different things by peer: EPIPE from a FIFO is a
// reader that left, EIO from a printer's port a printer that went away.
bool BufferedTarget::failWith(int error) {
    if (error == kStalled)
        return fail(std::string("the ") + readerNoun(peer_) + " took no data for " +
                    secondsText(timeoutSeconds_));
    const std::string reason = std::strerror(error);
    switch (peer_) {
    case Peer::standardOutput:
    case Peer::pipe:
        if (error == EPIPE)
            return fail("the reader closed the pipe");
        break;
    case Peer::localSocket:
    case Peer::printerSocket:
        if (error == EPIPE || error == ECONNRESET || error == ENOTCONN)
            return fail(std::string("the ") + readerNoun(peer_) + " closed the connection (" +
                        reason + ")");
        break;
    case Peer::device:
        if (error == ENODEV || error == ENXIO || error == EIO)
            return fail("the printer is unplugged or not ready (" + reason + ")");
        break;
    case Peer::file:
        break;
    }
    return fail("cannot write (" + reason + ")");
}

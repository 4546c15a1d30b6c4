// Targets that take the bytes as they come: standard output, FIFOs, printer
// device nodes, UNIX sockets and network printers. None is created,
// truncated or replaced; each is only opened and written.
#include "output/spool_kinds.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <new>
#include <utility>

#include "output/tcp_connection.h"

namespace {

// How often a missing FIFO reader or a full listen queue is looked at again.
constexpr int kRetryMilliseconds = 20;
// How often a closing socket's send queue is looked at.
constexpr int kDrainPollMilliseconds = 50;

class StreamTarget final : public BufferedTarget {
  public:
    StreamTarget(std::string name, int descriptor, bool closes, Peer peer, int timeoutSeconds)
        : BufferedTarget(std::move(name), descriptor, closes, peer, timeoutSeconds) {}
    ~StreamTarget() override { abandon(); }

    bool streams() const override { return true; }

  private:
    bool settle() override;
    bool finishSocket();
    int discardInput();
};

// A network printer has the stream only once it has taken the last byte,
// not once the last byte is in our send queue.
bool StreamTarget::settle() {
    return (peer_ != Peer::localSocket && peer_ != Peer::printerSocket) || finishSocket();
}

// Reads away whatever the peer sent (printers may answer with status
// bytes): 0 when more may come, -1 at its end, or the errno of a failure.
int StreamTarget::discardInput() {
    unsigned char sink[512];
    for (;;) {
        const ssize_t got = ::recv(descriptor_, sink, sizeof sink, 0);
        if (got > 0)
            continue;
        if (got == 0)
            return -1;
        if (errno == EINTR)
            continue;
        return errno == EAGAIN || errno == EWOULDBLOCK ? 0 : errno;
    }
}

// Closing a socket that holds unread input sends a reset, and a printer that
// is reset may drop what it has not read yet. So the end of the stream is
// announced, the printer's answers are read away, and the socket is closed
// once the peer has taken every byte, or has taken none for the timeout.
bool StreamTarget::finishSocket() {
    if (::shutdown(descriptor_, SHUT_WR) != 0)
        return failWith(errno);
    auto lastProgress = SpoolClock::now();
    int lastQueued = INT_MAX;
    bool inputEnded = false;
    for (;;) {
        int pending = 0;
        socklen_t size = sizeof pending;
        if (::getsockopt(descriptor_, SOL_SOCKET, SO_ERROR, &pending, &size) == 0 && pending != 0)
            return failWith(pending);
        if (!inputEnded) {
            const int input = discardInput();
            if (input > 0)
                return failWith(input);
            inputEnded = input < 0;
        }
        int queued = 0;
        // Where the queue cannot be asked for, the system finishes sending on its own.
        if (::ioctl(descriptor_, TIOCOUTQ, &queued) != 0 || queued <= 0)
            return true;
        if (queued < lastQueued) {
            lastQueued = queued;
            lastProgress = SpoolClock::now();
        }
        const int waitMs = WaitLimit(timeoutSeconds_, lastProgress).remainingMilliseconds();
        if (waitMs == 0)
            return failWith(kStalled);
        const int pause =
            waitMs < 0 ? kDrainPollMilliseconds : std::min(waitMs, kDrainPollMilliseconds);
        pollfd answer{descriptor_, POLLIN, 0};
        ::poll(inputEnded ? nullptr : &answer, inputEnded ? 0 : 1, pause);
    }
}

// Sleeps a moment before another try; false once the wait is over.
bool pauseBeforeRetry(const WaitLimit& limit) {
    const int waitMs = limit.remainingMilliseconds();
    if (waitMs == 0)
        return false;
    ::poll(nullptr, 0, waitMs < 0 ? kRetryMilliseconds : std::min(waitMs, kRetryMilliseconds));
    return true;
}

// Without its buffer a target is no use, so that is an open() failure.
std::unique_ptr<SpoolTarget> makeStream(const std::string& target, int descriptor, bool closes,
                                        Peer peer, int timeoutSeconds, std::string& error) {
    std::unique_ptr<StreamTarget> stream(
        new (std::nothrow) StreamTarget(target, descriptor, closes, peer, timeoutSeconds));
    if (stream && stream->hasBuffer())
        return stream;
    if (!stream && closes)
        ::close(descriptor);
    error = target + ": out of memory";
    return nullptr;
}

// A listener whose queue is full is waited for, as a FIFO's missing reader.
std::unique_ptr<SpoolTarget> openLocalSocket(const std::string& target, int timeoutSeconds,
                                             std::string& error) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (target.size() >= sizeof address.sun_path) {
        error = target + ": the socket's path is longer than " +
                std::to_string(sizeof address.sun_path - 1) + " bytes";
        return nullptr;
    }
    std::memcpy(address.sun_path, target.c_str(), target.size() + 1);
    const int descriptor = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (descriptor < 0) {
        error = target + ": cannot open (" + std::strerror(errno) + ")";
        return nullptr;
    }
    const WaitLimit limit(timeoutSeconds, SpoolClock::now());
    for (;;) {
        if (::connect(descriptor, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
            break;
        const int cause = errno;
        if (cause == EISCONN)
            break;
        if (cause == EINTR || (cause == EAGAIN && pauseBeforeRetry(limit)))
            continue;
        ::close(descriptor);
        error = target + ": cannot connect (" +
                (cause == EAGAIN ? "no connection accepted within " + secondsText(timeoutSeconds)
                                 : std::string(std::strerror(cause))) +
                ")";
        return nullptr;
    }
    return makeStream(target, descriptor, true, Peer::localSocket, timeoutSeconds, error);
}

} // namespace

std::unique_ptr<SpoolTarget> openStandardOutput(std::string& error) {
    const std::string name = "standard output";
    if (::fcntl(STDOUT_FILENO, F_GETFL) < 0) {
        error = name + ": cannot write (" + std::strerror(errno) + ")";
        return nullptr;
    }
    // Anything printed through stdio before belongs ahead of the stream.
    std::fflush(stdout);
    return makeStream(name, STDOUT_FILENO, false, Peer::standardOutput, 0, error);
}

// A serial port's line discipline would turn the bitmap's line-feed bytes
// into CR LF and worse; in raw mode every byte goes out as it is. The port's
// speed is left as the user set it.
void passBytesThrough(int descriptor) {
    termios settings{};
    if (!::isatty(descriptor) || ::tcgetattr(descriptor, &settings) != 0)
        return;
    ::cfmakeraw(&settings);
    ::tcsetattr(descriptor, TCSANOW, &settings);
}

// A FIFO without a reader refuses a non-blocking open with ENXIO; the reader
// may be a program started at the same moment, so it is waited for.
std::unique_ptr<SpoolTarget> openPathStream(const std::string& target, unsigned mode,
                                            int timeoutSeconds, std::string& error) {
    if (S_ISSOCK(mode))
        return openLocalSocket(target, timeoutSeconds, error);
    const WaitLimit limit(timeoutSeconds, SpoolClock::now());
    int descriptor = -1;
    for (;;) {
        descriptor = ::open(target.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (descriptor >= 0)
            break;
        const int cause = errno;
        if (cause == EINTR || (cause == ENXIO && S_ISFIFO(mode) && pauseBeforeRetry(limit)))
            continue;
        if (cause == ENXIO && S_ISFIFO(mode)) {
            error = target + ": no program is reading the pipe (waited " +
                    secondsText(timeoutSeconds) + ")";
            return nullptr;
        }
        error = target + ": cannot open (" + std::strerror(cause) + ")";
        return nullptr;
    }
    // The name may have become a regular file since it was looked at, and
    // writing that in place would leave some of its old content behind.
    struct stat opened {};
    if (::fstat(descriptor, &opened) != 0 || S_ISREG(opened.st_mode) || S_ISDIR(opened.st_mode)) {
        ::close(descriptor);
        error = target + ": changed while it was being opened";
        return nullptr;
    }
    if (S_ISCHR(opened.st_mode))
        passBytesThrough(descriptor);
    const Peer peer = S_ISFIFO(opened.st_mode) ? Peer::pipe : Peer::device;
    return makeStream(target, descriptor, true, peer, timeoutSeconds, error);
}

// Name and port are checked before any lookup, so a typing error reads as one.
std::unique_ptr<SpoolTarget> openPrinterSocket(const std::string& target, int timeoutSeconds,
                                               std::string& error) {
    PrinterAddress address;
    if (!parsePrinterAddress(target, address, error))
        return nullptr;
    const int descriptor = connectToPrinter(target, address, timeoutSeconds, error);
    if (descriptor < 0)
        return nullptr;
    return makeStream(target, descriptor, true, Peer::printerSocket, timeoutSeconds, error);
}

#include "printerapp/devices/socket_device.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/sockios.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int kDefaultPort = 9100;
// Long enough for a printer on any network; PAPPL tries again every 5 s.
constexpr auto kConnectWithin = std::chrono::seconds(2);
constexpr int kSendBuffer = 64 * 1024;

// HOST[:PORT] of "SCHEME://HOST[:PORT][/...]".
bool hostAndPort(const std::string& uri, std::string& host, int& port) {
    const std::size_t start = uri.find("://");
    if (start == std::string::npos)
        return false;
    std::string rest = uri.substr(start + 3);
    rest = rest.substr(0, rest.find_first_of("/?"));
    port = kDefaultPort;
    if (!rest.empty() && rest.front() == '[') { // [IPv6]:PORT
        const std::size_t close = rest.find(']');
        if (close == std::string::npos)
            return false;
        host = rest.substr(1, close - 1);
        rest = rest.substr(close + 1);
    } else {
        host = rest.substr(0, rest.find(':'));
        rest = rest.find(':') == std::string::npos ? "" : rest.substr(rest.find(':'));
    }
    if (!rest.empty()) {
        if (rest.front() != ':')
            return false;
        port = std::atoi(rest.c_str() + 1);
    }
    return !host.empty() && port > 0 && port < 65536;
}

bool openDevice(pappl_device_t* device, const char* uri, const char*) {
    std::string host;
    int port = 0;
    if (!hostAndPort(uri, host, port)) {
        papplDeviceError(device, "Bad printer address '%s'.", uri);
        return false;
    }
    return openLink(device, userUri(uri), std::make_unique<PrinterConnection>(host, port));
}

} // namespace

bool PrinterConnection::connect(std::string& error) {
    close();
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port_);
    if (const int failed = getaddrinfo(host_.c_str(), service.c_str(), &hints, &found)) {
        error = error_ = "cannot find the printer " + host_ + ": " + gai_strerror(failed);
        return false;
    }
    error_ = "the printer " + host_ + ":" + service + " does not answer";
    for (addrinfo* address = found; address && fd_ < 0; address = address->ai_next) {
        const int fd = socket(address->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0)
            continue;
        if (::connect(fd, address->ai_addr, address->ai_addrlen) != 0 && errno != EINPROGRESS) {
            error_ = "the printer " + host_ + ":" + service + " refuses the connection (" +
                     std::strerror(errno) + ")";
            ::close(fd);
            continue;
        }
        pollfd ready{fd, POLLOUT, 0};
        int problem = 0;
        socklen_t size = sizeof problem;
        if (poll(&ready, 1, static_cast<int>(std::chrono::milliseconds(kConnectWithin).count())) !=
                1 ||
            getsockopt(fd, SOL_SOCKET, SO_ERROR, &problem, &size) != 0 || problem != 0) {
            if (problem != 0)
                error_ = "the printer " + host_ + ":" + service + " refuses the connection (" +
                         std::strerror(problem) + ")";
            ::close(fd);
            continue;
        }
        const int on = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
        // Little is left in flight: the status between labels is the
        // printer's of now, and a drop loses at most what was in flight.
        const int buffer = kSendBuffer;
        setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &buffer, sizeof buffer);
        fd_ = fd;
        written_ = acknowledged_ = 0;
    }
    freeaddrinfo(found);
    if (fd_ < 0) {
        error = error_;
        return false;
    }
    error_.clear();
    return true;
}

std::uint64_t PrinterConnection::acknowledged() {
    // A connection the printer reset has emptied its send queue without an
    // acknowledgement: only an established one says what arrived.
    tcp_info info{};
    socklen_t size = sizeof info;
    int unacknowledged = 0;
    if (fd_ >= 0 && getsockopt(fd_, IPPROTO_TCP, TCP_INFO, &info, &size) == 0 &&
        info.tcpi_state == TCP_ESTABLISHED && ioctl(fd_, SIOCOUTQ, &unacknowledged) == 0 &&
        unacknowledged >= 0 && static_cast<std::uint64_t>(unacknowledged) <= written_)
        acknowledged_ = written_ - static_cast<std::uint64_t>(unacknowledged);
    return acknowledged_;
}

bool PrinterConnection::drain() {
    WriteWatch watch(*this);
    for (;;) {
        if (fd_ < 0) {
            error_ = "the connection to the printer is closed";
            return false;
        }
        const std::uint64_t before = acknowledged_;
        if (acknowledged() >= written_)
            return true;
        if (acknowledged_ > before) {
            watch.progressed();
            if (acknowledging)
                acknowledging();
        }
        if (!watch.keepWaiting())
            return false;
        // Nothing asked for: only a reset or a hang-up ends the wait early.
        pollfd ready{fd_, 0, 0};
        if (poll(&ready, 1, 20) > 0 && (ready.revents & (POLLERR | POLLHUP))) {
            int problem = 0;
            socklen_t size = sizeof problem;
            getsockopt(fd_, SOL_SOCKET, SO_ERROR, &problem, &size);
            error_ = std::string("the printer closed the connection (") +
                     std::strerror(problem ? problem : ECONNRESET) + ")";
            close();
            return false;
        }
    }
}

void PrinterConnection::close() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

bool PrinterConnection::write(const void* bytes, std::size_t count) {
    const auto* next = static_cast<const std::uint8_t*>(bytes);
    WriteWatch watch(*this);
    while (count > 0) {
        if (fd_ < 0) {
            error_ = "the connection to the printer is closed";
            return false;
        }
        if (!watch.keepWaiting())
            return false;
        // Kept fresh: once the link fails, the last count is all there is.
        if (const std::uint64_t before = acknowledged_; acknowledged() > before && acknowledging)
            acknowledging();
        pollfd ready{fd_, POLLOUT, 0};
        const int polled = poll(&ready, 1, static_cast<int>(kLookEvery.count()));
        if (polled <= 0)
            continue; // nothing taken yet, or a signal
        const ssize_t wrote = send(fd_, next, count, MSG_NOSIGNAL);
        if (wrote < 0 && (errno == EAGAIN || errno == EINTR))
            continue;
        if (wrote <= 0) {
            error_ =
                std::string("the printer closed the connection (") + std::strerror(errno) + ")";
            close();
            return false;
        }
        next += wrote;
        count -= static_cast<std::size_t>(wrote);
        written_ += static_cast<std::uint64_t>(wrote);
        watch.progressed();
    }
    return true;
}

long PrinterConnection::read(void* bytes, std::size_t count, std::chrono::milliseconds within) {
    if (fd_ < 0)
        return -1;
    pollfd ready{fd_, POLLIN, 0};
    const int polled = poll(&ready, 1, static_cast<int>(within.count()));
    if (polled <= 0)
        return polled == 0 ? 0 : -1;
    const ssize_t got = recv(fd_, bytes, count, 0);
    if (got == 0) {
        close(); // the printer hung up
        return -1;
    }
    return got < 0 && errno != EAGAIN ? -1 : static_cast<long>(std::max<ssize_t>(got, 0));
}

void PrinterConnection::dropUnread() {
    std::uint8_t stale[64];
    while (fd_ >= 0 && recv(fd_, stale, sizeof stale, MSG_DONTWAIT) > 0) {
    }
}

void addSocketScheme() {
    addLinkScheme(kSocketScheme, PAPPL_DEVTYPE_SOCKET, openDevice, nullptr);
}

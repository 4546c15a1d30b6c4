// Reaching a network printer's raw port.
#include "output/tcp_connection.h"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "output/spool_kinds.h"

namespace {

constexpr char kScheme[] = "socket://";

// Digits only, so that "+80", " 80" and "80x" are refused rather than read
// as a number and the rest ignored.
bool parsePort(const std::string& text, std::uint16_t& port) {
    if (text.empty() || text.size() > 5 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    unsigned long value = 0;
    for (const char digit : text)
        value = value * 10 + static_cast<unsigned long>(digit - '0');
    if (value < 1 || value > 65535)
        return false;
    port = static_cast<std::uint16_t>(value);
    return true;
}

// Waits for a non-blocking connect to finish; 0, or why it did not.
int finishConnect(int descriptor, const WaitLimit& limit) {
    for (;;) {
        const int waitMs = limit.remainingMilliseconds();
        if (waitMs == 0)
            return ETIMEDOUT;
        pollfd done{descriptor, POLLOUT, 0};
        const int ready = ::poll(&done, 1, waitMs);
        if (ready < 0 && errno != EINTR)
            return errno;
        if (ready <= 0)
            continue;
        int error = 0;
        socklen_t size = sizeof error;
        if (::getsockopt(descriptor, SOL_SOCKET, SO_ERROR, &error, &size) != 0)
            return errno;
        return error;
    }
}

} // namespace

bool parsePrinterAddress(const std::string& target, PrinterAddress& address, std::string& error) {
    const std::string form = "not of the form socket://HOST[:PORT]";
    if (target.rfind(kScheme, 0) != 0) {
        error = target + ": " + form;
        return false;
    }
    const std::string rest = target.substr(sizeof kScheme - 1);
    std::string host;
    std::string port;
    bool hasPort = false;
    if (!rest.empty() && rest.front() == '[') {
        const std::size_t close = rest.find(']');
        if (close == std::string::npos) {
            error = target + ": no ] after the IPv6 address";
            return false;
        }
        host = rest.substr(1, close - 1);
        const std::string after = rest.substr(close + 1);
        if (!after.empty() && after.front() != ':') {
            error = target + ": " + form;
            return false;
        }
        hasPort = !after.empty();
        port = hasPort ? after.substr(1) : "";
    } else {
        const std::size_t colon = rest.find(':');
        if (colon != std::string::npos && rest.find(':', colon + 1) != std::string::npos) {
            error = target + ": write an IPv6 address in brackets, as socket://[::1]:9100";
            return false;
        }
        host = rest.substr(0, colon);
        hasPort = colon != std::string::npos;
        port = hasPort ? rest.substr(colon + 1) : "";
    }
    if (host.empty()) {
        error = target + ": no printer host given";
        return false;
    }
    if (host.find_first_of("/[] \t") != std::string::npos) {
        error = target + ": " + form;
        return false;
    }
    address.host = host;
    address.port = kRawPrinterPort;
    if (hasPort && !parsePort(port, address.port)) {
        error = target + ": \"" + port + "\" is not a port number (1 to 65535)";
        return false;
    }
    return true;
}

// One deadline covers every address a name has, so a name with several
// unanswering addresses still fails within the timeout.
int connectToPrinter(const std::string& target, const PrinterAddress& address, int timeoutSeconds,
                     std::string& error) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const int lookup =
        ::getaddrinfo(address.host.c_str(), std::to_string(address.port).c_str(), &hints, &found);
    if (lookup != 0) {
        const char* reason = lookup == EAI_SYSTEM ? std::strerror(errno) : ::gai_strerror(lookup);
        error = target + ": cannot find host " + address.host + " (" + reason + ")";
        return -1;
    }
    const WaitLimit limit(timeoutSeconds, SpoolClock::now());
    int lastError = EHOSTUNREACH;
    for (const addrinfo* candidate = found; candidate; candidate = candidate->ai_next) {
        const int descriptor =
            ::socket(candidate->ai_family, candidate->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                     candidate->ai_protocol);
        if (descriptor < 0) {
            lastError = errno;
            continue;
        }
        int result = 0;
        if (::connect(descriptor, candidate->ai_addr, candidate->ai_addrlen) != 0) {
            // An interrupted connect goes on in the background, as one in progress.
            result =
                errno == EINPROGRESS || errno == EINTR ? finishConnect(descriptor, limit) : errno;
        }
        if (result == 0) {
            ::freeaddrinfo(found);
            return descriptor;
        }
        ::close(descriptor);
        lastError = result;
        if (result == ETIMEDOUT && limit.passed())
            break;
    }
    ::freeaddrinfo(found);
    error = target + ": cannot connect (" +
            (lastError == ETIMEDOUT && timeoutSeconds > 0
                 ? "no answer within " + secondsText(timeoutSeconds)
                 : std::string(std::strerror(lastError))) +
            ")";
    return -1;
}

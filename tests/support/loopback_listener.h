// A network printer's port for tests: a TCP listener on an ephemeral
// loopback port, and patience that ends, so a broken target cannot hang a
// test.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

namespace support {

// The next connection on a listening socket, or -1 after five quiet seconds.
inline int acceptWithin(int listener) {
    pollfd ready{listener, POLLIN, 0};
    return ::poll(&ready, 1, 5000) == 1 ? ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC) : -1;
}

class LoopbackListener {
  public:
    // A small `receiveBuffer` makes a printer whose buffers fill quickly.
    explicit LoopbackListener(int receiveBuffer = 0)
        : descriptor_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        if (receiveBuffer > 0)
            ::setsockopt(descriptor_, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        auto* raw = reinterpret_cast<sockaddr*>(&address);
        if (::bind(descriptor_, raw, size) == 0 && ::listen(descriptor_, 4) == 0 &&
            ::getsockname(descriptor_, raw, &size) == 0)
            name_ = "socket://127.0.0.1:" + std::to_string(ntohs(address.sin_port));
    }
    ~LoopbackListener() { close(); }
    LoopbackListener(const LoopbackListener&) = delete;
    LoopbackListener& operator=(const LoopbackListener&) = delete;

    int accept() const { return acceptWithin(descriptor_); }
    // The port stays named, with nobody listening on it any more.
    void close() {
        if (descriptor_ >= 0)
            ::close(descriptor_);
        descriptor_ = -1;
    }
    // "socket://127.0.0.1:PORT"
    const std::string& name() const { return name_; }

  private:
    int descriptor_;
    std::string name_;
};

} // namespace support

// Loopback sockets for the tests that run real listeners.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <thread>

#include "platform/Socket.h"

namespace nelvo::test {

// The first port from `from` upward that nobody listens on right now. Unit tests search above
// 61000: the black-box tests take theirs from 20000 to 32000, and the system hands out
// connections' own ports from 32768 to 60999.
inline std::int32_t FreePort(std::int32_t from) {
    int error = 0;
    for (std::int32_t port = from;; ++port)
        if (platform::ListenOnLocalhost(port, 0, error).Valid()) return port;
}

// A connected socket to 127.0.0.1:port, or -1. Patient: a listener binds on its own thread just
// after it was created, so refusals are retried for two seconds.
inline int ConnectLoopback(std::int32_t port, bool patient = true) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    for (int attempt = 0; attempt < (patient ? 200 : 1); ++attempt) {
        if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return fd;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::close(fd);
    return -1;
}

}  // namespace nelvo::test

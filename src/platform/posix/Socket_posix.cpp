#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "platform/Socket.h"
#include "platform/posix/NetInternal.h"

namespace nelvo::platform {

namespace {

using Clock = std::chrono::steady_clock;

int MillisecondsLeft(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() <= 0 ? 0 : static_cast<int>(left.count());
}

}  // namespace

TSocket& TSocket::operator=(TSocket&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = other.Release();
    }
    return *this;
}

int TSocket::Release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

void TSocket::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

TSocket ListenOnLocalhost(int port, int lingerSeconds, int& error) {
    error = 0;
    if (port < 1 || port > 65535) {
        error = EINVAL;
        return TSocket();
    }
    TSocket socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!socket.Valid()) {
        error = errno;
        return TSocket();
    }
    const int on = 1;
    ::setsockopt(socket.Handle(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (lingerSeconds > 0) {
        const linger value{1, lingerSeconds};
        ::setsockopt(socket.Handle(), SOL_SOCKET, SO_LINGER, &value, sizeof value);
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr = LocalhostAddress();
    if (::bind(socket.Handle(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(socket.Handle(), SOMAXCONN) != 0) {
        error = errno;
        return TSocket();
    }
    return socket;
}

TWaitResult WaitSocketUntil(int fd, bool forWrite, Clock::time_point deadline) {
    for (;;) {
        pollfd wanted{fd, static_cast<short>(forWrite ? POLLOUT : POLLIN), 0};
        const int ready = ::poll(&wanted, 1, MillisecondsLeft(deadline));
        if (ready > 0) return TWaitResult::Ready;
        if (ready == 0) return TWaitResult::TimedOut;
        if (errno != EINTR) return TWaitResult::Failed;
    }
}

TWaitResult WaitSocket(int fd, bool forWrite, int timeoutMs) {
    return WaitSocketUntil(fd, forWrite, Clock::now() + std::chrono::milliseconds(timeoutMs));
}

TSocket AcceptConnection(int listenFd, int& error) {
    error = 0;
    for (;;) {
        const int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd >= 0) return TSocket(fd);
        if (errno != EINTR) break;
    }
    error = errno;
    return TSocket();
}

long ReceiveBytes(int fd, char* buffer, std::size_t max, int timeoutMs, int& error) {
    error = 0;
    switch (WaitSocket(fd, false, timeoutMs)) {
        case TWaitResult::TimedOut:
            error = ETIMEDOUT;
            return -1;
        case TWaitResult::Failed:
            error = errno;
            return -1;
        case TWaitResult::Ready:
            break;
    }
    for (;;) {
        // Non-blocking for this one call: data that poll announced may be gone by now.
        const ssize_t count = ::recv(fd, buffer, max, MSG_DONTWAIT);
        if (count >= 0) return static_cast<long>(count);
        if (errno == EINTR) continue;
        error = (errno == EAGAIN || errno == EWOULDBLOCK) ? ETIMEDOUT : errno;
        return -1;
    }
}

bool SendBytes(int fd, std::string_view bytes, int timeoutMs, int& error) {
    error = 0;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!bytes.empty()) {
        const ssize_t sent = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(sent));
            continue;
        }
        if (sent < 0 && errno == EINTR) continue;
        if (sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            error = errno;
            return false;
        }
        const TWaitResult wait = WaitSocketUntil(fd, true, deadline);
        if (wait != TWaitResult::Ready) {
            error = wait == TWaitResult::TimedOut ? ETIMEDOUT : errno;
            return false;
        }
    }
    return true;
}

void StopReceiving(int fd) {
    if (fd >= 0) ::shutdown(fd, SHUT_RD);
}

TScopedNonBlocking::TScopedNonBlocking(int fd) : fd_(fd), flags_(::fcntl(fd, F_GETFL)) {
    if (flags_ >= 0 && ::fcntl(fd_, F_SETFL, flags_ | O_NONBLOCK) != 0) flags_ = -1;
}

TScopedNonBlocking::~TScopedNonBlocking() {
    if (flags_ >= 0) ::fcntl(fd_, F_SETFL, flags_);
}

TWakeSignal::TWakeSignal() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

TWakeSignal::~TWakeSignal() {
    if (fd_ >= 0) ::close(fd_);
}

void TWakeSignal::Signal() {
    const std::uint64_t one = 1;
    if (fd_ >= 0) (void)!::write(fd_, &one, sizeof one);
}

TWaitResult WaitSocketOrWake(int fd, const TWakeSignal& wake, int timeoutMs) {
    // Without an event descriptor the wait is a plain one: the caller notices its stop request
    // after the time-out instead of at once.
    pollfd wanted[2] = {{fd, POLLIN, 0}, {wake.fd_, POLLIN, 0}};
    const int ready = ::poll(wanted, wake.fd_ >= 0 ? 2 : 1, timeoutMs);
    if (ready < 0) return errno == EINTR ? TWaitResult::TimedOut : TWaitResult::Failed;
    if (ready == 0 || (wake.fd_ >= 0 && wanted[1].revents != 0)) return TWaitResult::TimedOut;
    return TWaitResult::Ready;
}

std::string SocketErrorText(int error) {
    char buffer[256];
    return ::strerror_r(error, buffer, sizeof buffer);
}

}  // namespace nelvo::platform

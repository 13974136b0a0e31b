// The server side of one TLS handshake on an accepted socket, bounded in time: the socket is
// switched to non-blocking for the handshake only and given back as it came.
#include <fcntl.h>
#include <poll.h>

#include <cerrno>
#include <chrono>

#include <openssl/err.h>

#include "log/U_LogFile.h"
#include "platform/Platform.h"
#include "platform/PrivateFiles.h"
#include "web/U_InitSSL.h"

namespace nelvo {

namespace {

using Clock = std::chrono::steady_clock;

// Non-blocking mode for the lifetime of the object; the former flags are put back after.
class TNonBlocking {
public:
    explicit TNonBlocking(int fd) : fd_(fd), flags_(::fcntl(fd, F_GETFL)) {
        if (flags_ < 0 || ::fcntl(fd_, F_SETFL, flags_ | O_NONBLOCK) != 0)
            throw ESSLError("Cannot switch the socket to non-blocking: " +
                            platform::LastErrorMessage());
    }
    ~TNonBlocking() { ::fcntl(fd_, F_SETFL, flags_); }
    TNonBlocking(const TNonBlocking&) = delete;
    TNonBlocking& operator=(const TNonBlocking&) = delete;

private:
    int fd_;
    int flags_;
};

// A client that drops the connection while the handshake writes would raise SIGPIPE and end
// the program; the guard holds it back on this thread for the handshake.
using TSigPipeGuard = platform::ScopedSigPipeBlock;

struct THandshakeError {
    int code = 0;
    std::string text;
};

// Waits until the socket can go on as OpenSSL asks; false on time-out or a socket error.
bool WaitForSocket(int fd, int sslError, Clock::time_point deadline, THandshakeError& error) {
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            error = {sslError, "TLS handshake timed out"};
            return false;
        }
        pollfd wanted{fd, static_cast<short>(sslError == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT),
                      0};
        const int ready = ::poll(&wanted, 1, static_cast<int>(left.count()));
        if (ready > 0) return true;
        if (ready < 0 && errno != EINTR) {
            error = {SSL_ERROR_SYSCALL, platform::LastErrorMessage()};
            return false;
        }
    }
}

std::string FailureText(int code) {
    if (code == SSL_ERROR_SYSCALL && errno != 0) return platform::LastErrorMessage();
    if (code == SSL_ERROR_ZERO_RETURN || code == SSL_ERROR_SYSCALL)
        return "the client closed the connection during the handshake";
    return "TLS handshake failed";
}

ossl::SslPtr Handshake(int fd, SSL_CTX* context, int timeoutMs, THandshakeError& error) {
    ossl::SslPtr ssl(SSL_new(context));
    if (!ssl || SSL_set_fd(ssl.get(), fd) != 1) {
        error = {SSL_ERROR_SSL, ossl::TakeErrorText("cannot attach TLS to the socket")};
        return nullptr;
    }
    TNonBlocking nonBlocking(fd);
    TSigPipeGuard noSigPipe;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        ERR_clear_error();
        errno = 0;
        const int result = SSL_accept(ssl.get());
        if (result == 1) return ssl;
        const int code = SSL_get_error(ssl.get(), result);
        if (code == SSL_ERROR_WANT_READ || code == SSL_ERROR_WANT_WRITE) {
            if (WaitForSocket(fd, code, deadline, error)) continue;
            return nullptr;
        }
        const std::string fallback = FailureText(code);
        error = {code, ossl::TakeErrorText(fallback)};
        return nullptr;
    }
}

}  // namespace

ossl::SslPtr AcceptSSL(int socketFd, TsslContext& tls, int timeoutMs) {
    HostLoger->Log(nullptr, "Accepting SSL connection ...", llProgress);
    InitSSL(tls);
    try {
        THandshakeError error{SSL_ERROR_SSL, "no usable TLS material"};
        ossl::SslPtr ssl;
        if (tls.Context) ssl = Handshake(socketFd, tls.Context.get(), timeoutMs, error);
        if (!ssl)
            HostLoger->Log(
                nullptr,
                "Error while accepting SSL connection (" + std::to_string(error.code) + ")",
                llError, error.text);
        return ssl;
    } catch (const std::exception& e) {
        HostLoger->LogException(nullptr, "Accepting SSL connection", e);
        return nullptr;
    }
}

}  // namespace nelvo

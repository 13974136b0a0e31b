// The server side of one TLS handshake on an accepted socket, bounded in time: the socket is
// switched to non-blocking for the handshake only and given back as it came.
#include <cerrno>
#include <chrono>

#include <openssl/err.h>

#include "log/U_LogFile.h"
#include "platform/Platform.h"
#include "platform/PrivateFiles.h"
#include "platform/Socket.h"
#include "web/U_InitSSL.h"

namespace nelvo {

namespace {

using Clock = std::chrono::steady_clock;

// A client that drops the connection while the handshake writes would raise SIGPIPE and end
// the program; the guard holds it back on this thread for the handshake.
using TSigPipeGuard = platform::ScopedSigPipeBlock;

struct THandshakeError {
    int code = 0;
    std::string text;
};

// Waits until the socket can go on as OpenSSL asks; false on time-out or a socket error.
bool WaitForSocket(int fd, int sslError, Clock::time_point deadline, THandshakeError& error) {
    switch (platform::WaitSocketUntil(fd, sslError == SSL_ERROR_WANT_WRITE, deadline)) {
        case platform::TWaitResult::Ready:
            return true;
        case platform::TWaitResult::TimedOut:
            error = {sslError, "TLS handshake timed out"};
            return false;
        case platform::TWaitResult::Failed:
            break;
    }
    error = {SSL_ERROR_SYSCALL, platform::LastErrorMessage()};
    return false;
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
    platform::TScopedNonBlocking nonBlocking(fd);
    if (!nonBlocking.Ok())
        throw ESSLError("Cannot switch the socket to non-blocking: " +
                        platform::LastErrorMessage());
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

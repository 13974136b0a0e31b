#include "web/U_WebServer_Connection.h"

#include <openssl/err.h>

#include <cerrno>
#include <chrono>

#include "platform/Socket.h"
#include "web/U_InitSSL_Ossl.h"

namespace nelvo {

namespace {

using Clock = std::chrono::steady_clock;

Clock::time_point DeadlineAfter(int timeoutMs) {
    return Clock::now() + std::chrono::milliseconds(timeoutMs);
}

}  // namespace

long TSocketConnection::Receive(char* buffer, std::size_t max, int timeoutMs) {
    return platform::ReceiveBytes(Fd_, buffer, max, timeoutMs, Error_);
}

bool TSocketConnection::Send(std::string_view bytes) {
    return platform::SendBytes(Fd_, bytes, HttpSendTimeoutMs, Error_);
}

std::string TSocketConnection::LastErrorText() const {
    return Error_ ? platform::SocketErrorText(Error_) : std::string();
}

bool TSslConnection::Failed(int result, const char* what) {
    Error_ = SSL_get_error(Ssl_, result);
    ErrorText_ = ossl::TakeErrorText(std::string(what) + " failed");
    return false;
}

long TSslConnection::Receive(char* buffer, std::size_t max, int timeoutMs) {
    const auto deadline = DeadlineAfter(timeoutMs);
    for (;;) {
        ERR_clear_error();
        errno = 0;
        std::size_t count = 0;
        const int result = SSL_read_ex(Ssl_, buffer, max, &count);
        if (result == 1) return static_cast<long>(count);
        const int code = SSL_get_error(Ssl_, result);
        if (code == SSL_ERROR_ZERO_RETURN) return 0;
        if (code != SSL_ERROR_WANT_READ && code != SSL_ERROR_WANT_WRITE) {
            // A peer that drops the connection without the closing alert ends it all the same.
            if (code == SSL_ERROR_SYSCALL && ERR_peek_error() == 0 && errno == 0) return 0;
            Failed(result, "TLS read");
            return -1;
        }
        const auto wait = platform::WaitSocketUntil(Fd_, code == SSL_ERROR_WANT_WRITE, deadline);
        if (wait != platform::TWaitResult::Ready) {
            Error_ = wait == platform::TWaitResult::TimedOut ? ETIMEDOUT : errno;
            ErrorText_ = platform::SocketErrorText(Error_);
            return -1;
        }
    }
}

bool TSslConnection::Send(std::string_view bytes) {
    const auto deadline = DeadlineAfter(HttpSendTimeoutMs);
    while (!bytes.empty()) {
        ERR_clear_error();
        std::size_t written = 0;
        const int result = SSL_write_ex(Ssl_, bytes.data(), bytes.size(), &written);
        if (result == 1) {
            bytes.remove_prefix(written);
            continue;
        }
        const int code = SSL_get_error(Ssl_, result);
        if (code != SSL_ERROR_WANT_READ && code != SSL_ERROR_WANT_WRITE)
            return Failed(result, "TLS write");
        const auto wait = platform::WaitSocketUntil(Fd_, code == SSL_ERROR_WANT_WRITE, deadline);
        if (wait != platform::TWaitResult::Ready) {
            Error_ = wait == platform::TWaitResult::TimedOut ? ETIMEDOUT : errno;
            ErrorText_ = platform::SocketErrorText(Error_);
            return false;
        }
    }
    return true;
}

void TSslConnection::Close() {
    ERR_clear_error();
    SSL_shutdown(Ssl_);
    ERR_clear_error();
}

}  // namespace nelvo

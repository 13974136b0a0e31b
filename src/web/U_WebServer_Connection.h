// The byte streams of accepted connections, plain and TLS, as the HTTP exchange reads and
// writes them. Every read and write is bounded in time.
#pragma once

#include <openssl/ssl.h>

#include <string>
#include <string_view>

#include "web/U_WebServer_Http.h"

namespace nelvo {

// How long the peer may take to accept the bytes of a reply.
inline constexpr int HttpSendTimeoutMs = 20000;

// A plain TCP connection (the descriptor stays the caller's).
class TSocketConnection : public IHttpConnection {
public:
    explicit TSocketConnection(int fd) : Fd_(fd) {}
    long Receive(char* buffer, std::size_t max, int timeoutMs) override;
    bool Send(std::string_view bytes) override;
    int LastError() const override { return Error_; }
    std::string LastErrorText() const override;

private:
    int Fd_;
    int Error_ = 0;
};

// A TLS connection over a socket in non-blocking mode (both stay the caller's). Bytes OpenSSL
// has already decrypted are handed out before the socket is asked, since the socket may have
// nothing more to say.
class TSslConnection : public IHttpConnection {
public:
    TSslConnection(SSL* ssl, int fd) : Ssl_(ssl), Fd_(fd) {}
    long Receive(char* buffer, std::size_t max, int timeoutMs) override;
    bool Send(std::string_view bytes) override;
    int LastError() const override { return Error_; }
    std::string LastErrorText() const override { return ErrorText_; }
    // Sends the closing alert without waiting for the peer's.
    void Close();

private:
    bool Failed(int result, const char* what);

    SSL* Ssl_;
    int Fd_;
    int Error_ = 0;
    std::string ErrorText_;
};

}  // namespace nelvo

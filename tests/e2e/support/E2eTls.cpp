#include "support/E2eTls.h"

#include <netdb.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509_vfy.h>
#include <sys/socket.h>
#include <sys/time.h>

#include <cerrno>
#include <memory>

#include "support/E2eHost.h"
#include "support/E2eNet.h"

namespace e2e {

namespace {

struct CtxFree {
    void operator()(SSL_CTX* ctx) const { SSL_CTX_free(ctx); }
};
struct SslFree {
    void operator()(SSL* ssl) const { SSL_free(ssl); }
};
struct AddrFree {
    void operator()(addrinfo* list) const { freeaddrinfo(list); }
};

std::string OpenSslErrors() {
    std::string text;
    while (unsigned long code = ERR_get_error()) {
        char line[256];
        ERR_error_string_n(code, line, sizeof line);
        if (!text.empty()) text += "; ";
        text += line;
    }
    return text;
}

// The service host name must resolve to the loopback address, as it does for browsers.
Fd ConnectServiceHost(int port, std::chrono::milliseconds timeout, std::string& error) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* raw = nullptr;
    const std::string service = std::to_string(port);
    if (int rc = getaddrinfo(kServiceHost, service.c_str(), &hints, &raw); rc != 0) {
        error = std::string("cannot resolve ") + kServiceHost + ": " + gai_strerror(rc);
        return {};
    }
    std::unique_ptr<addrinfo, AddrFree> list(raw);
    Fd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    timeval tv{};
    tv.tv_sec = static_cast<time_t>(timeout.count() / 1000);
    tv.tv_usec = static_cast<suseconds_t>((timeout.count() % 1000) * 1000);
    setsockopt(fd.Get(), SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    setsockopt(fd.Get(), SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    if (::connect(fd.Get(), list->ai_addr, list->ai_addrlen) != 0) {
        error = "connection refused";
        return {};
    }
    return fd;
}

std::unique_ptr<SSL_CTX, CtxFree> ClientContext(const std::string& caFile, std::string& error) {
    std::unique_ptr<SSL_CTX, CtxFree> ctx(SSL_CTX_new(TLS_client_method()));
    if (!ctx) {
        error = "SSL_CTX_new: " + OpenSslErrors();
        return nullptr;
    }
    SSL_CTX_set_verify(ctx.get(), SSL_VERIFY_PEER, nullptr);
    if (!caFile.empty() && SSL_CTX_load_verify_locations(ctx.get(), caFile.c_str(), nullptr) != 1) {
        error = "cannot load CA " + caFile + ": " + OpenSslErrors();
        return nullptr;
    }
    return ctx;
}

}  // namespace

TlsReply TlsExchange(int port, const std::string& caFile, std::string_view request,
                     std::chrono::milliseconds timeout) {
    TlsReply reply;
    auto ctx = ClientContext(caFile, reply.error);
    if (!ctx) return reply;
    Fd fd = ConnectServiceHost(port, timeout, reply.error);
    if (!fd.Valid()) return reply;

    std::unique_ptr<SSL, SslFree> ssl(SSL_new(ctx.get()));
    SSL_set_fd(ssl.get(), fd.Get());
    SSL_set_tlsext_host_name(ssl.get(), kServiceHost);
    SSL_set1_host(ssl.get(), kServiceHost);  // the certificate must name the service host
    ERR_clear_error();
    if (SSL_connect(ssl.get()) != 1) {
        const long verify = SSL_get_verify_result(ssl.get());
        reply.error = "handshake failed: " + OpenSslErrors();
        if (verify != X509_V_OK)
            reply.error += std::string(" (") + X509_verify_cert_error_string(verify) + ")";
        return reply;
    }
    reply.handshake = true;

    size_t written = 0;
    while (written < request.size()) {
        size_t n = 0;
        if (SSL_write_ex(ssl.get(), request.data() + written, request.size() - written, &n) != 1) {
            reply.error = "write failed: " + OpenSslErrors();
            return reply;
        }
        written += n;
    }
    char buffer[16384];
    for (;;) {
        size_t n = 0;
        if (SSL_read_ex(ssl.get(), buffer, sizeof buffer, &n) == 1) {
            reply.bytes.append(buffer, n);
            continue;
        }
        const int code = SSL_get_error(ssl.get(), 0);
        if (code == SSL_ERROR_SYSCALL && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            reply.error = "timed out waiting for the reply";
            return reply;
        }
        // A peer that closes the socket without close_notify has still ended the reply: the
        // program closes the connection after one reply.
        reply.closed =
            code == SSL_ERROR_ZERO_RETURN || code == SSL_ERROR_SYSCALL || code == SSL_ERROR_SSL;
        if (!reply.closed) reply.error = "read failed (" + std::to_string(code) + ")";
        ERR_clear_error();
        return reply;
    }
}

}  // namespace e2e

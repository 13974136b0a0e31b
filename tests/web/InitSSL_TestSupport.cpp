#include "InitSSL_TestSupport.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include "tools/QxSysTools.h"

namespace nelvo::test {

namespace {

std::vector<std::string> ListNames(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..") names.push_back(name);
        }
        ::closedir(dir);
    }
    return names;
}

void RunClient(int fd, const ClientPlan& plan, const std::string& request,
               ClientOutcome& outcome) {
    // The server may close first; the client's writes then fail instead of ending the run.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
    timeval wait{10, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    if (plan.sendPlainHttp) {
        const std::string request = "GET /api/v1/version HTTP/1.0\r\n\r\n";
        (void)!::write(fd, request.data(), request.size());
    }
    if (plan.sendPlainHttp || plan.sendNothing) {
        char buffer[256];
        while (::read(fd, buffer, sizeof buffer) > 0) {
        }
        return;
    }
    ossl::SslCtxPtr ctx(SSL_CTX_new(TLS_client_method()));
    SSL_CTX_set_verify(ctx.get(), SSL_VERIFY_PEER, nullptr);
    if (!plan.caPem.empty()) {
        auto bio = ossl::MemoryBio(plan.caPem);
        ossl::X509Ptr ca(PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr));
        X509_STORE_add_cert(SSL_CTX_get_cert_store(ctx.get()), ca.get());
    }
    ossl::SslPtr ssl(SSL_new(ctx.get()));
    X509_VERIFY_PARAM* param = SSL_get0_param(ssl.get());
    if (X509_VERIFY_PARAM_set1_ip_asc(param, plan.expectName.c_str()) != 1) {
        ERR_clear_error();
        SSL_set_tlsext_host_name(ssl.get(), plan.expectName.c_str());
        SSL_set1_host(ssl.get(), plan.expectName.c_str());
    }
    SSL_set_fd(ssl.get(), fd);
    outcome.handshake = SSL_connect(ssl.get()) == 1;
    outcome.verifyResult = SSL_get_verify_result(ssl.get());
    if (outcome.handshake) {
        if (!request.empty())
            SSL_write(ssl.get(), request.data(), static_cast<int>(request.size()));
        char buffer[256];
        int n;
        while ((n = SSL_read(ssl.get(), buffer, sizeof buffer)) > 0)
            outcome.received.append(buffer, n);
    }
    ERR_clear_error();
}

}  // namespace

bool SslTest::Logged(const std::string& message, bool error) const {
    for (const SslLogLine& line : Lines())
        if (line.message == message && line.error == error) return true;
    return false;
}

SslLogLine SslTest::LineStartingWith(const std::string& text) const {
    for (const SslLogLine& line : Lines())
        if (line.message.rfind(text, 0) == 0) return line;
    ADD_FAILURE() << "no log line starting with " << text;
    return {};
}

std::vector<std::string> SslTest::TempFiles() const {
    std::vector<std::string> files;
    const std::string tmp = dir_ / "tmp";
    for (const std::string& folder : ListNames(tmp)) {
        if (folder.rfind("nelvo-tls-", 0) != 0) continue;
        for (const std::string& name : ListNames(tmp + "/" + folder))
            files.push_back(tmp + "/" + folder + "/" + name);
    }
    return files;
}

TLoopback::TLoopback() {
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener, 1) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        ADD_FAILURE() << "cannot listen on loopback";
    client_ = ::socket(AF_INET, SOCK_STREAM, 0);
    if (::connect(client_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        ADD_FAILURE() << "cannot connect on loopback";
    server_ = ::accept(listener, nullptr, nullptr);
    ::close(listener);
}

TLoopback::~TLoopback() {
    if (server_ >= 0) ::close(server_);
    if (client_ >= 0) ::close(client_);
}

void TLoopback::ShutdownServer() {
    ::shutdown(server_, SHUT_RDWR);
}

TSslClient::TSslClient(int fd, ClientPlan plan, std::string request)
    : thread_([this, fd, plan = std::move(plan), request = std::move(request)] {
          RunClient(fd, plan, request, outcome_);
      }) {}

TSslClient::~TSslClient() {
    if (thread_.joinable()) thread_.join();
}

ClientOutcome TSslClient::Join() {
    thread_.join();
    return outcome_;
}

const std::string& Text(const TsslTexts& texts, TsslResource resource) {
    return texts[static_cast<int>(resource)];
}

}  // namespace nelvo::test

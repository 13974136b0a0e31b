// The listeners and connection threads over real loopback sockets: a route table of test
// handlers, plain and TLS clients, and the final clean-up racing threads that free themselves.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "platform/Socket.h"
#include "settings/U_Settings.h"
#include "support/Loopback.h"
#include "web/InitSSL_TestSupport.h"
#include "web/U_WebServer.h"
#include "web/U_WebServer_Host.h"
#include "web/U_WebServer_Routes.h"

namespace nelvo::test {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

std::int32_t FreePort() {
    return test::FreePort(61000 + (::getpid() * 7) % 2000);
}

int Connect(std::int32_t port, bool patient = true) {
    return ConnectLoopback(port, patient);
}

// Everything the server sends until it closes (or 10 s pass).
std::string ReadAll(int fd) {
    std::string text;
    char buffer[4096];
    const auto deadline = Clock::now() + 10s;
    while (Clock::now() < deadline) {
        pollfd wanted{fd, POLLIN, 0};
        if (::poll(&wanted, 1, 100) <= 0) continue;
        const ssize_t count = ::recv(fd, buffer, sizeof buffer, 0);
        if (count <= 0) break;
        text.append(buffer, static_cast<std::size_t>(count));
    }
    return text;
}

std::string Exchange(std::int32_t port, const std::string& request, bool patient = true) {
    const int fd = Connect(port, patient);
    if (fd < 0) return "(no connection)";
    ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    std::string reply = ReadAll(fd);
    ::close(fd);
    return reply;
}

class TTestHost : public IWebServiceHost {
public:
    TDomainList& TrustedDomains() override { return Domains; }
    std::string ServerName() const override { return "nelvo-test/1.2.3.4"; }
    void RequestProgramEnd() override {}
    TDomainList Domains;
};

// A route table of test handlers and the thread list, both emptied after each test; the log is
// kept until the last connection thread is gone.
class ServerTest : public SslTest {
protected:
    ServerTest() {
        SetWebServiceHost(&host_);
        CreateServerThreads();
        RegisterRoute({"GET"}, [](auto&, auto&, auto&, THeaderList&, std::string& reply,
                                  std::int32_t& status) {
            reply = "pong";
            status = 200;
        }, "/ping");
        RegisterRoute({"GET"}, [this](auto&, auto&, auto&, THeaderList&, std::string& reply,
                                      std::int32_t& status) { Meet(reply, status); }, "/meet");
        http_.SetPort(FreePort());
    }
    ~ServerTest() override {
        FreeServerThreads();
        FreeRoutes();
        SetWebServiceHost(nullptr);
    }

    // Two requests that can only both finish when they are served at the same time.
    void Meet(std::string& reply, std::int32_t& status) {
        std::unique_lock lock(meetLock_);
        ++met_;
        meetChanged_.notify_all();
        const bool both = meetChanged_.wait_for(lock, 5s, [this] { return met_ >= 2; });
        reply = both ? "met" : "alone";
        status = 200;
    }

    bool LineStartsLogged(const std::string& text) const {
        for (const LogLine& line : Lines())
            if (line.message.rfind(text, 0) == 0) return true;
        return false;
    }

    TTestHost host_;
    TDaemonSettings http_;
    std::mutex meetLock_;
    std::condition_variable meetChanged_;
    int met_ = 0;
};

TEST_F(ServerTest, AnswersAndReportsEachConnection) {
    std::atomic<int> connects{0};
    ThttpDaemon daemon(http_, [&connects] { ++connects; });
    const std::string reply = Exchange(http_.Port(), "GET /ping HTTP/1.0\r\n\r\n");
    EXPECT_EQ(reply.substr(0, 14), "HTTP/1.0 200\r\n") << reply;
    EXPECT_NE(reply.find("\r\nServer: nelvo-test/1.2.3.4\r\n"), std::string::npos) << reply;
    EXPECT_EQ(reply.substr(reply.size() - 4), "pong");
    Exchange(http_.Port(), "GET /ping\r\n");
    EXPECT_EQ(connects, 2);
}

TEST_F(ServerTest, StoppingAnIdleListenerIsQuickAndFreesThePort) {
    auto daemon = std::make_unique<ThttpDaemon>(http_, nullptr);
    ASSERT_GE(Connect(http_.Port()), 0);  // it listens
    const auto start = Clock::now();
    daemon->Stop();
    EXPECT_LT(Clock::now() - start, 1500ms);
    daemon.reset();
    int error = 0;
    EXPECT_TRUE(platform::ListenOnLocalhost(http_.Port(), 0, error).Valid())
        << "the port is free again for a restart";
}

TEST_F(ServerTest, ServesTwoRequestsAtTheSameTime) {
    ThttpDaemon daemon(http_, nullptr);
    auto first = std::async(std::launch::async, [this] {
        return Exchange(http_.Port(), "GET /meet HTTP/1.0\r\n\r\n");
    });
    const std::string second = Exchange(http_.Port(), "GET /meet HTTP/1.0\r\n\r\n");
    EXPECT_EQ(second.substr(second.size() - 3), "met");
    EXPECT_EQ(first.get().substr(second.size() - 3), "met");
}

TEST_F(ServerTest, AClientThatSendsNothingDoesNotHoldUpOthers) {
    ThttpDaemon daemon(http_, nullptr);
    const int silent = Connect(http_.Port());
    ASSERT_GE(silent, 0);
    EXPECT_EQ(Exchange(http_.Port(), "GET /ping\r\n"), "HTTP/1.0 200\r\npong");
    EXPECT_EQ(ServerThreadCount(), 1u) << "the silent client's thread still waits";
    ::close(silent);
}

// Program end wakes a thread that waits for its request line: it ends without a reply, and
// the clean-up does not sit out the read time-out.
TEST_F(ServerTest, FinalCleanupWakesAndFreesAWaitingThread) {
    ThttpDaemon daemon(http_, nullptr);
    const int silent = Connect(http_.Port());
    ASSERT_GE(silent, 0);
    const auto until = Clock::now() + 5s;
    while (ServerThreadCount() == 0 && Clock::now() < until) std::this_thread::sleep_for(1ms);
    daemon.Stop();
    const auto start = Clock::now();
    FreeServerThreads();
    EXPECT_LT(Clock::now() - start, 5s);
    EXPECT_EQ(ServerThreadCount(), 0u);
    EXPECT_TRUE(Logged("Server threads cleanup: 1 threads."));
    EXPECT_EQ(ReadAll(silent), "") << "no reply";
    ::close(silent);
}

// Threads that free themselves while the clean-up sweeps: every thread is freed once (ASan and
// TSan watch), and a closed list takes no new thread.
TEST_F(ServerTest, CleanupAndSelfFreeingThreadsNeverFreeOneThreadTwice) {
    for (int round = 0; round < 5; ++round) {
        CreateServerThreads();
        auto daemon = std::make_unique<ThttpDaemon>(http_, nullptr);
        ::close(Connect(http_.Port()));  // it listens
        std::vector<std::thread> clients;
        for (int i = 0; i < 16; ++i)
            clients.emplace_back([this, i] {
                Exchange(http_.Port(), i % 2 ? "GET /ping\r\n" : "GET /ping HTTP/1.0\r\n",
                         false);
            });
        std::this_thread::sleep_for(std::chrono::milliseconds(round * 3));
        daemon.reset();
        FreeServerThreads();
        EXPECT_EQ(ServerThreadCount(), 0u);
        for (auto& client : clients) client.join();
    }
    platform::TSocket late(Connect(http_.Port(), false));
    EXPECT_FALSE(late.Valid()) << "no listener";
}

TEST_F(ServerTest, AListenerOnATakenPortSaysSoAndStillStops) {
    int error = 0;
    const platform::TSocket taken = platform::ListenOnLocalhost(http_.Port(), 0, error);
    ASSERT_TRUE(taken.Valid());
    {
        ThttpDaemon daemon(http_, nullptr);
        const auto until = Clock::now() + 5s;
        while (!LineStartsLogged("Cannot listen on port ") && Clock::now() < until)
            std::this_thread::sleep_for(5ms);
        EXPECT_FALSE(daemon.IsListening());
    }
    EXPECT_TRUE(LineStartsLogged("Cannot listen on port " + std::to_string(http_.Port())));
}

class SslServerTest : public ServerTest {
protected:
    std::string CA() {
        TsslTexts texts;
        std::string error;
        EXPECT_TRUE(LoadSSLResources(texts, error)) << error;
        return Text(texts, TsslResource::sslCertCA);
    }
};

TEST_F(SslServerTest, ServesOverTlsAndRefusesPlainHttp) {
    TDaemonSettings https;
    https.SetPort(FreePort());
    TsslDaemon daemon(https, nullptr);
    {
        const int fd = Connect(https.Port());
        TSslClient client(fd, {CA(), std::string(ServiceHostName), false, false},
                          "GET /ping HTTP/1.0\r\n\r\n");
        const ClientOutcome outcome = client.Join();
        ::close(fd);
        EXPECT_TRUE(outcome.handshake);
        EXPECT_EQ(outcome.verifyResult, X509_V_OK);
        EXPECT_EQ(outcome.received.substr(0, 14), "HTTP/1.0 200\r\n") << outcome.received;
        EXPECT_EQ(outcome.received.substr(outcome.received.size() - 4), "pong");
    }
    const std::string plain = Exchange(https.Port(), "GET /ping HTTP/1.0\r\n\r\n");
    EXPECT_EQ(plain.find("HTTP/1.0"), std::string::npos) << "no reply to plain HTTP: " << plain;
    EXPECT_TRUE(LineStartsLogged("Error while accepting SSL connection"));
}

}  // namespace
}  // namespace nelvo::test

// What broken, hostile or idle peers get: no reply where the request cannot be read, a logged
// reason, and a program that goes on serving everyone else.
#include <gtest/gtest.h>

#include <poll.h>
#include <sys/socket.h>

#include <thread>

#include "support/E2eHost.h"
#include "support/E2eLog.h"
#include "support/E2eNet.h"
#include "support/E2eTls.h"

namespace e2e {
namespace {

const std::string kOriginHeader = std::string("Origin: ") + kTrustedOrigin;

// Waits for one more log message with the prefix than there were before; answers the newest.
std::string NextLogged(const std::string& dir, const std::string& prefix, int& seen) {
    std::string newest;
    const bool arrived = WaitFor(
        [&] {
            const auto records = ReadLogRecords(dir);
            if (CountMessages(records, prefix) <= seen) return false;
            for (auto it = records.rbegin(); it != records.rend(); ++it)
                if (it->Value().rfind(prefix, 0) == 0) {
                    newest = it->Value();
                    break;
                }
            return true;
        },
        Scaled(5s), 50ms);
    if (arrived) ++seen;
    return newest;
}

struct BadRequest {
    const char* name;
    std::vector<std::string> chunks;
    const char* reason;  // part of the logged reason
};

std::vector<BadRequest> BadRequests() {
    const std::string longLine = "GET /" + std::string(70 * 1024, 'a') + " HTTP/1.1\r\n\r\n";
    std::string bigHeaders = "GET /api/v1/version HTTP/1.1\r\n";
    for (int i = 0; i < 20; ++i)
        bigHeaders += "X-Filler-" + std::to_string(i) + ": " + std::string(60 * 1024, 'b') + "\r\n";
    bigHeaders += "\r\n";
    const auto withLength = [](const std::string& value) {
        return "POST / HTTP/1.1\r\n" + kOriginHeader + "\r\nContent-Length: " + value + "\r\n\r\n";
    };
    return {
        {"connects and closes without a byte", {}, "connection closed"},
        {"half a request line", {"GET /api/v1/ver"}, "connection closed"},
        {"half the header block",
         {"GET /api/v1/version HTTP/1.1\r\n" + kOriginHeader + "\r\n"},
         "connection closed"},
        {"half a body", {withLength("10") + "abc"}, "connection closed"},
        {"negative content length", {withLength("-5") + "abc"}, "content length not accepted: -5"},
        {"non-numeric content length",
         {withLength("5x") + "abcde"},
         "content length not accepted: 5x"},
        {"content length past the limit",
         {withLength("300000000")},
         "content length not accepted: 300000000"},
        {"request line over 64 KiB", {longLine}, "line longer than"},
        {"header block over 1 MiB", {bigHeaders}, "header block larger than"},
        {"lower-case protocol",
         {"GET /api/v1/version http/1.1\r\n" + kOriginHeader + "\r\n\r\n"},
         "protocol is not HTTP/"},
        {"empty request line", {"\r\n"}, "empty request line"},
        {"method alone", {"GET\r\n"}, "request line without a path"},
    };
}

TEST(BadInput, UnreadableRequestsGetNoReplyAndALoggedReason) {
    RunningHost host;
    int seen = 0;
    for (const auto& bad : BadRequests()) {
        SCOPED_TRACE(bad.name);
        SendPlan plan;
        plan.chunks = bad.chunks;
        plan.timeout = Scaled(10s);
        const RawReply raw = Exchange(host.HttpPort(), plan);
        EXPECT_TRUE(raw.closed) << "the program must drop the connection";
        EXPECT_EQ(raw.bytes, "") << "no reply";
        const std::string logged = NextLogged(host.Box().LogDir(), "Request not read: ", seen);
        EXPECT_NE(logged.find(bad.reason), std::string::npos) << "logged: " << logged;
        EXPECT_TRUE(host.Answers()) << "serving the next client";
    }
}

TEST(BadInput, HttpsPortRefusesWhatIsNotATrustedHandshake) {
    RunningHost host;
    const std::string dir = host.Box().LogDir();
    const std::string failure = "Error while accepting SSL connection (";
    int seen = CountMessages(ReadLogRecords(dir), failure);
    struct Case {
        const char* name;
        std::string bytes;
    } raw[] = {
        {"plain HTTP request", TrustedGet("/api/v1/version")},
        {"garbage", std::string("\x16\x03\x01\x00\x10", 5) + std::string(64, '\x7f')},
        {"binary noise", std::string("\x00\xff\x13\x37\r\n\r\n", 8)},
    };
    for (const auto& c : raw) {
        SCOPED_TRACE(c.name);
        const RawReply reply = Exchange(host.HttpsPort(), c.bytes, Scaled(10s));
        EXPECT_TRUE(reply.closed);
        EXPECT_EQ(reply.bytes.find("HTTP/"), std::string::npos)
            << "no HTTP reply on the HTTPS port";
        EXPECT_NE(NextLogged(dir, failure, seen), "");
        EXPECT_TRUE(host.Answers());
    }
    {
        SCOPED_TRACE("a browser that does not trust the CA");
        const TlsReply tls =
            TlsExchange(host.HttpsPort(), "", TrustedGet("/api/v1/version"), Scaled(5s));
        EXPECT_FALSE(tls.handshake);
        EXPECT_NE(NextLogged(dir, failure, seen), "");
        EXPECT_TRUE(host.Answers());
    }
}

// A peer that connects and says nothing holds its own connection thread until the read
// time-out, and nobody else.
TEST(BadInput, SilentClientsDoNotHoldUpOthers) {
    RunningHost host;
    std::vector<Fd> silent;
    for (int i = 0; i < 4; ++i) silent.push_back(ConnectLoopback(host.HttpPort(), 5s));
    silent.push_back(ConnectLoopback(host.HttpsPort(), 5s));  // no handshake either
    Fd stalled = ConnectLoopback(host.HttpPort(), 5s);
    const std::string partial = "GET /api/v1/version HTTP/1.1\r\nOrig";
    ASSERT_EQ(::send(stalled.Get(), partial.data(), partial.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(partial.size()));
    for (const auto& fd : silent) ASSERT_TRUE(fd.Valid());

    // Far below the 20 s the silent ones may take: a host that served connections one by one
    // would not answer these before the time-out.
    for (int i = 0; i < 6; ++i) {
        auto reply =
            ParseReply(Exchange(host.HttpPort(), TrustedGet("/api/v1/version"), 10s).bytes);
        ASSERT_TRUE(reply);
        EXPECT_EQ(reply->status, 200);
    }
    const TlsReply tls =
        TlsExchange(host.HttpsPort(), host.Box().CaFile(), TrustedGet("/api/v1/version"), 10s);
    ASSERT_TRUE(tls.handshake) << tls.error;
    auto secure = ParseReply(tls.bytes);
    ASSERT_TRUE(secure);
    EXPECT_EQ(secure->status, 200);

    silent.push_back(std::move(stalled));
    for (const auto& fd : silent) {
        pollfd p{fd.Get(), POLLIN, 0};
        EXPECT_EQ(::poll(&p, 1, 0), 0)
            << "the idle connection is neither answered nor dropped early";
    }
    // Closing them lets their threads end now instead of at the time-out.
}

TEST(BadInput, FiveHundredConnectionsAtOnceAreAllServed) {
    RunningHost host;
    constexpr int kCount = 500;
    const std::string request = TrustedGet("/api/v1/version");
    std::vector<Fd> sockets;
    sockets.reserve(kCount);
    for (int i = 0; i < kCount; ++i) {
        sockets.push_back(ConnectLoopback(host.HttpPort(), Scaled(30s)));
        ASSERT_TRUE(sockets.back().Valid()) << "connection " << i << " refused";
    }
    for (const auto& fd : sockets) {
        ASSERT_EQ(::send(fd.Get(), request.data(), request.size(), MSG_NOSIGNAL),
                  static_cast<ssize_t>(request.size()));
        ::shutdown(fd.Get(), SHUT_WR);
    }
    // Read them all in parallel, as a browser with many tabs would wait for them.
    std::vector<std::string> replies(kCount);
    std::vector<std::thread> readers;
    constexpr int kReaders = 10;
    for (int r = 0; r < kReaders; ++r)
        readers.emplace_back([&, r] {
            for (int i = r; i < kCount; i += kReaders)
                replies[static_cast<size_t>(i)] =
                    ReadToClose(sockets[static_cast<size_t>(i)].Get(), Scaled(60s)).bytes;
        });
    for (auto& t : readers) t.join();
    int served = 0;
    for (const auto& bytes : replies) {
        auto reply = ParseReply(bytes);
        if (reply && reply->status == 200) ++served;
    }
    EXPECT_EQ(served, kCount);
    sockets.clear();
    EXPECT_TRUE(host.Answers());
}

}  // namespace
}  // namespace e2e

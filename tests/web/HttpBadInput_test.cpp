// Requests that cannot be read end the exchange without a reply and leave a reason in the log;
// the limits keep a client from making the host hold unbounded memory.
#include <gtest/gtest.h>

#include <atomic>

#include "HttpTestSupport.h"

namespace nelvo::test {
namespace {

class HttpBadInput : public HttpTest {
protected:
    void SetUp() override {
        HttpTest::SetUp();
        RegisterRoute({"GET", "POST"},
                      [this](const std::string&, const std::string&, const std::string& body,
                             THeaderList&, std::string& reply, std::int32_t& status) {
                          ++Handled;
                          Body = body;
                          reply = "ok";
                          status = 200;
                      });
    }

    // No reply, no handler, and a reason in the log.
    void ExpectRefused(const std::string& bytes, const std::string& why,
                       TFakeConnection::TEnd end = TFakeConnection::TEnd::Stall) {
        SetHostLoger(nullptr);
        auto loger = std::make_unique<TLogLineLoger>();
        TLogLineLoger* log = loger.get();
        SetHostLoger(std::move(loger));
        TFakeConnection connection(bytes, 4096, end);
        EXPECT_FALSE(ProcessHttpExchange(connection, Context)) << why;
        EXPECT_EQ(connection.Sent, "") << why;
        EXPECT_EQ(Handled, 0) << why;
        bool logged = false;
        for (const auto& line : log->Lines())
            logged |= line.message.rfind("Request not read: ", 0) == 0;
        EXPECT_TRUE(logged) << why;
    }

    int Handled = 0;
    std::string Body;
};

TEST_F(HttpBadInput, UnreadableRequestsGetNoReply) {
    using TEnd = TFakeConnection::TEnd;
    const struct {
        std::string bytes;
        const char* why;
        TEnd end;
    } cases[] = {
        {"", "a client that sends nothing", TEnd::Stall},
        {"", "a client that closes at once", TEnd::Close},
        {"\r\nGET / HTTP/1.1\r\n\r\n", "empty request line", TEnd::Stall},
        {"GET\r\n", "method only", TEnd::Stall},
        {" GET / HTTP/1.1\r\n\r\n", "blank before the method", TEnd::Stall},
        {"GET    \r\n", "method and blanks only", TEnd::Stall},
        {"GET / http/1.1\r\n\r\n", "lower-case protocol", TEnd::Stall},
        {"GET / FTP/1.0\r\n\r\n", "another protocol", TEnd::Stall},
        {"GET / HTTP/1.1", "request line without its line break", TEnd::Close},
        {"GET / HTTP/1.1\r\nHost: a\r\n", "header block never ends", TEnd::Stall},
        {"GET / HTTP/1.1\r\nHost: a\r\n", "closed within the header block", TEnd::Close},
        {"POST / HTTP/1.1\r\nContent-Length: 10\r\n\r\nhalf", "body cut short", TEnd::Close},
        {"POST / HTTP/1.1\r\nContent-Length: 10\r\n\r\nhalf", "body stalls", TEnd::Stall},
        {"POST / HTTP/1.1\r\nContent-Length: -5\r\n\r\n", "negative length", TEnd::Stall},
        {"POST / HTTP/1.1\r\nContent-Length: abc\r\n\r\n", "non-numeric length", TEnd::Stall},
        {"POST / HTTP/1.1\r\nContent-Length: 5x\r\n\r\n12345", "length with tail", TEnd::Stall},
        {"POST / HTTP/1.1\r\nContent-Length: +5\r\n\r\n12345", "signed length", TEnd::Stall},
        {"POST / HTTP/1.1\r\nContent-Length: 268435457\r\n\r\n", "length over limit", TEnd::Stall},
        {"POST / HTTP/1.1\r\nContent-Length: 99999999999999999999999\r\n\r\n",
         "length beyond 64 bits", TEnd::Stall},
        {"\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03", "a TLS hello", TEnd::Close},
    };
    for (const auto& c : cases) ExpectRefused(c.bytes, c.why, c.end);
}

TEST_F(HttpBadInput, LinesUpToTheLimitAreReadLongerOnesEndTheExchange) {
    const std::string fits(HttpMaxLineLength - 3, 'a');
    EXPECT_EQ(Exchange("GET / HTTP/1.1\r\nX: " + fits + "\r\n\r\n", 4096).substr(0, 12),
              "HTTP/1.0 200");
    EXPECT_EQ(Handled, 1);
    Handled = 0;

    ExpectRefused("GET / HTTP/1.1\r\nX: " + fits + "a\r\n\r\n", "header line over the limit");
    ExpectRefused("GET /" + std::string(HttpMaxLineLength, 'p') + " HTTP/1.1\r\n\r\n",
                  "request line over the limit");
    // A line that never ends is refused once it passes the limit, not when memory runs out.
    TFakeConnection endless(std::string(4 * HttpMaxLineLength, 'x'), 1000);
    EXPECT_FALSE(ProcessHttpExchange(endless, Context));
    EXPECT_LT(endless.Receives, static_cast<int>(HttpMaxLineLength / 1000) + 3);
}

TEST_F(HttpBadInput, HeaderBlockUpToTheLimitIsReadOverItEndsTheExchange) {
    // Many short lines right up to the limit: read whole, and without moving the rest of the
    // block once per line.
    std::string block;
    while (block.size() + 6 <= HttpMaxHeaderBlock) block += "A: 1\r\n";
    EXPECT_EQ(Exchange("GET / HTTP/1.1\r\n" + block + "\r\n").substr(0, 12), "HTTP/1.0 200");
    EXPECT_EQ(Handled, 1);
    Handled = 0;
    ExpectRefused("GET / HTTP/1.1\r\n" + block + "A: 1\r\n\r\n", "one line over the limit");

    const std::string line = "X-Filler: " + std::string(1000, 'f') + "\r\n";
    std::string request = "GET / HTTP/1.1\r\n";
    while (request.size() < HttpMaxHeaderBlock + line.size()) request += line;
    ExpectRefused(request + "\r\n", "header block over the limit");
}

TEST_F(HttpBadInput, EmptyContentLengthValueMeansNoBody) {
    EXPECT_EQ(Exchange("POST / HTTP/1.1\r\nContent-Length: \r\n\r\n").substr(0, 12),
              "HTTP/1.0 200");
    EXPECT_EQ(Body, "");
}

TEST_F(HttpBadInput, ZeroLengthAndLengthInThePieceOfTheHeaders) {
    EXPECT_EQ(Exchange("POST / HTTP/1.1\r\nContent-Length: 0\r\n\r\n").substr(0, 12),
              "HTTP/1.0 200");
    EXPECT_EQ(Body, "");
    Exchange("POST / HTTP/1.1\r\nContent-Length: 000003\r\n\r\nabcdef");
    EXPECT_EQ(Body, "abc");
}

TEST_F(HttpBadInput, TerminateFlagStopsBeforeTheNextRead) {
    std::atomic<int> asked{0};
    // Set after the request line: the header block is not read.
    Context.Terminated = [&asked] { return ++asked > 1; };
    ExpectRefused("GET / HTTP/1.1\r\nHost: a\r\n\r\n", "terminated between lines");
}

}  // namespace
}  // namespace nelvo::test

// Whole exchanges over the in-memory connection: the reply bytes exactly, route look-up with its
// 404/405 rules, the handler contract, and what reaches the log.
#include <gtest/gtest.h>

#include <stdexcept>

#include "HttpTestSupport.h"
#include "settings/U_Settings.h"

namespace nelvo::test {
namespace {

constexpr char Tail[] =
    "Connection: close\r\n"
    "Date: Tue, 9 Dec 2025 14:05:33 +0300\r\n"
    "Server: TestServer/1.0\r\n"
    "\r\n";

// The routes of the service in small: a trusted preflight for every known path, a version
// answer behind the trust check, and a POST that echoes what it was given.
class HttpExchange : public HttpTest {
protected:
    void SetUp() override {
        HttpTest::SetUp();
        Domains.SetText("bank.example");
        RegisterRoute(
            {"OPTIONS"},
            [this](const std::string&, const std::string&, const std::string&, THeaderList& headers,
                   std::string&, std::int32_t& status) {
                if (CheckOrigin(Domains, headers, status)) status = 200;
            },
            "*");
        RegisterRoute(
            {"GET"},
            [this](const std::string&, const std::string&, const std::string&, THeaderList& headers,
                   std::string& reply, std::int32_t& status) {
                if (!CheckOrigin(Domains, headers, status)) return;
                status = 200;
                reply = R"({ "data" : "1.2.3.4" })";
            },
            std::vector<std::string>{"/api/v1/version", "/sapi/v1/version"});
        RegisterRoute(
            {"POST"},
            [this](const std::string& method, const std::string& path, const std::string& body,
                   THeaderList& headers, std::string& reply, std::int32_t& status) {
                Seen = {method, path, body, headers.Lines()};
                reply = Answer;
                status = Status;
            },
            std::string("/echo"));
    }

    struct TSeen {
        std::string method, path, body;
        std::vector<std::string> headers;
    };

    TDomainListPlus Domains;
    TSeen Seen;
    std::string Answer = "ok";
    std::int32_t Status = 200;
};

TEST_F(HttpExchange, TrustedVersionRequestGetsTheWholeReplyByteForByte) {
    const std::string sent = Exchange(
        "GET /api/v1/version HTTP/1.1\r\n"
        "Host: localhost:11741\r\n"
        "Origin: https://bank.example\r\n"
        "\r\n");
    EXPECT_EQ(sent, std::string("HTTP/1.0 200\r\n"
                                "Access-Control-Allow-Origin: https://bank.example\r\n"
                                "Access-Control-Allow-Headers: content-type, x-compress\r\n"
                                "Content-Type: text/html; charset=utf-8\r\n"
                                "Content-length: 22\r\n") +
                        Tail + R"({ "data" : "1.2.3.4" })");
}

TEST_F(HttpExchange, StatusAndBodyOfTheLookUpRules) {
    const std::string trusted = " HTTP/1.1\r\nOrigin: https://bank.example\r\n\r\n";
    const struct {
        std::string requestLine;
        std::string statusLine;
        std::string body;
    } cases[] = {
        // the query string is part of the path
        {"GET /api/v1/version?x=1", "HTTP/1.0 404", ErrorBody(404)},
        {"PUT /api/v1/version", "HTTP/1.0 405", ErrorBody(405)},
        // known without regard to letter case, but no key matches exactly
        {"GET /API/V1/VERSION", "HTTP/1.0 405", ErrorBody(405)},
        {"GET /nothing", "HTTP/1.0 404", ErrorBody(404)},
        // the "*" route answers its method for every known path, and for "*" itself
        {"OPTIONS /sapi/v1/version", "HTTP/1.0 200", ""},
        {"OPTIONS /echo", "HTTP/1.0 200", ""},
        {"OPTIONS *", "HTTP/1.0 200", ""},
        {"OPTIONS /nothing", "HTTP/1.0 404", ErrorBody(404)},
    };
    for (const auto& c : cases) {
        const std::string sent = Exchange(c.requestLine + trusted);
        EXPECT_EQ(sent.substr(0, sent.find("\r\n")), c.statusLine) << c.requestLine;
        EXPECT_EQ(sent.substr(sent.find("\r\n\r\n") + 4), c.body) << c.requestLine;
    }
}

TEST_F(HttpExchange, TrustedPreflightHasNoBodyAndLengthZero) {
    EXPECT_EQ(Exchange("OPTIONS /api/v1/version HTTP/1.1\r\n"
                       "Origin: https://bank.example\r\n"
                       "Access-Control-Request-Method: POST\r\n"
                       "\r\n"),
              std::string("HTTP/1.0 200\r\n"
                          "Access-Control-Allow-Origin: https://bank.example\r\n"
                          "Access-Control-Allow-Headers: content-type, x-compress\r\n"
                          "Content-Type: text/html; charset=utf-8\r\n"
                          "Content-length: 0\r\n") +
                  Tail);
}

TEST_F(HttpExchange, UntrustedOriginGets403WithoutCorsOrItsOwnLines) {
    const std::string body = ErrorBody(403);
    EXPECT_EQ(Exchange("GET /api/v1/version HTTP/1.1\r\n"
                       "Origin: https://evil.example\r\n"
                       "X-Mine: 1\r\n"
                       "\r\n"),
              "HTTP/1.0 403\r\n"
              "Content-Type: text/html; charset=utf-8\r\n"
              "Content-length: " +
                  std::to_string(body.size()) + "\r\n" + Tail + body);
}

TEST_F(HttpExchange, WithoutProtocolOnlyTheStatusLineAndTheBody) {
    EXPECT_EQ(Exchange("GET /nothing\r\n"), "HTTP/1.0 404\r\n" + ErrorBody(404));
    EXPECT_EQ(Exchange("POST /echo\r\n"), "HTTP/1.0 200\r\nok");
    EXPECT_TRUE(Seen.headers.empty());
}

TEST_F(HttpExchange, HandlerSeesRequestAsReceivedAndBodyByContentLength) {
    const std::vector<std::string> lines = {"Host:  localhost ", "content-length: 11",
                                            "X-Odd:no-blank", "X-Dup: 1", "X-Dup: 2"};
    std::string request = "POST   /echo   HTTP/1.1  \r\n";
    for (const auto& line : lines) request += line + "\r\n";
    request += "\r\nhello\r\nworldIGNORED";
    for (const std::size_t piece : {std::size_t(1), std::size_t(7), SIZE_MAX}) {
        Seen = {};
        EXPECT_EQ(Exchange(request, piece).substr(0, 14), "HTTP/1.0 200\r\n") << piece;
        EXPECT_EQ(Seen.method, "POST");
        EXPECT_EQ(Seen.path, "/echo");
        EXPECT_EQ(Seen.headers, lines);
        EXPECT_EQ(Seen.body, "hello\r\nworl") << piece;
    }
    EXPECT_EQ(DetailOf("Variables:"), "Method=POST\r\nURI=/echo\r\nProtocol=HTTP/1.1");
    EXPECT_EQ(DetailOf("Headers:"),
              "Host:  localhost \r\ncontent-length: 11\r\nX-Odd:no-blank\r\nX-Dup: 1\r\n"
              "X-Dup: 2\r\n");
    EXPECT_EQ(DetailOf("Data:"), "hello\r\nworl");
}

TEST_F(HttpExchange, ContentLengthWithoutBlankIsNoContentLength) {
    Exchange("POST /echo HTTP/1.1\r\nContent-Length:5\r\n\r\nhello");
    EXPECT_EQ(Seen.body, "");
    EXPECT_EQ(DetailOf("Data:"), "<none>");
}

TEST_F(HttpExchange, HandlerLinesAddedWithoutClearingAreSentButRequestLinesAreNot) {
    RegisterRoute(
        {"GET"},
        [](const std::string&, const std::string&, const std::string&, THeaderList& headers,
           std::string& reply, std::int32_t& status) {
            headers.Add("X-Reply: 1");
            reply = "r";
            status = 200;
        },
        std::string("/add"));
    EXPECT_EQ(Exchange("GET /add HTTP/1.1\r\nX-Request: 1\r\n\r\n"),
              std::string("HTTP/1.0 200\r\nX-Reply: 1\r\n"
                          "Content-Type: text/html; charset=utf-8\r\nContent-length: 1\r\n") +
                  Tail + "r");
}

TEST_F(HttpExchange, NegativeStatusIsSentPositiveAndKeepsTheReplyOutOfTheLog) {
    Answer = "secret page";
    Status = -200;
    EXPECT_EQ(Exchange("POST /echo\r\n"), "HTTP/1.0 200\r\nsecret page");
    EXPECT_EQ(DetailOf("Reply [POST]: WriteBuffer done."), "");
    EXPECT_EQ(DetailOf("Reply: Status = 200"), "Content-Type: text/html; charset=utf-8\r\n");

    Status = 200;
    Exchange("POST /echo\r\n");
    const auto lines = LogLines();
    EXPECT_EQ(lines.back().message, "Reply: SendReply done.");
    EXPECT_EQ(lines[lines.size() - 2].detail, "secret page");
}

TEST_F(HttpExchange, ReplyLeftEmptyGetsTheErrorBodyOfItsStatus) {
    const struct {
        std::int32_t status;
        std::string reply;
    } cases[] = {{500, ErrorBody(500)}, {-423, ErrorBody(423)}, {401, ErrorBody(401)}, {204, ""}};
    for (const auto& c : cases) {
        Answer = "";
        Status = c.status;
        EXPECT_EQ(Exchange("POST /echo\r\n"),
                  "HTTP/1.0 " + std::to_string(std::abs(c.status)) + "\r\n" + c.reply);
    }
}

TEST_F(HttpExchange, HandlerExceptionPassesToTheThreadAndNothingIsSent) {
    RegisterRoute(
        {"GET"},
        [](const std::string&, const std::string&, const std::string&, THeaderList&, std::string&,
           std::int32_t&) { throw std::runtime_error("resource missing"); },
        std::string("/throws"));
    TFakeConnection connection("GET /throws HTTP/1.1\r\n\r\n");
    EXPECT_THROW(ProcessHttpExchange(connection, Context), std::runtime_error);
    EXPECT_EQ(connection.Sent, "");
}

TEST_F(HttpExchange, SendFailureIsLoggedAsAnError) {
    TFakeConnection connection("POST /echo HTTP/1.1\r\n\r\n");
    connection.FailSend = true;
    EXPECT_FALSE(ProcessHttpExchange(connection, Context));
    const auto lines = LogLines();
    EXPECT_TRUE(lines.back().error);
    EXPECT_EQ(lines.back().message, "Error while sending reply (32)");
    EXPECT_EQ(lines.back().detail, "Broken pipe");
}

}  // namespace
}  // namespace nelvo::test

// The service routes as a browser page meets them: framing of the reply, the trust check with its
// CORS headers, routing by method and path, over HTTP and over HTTPS.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <regex>

#include "support/E2eHost.h"
#include "support/E2eLog.h"
#include "support/E2eNet.h"
#include "support/E2eTls.h"

namespace e2e {
namespace {

const std::string kVersion = NELVO_EXPECTED_VERSION;
const std::string kOriginHeader = std::string("Origin: ") + kTrustedOrigin;

// The version result: the success envelope first, then the data.
void ExpectTextResult(const std::string& body, const std::string& data) {
    const auto json = nlohmann::ordered_json::parse(body);
    ASSERT_TRUE(json.is_object()) << body;
    std::vector<std::string> keys;
    for (const auto& item : json.items()) keys.push_back(item.key());
    EXPECT_EQ(keys, (std::vector<std::string>{"error", "data"})) << body;
    EXPECT_EQ(json["error"], (nlohmann::ordered_json{{"code", 0}, {"text", "success"}})) << body;
    EXPECT_EQ(json["data"], data) << body;
}

// The whole head block of a reply to a trusted page, line by line and in order.
void ExpectTrustedHead(const HttpReply& reply, const std::string& origin) {
    static const std::regex date(
        R"(^Date: (Mon|Tue|Wed|Thu|Fri|Sat|Sun), [1-9]\d? )"
        R"((Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) \d{4} \d\d:\d\d:\d\d [+-]\d{4}$)");
    ASSERT_EQ(reply.headers.size(), 7u) << ::testing::PrintToString(reply.headers);
    EXPECT_EQ(reply.headers[0], "Access-Control-Allow-Origin: " + origin);
    EXPECT_EQ(reply.headers[1], "Access-Control-Allow-Headers: content-type, x-compress");
    EXPECT_EQ(reply.headers[2], "Content-Type: text/html; charset=utf-8");
    EXPECT_EQ(reply.headers[3], "Content-length: " + std::to_string(reply.body.size()));
    EXPECT_EQ(reply.headers[4], "Connection: close");
    EXPECT_TRUE(std::regex_match(reply.headers[5], date)) << reply.headers[5];
    EXPECT_EQ(reply.headers[6], "Server: nelvo-host/" + kVersion);
}

TEST(Service, VersionOverHttpCarriesTheFullHeadBlockAndTheResult) {
    RunningHost host;
    const RawReply raw = Exchange(host.HttpPort(), TrustedGet("/api/v1/version"), Scaled(5s));
    EXPECT_TRUE(raw.closed) << "the connection must close after one reply";
    auto reply = ParseReply(raw.bytes);
    ASSERT_TRUE(reply) << raw.bytes;
    EXPECT_EQ(reply->status, 200);
    ExpectTrustedHead(*reply, kTrustedOrigin);
    ExpectTextResult(reply->body, kVersion);
}

TEST(Service, VersionOverHttpsIsServedUnderTheServiceHostName) {
    RunningHost host;
    for (const char* path : {"/api/v1/version", "/sapi/v1/version"}) {
        SCOPED_TRACE(path);
        const TlsReply tls =
            TlsExchange(host.HttpsPort(), host.Box().CaFile(), TrustedGet(path), Scaled(5s));
        ASSERT_TRUE(tls.handshake) << tls.error;
        auto reply = ParseReply(tls.bytes);
        ASSERT_TRUE(reply) << tls.bytes;
        EXPECT_EQ(reply->status, 200);
        ExpectTrustedHead(*reply, kTrustedOrigin);
        ExpectTextResult(reply->body, kVersion);
    }
}

TEST(Service, PluginVersionComesFromTheReferencePlugin) {
    RunningHost host;
    for (const char* path : {"/api/v1/version/service", "/sapi/v1/version/service"}) {
        SCOPED_TRACE(path);
        auto reply = ParseReply(Exchange(host.HttpPort(), TrustedGet(path), Scaled(5s)).bytes);
        ASSERT_TRUE(reply);
        EXPECT_EQ(reply->status, 200);
        const auto json = nlohmann::ordered_json::parse(reply->body);
        EXPECT_EQ(json["error"]["code"], 0) << reply->body;
        ASSERT_TRUE(json["data"].is_string()) << reply->body;
        // Empty would mean the plugin could not be asked: it is built beside the program.
        EXPECT_TRUE(std::regex_match(json["data"].get<std::string>(), std::regex(R"(\d+(\.\d+)+)")))
            << reply->body;
    }
}

struct RouteCase {
    const char* name;
    const char* method;
    std::string path;
    std::vector<std::string> headers;
    int status;
    std::string body;                  // exact expected body; "*" for "not checked"
    std::optional<std::string> allow;  // expected Access-Control-Allow-Origin, or none at all
};

const std::string kNotFound = ErrorBody(1, "Метод API отсутствует");
const std::string kNotAllowed = ErrorBody(2, "Метод вызова не допустим");
const std::string kForbidden = ErrorBody(3, "Передан недопустимый Origin");

TEST(Service, RoutingAndTrustCheck) {
    RunningHost host;
    const std::string serviceOrigin =
        "https://" + std::string(kServiceHost) + ":" + std::to_string(host.HttpsPort());
    const std::string evil = "Origin: https://evil.example";
    const std::string version = "/api/v1/version";
    // clang-format off
    const RouteCase cases[] = {
        {"query string is part of the path",
         "GET", "/api/v1/version?x=1", {kOriginHeader}, 404, kNotFound, {}},
        {"path differing only in letter case",
         "GET", "/API/V1/VERSION", {kOriginHeader}, 405, kNotAllowed, {}},
        {"known path, other method",
         "POST", version, {kOriginHeader}, 405, kNotAllowed, {}},
        {"GET on the stop route does not stop",
         "GET", "/sapi/v1/stop", {kOriginHeader}, 405, kNotAllowed, {}},
        {"preflight of an unknown path",
         "OPTIONS", "/nothing", {kOriginHeader}, 404, kNotFound, {}},
        {"preflight from a trusted page",
         "OPTIONS", version, {kOriginHeader}, 200, "", kTrustedOrigin},
        {"preflight from an untrusted page",
         "OPTIONS", version, {evil}, 403, kForbidden, {}},
        {"untrusted origin",
         "GET", version, {evil}, 403, kForbidden, {}},
        {"trusted name as a prefix of another host",
         "GET", version, {"Origin: https://www.zrb.example.evil.test"}, 403, kForbidden, {}},
        {"parent of a trusted host",
         "GET", version, {"Origin: https://zrb.example"}, 403, kForbidden, {}},
        {"neither origin nor referer",
         "GET", version, {}, 403, kForbidden, {}},
        {"trusted origin with a foreign referer",
         "GET", version, {kOriginHeader, "Referer: https://evil.example/x"}, 403, kForbidden, {}},
        {"trusted referer alone",
         "GET", version, {"Referer: https://www.zrb.example/page?q=1"}, 200, "*", "*"},
        {"origin echoed as received",
         "GET", version, {"Origin: HTTPS://WWW.ZRB.EXAMPLE:8443"}, 200, "*",
         "HTTPS://WWW.ZRB.EXAMPLE:8443"},
        {"service host name is always trusted",
         "GET", version, {"Origin: " + serviceOrigin}, 200, "*", serviceOrigin},
        {"raw plugin command from an untrusted page",
         "POST", "/", {evil, "Content-Length: 2"}, 403, kForbidden, {}},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> headers = c.headers;
        headers.push_back("X-Probe: echo-me");  // request lines must never come back
        const bool withBody = std::string(c.method) == "POST" && c.path == "/";
        const RawReply raw = Exchange(
            host.HttpPort(), Request(c.method, c.path, headers, withBody ? "{}" : ""), Scaled(5s));
        auto reply = ParseReply(raw.bytes);
        ASSERT_TRUE(reply) << raw.bytes;
        EXPECT_EQ(reply->status, c.status);
        if (c.body != "*") {
            EXPECT_EQ(reply->body, c.body);
        }
        EXPECT_EQ(reply->Header("Access-Control-Allow-Origin"), c.allow);
        EXPECT_EQ(reply->Header("Content-length"), std::to_string(reply->body.size()));
        for (const auto& line : reply->headers)
            EXPECT_EQ(line.find("echo-me"), std::string::npos) << line;
    }
    EXPECT_TRUE(host.Answers()) << "still serving after the table";
}

// The trust check comes before anything else: a page outside the list gets 403 and the plugin
// is never called for it.
TEST(Service, UntrustedPageRunsNoPluginCommand) {
    RunningHost host;
    const std::string dir = host.Box().LogDir();
    const std::string command = R"({"ID":"","Plugin":"VUDuded","Method":"Version","Params":[]})";
    const std::string length = "Content-Length: " + std::to_string(command.size());
    for (const std::vector<std::string>& headers :
         {std::vector<std::string>{"Origin: https://evil.example", length},
          std::vector<std::string>{"Referer: https://evil.example/page", length},
          std::vector<std::string>{kOriginHeader, "Referer: https://evil.example/page", length}}) {
        SCOPED_TRACE(headers[0]);
        auto reply = ParseReply(
            Exchange(host.HttpPort(), Request("POST", "/", headers, command), Scaled(5s)).bytes);
        ASSERT_TRUE(reply);
        EXPECT_EQ(reply->status, 403);
        EXPECT_EQ(reply->body, kForbidden);
    }
    EXPECT_EQ(CountMessages(ReadLogRecords(dir), "Processing command..."), 0);

    // The same command from a trusted page does reach the plugin, so the check above can see it.
    auto trusted =
        ParseReply(Exchange(host.HttpPort(), Request("POST", "/", {kOriginHeader, length}, command),
                            Scaled(5s))
                       .bytes);
    ASSERT_TRUE(trusted);
    EXPECT_TRUE(trusted->status == 200 || trusted->status == 500) << trusted->status;
    EXPECT_TRUE(WaitForMessage(dir, "Processing command...", Scaled(5s)));
}

// A missing plugin stops no listener: the program answers, says it has no plugin version, and
// refuses plugin commands with the 500 body instead of a success.
TEST(Service, WithoutThePluginTheServiceStillAnswers) {
    RunningHost::Options options;
    options.withoutPlugin = true;
    RunningHost host(options);

    auto version = ParseReply(
        Exchange(host.HttpPort(), TrustedGet("/api/v1/version/service"), Scaled(5s)).bytes);
    ASSERT_TRUE(version);
    EXPECT_EQ(version->status, 200);
    ExpectTextResult(version->body, "");

    const std::string command = R"({"ID":"","Plugin":"VUDuded","Method":"Version","Params":[]})";
    auto refused = ParseReply(
        Exchange(
            host.HttpPort(),
            Request("POST", "/",
                    {kOriginHeader, "Content-Length: " + std::to_string(command.size())}, command),
            Scaled(5s))
            .bytes);
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->status, 500);
    EXPECT_EQ(refused->body, ErrorBody(99, "Внутренняя ошибка сервера"));
    EXPECT_TRUE(WaitForLog(
        host.Box().LogDir(),
        [](const LogRecord& r) {
            return r.IsError() && r.Value() == "No executor! Library not loaded?";
        },
        Scaled(5s)));
    EXPECT_EQ(host.Process().Terminate(), 0) << host.Describe();
}

TEST(Service, RequestWithoutProtocolGetsStatusLineAndBodyOnly) {
    RunningHost host;
    // Without a protocol there is no header block to read, so no Origin either: refused, and
    // the reply has no header lines at all.
    const RawReply raw = Exchange(host.HttpPort(), "GET /api/v1/version\r\n", Scaled(5s));
    EXPECT_EQ(raw.bytes, "HTTP/1.0 403\r\n" + kForbidden);
}

TEST(Service, ContentLengthIsHonouredOnlyInItsExactForm) {
    RunningHost host;
    struct Case {
        const char* header;
        const char* body;
        bool replies;  // false: the program waits for a body that never comes, then drops it
    } cases[] = {
        {"Content-Length: 5", "", false},
        {"content-length: 5", "", false},
        {"CONTENT-LENGTH: 5", "", false},
        {"Content-Length:5", "", true},  // no blank after the colon: not the header
        {"Content-Length: 0", "", true},
        {"Content-Length: 5", "hello", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.header);
        const RawReply raw = Exchange(
            host.HttpPort(), Request("GET", "/api/v1/version", {kOriginHeader, c.header}, c.body),
            Scaled(5s));
        EXPECT_TRUE(raw.closed);
        if (c.replies) {
            auto reply = ParseReply(raw.bytes);
            ASSERT_TRUE(reply) << raw.bytes;
            EXPECT_EQ(reply->status, 200);
        } else {
            EXPECT_EQ(raw.bytes, "");
        }
    }
}

TEST(Service, BodyArrivingInSeveralPacketsIsReadWhole) {
    RunningHost host;
    const std::string body = R"({"ID":"","Plugin":"e2e-marker-one","Method":"e2e-marker-two"})";
    const std::string head =
        Request("POST", "/", {kOriginHeader, "Content-Length: " + std::to_string(body.size())});
    SendPlan plan;
    plan.chunks = {head.substr(0, 10), head.substr(10) + body.substr(0, 20), body.substr(20, 20),
                   body.substr(40)};
    plan.gap = 150ms;
    plan.timeout = Scaled(5s);
    const RawReply raw = Exchange(host.HttpPort(), plan);
    auto reply = ParseReply(raw.bytes);
    ASSERT_TRUE(reply) << "no reply: " << raw.bytes;
    // The plugin decides 200 or 500 for this command; the exchange itself must have completed.
    EXPECT_TRUE(reply->status == 200 || reply->status == 500) << reply->status;
    EXPECT_TRUE(WaitForLog(
        host.Box().LogDir(),
        [&](const LogRecord& r) {
            return r.Value() == "Data:" && r.body.find(body) != std::string::npos;
        },
        Scaled(5s)))
        << "the body is logged whole once read";
}

TEST(Service, TestPageIsServedToAnyPageAndItsTextIsNotLogged) {
    RunningHost host;
    const RawReply raw =
        Exchange(host.HttpPort(),
                 Request("GET", "/test/CAdES_COM", {"Origin: https://evil.example"}), Scaled(5s));
    auto reply = ParseReply(raw.bytes);
    ASSERT_TRUE(reply) << raw.bytes;
    EXPECT_EQ(reply->status, 200);
    EXPECT_EQ(reply->CountHeaderLines("Content-Type: text/html; charset=utf-8"), 2);
    EXPECT_FALSE(reply->Header("Access-Control-Allow-Origin"));
    EXPECT_EQ(reply->body.rfind("\xEF\xBB\xBF", 0), 0u) << "UTF-8 page with a byte-order mark";
    EXPECT_NE(reply->body.find("Тест CAdES_COM [ЗРБ]"), std::string::npos);

    // Wait until every request so far has logged its reply, the page's included.
    const auto allReplied = [&] {
        const auto records = ReadLogRecords(host.Box().LogDir());
        bool page = false;
        for (const auto& r : records)
            page = page || (r.Value() == "Variables:" &&
                            r.body.find("URI=/test/CAdES_COM") != std::string::npos);
        return page && CountMessages(records, "Variables:") ==
                           CountMessages(records, "Reply: SendReply done.");
    };
    ASSERT_TRUE(WaitFor(allReplied, Scaled(5s)));
    for (const auto& record : ReadLogRecords(host.Box().LogDir())) {
        EXPECT_EQ(record.body.find("CAdES_COM [ЗРБ]"), std::string::npos) << record.body;
    }
}

}  // namespace
}  // namespace e2e

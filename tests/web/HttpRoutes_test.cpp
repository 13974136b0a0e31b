// The route registry and what handlers share: header values, the trust check, the error body
// and the Date form.
#include <gtest/gtest.h>

#include "HttpTestSupport.h"
#include "api/U_PluginJSON.h"
#include "settings/U_Settings.h"

namespace nelvo::test {
namespace {

TEST(ErrorBody, EveryCodeOfTheTableAndNothingForOtherStatuses) {
    const struct {
        std::int32_t status;
        std::string body;
    } cases[] = {
        {400, R"({ "code" : "4", "text" : "Некорректный формат параметров запроса" })"},
        {401, R"({ "code" : "6", "text" : "Передан некорректный идентификатор сессии" })"},
        {403, R"({ "code" : "3", "text" : "Передан недопустимый Origin" })"},
        {404, R"({ "code" : "1", "text" : "Метод API отсутствует" })"},
        {405, R"({ "code" : "2", "text" : "Метод вызова не допустим" })"},
        {423, R"({ "code" : "7", "text" : "Сервис заблокирован, идет процесс обновления" })"},
        {500, R"({ "code" : "99", "text" : "Внутренняя ошибка сервера" })"},
        {200, ""},
        {402, ""},
        {-404, ""},
    };
    for (const auto& c : cases) EXPECT_EQ(ErrorBody(c.status), c.body) << c.status;
}

TEST(ErrorBody, DetailOnlyFor500AndEscapedSoTheBodyStaysJSON) {
    EXPECT_EQ(ErrorBody(500, "rpSign: no key"),
              R"j({ "code" : "99", "text" : "Внутренняя ошибка сервера (rpSign: no key)" })j");
    EXPECT_EQ(ErrorBody(404, "ignored"), ErrorBody(404));

    const std::string detail = "bad \"quote\" \\ back\r\nline\x01 end";
    const std::string body = ErrorBody(500, detail);
    EXPECT_EQ(body, R"j({ "code" : "99", "text" : "Внутренняя ошибка сервера (bad \"quote\" \\ )j"
                    R"j(back\u000D\u000Aline\u0001 end)" })j");
    const TJSONData parsed = ParseJSON(body);
    EXPECT_EQ(parsed["text"].get<std::string>(), "Внутренняя ошибка сервера (" + detail + ")");
}

TEST(GetHeaderValue, FirstLineWithNameColonBlankDecides) {
    const THeaderList headers({"Host: localhost:11741", "content-length:  12  ",
                               "Content-Length: 99", "X-Empty: ", "X-Empty: late",
                               "Referer:https://bank.example/", "Origin: a: b", "Originator: x"});
    const struct {
        const char* name;
        const char* value;
    } cases[] = {
        {"CONTENT-LENGTH", "12"},     // letter case ignored, value trimmed, first wins
        {"host", "localhost:11741"},  // only the first ": " splits
        {"X-Empty", ""},              // an empty value ends the search
        {"Referer", ""},              // no blank after the colon: no match
        {"Origin", "a: b"},           // everything after the first ": "
        {"Orig", ""},                 // a prefix of a name is no name
        {"Missing", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(GetHeaderValue(c.name, headers), c.value) << c.name;
}

TEST(HeaderList, RequestLinesAreNeverReplyLines) {
    THeaderList kept({"Origin: https://bank.example", "Host: x"});
    EXPECT_TRUE(kept.ReplyLines().empty());
    kept.Add("X-Added: 1");
    EXPECT_EQ(kept.ReplyLines(), std::vector<std::string>{"X-Added: 1"});
    EXPECT_EQ(kept.Lines().size(), 3u);

    THeaderList replaced({"Origin: https://bank.example"});
    replaced.Clear();
    replaced.Add("A: 1");
    replaced.Add("B: 2");
    EXPECT_EQ(replaced.ReplyLines(), (std::vector<std::string>{"A: 1", "B: 2"}));
}

class Routes : public HttpTest {
protected:
    // A handler that answers with its name, so a test can see which one ran.
    static TRouteHandler Named(std::string name) {
        return [name](const std::string&, const std::string&, const std::string&, THeaderList&,
                      std::string& reply, std::int32_t& status) {
            reply = name;
            status = 200;
        };
    }
    static std::string Run(const TRouteHandler* handler) {
        if (!handler) return "<none>";
        THeaderList headers;
        std::string reply;
        std::int32_t status = 500;
        (*handler)("", "", "", headers, reply, status);
        return reply;
    }
};

TEST_F(Routes, ThreeFormsRegisterEveryMethodPathPair) {
    RegisterRoute({"GET", "HEAD"}, Named("one"), "/one");
    RegisterRoute({"GET"}, Named("pair"), std::vector<std::string>{"/a/v", "/b/v"});
    RegisterRoute({"POST"}, Named("root"));
    const struct {
        const char* method;
        const char* path;
        const char* handler;
    } cases[] = {
        {"GET", "/one", "one"},    {"HEAD", "/one", "one"},   {"GET", "/a/v", "pair"},
        {"GET", "/b/v", "pair"},   {"POST", "/", "root"},     {"POST", "/one", "<none>"},
        {"get", "/one", "<none>"}, {"GET", "/ONE", "<none>"}, {"GET", "/", "<none>"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Run(FindRoute(c.method, c.path)), c.handler) << c.method << " " << c.path;
}

TEST_F(Routes, KnownPathIgnoresLetterCaseButNotTheWholePath) {
    RegisterRoute({"GET"}, Named("v"), "/api/v1/version");
    EXPECT_TRUE(IsKnownPath("/api/v1/version"));
    EXPECT_TRUE(IsKnownPath("/API/V1/VERSION"));
    EXPECT_FALSE(IsKnownPath("/v1/version"));  // a tail of a path is not the path
    EXPECT_FALSE(IsKnownPath("/api/v1/version?x=1"));
    EXPECT_FALSE(IsKnownPath("/"));
}

TEST_F(Routes, ReRegisteringAPairReplacesItsHandler) {
    RegisterRoute({"GET"}, Named("old"), "/x");
    RegisterRoute({"GET"}, Named("new"), "/x");
    EXPECT_EQ(Run(FindRoute("GET", "/x")), "new");
}

TEST_F(Routes, RegistrationAfterTheFirstLookUpIsRefusedUntilFreed) {
    RegisterRoute({"GET"}, Named("v"), "/v");
    ASSERT_NE(FindRoute("GET", "/v"), nullptr);
    EXPECT_THROW(RegisterRoute({"GET"}, Named("late"), "/late"), ERouteRegistry);
    EXPECT_FALSE(IsKnownPath("/late"));
    FreeRoutes();
    EXPECT_FALSE(IsKnownPath("/v"));
    FreeRoutes();
    EXPECT_NO_THROW(RegisterRoute({"GET"}, Named("again"), "/v"));
}

class CheckOriginTest : public HttpTest {
protected:
    void SetUp() override {
        HttpTest::SetUp();
        Domains.SetText("bank.example");
    }
    TDomainListPlus Domains;
};

TEST_F(CheckOriginTest, TrustedPageGetsExactlyTheTwoCorsLines) {
    THeaderList headers(
        {"Host: localhost", "Origin: https://bank.example", "Referer: https://bank.example/pay"});
    std::int32_t status = 500;
    EXPECT_TRUE(CheckOrigin(Domains, headers, status));
    EXPECT_EQ(status, 500);
    const std::vector<std::string> cors = {
        "Access-Control-Allow-Origin: https://bank.example",
        "Access-Control-Allow-Headers: content-type, x-compress"};
    EXPECT_EQ(headers.Lines(), cors);
    EXPECT_EQ(headers.ReplyLines(), cors);
}

TEST_F(CheckOriginTest, RefererAloneAllowsAnyOrigin) {
    THeaderList headers({"Referer: https://bank.example/pay"});
    std::int32_t status = 500;
    EXPECT_TRUE(CheckOrigin(Domains, headers, status));
    EXPECT_EQ(headers.Lines().front(), "Access-Control-Allow-Origin: *");
}

TEST_F(CheckOriginTest, UntrustedGets403AndHeadersStayAsReceived) {
    const std::vector<std::string> request = {"Origin: https://evil.example",
                                              "Referer: https://bank.example/"};
    for (const auto& lines : {request, std::vector<std::string>{"Host: localhost"}}) {
        THeaderList headers(lines);
        std::int32_t status = 500;
        EXPECT_FALSE(CheckOrigin(Domains, headers, status));
        EXPECT_EQ(status, 403);
        EXPECT_EQ(headers.Lines(), lines);
        EXPECT_TRUE(headers.ReplyLines().empty());
    }
}

TEST(HttpDate, DayWithoutLeadingZeroAndSignedOffset) {
    std::tm t{};
    t.tm_year = 2025 - 1900;
    t.tm_mon = 11;
    t.tm_mday = 9;
    t.tm_wday = 2;
    t.tm_hour = 14;
    t.tm_min = 5;
    t.tm_sec = 33;
    EXPECT_EQ(FormatHttpDate(t, 3 * 3600), "Tue, 9 Dec 2025 14:05:33 +0300");
    EXPECT_EQ(FormatHttpDate(t, 0), "Tue, 9 Dec 2025 14:05:33 +0000");
    EXPECT_EQ(FormatHttpDate(t, -(3 * 3600 + 30 * 60)), "Tue, 9 Dec 2025 14:05:33 -0330");
    t.tm_mon = 0;
    t.tm_mday = 25;
    t.tm_wday = 0;
    t.tm_hour = 0;
    EXPECT_EQ(FormatHttpDate(t, 5 * 3600 + 45 * 60), "Sun, 25 Jan 2025 00:05:33 +0545");
}

TEST(HttpDate, NowHasTheFormsShape) {
    const std::string now = HttpDateNow();
    // "Ddd, D Mmm YYYY hh:mm:ss +hhmm": 30 or 31 characters.
    EXPECT_TRUE(now.size() == 30 || now.size() == 31) << now;
    EXPECT_EQ(now[3], ',');
    EXPECT_TRUE(now[now.size() - 5] == '+' || now[now.size() - 5] == '-') << now;
}

}  // namespace
}  // namespace nelvo::test

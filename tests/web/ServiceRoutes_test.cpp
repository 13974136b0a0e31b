// The service routes over whole exchanges: preflight, versions, stop, the update lock and the
// admission order, with the host in small.
#include <gtest/gtest.h>

#include "ServiceTestSupport.h"
#include "plugin/U_PluginTransport.h"

namespace nelvo::test {
namespace {

const std::string ProgramVersionBody =
    std::string(R"({ "error" : { "code" : 0, "text" : "success" }, "data" : ")") +
    NELVO_PROJECT_VERSION + "\" }";
const std::string Body403 = R"({ "code" : "3", "text" : "Передан недопустимый Origin" })";
const std::string Body404 = R"({ "code" : "1", "text" : "Метод API отсутствует" })";
const std::string Body405 = R"({ "code" : "2", "text" : "Метод вызова не допустим" })";
const std::string Body423 =
    R"({ "code" : "7", "text" : "Сервис заблокирован, идет процесс обновления" })";
const std::string Body500 = R"({ "code" : "99", "text" : "Внутренняя ошибка сервера" })";

TEST_F(ServiceTest, StatusAndBodyOfEachRoute) {
    const struct {
        const char* method;
        const char* path;
        const char* origin;
        int status;
        std::string body;
    } cases[] = {
        {"OPTIONS", "/api/v1/sign", TrustedPage, 200, ""},
        {"OPTIONS", "/test/CAdES_COM", TrustedPage, 200, ""},  // any known path
        {"OPTIONS", "/api/v1/sign", UntrustedPage, 403, Body403},
        {"OPTIONS", "/nothing", TrustedPage, 404, Body404},
        {"GET", "/API/V1/VERSION", TrustedPage, 405, Body405},
        {"POST", "/api/v1/version", TrustedPage, 405, Body405},
        {"GET", "/api/v1/version?x=1", TrustedPage, 404, Body404},
        {"GET", "/api/v1/version", TrustedPage, 200, ProgramVersionBody},
        {"GET", "/sapi/v1/version", TrustedPage, 200, ProgramVersionBody},
        {"GET", "/api/v1/version", UntrustedPage, 403, Body403},
        {"GET", "/api/v1/version", "", 403, Body403},  // no page named at all
        {"GET", "/api/v1/version/service", UntrustedPage, 403, Body403},
        {"POST", "/sapi/v1/stop", UntrustedPage, 403, Body403},
        {"GET", "/sapi/v1/stop", TrustedPage, 405, Body405},
        {"POST", "/test/CAdES_COM", TrustedPage, 405, Body405},
    };
    for (const auto& c : cases) {
        const TReply reply = Request(c.method, c.path, c.origin);
        const std::string what = std::string(c.method) + " " + c.path + " from " + c.origin;
        EXPECT_EQ(reply.Status, c.status) << what;
        EXPECT_EQ(reply.Body, c.body) << what;
        // CORS lines only where the trust check passed.
        EXPECT_EQ(reply.HasHeaderStarting("Access-Control-Allow-Origin: "), c.status == 200)
            << what;
        EXPECT_FALSE(reply.HasHeaderStarting("Origin: ")) << what;
    }
    EXPECT_EQ(Host.EndRequests, 0);
    EXPECT_TRUE(Notices().empty());
}

TEST_F(ServiceTest, TrustedPreflightAnswersTheCorsLinesAndNoBody) {
    const TReply reply = Request("OPTIONS", "/api/v1/sign");
    EXPECT_EQ(reply.Status, 200);
    EXPECT_EQ(reply.Headers, (std::vector<std::string>{
                                 "Access-Control-Allow-Origin: https://bank.example",
                                 "Access-Control-Allow-Headers: content-type, x-compress",
                                 "Content-Type: text/html; charset=utf-8",
                                 "Content-length: 0",
                                 "Connection: close",
                                 std::string("Date: ") + TestDate,
                                 "Server: TestServer/1.0",
                             }));
    EXPECT_EQ(reply.Body, "");
}

TEST_F(ServiceTest, StopFromAnUntrustedPageLeavesTheProgramRunning) {
    EXPECT_EQ(Request("POST", "/sapi/v1/stop", UntrustedPage).Status, 403);
    EXPECT_EQ(Host.EndRequests, 0);

    const TReply reply = Request("POST", "/sapi/v1/stop");
    EXPECT_EQ(reply.Status, 200);
    EXPECT_EQ(reply.Body, "");
    EXPECT_TRUE(reply.HasHeader("Content-length: 0"));
    EXPECT_TRUE(reply.HasHeader("Access-Control-Allow-Origin: https://bank.example"));
    EXPECT_EQ(Host.EndRequests, 1);
}

TEST_F(ServiceTest, WhileAnUpdateRunsAdmittedRoutesAnswer423AndShowTheNotice) {
    UpdateInProgress = true;
    const char* locked[][2] = {
        {"GET", "/api/v1/version"},         {"GET", "/sapi/v1/version"},
        {"GET", "/api/v1/version/service"}, {"GET", "/sapi/v1/version/service"},
        {"POST", "/sapi/v1/stop"},          {"POST", "/api/v1/sign"},
    };
    for (const auto& [method, path] : locked) {
        const TReply reply = Request(method, path);
        EXPECT_EQ(reply.Status, 423) << path;
        EXPECT_EQ(reply.Body, Body423) << path;
        // The trust check ran first: the page may read the refusal.
        EXPECT_TRUE(reply.HasHeader("Access-Control-Allow-Origin: https://bank.example")) << path;
    }
    EXPECT_EQ(Host.EndRequests, 0);
    const std::vector<TUpdateNotice> notices = Notices();
    ASSERT_EQ(notices.size(), std::size(locked));
    for (const TUpdateNotice& notice : notices)
        EXPECT_EQ(notice, UpdateNoticeOf(TAutoUpdateError::errNone));
}

TEST_F(ServiceTest, WhileAnUpdateRunsTheTrustCheckStillComesFirstAndTheRestIsOpen) {
    UpdateInProgress = true;
    LastUpdateError = TAutoUpdateError::errCheckInstaller;
    // An untrusted page is refused as such and shows the user nothing.
    EXPECT_EQ(Request("GET", "/api/v1/version", UntrustedPage).Status, 403);
    EXPECT_TRUE(Notices().empty());
    // Preflight and test page have no update lock.
    EXPECT_EQ(Request("OPTIONS", "/api/v1/version").Status, 200);
    EXPECT_EQ(Request("GET", "/test/CAdES_COM", UntrustedPage).Status, 200);
    EXPECT_TRUE(Notices().empty());

    EXPECT_EQ(Request("GET", "/api/v1/version").Status, 423);
    ASSERT_EQ(Notices().size(), 1u);
    EXPECT_EQ(Notices()[0].DialogType, TUpdateDialogType::dtError);

    UpdateInProgress = false;
    EXPECT_EQ(Request("GET", "/api/v1/version").Status, 200);
}

TEST_F(ServiceTest, WithoutAnInstalledHostNothingIsTrustedAndNothingEnds) {
    SetWebServiceHost(nullptr);
    for (const char* route : {"OPTIONS /api/v1/sign", "GET /api/v1/version", "POST /sapi/v1/stop",
                              "POST /"}) {
        const std::string text(route);
        const std::size_t blank = text.find(' ');
        const TReply reply = Request(text.substr(0, blank), text.substr(blank + 1));
        EXPECT_EQ(reply.Status, 500) << route;
        EXPECT_EQ(reply.Body, Body500) << route;
    }
    EXPECT_EQ(Host.EndRequests, 0);
    EXPECT_TRUE(Logged("No web service host installed!"));
}

TEST_F(ServiceTest, RawCommandWithoutAPluginIsAnInternalError) {
    const TReply reply = Request("POST", "/", TrustedPage, R"({"Plugin":"VUDuded"})");
    EXPECT_EQ(reply.Status, 500);
    EXPECT_EQ(reply.Body, Body500);
    EXPECT_TRUE(Logged("No executor! Library not loaded?"));
}

TEST_F(ServiceTest, RawCommandFromAnUntrustedPageNeverReachesThePlugin) {
    struct TCountingTransport : IPluginTransport {
        bool ProcessCommand(const std::string&, std::string& reply, bool) override {
            ++calls;
            reply = "{}";
            return true;
        }
        int calls = 0;
    } transport;
    SetPluginTransport(&transport);
    const TReply refused = Request("POST", "/", UntrustedPage, "{}");
    const TReply admitted = Request("POST", "/", TrustedPage, "{}");
    ClearPluginTransport(&transport);
    EXPECT_EQ(refused.Status, 403);
    EXPECT_EQ(admitted.Status, 200);
    EXPECT_EQ(admitted.Body, "{}");
    EXPECT_EQ(transport.calls, 1);
}

TEST_F(ServiceTest, PluginVersionWithoutAPluginIsAnEmptyVersion) {
    const TReply reply = Request("GET", "/sapi/v1/version/service");
    EXPECT_EQ(reply.Status, 200);
    EXPECT_EQ(reply.Body, R"({ "error" : { "code" : 0, "text" : "success" }, "data" : "" })");
}

}  // namespace
}  // namespace nelvo::test

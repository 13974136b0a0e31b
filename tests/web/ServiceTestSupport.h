// Helpers of the service-route tests: a host object in small, the routes registered as module
// set-up does, a notice hook that records instead of showing, and replies taken apart.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "HttpTestSupport.h"
#include "settings/U_Settings.h"
#include "update/U_AutoUpdate.h"
#include "web/U_WebServer_Host.h"
#include "web/U_WebServer_Service.h"

namespace nelvo::test {

inline constexpr char TrustedPage[] = "https://bank.example";
inline constexpr char UntrustedPage[] = "https://evil.example";

class TFakeWebHost : public IWebServiceHost {
public:
    TFakeWebHost() { Domains.SetText("bank.example"); }
    TDomainList& TrustedDomains() override { return Domains; }
    std::string ServerName() const override { return "TestServer/1.0"; }
    void RequestProgramEnd() override { ++EndRequests; }

    TDomainListPlus Domains;
    std::atomic<int> EndRequests{0};
};

// A reply as sent: the status, the header lines and the body.
struct TReply {
    int Status = 0;
    std::vector<std::string> Headers;
    std::string Body;

    bool HasHeader(const std::string& line) const {
        return std::find(Headers.begin(), Headers.end(), line) != Headers.end();
    }
    int CountHeader(const std::string& line) const {
        return static_cast<int>(std::count(Headers.begin(), Headers.end(), line));
    }
    bool HasHeaderStarting(const std::string& prefix) const {
        for (const std::string& header : Headers)
            if (header.rfind(prefix, 0) == 0) return true;
        return false;
    }
};

// Splits the bytes of a reply that carries a header block; Status 0 when nothing was sent.
inline TReply ParseReply(const std::string& sent) {
    TReply reply;
    const std::size_t end = sent.find("\r\n\r\n");
    if (sent.rfind("HTTP/1.0 ", 0) != 0 || end == std::string::npos) return reply;
    std::size_t at = sent.find("\r\n");
    reply.Status = std::stoi(sent.substr(9, at - 9));
    while (at < end) {
        const std::size_t next = sent.find("\r\n", at + 2);
        reply.Headers.push_back(sent.substr(at + 2, next - at - 2));
        at = next;
    }
    reply.Body = sent.substr(end + 4);
    return reply;
}

// The routes as the program registers them, with a stand-in for the API module's routes
// between the web service's and the service routes, a fake host and a recording notice hook.
class ServiceTest : public HttpTest {
protected:
    void SetUp() override {
        HttpTest::SetUp();
        SetWebServiceHost(&Host);
        UpdateInProgress = false;
        LastUpdateError = TAutoUpdateError::errNone;
        SetUpdateNoticeHook([this](const TUpdateNotice& notice) {
            std::lock_guard guard(NoticeLock_);
            Notices_.push_back(notice);
        });
        RegisterWebServerRoutes();
        RegisterRoute({"POST"}, StandInApiOperation, "/api/v1/sign");
        RegisterServiceRoutes();
    }
    void TearDown() override {
        SetUpdateNoticeHook(nullptr);
        UpdateInProgress = false;
        LastUpdateError = TAutoUpdateError::errNone;
        SetWebServiceHost(nullptr);
        HttpTest::TearDown();
    }

    // One request with an Origin header (none when origin is empty) and a body.
    TReply Request(const std::string& method, const std::string& path,
                   const std::string& origin = TrustedPage, const std::string& body = {}) {
        std::string bytes = method + " " + path + " HTTP/1.1\r\nHost: localhost:11741\r\n";
        if (!origin.empty()) bytes += "Origin: " + origin + "\r\n";
        if (!body.empty()) bytes += "Content-Length: " + std::to_string(body.size()) + "\r\n";
        return ParseReply(Exchange(bytes + "\r\n" + body));
    }

    std::vector<TUpdateNotice> Notices() const {
        std::lock_guard guard(NoticeLock_);
        return Notices_;
    }

    TFakeWebHost Host;

private:
    static void StandInApiOperation(const std::string&, const std::string&, const std::string&,
                                    THeaderList& headers, std::string&, std::int32_t& status) {
        AdmitRequest(headers, status);
    }

    mutable std::mutex NoticeLock_;
    std::vector<TUpdateNotice> Notices_;
};

}  // namespace nelvo::test

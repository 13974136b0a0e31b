#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "log/U_LogFile.h"
#include "web/U_WebServer_Http.h"

namespace nelvo {

namespace {

const TRouteHandler* LookUpRoute(const THttpRequest& request, std::int32_t& status) {
    if (!IsKnownPath(request.URI)) {
        status = 404;
        return nullptr;
    }
    const TRouteHandler* handler = FindRoute(request.Method, request.URI);
    if (!handler) handler = FindRoute(request.Method, "*");
    if (!handler) status = 405;
    return handler;
}

std::string LinesText(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    return text;
}

}  // namespace

THttpReply ProcessHttpRequest(THttpRequest& request, const THttpExchangeContext& context) {
    THttpReply reply;
    std::string text;
    std::int32_t status = 500;
    if (const TRouteHandler* handler = LookUpRoute(request, status))
        (*handler)(request.Method, request.URI, request.Body, request.Headers, text, status);
    reply.LogBody = status > 0;
    // The magnitude of INT32_MIN does not fit; such a status is nonsense and answered as 500.
    reply.Status = status == INT32_MIN ? 500 : std::abs(status);
    reply.Headers = request.Headers.ReplyLines();
    reply.Headers.push_back("Content-Type: text/html; charset=utf-8");
    HostLoger->Log(context.Sender, "Reply: Status = " + std::to_string(reply.Status), llDetail,
                   LinesText(reply.Headers));
    if (text.empty()) text = ErrorBody(reply.Status);
    if (!text.empty()) {
        reply.Body = std::move(text);
        HostLoger->Log(context.Sender, "Reply [" + request.Method + "]: WriteBuffer done.",
                       llDetail, reply.LogBody ? reply.Body : std::string());
    }
    return reply;
}

bool SendHttpReply(IHttpConnection& connection, const THttpRequest& request,
                   const THttpReply& reply, const THttpExchangeContext& context) {
    std::string bytes = "HTTP/1.0 " + std::to_string(reply.Status) + "\r\n";
    if (!request.Protocol.empty()) {
        std::vector<std::string> lines = reply.Headers;
        lines.push_back("Content-length: " + std::to_string(reply.Body.size()));
        lines.push_back("Connection: close");
        lines.push_back("Date: " + (context.DateText ? context.DateText() : HttpDateNow()));
        lines.push_back("Server: " + context.ServerName);
        lines.push_back(std::string());
        bytes += LinesText(lines);
    }
    // One write for head and body: a small second write would wait for the peer's delayed
    // acknowledgement of the first.
    bytes += reply.Body;
    if (connection.Send(bytes)) return true;
    HostLoger->Log(context.Sender,
                   "Error while sending reply (" + std::to_string(connection.LastError()) + ")",
                   llError, connection.LastErrorText());
    return false;
}

bool ProcessHttpExchange(IHttpConnection& connection, const THttpExchangeContext& context) {
    THttpRequest request;
    if (!ReadHttpRequest(connection, context, request)) return false;
    const THttpReply reply = ProcessHttpRequest(request, context);
    if (!SendHttpReply(connection, request, reply, context)) return false;
    HostLoger->Log(context.Sender, "Reply: SendReply done.", llDetail);
    return true;
}

std::string FormatHttpDate(const std::tm& local, long utcOffsetSeconds) {
    static constexpr const char* Days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr const char* Months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                             "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const long minutes = std::labs(utcOffsetSeconds) / 60;
    char text[64];
    std::snprintf(text, sizeof text, "%s, %d %s %04d %02d:%02d:%02d %c%02ld%02ld",
                  Days[((local.tm_wday % 7) + 7) % 7], local.tm_mday,
                  Months[((local.tm_mon % 12) + 12) % 12], local.tm_year + 1900, local.tm_hour,
                  local.tm_min, local.tm_sec, utcOffsetSeconds < 0 ? '-' : '+', minutes / 60,
                  minutes % 60);
    return text;
}

std::string HttpDateNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return FormatHttpDate(local, local.tm_gmtoff);
}

}  // namespace nelvo

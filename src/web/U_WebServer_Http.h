// One HTTP exchange of the local web service: read one request, hand it to its route, write one
// reply, and the connection is done. The dialect is a small HTTP/1.0: no persistent
// connections, no chunked transfer, bodies framed by Content-Length only, status lines without a
// reason phrase.
//
// A connection thread (plain or TLS) calls ProcessHttpExchange once with its connection behind
// IHttpConnection; nothing here knows about sockets, so the exchange is the same for both
// listeners and is tested with an in-memory connection.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "web/U_WebServer_Routes.h"

namespace nelvo {

class TObject;

// The byte stream of one accepted connection.
class IHttpConnection {
public:
    virtual ~IHttpConnection() = default;
    // Waits up to timeoutMs for data and reads at most max bytes into buffer: the count read,
    // 0 when the peer closed the connection, -1 on an error or when nothing came in time.
    virtual long Receive(char* buffer, std::size_t max, int timeoutMs) = 0;
    // Sends every byte; false on an error.
    virtual bool Send(std::string_view bytes) = 0;
    // The code and text of the last failed call, for the log.
    virtual int LastError() const = 0;
    virtual std::string LastErrorText() const = 0;
};

// How long one line, and the whole body, may take to arrive.
inline constexpr int HttpReadTimeoutMs = 20000;
// What a request may claim before it is refused without a reply. Nothing a page sends comes
// near these; they keep a broken or hostile client from making the host hold unbounded memory.
inline constexpr std::size_t HttpMaxLineLength = 64 * 1024;
inline constexpr std::size_t HttpMaxHeaderBlock = 1024 * 1024;
inline constexpr std::int64_t HttpMaxContentLength = 256 * 1024 * 1024;

// What the connection thread brings to its exchange.
struct THttpExchangeContext {
    std::string ServerName;           // value of the "Server" reply header
    const TObject* Sender = nullptr;  // the object the log names
    // Asked before each line and before the body; true ends the exchange without a reply.
    std::function<bool()> Terminated;
    // Value of the "Date" reply header; the current local time when empty.
    std::function<std::string()> DateText;
    int ReadTimeoutMs = HttpReadTimeoutMs;
};

struct THttpRequest {
    std::string Method;
    std::string URI;       // used unchanged, query string included, as the route path
    std::string Protocol;  // may be empty: then there are no header lines, in or out
    THeaderList Headers;   // as received; the handler's reply lines afterwards
    std::string Body;      // exactly the bytes the content length announced
};

struct THttpReply {
    std::int32_t Status = 500;  // always positive here
    bool LogBody = true;        // false when the handler answered with a negative status
    std::vector<std::string> Headers;
    std::string Body;
};

// Reads request line, header lines and body. False (with the reason in the log) when the
// request cannot be read: then no reply is due.
bool ReadHttpRequest(IHttpConnection& connection, const THttpExchangeContext& context,
                     THttpRequest& request);
// Looks the route up and runs its handler; 404 for an unknown path, 405 for a known path without
// a handler for the method. A handler's exception passes through.
THttpReply ProcessHttpRequest(THttpRequest& request, const THttpExchangeContext& context);
// Writes status line, header block (only when the request named a protocol) and body.
bool SendHttpReply(IHttpConnection& connection, const THttpRequest& request,
                   const THttpReply& reply, const THttpExchangeContext& context);
// The whole exchange of one connection; true when a reply was sent. Exceptions of a handler (or
// a failed allocation) pass through to the connection thread, which logs them; no reply is sent
// then.
bool ProcessHttpExchange(IHttpConnection& connection, const THttpExchangeContext& context);

// "Tue, 9 Dec 2025 14:05:33 +0300": English names, day without leading zero, the local offset
// from UTC in hours and minutes.
std::string FormatHttpDate(const std::tm& local, long utcOffsetSeconds);
std::string HttpDateNow();

}  // namespace nelvo

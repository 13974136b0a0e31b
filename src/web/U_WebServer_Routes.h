// The route registry of the local web service, and what every route handler shares: the header
// list of the exchange, the trust check with its CORS reply headers, and the error body.
//
// Routes are registered during module set-up, before any listener exists, and only looked up
// afterwards. Registration takes a lock, so modules may register from any thread while the
// program starts; look-ups take none, because nothing changes the table once requests are being
// served. The first look-up seals the table: a registration after it raises ERouteRegistry
// instead of racing with the connection threads. FreeRoutes (program end, and tests) empties the
// table and unseals it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/QxObject.h"

namespace nelvo {

class TDomainList;

// The header lines of one exchange. On entry to a handler they are the request's lines as
// received; the lines a handler adds become the reply's header lines. Request lines are never
// sent back: emptying the list drops them, and lines added without emptying it come after them
// and are the only ones sent.
class THeaderList {
public:
    THeaderList() = default;
    explicit THeaderList(std::vector<std::string> requestLines);

    const std::vector<std::string>& Lines() const { return Lines_; }
    void Clear();
    void Add(std::string line);
    // The lines added for the reply, in their order.
    std::vector<std::string> ReplyLines() const;

private:
    std::vector<std::string> Lines_;
    std::size_t ReplyStart_ = 0;
};

// The value of the first line that begins with Name followed by ": " (letter case ignored), after
// the first ": ", trimmed; empty when no line matches. "Content-Length:12" (no blank) does not
// match "Content-Length".
std::string GetHeaderValue(std::string_view name, const THeaderList& headers);

// A route handler: method, path and body of the request, the header list, the reply text (empty
// on entry) and the status (500 on entry). A negative status is sent as its absolute value and
// keeps the reply text out of the log. A handler that raises gets no reply sent.
using TRouteHandler =
    std::function<void(const std::string& method, const std::string& path, const std::string& body,
                       THeaderList& headers, std::string& reply, std::int32_t& status)>;

class ERouteRegistry : public Exception {
public:
    using Exception::Exception;
};

// Registers handler under every method of methods for path.
void RegisterRoute(const std::vector<std::string>& methods, const TRouteHandler& handler,
                   const std::string& path);
// Registers handler under every pair of a method and a path, methods in the outer loop. A pair
// registered before is replaced.
void RegisterRoute(const std::vector<std::string>& methods, const TRouteHandler& handler,
                   const std::vector<std::string>& paths);
// The same for the single path "/".
void RegisterRoute(const std::vector<std::string>& methods, const TRouteHandler& handler);

// Exact look-up of method + "^" + path (letter case counts); null when there is none. The
// handler stays valid until FreeRoutes.
const TRouteHandler* FindRoute(const std::string& method, const std::string& path);
// Some route is registered for path, letter case ignored.
bool IsKnownPath(const std::string& path);
// Empties the table at program end; registration is possible again afterwards.
void FreeRoutes();

// The trust check every route handler but the test page runs first. Trusted: the header list is
// emptied and gets "Access-Control-Allow-Origin: " with domainList.AllowOrigin of the Origin and
// "Access-Control-Allow-Headers: content-type, x-compress"; status is left alone. Not trusted:
// status 403, the header list is left alone. May wait while the user is asked about an unknown
// domain.
bool CheckOrigin(TDomainList& domainList, THeaderList& headers, std::int32_t& status);

// The error body of an HTTP status: { "code" : "<code>", "text" : "<text>" }, empty for a status
// without a code. Detail is used for 500 only; it is escaped, so that any detail (an exception
// message with quotes or line breaks) still gives valid JSON.
std::string ErrorBody(std::int32_t status, std::string_view detail = {});

}  // namespace nelvo

// The service routes of the local web service: the CORS preflight, the raw plugin command, the
// program and plugin versions, the stop command and the test page; and the admission check that
// these and the API operations run first.
//
// Module set-up registers the routes in the order of the route table, before any listener
// exists:
//
//   RegisterWebServerRoutes();   // OPTIONS *, POST /
//   RegisterApiRoutes();         // the /api/v1/ operations
//   RegisterServiceRoutes();     // versions, stop, test page
//
// The handlers reach the host object only through WebServiceHost().
#pragma once

#include <cstdint>
#include <string_view>

#include "tools/QxObject.h"
#include "web/U_WebServer_Routes.h"

namespace nelvo {

// The page the developers' test page route answers with.
inline constexpr char TestPageResourceName[] = "TEST_CADES_COM";

class EResourceNotFound : public Exception {
public:
    using Exception::Exception;
};

// The bytes of a program resource; raises EResourceNotFound when the program has none of that
// name.
std::string_view RawResource(std::string_view name);

// The trust check against the host's trusted domains (403 when it fails; the header list holds
// the CORS reply lines when it passes), then the update lock (423 and the update notice while an
// update runs). True, with status 200, when the request may go on. Without an installed host
// nothing can be trusted: status 500.
bool AdmitRequest(THeaderList& headers, std::int32_t& status);

// The web service's own two routes: OPTIONS "*" (preflight) and POST "/" (raw plugin command).
void RegisterWebServerRoutes();
// The versions (GET /api/v1/version and /sapi/v1/version, GET /api/v1/version/service and
// /sapi/v1/version/service), POST /sapi/v1/stop and GET /test/CAdES_COM, in this order. The
// /api/v1/ operations are registered before these by their own module.
void RegisterServiceRoutes();

}  // namespace nelvo

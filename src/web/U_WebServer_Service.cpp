#include "web/U_WebServer_Service.h"

#include <string>

#include "api/U_CAdES_JSON.h"
#include "log/U_LogFile.h"
#include "platform/Resources.h"
#include "plugin/U_PluginGate.h"
#include "plugin/U_PluginTransport.h"
#include "tools/QxSysTools.h"
#include "update/U_AutoUpdate.h"
#include "web/U_WebServer_Host.h"

namespace nelvo {

namespace {

// The installed host; a request that arrives without one (a listener left running past the
// host's end) is answered 500 rather than trusted.
IWebServiceHost* HostOrNone() {
    IWebServiceHost* host = WebServiceHost();
    if (!host) HostLoger->Log(nullptr, "No web service host installed!", llError);
    return host;
}

bool CheckOriginOfHost(THeaderList& headers, std::int32_t& status) {
    IWebServiceHost* host = HostOrNone();
    if (!host) {
        status = 500;
        return false;
    }
    return CheckOrigin(host->TrustedDomains(), headers, status);
}

void Preflight(const std::string&, const std::string&, const std::string&, THeaderList& headers,
               std::string&, std::int32_t& status) {
    if (CheckOriginOfHost(headers, status)) status = 200;
}

// The binding is told not to write command or reply into its lines: a page may send the plugin
// anything, key material included, and the exchange's own detail lines already carry both.
void RawPluginCommand(const std::string&, const std::string&, const std::string& body,
                      THeaderList& headers, std::string& reply, std::int32_t& status) {
    if (!CheckOriginOfHost(headers, status)) return;
    if (ProcessPluginCommand(body, reply, false))
        status = 200;
    else
        reply.clear();  // a failed command answers with the error body of its status
}

void ProgramVersion(const std::string&, const std::string&, const std::string&,
                    THeaderList& headers, std::string& reply, std::int32_t& status) {
    // The program file does not change under a running program; read its version once.
    static const std::string version = GetFileVersion(GetExeFileName());
    if (AdmitRequest(headers, status)) reply = MakeTextResult(version);
}

void PluginVersion(const std::string&, const std::string&, const std::string&, THeaderList& headers,
                   std::string& reply, std::int32_t& status) {
    if (AdmitRequest(headers, status)) reply = MakeTextResult(QueryPluginVersion());
}

void Stop(const std::string&, const std::string&, const std::string&, THeaderList& headers,
          std::string&, std::int32_t& status) {
    if (!AdmitRequest(headers, status)) return;
    if (IWebServiceHost* host = HostOrNone())
        host->RequestProgramEnd();
    else
        status = 500;
}

// Open to every page: the page is the developers' own test tool and does nothing by itself.
// Its bytes are long and never interesting in the log, hence the negative status.
void TestPage(const std::string&, const std::string&, const std::string&, THeaderList& headers,
              std::string& reply, std::int32_t& status) {
    const std::string_view page = RawResource(TestPageResourceName);
    headers.Clear();
    headers.Add("Content-Type: text/html; charset=utf-8");
    status = -200;
    reply.assign(page);
}

}  // namespace

std::string_view RawResource(std::string_view name) {
    if (const auto bytes = platform::FindRawResource(name)) return *bytes;
    throw EResourceNotFound("Resource \"" + std::string(name) + "\" not found");
}

bool AdmitRequest(THeaderList& headers, std::int32_t& status) {
    if (!CheckOriginOfHost(headers, status)) return false;
    if (UpdateInProgress.load()) {
        status = 423;
        ShowUpdateWindow();
        return false;
    }
    status = 200;
    return true;
}

void RegisterWebServerRoutes() {
    RegisterRoute({"OPTIONS"}, Preflight, "*");
    RegisterRoute({"POST"}, RawPluginCommand);
}

void RegisterServiceRoutes() {
    RegisterRoute({"GET"}, ProgramVersion,
                  std::vector<std::string>{"/api/v1/version", "/sapi/v1/version"});
    RegisterRoute({"GET"}, PluginVersion,
                  std::vector<std::string>{"/api/v1/version/service", "/sapi/v1/version/service"});
    RegisterRoute({"POST"}, Stop, "/sapi/v1/stop");
    RegisterRoute({"GET"}, TestPage, "/test/CAdES_COM");
}

}  // namespace nelvo

#include "app/U_PluginHost.h"

#include <fmt/printf.h>

#include "app/U_HostPorts.h"
#include "log/U_LogFile.h"
#include "settings/U_BrowserPorts.h"
#include "web/U_InitSSL.h"

namespace nelvo {

namespace {

std::string MakeServerName() {
    const std::string exe = GetExeFileName();
    return ChangeFileExt(ExtractFileName(exe), "") + "/" + GetFileVersion(exe);
}

// Appends a part of the status text, on a new line unless it is the first.
void AddPart(std::string& text, const std::string& part) {
    if (!text.empty()) text += "\r\n";
    text += part;
}

}  // namespace

TPluginHost::TPluginHost(std::string iniFileName)
    : Settings_(std::move(iniFileName)), ServerName_(MakeServerName()) {
    Settings_.Load();
    SetPluginTransport(this);
    SetWebServiceHost(this);
}

TPluginHost::~TPluginHost() {
    Stop();
    // A lone HTTPS listener left by a failed start is not running in the host's sense, so Stop
    // passes it by; it must not outlive its owner.
    StopListeners();
    if (WebServiceHost() == this) SetWebServiceHost(nullptr);
    ClearPluginTransport(this);
}

bool TPluginHost::Start() {
    if (IsRunning()) return false;
    HostLoger->Log(this, "Starting HTTP/HTTPS server...", llProgress);
    Settings_.LogCurrent();
    TSettingsParts busy;
    if (!CheckPorts(Settings_, busy)) {
        if (!FindPorts(Settings_, busy)) return false;
        Settings_.Save(busy);
    }
    if (LocalStorageFolderExists(true))
        PublishPorts(Settings_.Server().Domains(),
                     {Settings_.Server_RPC().Port(), Settings_.Server_SSL().Port()});
    bool result = false;
    try {
        const TConnectEvent onConnect = [this] { ConnectionAccepted(); };
        HostLoger->Log(this, "Starting HTTPS server...", llProgress);
        SslDaemon_ = std::make_unique<TsslDaemon>(Settings_.Server_SSL(), onConnect);
        HostLoger->Log(this, "Starting HTTP server...", llProgress);
        HttpDaemon_ = std::make_unique<ThttpDaemon>(Settings_.Server_RPC(), onConnect);
        result = IsRunning();
        if (result) HostLoger->Log(this, "HTTP/HTTPS server started!", llProgress);
    } catch (const std::exception& e) {
        HostLoger->LogException(this, "Starting HTTP/HTTPS server", e);
    }
    // Half a service is none: a listener left from a failed start is taken down again.
    if (!result) StopListeners();
    return result;
}

void TPluginHost::Stop() {
    if (!IsRunning()) return;
    HostLoger->Log(this, "Stopping HTTP/HTTPS server...", llProgress);
    try {
        HostLoger->Log(this, "Stopping HTTPS server...", llProgress);
        SslDaemon_->Stop();
        HostLoger->Log(this, "Stopping HTTP server...", llProgress);
        HttpDaemon_->Stop();
        HostLoger->Log(this, "HTTP/HTTPS server stopped!", llProgress);
    } catch (const std::exception& e) {
        HostLoger->LogException(this, "Stopping HTTP/HTTPS server", e);
    }
    StopListeners();
}

void TPluginHost::StopListeners() {
    SslDaemon_.reset();
    HttpDaemon_.reset();
}

void TPluginHost::ConnectionAccepted() {
    LastConnect_ = DateTimeToDouble(Now());
}

std::string TPluginHost::StatusText() const {
    std::string text;
    const std::string exe = GetExeFileName();
    AddPart(text, fmt::sprintf("Путь к хост-приложению: %s\r\nВерсия хост-приложения: %s", exe,
                               GetFileVersion(exe)));
    AddPart(text, IsRunning() ? fmt::sprintf("Режим: HTTP/HTTPS\r\nПорты: %d / %d",
                                             Settings_.Server_RPC().Port(),
                                             Settings_.Server_SSL().Port())
                              : std::string("Сервер не запущен!"));
    AddPart(text, IsPluginLoaded() ? fmt::sprintf("Библиотека: %s\r\nВерсия библиотеки: %s",
                                                  PluginPath(), PluginVersion())
                                   : std::string("Библиотека не загружена!"));
    AddPart(text, AddressStatusText());
    AddPart(text, OpenSSLStatusText());
    AddPart(text, HostLoger->IsEnabled() ? fmt::sprintf("Файл журнала: %s", HostLoger->FileName())
                                         : std::string("Журнал не ведется!"));
    return text;
}

std::string TPluginHost::LogsFolder() {
    return ExtractFilePath(GetExeFileName()) + "Logs";
}

TDomainList& TPluginHost::TrustedDomains() {
    return Settings_.Server().DomainList();
}

void TPluginHost::RequestProgramEnd() {
    if (ProgramEnd_) ProgramEnd_();
}

void TPluginHost::SetProgramEndHandler(std::function<void()> handler) {
    ProgramEnd_ = std::move(handler);
}

}  // namespace nelvo

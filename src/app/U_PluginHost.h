// The host object: owns the settings, the binding of the crypto plugin and the two listeners,
// and brings the local web service up and down. Exactly one exists while the program runs; the
// connection threads reach it through the web service's host seam and the plugin transport.
//
// Everything but ConnectionAccepted and the seam's calls runs on the main thread.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "plugin/U_PluginBinding.h"
#include "settings/U_Settings.h"
#include "tools/QxSysTools.h"
#include "web/U_WebServer.h"
#include "web/U_WebServer_Host.h"

namespace nelvo {

class TPluginHost : public TPluginBinding, public IWebServiceHost {
public:
    // Loads the settings, becomes the plugin transport and the web service's host. No plugin is
    // loaded and no listener runs yet.
    explicit TPluginHost(std::string iniFileName = GetHostIniFileName());
    // Stops the listeners and stops being the transport and the web service's host. The plugin
    // is not unloaded: at program end the library manager releases it.
    ~TPluginHost() override;
    TPluginHost(const TPluginHost&) = delete;
    TPluginHost& operator=(const TPluginHost&) = delete;

    THostSettings& Settings() { return Settings_; }
    const THostSettings& Settings() const { return Settings_; }
    // Local date-time of the last accepted connection on either listener; 0 before the first.
    double LastConnect() const { return LastConnect_; }

    bool IsRunning() const { return HttpDaemon_ && SslDaemon_; }
    // Tests the ports (moving a busy one and saving it), publishes them, starts HTTPS then HTTP.
    // False when running already, when no free ports exist, or when a listener failed.
    bool Start();
    void Stop();
    void ConnectionAccepted();
    std::string StatusText() const;
    // "<program name>/<file version>", the "Server" reply header.
    std::string ServerName() const override { return ServerName_; }
    // The program's folder followed by "Logs".
    static std::string LogsFolder();

    // The web service's view of the host.
    TDomainList& TrustedDomains() override;
    void RequestProgramEnd() override;
    // What RequestProgramEnd does; the program installs it before the listeners start.
    void SetProgramEndHandler(std::function<void()> handler);

private:
    void StopListeners();

    THostSettings Settings_;
    std::atomic<double> LastConnect_{0};
    std::unique_ptr<ThttpDaemon> HttpDaemon_;
    std::unique_ptr<TsslDaemon> SslDaemon_;
    const std::string ServerName_;
    std::function<void()> ProgramEnd_;
};

}  // namespace nelvo

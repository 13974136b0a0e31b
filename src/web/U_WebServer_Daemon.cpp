// The listener threads.
#include <string>

#include "log/U_LogFile.h"
#include "settings/U_Settings.h"
#include "web/U_InitSSL.h"
#include "web/U_WebServer.h"

namespace nelvo {

namespace {

// The TLS material exists before the HTTPS listener's thread starts.
const TDaemonSettings& PreparedForTls(const TDaemonSettings& settings) {
    PrepareSSLData();
    return settings;
}

}  // namespace

ThttpDaemon::ThttpDaemon(const TDaemonSettings& settings, TConnectEvent onConnect)
    : ThttpDaemon(settings, std::move(onConnect), TKind::Http) {}

ThttpDaemon::ThttpDaemon(const TDaemonSettings& settings, TConnectEvent onConnect, TKind kind)
    : Port_(settings.Port()), Kind_(kind), OnConnect_(std::move(onConnect)) {
    // The port is read here, on the creating thread: the settings may change for the next start
    // while this listener runs.
    Thread_ = std::thread(&ThttpDaemon::Execute, this);
}

ThttpDaemon::~ThttpDaemon() {
    Stop();
}

void ThttpDaemon::Stop() {
    {
        std::lock_guard guard(EventLock_);
        OnConnect_ = nullptr;
    }
    Terminated_ = true;
    Wake_.Signal();
    if (Thread_.joinable()) Thread_.join();
}

void ThttpDaemon::Execute() {
    try {
        int error = 0;
        Socket_ = platform::ListenOnLocalhost(Port_, DaemonLingerSeconds, error);
        if (Socket_.Valid()) {
            Listening_ = true;
            AcceptLoop();
        } else {
            // The host tests its ports just before it starts the listeners, so this is a port
            // another program took in between; without this line nobody would learn of it.
            HostLoger->Log(this, "Cannot listen on port " + std::to_string(Port_) + " (" +
                                     std::to_string(error) + ")",
                           llError, platform::SocketErrorText(error));
            while (!Terminated_)
                platform::WaitSocketOrWake(-1, Wake_, DaemonAcceptWaitMs);
        }
    } catch (const std::exception& e) {
        HostLoger->LogException(this, "ThttpDaemon.Execute", e);
    }
    Listening_ = false;
    Socket_.Close();
}

void ThttpDaemon::AcceptLoop() {
    while (!Terminated_) {
        const auto wait = platform::WaitSocketOrWake(Socket_.Handle(), Wake_, DaemonAcceptWaitMs);
        if (wait != platform::TWaitResult::Ready || Terminated_) continue;
        int error = 0;
        platform::TSocket connection = platform::AcceptConnection(Socket_.Handle(), error);
        if (!connection.Valid()) continue;
        CreateConnection(std::move(connection));
        Connected();
    }
}

void ThttpDaemon::CreateConnection(platform::TSocket socket) {
    ThttpThread::Start(std::move(socket), Kind_ == TKind::Https);
}

void ThttpDaemon::Connected() {
    std::lock_guard guard(EventLock_);
    if (OnConnect_) OnConnect_();
}

TsslDaemon::TsslDaemon(const TDaemonSettings& settings, TConnectEvent onConnect)
    : ThttpDaemon(PreparedForTls(settings), std::move(onConnect), TKind::Https) {}

}  // namespace nelvo

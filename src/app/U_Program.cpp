#include "app/U_Program.h"

#include <atomic>
#include <cstdio>
#include <memory>

#include "app/U_HostPorts.h"
#include "app/U_PluginHost.h"
#include "log/U_LogFile.h"
#include "platform/Signals.h"
#include "platform/SingleInstance.h"
#include "platform/Threads.h"
#include "web/U_InitSSL.h"
#include "web/U_WebServer.h"
#include "web/U_WebServer_Service.h"

namespace nelvo {

namespace {

// How often the main loop looks for the parameters of a later start, a signal and a stop
// request.
constexpr int MainLoopWaitMs = 100;

void Print(std::FILE* stream, const std::string& text) {
    std::fputs((text + "\n").c_str(), stream);
    std::fflush(stream);
}

// Module set-up in the order the modules depend on each other, and program end in reverse.
class TModules {
public:
    TModules() {
        HostLoger->IsEnabled();  // the host log reads its configuration first
        HostLoger->Log(nullptr, AddressStatusText(), llProgress);
        HostLoger->Log(nullptr, OpenSSLStatusText(), llProgress);
        CreateServerThreads();
        RegisterWebServerRoutes();
        RegisterServiceRoutes();
    }
    ~TModules() {
        FreeServerThreads();
        FreeRoutes();
        ClearTempFiles();
        FreeHostLoger();
    }
    TModules(const TModules&) = delete;
    TModules& operator=(const TModules&) = delete;
};

// The four start steps, each run whatever the others gave. A failed one is reported on the
// standard error stream as well: a headless host has no tray icon to turn red.
void StartHost(TPluginHost& host) {
    struct TStep {
        const char* name;
        bool ok;
    };
    const TStep steps[] = {
        {"the service host name does not resolve", CheckLocalAddress()},
        {"the OpenSSL libraries are not loaded", IsSSLLibraryLoaded()},
        {"the crypto plugin could not be loaded", host.LoadPlugin()},
        {"the local web service did not start", host.Start()},
    };
    for (const TStep& step : steps)
        if (!step.ok) Print(stderr, std::string("nelvo-host: ") + step.name + " (see the log)");
    if (!host.IsRunning()) return;
    try {
        host.Settings().Save();
    } catch (const std::exception& e) {
        HostLoger->LogException(&host, "Saving settings", e);
    }
}

void PrintStarted(const TPluginHost& host) {
    if (!host.IsRunning()) return;
    const std::string http = std::to_string(host.Settings().Server_RPC().Port());
    const std::string https = std::to_string(host.Settings().Server_SSL().Port());
    Print(stdout, std::string(ApplicationTitle) + " is running");
    Print(stdout, "  HTTP:      http://localhost:" + http + "/api/v1/version");
    Print(stdout, "  HTTPS:     https://" + std::string(ServiceHostName) + ":" + https +
                      "/api/v1/version");
    Print(stdout, "  Test page: https://" + std::string(ServiceHostName) + ":" + https +
                      "/test/CAdES_COM");
    Print(stdout, "  Log file:  " + (HostLoger->IsEnabled() ? HostLoger->FileName()
                                                             : std::string("none (set [Log] "
                                                                           "FileName in " +
                                                                           host.Settings()
                                                                               .IniFileName() +
                                                                           ")")));
}

// What a later start handed over. "exit" ends the program; anything else is for the desktop
// shell, which is not part of this build, so it is only logged.
bool WantsExit(const std::vector<std::string>& params) {
    if (!params.empty() && params.front() == "exit") return true;
    std::string text;
    for (const std::string& param : params) text += (text.empty() ? "" : " ") + param;
    HostLoger->Log(nullptr, "Another instance started with parameters: " + text, llProgress);
    return false;
}

int RunHost(const TProgramOptions& options) {
    platform::TInstanceGuard guard(ChangeFileExt(ExtractFileName(GetExeFileName()), ""));
    if (!guard.IsFirst()) {
        if (!guard.SendParams(options.Params))
            Print(stderr, "nelvo-host: the running instance did not answer: " + guard.Error());
        HostLoger->Log(nullptr, "Another instance is running! Exiting...", llProgress);
        return 0;
    }
    if (!options.Params.empty() && options.Params.front() == "exit") {
        // Nothing to end: starting a host here would do the opposite of what was asked.
        Print(stderr, "nelvo-host: no running instance to end");
        return 0;
    }
    platform::TTerminationSignals signals;  // before any thread exists
    platform::SetDefaultThreadStackSize(ThreadStackBytes);
    std::atomic<bool> endRequested{false};
    TModules modules;
    auto host = std::make_unique<TPluginHost>();
    host->SetProgramEndHandler([&endRequested] { endRequested = true; });
    StartHost(*host);
    PrintStarted(*host);
    while (!endRequested) {
        if (const int signal = signals.TakePending()) {
            HostLoger->Log(nullptr, "Signal " + std::to_string(signal) + " received, exiting",
                           llProgress);
            break;
        }
        if (auto params = guard.WaitForParams(MainLoopWaitMs); params && WantsExit(*params)) break;
    }
    // The listeners go first, then the connection threads still alive, and only then the host
    // they read: none of them may outlive it.
    host->Stop();
    FreeServerThreads();
    host->UnloadPlugin();
    host.reset();
    return 0;
}

int RunTlsCommand(const TProgramOptions& options) {
    std::string message;
    const bool ok = options.ExportCA ? ExportCA(*options.ExportCA, message) : InstallCA(message);
    Print(ok ? stdout : stderr, message);
    ClearTempFiles();
    FreeHostLoger();
    return ok ? 0 : 1;
}

}  // namespace

namespace {

TProgramOptions Wrong(std::string why) {
    TProgramOptions options;
    options.Error = std::move(why);
    return options;
}

}  // namespace

TProgramOptions ParseProgramOptions(const std::vector<std::string>& args) {
    TProgramOptions options;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.rfind("--", 0) != 0) {
            options.Params.push_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "--headless") {
            options.Headless = true;
        } else if (arg == "--install-ca") {
            options.InstallCA = true;
        } else if (arg == "--help") {
            options.Help = true;
        } else if (arg == "--export-ca") {
            if (i + 1 >= args.size()) return Wrong("--export-ca needs a file name");
            options.ExportCA = args[++i];
        } else if (arg.rfind("--export-ca=", 0) == 0) {
            options.ExportCA = arg.substr(12);
        } else {
            return Wrong("unknown option " + arg);
        }
    }
    if (options.ExportCA && options.ExportCA->empty())
        return Wrong("--export-ca needs a file name");
    if (options.ExportCA && options.InstallCA)
        return Wrong("--export-ca and --install-ca are separate commands");
    return options;
}

std::string ProgramUsage() {
    return "usage: nelvo-host [--headless] [PARAMETER...]\n"
           "       nelvo-host --export-ca FILE\n"
           "       nelvo-host --install-ca\n"
           "\n"
           "Runs the host (one instance per user). A later start hands its parameters to the\n"
           "running instance: \"nelvo-host exit\" ends it.\n"
           "  --headless      run without windows (the only mode of this build)\n"
           "  --export-ca F   write the local CA certificate (PEM) to F and exit\n"
           "  --install-ca    trust the local CA in the user's browser certificate stores and exit";
}

int RunProgram(int argc, char** argv) {
    const TProgramOptions options =
        ParseProgramOptions(std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc));
    if (!options.Error.empty()) {
        Print(stderr, "nelvo-host: " + options.Error + "\n" + ProgramUsage());
        return 2;
    }
    if (options.Help) {
        Print(stdout, ProgramUsage());
        return 0;
    }
    if (options.ExportCA || options.InstallCA) return RunTlsCommand(options);
    return RunHost(options);
}

}  // namespace nelvo

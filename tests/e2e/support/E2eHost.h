// The real program in a sandbox: private HOME, XDG folders and TMPDIR per test, the program
// started as a child whose output is kept for failure messages and which is ended, whatever
// happens, when the test ends.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace e2e {

using namespace std::chrono_literals;
using Millis = std::chrono::milliseconds;

// Sanitizer builds run the program many times slower; every wait of the harness is scaled.
Millis Scaled(Millis base);

// The program under test. Fails the test (throws) when a nelvo-host.ini lies beside it: the
// program would read that file instead of the sandbox's and the tests would prove nothing.
const std::string& HostProgram();

// Polls until the condition holds or the time is up; answers the last result.
bool WaitFor(const std::function<bool()>& condition, Millis timeout, Millis step = 20ms);

// Trusted origins for requests: a built-in bank domain and the service host name.
inline constexpr char kTrustedOrigin[] = "https://www.zrb.example";
inline constexpr char kServiceHost[] = "nelvo-plugin.localhost";

// Private folders for one program run, removed with everything in them.
class Sandbox {
public:
    Sandbox();
    ~Sandbox();
    Sandbox(const Sandbox&) = delete;
    Sandbox& operator=(const Sandbox&) = delete;

    const std::string& Root() const { return root_; }
    std::string Home() const { return root_ + "/home"; }
    std::string Config() const { return root_ + "/home/.config"; }
    std::string Runtime() const { return root_ + "/run"; }
    std::string Tmp() const { return root_ + "/tmp"; }
    std::string LogDir() const { return root_ + "/logs"; }
    std::string SettingsDir() const { return Config() + "/Nelvo/NelvoPlugin"; }
    std::string IniPath() const { return SettingsDir() + "/nelvo-host.ini"; }
    std::string LocalStorageDir() const {
        return Config() + "/google-chrome/Default/Local Storage";
    }
    std::string CaFile() const { return root_ + "/ca.pem"; }
    // The log pattern the sandbox's INI names; its first file of a run.
    std::string LogFile() const { return LogDir() + "/host.log"; }

    // Writes the settings file: both ports, the log (unless off) and any further lines.
    void WriteIni(int httpPort, int httpsPort, bool withLog = true, const std::string& extra = {});
    void CreateLocalStorageDir() const;

    // The program this sandbox runs: the built one, or a copy alone in a folder of the sandbox
    // (without the plugin that lies beside the built one).
    const std::string& Program() const { return program_; }
    void UseLoneCopyOfProgram();

    // The environment of every program run in this sandbox.
    std::vector<std::string> Environment() const;

    struct RunResult {
        int code = -1;  // exit code, or -signal, or -1000 when it had to be killed
        std::string output;
    };
    // Runs the program to its end (a second start, --export-ca) with a time limit.
    RunResult Run(const std::vector<std::string>& args, Millis timeout = 20s) const;
    // Exports the CA into CaFile(); fails the test when that does not work.
    void ExportCa() const;

private:
    std::string root_;
    std::string program_;
};

// One running program. The destructor ends it (SIGTERM, then SIGKILL) and reaps it, so nothing
// outlives the test.
class HostProcess {
public:
    HostProcess(const Sandbox& sandbox, const std::vector<std::string>& args,
                const std::string& outputFile);
    ~HostProcess();
    HostProcess(const HostProcess&) = delete;
    HostProcess& operator=(const HostProcess&) = delete;

    pid_t Pid() const { return pid_; }
    bool Running();
    // The exit code (negative for a signal) once it ended within the time, else nothing.
    std::optional<int> WaitExit(Millis timeout);
    void Signal(int sig) const;
    // Everything the program wrote to stdout and stderr so far.
    std::string Output() const;
    // Ends it the orderly way, then by force; answers how it ended.
    int Terminate();

private:
    // SIGTERM, then SIGKILL when it does not end in time; false when it had to be killed.
    bool WaitExitAfterSignal();

    pid_t pid_ = -1;
    std::optional<int> status_;
    std::string outputFile_;
};

// A sandbox with the CA exported and a program started on two ports that answer a request each
// over HTTP and HTTPS before the constructor returns.
class RunningHost {
public:
    struct Options {
        bool log = true;
        bool localStorage = false;
        std::string extraIni;
        // Ports written into the INI when they differ from the ports the program is expected
        // to listen on (it moves a busy one); 0: the same.
        int iniHttpPort = 0;
        int iniHttpsPort = 0;
        bool withoutPlugin = false;  // run a copy of the program that finds no plugin
        // Called with the sandbox before the program starts (files a test lays out first).
        std::function<void(Sandbox&)> prepare;
    };
    RunningHost();  // free ports, log on
    explicit RunningHost(const Options& options);
    RunningHost(int httpPort, int httpsPort, const Options& options);
    ~RunningHost();

    Sandbox& Box() { return *sandbox_; }
    HostProcess& Process() { return *process_; }
    int HttpPort() const { return httpPort_; }
    int HttpsPort() const { return httpsPort_; }
    // Starts the program and waits for both listeners on the given ports.
    void Start(int httpPort, int httpsPort);
    // Whether both listeners answer a trusted version request now.
    bool Answers() const;
    std::string Describe() const;  // for failure messages: ports and program output

private:
    void Init(int httpPort, int httpsPort, const Options& options);

    std::unique_ptr<Sandbox> sandbox_;
    std::unique_ptr<HostProcess> process_;
    int httpPort_ = 0;
    int httpsPort_ = 0;
    Options options_;
    mutable std::string lastProbe_;  // why the last readiness probe failed
};

}  // namespace e2e

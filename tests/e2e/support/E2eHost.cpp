#include "support/E2eHost.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "support/E2eFiles.h"
#include "support/E2eNet.h"
#include "support/E2eTls.h"

extern char** environ;

namespace e2e {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

Millis Scaled(Millis base) {
#if defined(__SANITIZE_THREAD__)
    return base * 6;
#elif defined(__SANITIZE_ADDRESS__)
    return base * 3;
#else
    return base;
#endif
}

const std::string& HostProgram() {
    static const std::string program = [] {
        const char* override = std::getenv("NELVO_E2E_HOST");
        std::string path = override && *override ? override : NELVO_HOST_PROGRAM;
        if (!fs::exists(path)) throw std::runtime_error("program not found: " + path);
        // A settings file beside the program wins over the sandbox's: every test would run
        // with someone else's ports, domains and log.
        const fs::path beside = fs::path(path).parent_path() / "nelvo-host.ini";
        if (fs::exists(beside))
            throw std::runtime_error(
                "refusing to run: " + beside.string() +
                " lies beside the program and would replace the test's settings");
        return path;
    }();
    return program;
}

bool WaitFor(const std::function<bool()>& condition, Millis timeout, Millis step) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        if (condition()) return true;
        if (Clock::now() >= deadline) return condition();
        std::this_thread::sleep_for(step);
    }
}

// --- spawning ----------------------------------------------------------------------------------

namespace {

// Names the program expands or reads for its folders; a value from the test's own environment
// would lead it out of the sandbox.
bool IsSandboxedName(const std::string& name) {
    static const char* const names[] = {
        "HOME",           "XDG_CONFIG_HOME", "XDG_RUNTIME_DIR", "XDG_DATA_HOME",
        "XDG_CACHE_HOME", "XDG_STATE_HOME",  "TMPDIR",          "TMP",
        "TEMP",           "APPDATA",         "LOCALAPPDATA",    "DISPLAY",
        "WAYLAND_DISPLAY"};
    std::string upper = name;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (const char* n : names)
        if (upper == n) return true;
    return false;
}

struct CStrings {
    explicit CStrings(const std::vector<std::string>& texts) : texts_(texts) {
        for (auto& t : texts_) pointers_.push_back(t.data());
        pointers_.push_back(nullptr);
    }
    char* const* Get() { return pointers_.data(); }

private:
    std::vector<std::string> texts_;
    std::vector<char*> pointers_;
};

pid_t Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env,
            const std::string& outputFile) {
    CStrings args(argv);
    CStrings envp(env);
    const int out = ::open(outputFile.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    const int in = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (out < 0 || in < 0) throw std::runtime_error("cannot open " + outputFile);
    const pid_t pid = ::fork();
    if (pid == 0) {
        // Only async-signal-safe calls between fork and exec.
        ::dup2(in, 0);
        ::dup2(out, 1);
        ::dup2(out, 2);
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);  // a crashed test runner takes the program along
        ::syscall(SYS_close_range, 3u, ~0u, 0u);
        ::execve(argv[0].c_str(), args.Get(), envp.Get());
        ::_exit(127);
    }
    ::close(out);
    ::close(in);
    if (pid < 0) throw std::runtime_error("fork failed");
    return pid;
}

int DecodeStatus(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return -WTERMSIG(status);
    return -1;
}

std::atomic<int> outputCounter{0};

}  // namespace

// --- Sandbox -----------------------------------------------------------------------------------

Sandbox::Sandbox() {
    std::string pattern = (fs::temp_directory_path() / "nelvo-e2e-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    root_ = pattern;
    program_ = HostProgram();
    for (const auto& dir : {Home(), Config(), Runtime(), Tmp()}) fs::create_directories(dir);
    fs::permissions(Runtime(), fs::perms::owner_all, fs::perm_options::replace);
}

Sandbox::~Sandbox() {
    // A failed test keeps its sandbox (settings, logs, program output) for a closer look.
    if (::testing::Test::HasFailure()) {
        std::cerr << "sandbox kept for the failed test: " << root_ << "\n";
        return;
    }
    std::error_code ec;
    fs::remove_all(root_, ec);
}

void Sandbox::WriteIni(int httpPort, int httpsPort, bool withLog, const std::string& extra) {
    std::ostringstream ini;
    if (withLog) ini << "[Log]\nFileName=" << LogFile() << "\n\n";
    ini << "[Server_HTTP]\nPort=" << httpPort << "\n\n";
    ini << "[Server_HTTPS]\nPort=" << httpsPort << "\n";
    if (!extra.empty()) ini << "\n" << extra;
    fs::create_directories(SettingsDir());
    WriteFile(IniPath(), ini.str());
}

void Sandbox::UseLoneCopyOfProgram() {
    const std::string dir = root_ + "/lone";
    fs::create_directories(dir);
    fs::copy_file(HostProgram(), dir + "/nelvo-host");
    program_ = dir + "/nelvo-host";
}

void Sandbox::CreateLocalStorageDir() const {
    fs::create_directories(LocalStorageDir());
}

std::vector<std::string> Sandbox::Environment() const {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        std::string entry = *e;
        if (!IsSandboxedName(entry.substr(0, entry.find('=')))) env.push_back(entry);
    }
    env.push_back("HOME=" + Home());
    env.push_back("XDG_CONFIG_HOME=" + Config());
    env.push_back("XDG_RUNTIME_DIR=" + Runtime());
    env.push_back("XDG_DATA_HOME=" + Home() + "/.local/share");
    env.push_back("XDG_CACHE_HOME=" + Home() + "/.cache");
    env.push_back("TMPDIR=" + Tmp());
    return env;
}

Sandbox::RunResult Sandbox::Run(const std::vector<std::string>& args, Millis timeout) const {
    const std::string output = root_ + "/run-" + std::to_string(++outputCounter) + ".out";
    std::vector<std::string> argv{program_};
    argv.insert(argv.end(), args.begin(), args.end());
    RunResult result;
    const pid_t pid = Spawn(argv, Environment(), output);
    int status = 0;
    const bool ended =
        WaitFor([&] { return ::waitpid(pid, &status, WNOHANG) == pid; }, Scaled(timeout));
    if (ended) {
        result.code = DecodeStatus(status);
    } else {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        result.code = -1000;
    }
    result.output = ReadFile(output);
    return result;
}

void Sandbox::ExportCa() const {
    const RunResult run = Run({"--export-ca", CaFile()});
    if (run.code != 0 ||
        ReadFile(CaFile()).find("-----BEGIN CERTIFICATE-----") == std::string::npos)
        throw std::runtime_error("--export-ca failed with code " + std::to_string(run.code) +
                                 ":\n" + run.output);
}

// --- HostProcess -------------------------------------------------------------------------------

HostProcess::HostProcess(const Sandbox& sandbox, const std::vector<std::string>& args,
                         const std::string& outputFile)
    : outputFile_(outputFile) {
    std::vector<std::string> argv{sandbox.Program()};
    argv.insert(argv.end(), args.begin(), args.end());
    pid_ = Spawn(argv, sandbox.Environment(), outputFile_);
}

HostProcess::~HostProcess() {
    if (status_) return;
    const bool hadToKill = !WaitExitAfterSignal();
    if (hadToKill) {
        ADD_FAILURE() << "nelvo-host did not end within its time after SIGTERM; killed.\n"
                      << Output();
    } else if (*status_ != 0) {
        ADD_FAILURE() << "nelvo-host ended with " << *status_ << " after SIGTERM.\n" << Output();
    }
}

bool HostProcess::WaitExitAfterSignal() {
    Signal(SIGTERM);
    if (WaitExit(Scaled(15s))) return true;
    ::kill(pid_, SIGKILL);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    status_ = DecodeStatus(status);
    return false;
}

bool HostProcess::Running() {
    if (status_) return false;
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        status_ = DecodeStatus(status);
        return false;
    }
    return true;
}

std::optional<int> HostProcess::WaitExit(Millis timeout) {
    WaitFor([&] { return !Running(); }, timeout);
    return status_;
}

void HostProcess::Signal(int sig) const {
    if (!status_) ::kill(pid_, sig);
}

std::string HostProcess::Output() const {
    return ReadFile(outputFile_);
}

int HostProcess::Terminate() {
    if (!status_) WaitExitAfterSignal();
    return *status_;
}

// --- RunningHost -------------------------------------------------------------------------------

RunningHost::RunningHost() : RunningHost(Options{}) {}

RunningHost::RunningHost(const Options& options) {
    const int base = FreePortRun(2);
    Init(base, base + 1, options);
}

RunningHost::RunningHost(int httpPort, int httpsPort, const Options& options) {
    Init(httpPort, httpsPort, options);
}

RunningHost::~RunningHost() = default;

void RunningHost::Init(int httpPort, int httpsPort, const Options& options) {
    options_ = options;
    sandbox_ = std::make_unique<Sandbox>();
    if (options.withoutPlugin) sandbox_->UseLoneCopyOfProgram();
    // Exported before the INI exists, so that this run of the program writes no log of its own.
    sandbox_->ExportCa();
    sandbox_->WriteIni(options.iniHttpPort ? options.iniHttpPort : httpPort,
                       options.iniHttpsPort ? options.iniHttpsPort : httpsPort, options.log,
                       options.extraIni);
    if (options.localStorage) sandbox_->CreateLocalStorageDir();
    if (options.prepare) options.prepare(*sandbox_);
    Start(httpPort, httpsPort);
}

void RunningHost::Start(int httpPort, int httpsPort) {
    httpPort_ = httpPort;
    httpsPort_ = httpsPort;
    process_ = std::make_unique<HostProcess>(*sandbox_, std::vector<std::string>{"--headless"},
                                             sandbox_->Root() + "/host.out");
    bool exited = false;
    const bool ready = WaitFor(
        [&] {
            exited = !process_->Running();
            return exited || Answers();
        },
        Scaled(20s), 50ms);
    if (exited || !ready)
        throw std::runtime_error(std::string(exited ? "nelvo-host ended during start-up"
                                                    : "nelvo-host did not answer in time") +
                                 "\n" + Describe());
}

bool RunningHost::Answers() const {
    const auto timeout = Scaled(3s);
    try {
        const RawReply raw = Exchange(httpPort_, TrustedGet("/api/v1/version"), timeout);
        auto plain = ParseReply(raw.bytes);
        if (!plain || plain->status != 200) {
            lastProbe_ = "HTTP reply: " + raw.bytes.substr(0, 200);
            return false;
        }
    } catch (const std::exception& e) {
        lastProbe_ = std::string("HTTP: ") + e.what();  // not listening yet
        return false;
    }
    TlsReply tls =
        TlsExchange(httpsPort_, sandbox_->CaFile(), TrustedGet("/api/v1/version"), timeout);
    auto secure = ParseReply(tls.bytes);
    if (tls.handshake && secure && secure->status == 200) return true;
    lastProbe_ = "HTTPS: " + (tls.error.empty() ? "reply " + tls.bytes.substr(0, 200) : tls.error);
    return false;
}

std::string RunningHost::Describe() const {
    std::ostringstream text;
    text << "HTTP port " << httpPort_ << ", HTTPS port " << httpsPort_ << ", sandbox "
         << sandbox_->Root() << "\nlast readiness probe: " << lastProbe_
         << "\n--- program output ---\n"
         << (process_ ? process_->Output() : std::string());
    return text.str();
}

}  // namespace e2e

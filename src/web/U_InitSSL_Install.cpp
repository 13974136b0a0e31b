// `--install-ca`: the CA goes into the NSS databases the user's browsers read (Chromium's
// shared one and each Firefox profile's), through certutil of libnss3-tools.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

#include "platform/Platform.h"
#include "tools/QxSysTools.h"
#include "web/U_InitSSL_Internal.h"

namespace nelvo {

namespace {

// One nickname for every installation's CA, so that a new CA replaces the old one.
constexpr const char* CaNickname = "Nelvo Plugin Host local CA";

struct TRunResult {
    bool ok = false;
    std::string output;
};

// Runs a program with its arguments (no shell) and collects what it prints.
TRunResult Run(const std::string& program, const std::vector<std::string>& args) {
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) return {false, platform::LastErrorMessage()};
    std::vector<char*> argv;
    std::vector<std::string> all = {program};
    all.insert(all.end(), args.begin(), args.end());
    for (std::string& arg : all) argv.push_back(arg.data());
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(pipeFds[1], STDOUT_FILENO);
        ::dup2(pipeFds[1], STDERR_FILENO);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    TRunResult result;
    char buffer[512];
    ssize_t n;
    while ((n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR))
        if (n > 0) result.output.append(buffer, static_cast<std::size_t>(n));
    ::close(pipeFds[0]);
    int status = 0;
    if (pid > 0) {
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        result.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
    return result;
}

// "sql:" folders of the NSS databases of this user; Chromium's is created when missing, since
// Chromium makes it only on its first certificate import.
std::vector<std::string> NssDatabases(const std::string& home, const std::string& certutil,
                                      std::string& log) {
    std::vector<std::string> found;
    const std::string chromium = PathJoin({home, ".pki", "nssdb"});
    if (!platform::FileExists(PathJoin({chromium, "cert9.db"}))) {
        platform::ForceDirectories(chromium);
        const TRunResult made = Run(certutil, {"-N", "-d", "sql:" + chromium, "--empty-password"});
        if (!made.ok) log += "Cannot create " + chromium + ": " + made.output + "\n";
    }
    found.push_back(chromium);
    for (const std::string& base :
         {PathJoin({home, ".mozilla", "firefox"}),
          PathJoin({home, "snap", "firefox", "common", ".mozilla", "firefox"})}) {
        for (const platform::DirEntry& entry : platform::ListDirectory(base)) {
            const std::string profile = PathJoin({base, entry.name});
            if (entry.isDirectory && platform::FileExists(PathJoin({profile, "cert9.db"})))
                found.push_back(profile);
        }
    }
    return found;
}

// The CA in a private temporary file for certutil to read; removed with the object.
class TCaFile {
public:
    explicit TCaFile(const std::string& pem)
        : folder_(ssl_detail::MakePrivateTempFolder()), path_(PathJoin({folder_, "ca.pem"})) {
        ssl_detail::CreatePrivateFile(path_, pem);
    }
    ~TCaFile() {
        platform::DeleteFileAt(path_);
        ssl_detail::RemoveEmptyFolder(folder_);
    }
    TCaFile(const TCaFile&) = delete;
    TCaFile& operator=(const TCaFile&) = delete;
    const std::string& Path() const { return path_; }

private:
    std::string folder_;
    std::string path_;
};

}  // namespace

bool InstallCA(std::string& message) {
    TsslTexts texts;
    if (!LoadSSLResources(texts, message)) return false;
    const std::string certutil = FindFileOnSearchPath("certutil");
    if (certutil.empty()) {
        message = "certutil not found; install the package libnss3-tools";
        return false;
    }
    const std::string home = platform::GetEnvironmentValue("HOME").value_or("");
    if (home.empty()) {
        message = "HOME is not set";
        return false;
    }
    try {
        TCaFile ca(texts[static_cast<int>(TsslResource::sslCertCA)]);
        std::string log;
        bool allOk = true;
        for (const std::string& folder : NssDatabases(home, certutil, log)) {
            const std::string db = "sql:" + folder;
            Run(certutil, {"-D", "-d", db, "-n", CaNickname});  // an older CA of ours, if any
            const TRunResult added =
                Run(certutil, {"-A", "-d", db, "-t", "C,,", "-n", CaNickname, "-i", ca.Path()});
            allOk = allOk && added.ok;
            log += (added.ok ? "CA installed into " : "Cannot install the CA into ") + folder +
                   (added.ok ? "" : ": " + Trim(added.output)) + "\n";
        }
        message = Trim(log);
        return allOk;
    } catch (const std::exception& e) {
        message = e.what();
        return false;
    }
}

}  // namespace nelvo

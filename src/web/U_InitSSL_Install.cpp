// `--install-ca`: the CA goes into the NSS databases the user's browsers read (Chromium's
// shared one and each Firefox profile's), through certutil of libnss3-tools.
#include <vector>

#include "platform/Platform.h"
#include "platform/PrivateFiles.h"
#include "tools/QxSysTools.h"
#include "web/U_InitSSL_Internal.h"

namespace nelvo {

namespace {

// One nickname for every installation's CA, so that a new CA replaces the old one.
constexpr const char* CaNickname = "Nelvo Plugin Host local CA";

using TRunResult = platform::RunResult;

TRunResult Run(const std::string& program, const std::vector<std::string>& args) {
    return platform::RunProgram(program, args);
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

// Files only their owner may read: the stored material and the temporary copies. The system
// work is the platform layer's; failures here become ESSLError with the reason.
#include "platform/Platform.h"
#include "platform/PrivateFiles.h"
#include "tools/QxSysTools.h"
#include "web/U_InitSSL_Internal.h"

namespace nelvo::ssl_detail {

namespace {

[[noreturn]] void FailOn(const std::string& what, const std::string& path) {
    throw ESSLError(what + " " + path + ": " + platform::LastErrorMessage());
}

}  // namespace

void MakePrivateFolder(const std::string& folder) {
    const std::string parent = ExtractFileDir(folder);
    if (!parent.empty() && !platform::ForceDirectories(parent))
        FailOn("Cannot create folder", parent);
    std::string error;
    if (!platform::MakePrivateFolder(folder, error)) throw ESSLError(error);
}

bool CreatePrivateFile(const std::string& path, const std::string& text) {
    switch (platform::CreatePrivateFile(path, text)) {
        case platform::CreateResult::Created:
            return true;
        case platform::CreateResult::Exists:
            return false;
        case platform::CreateResult::Failed:
            break;
    }
    FailOn("Cannot create", path);
}

void WritePrivateFileAtomic(const std::string& path, const std::string& text) {
    if (!platform::WritePrivateFileAtomic(path, text)) FailOn("Cannot write", path);
}

std::string MakePrivateTempFolder() {
    const std::string base = ExpandConfigVars("%Temp%");
    platform::ForceDirectories(base);
    std::string folder = platform::MakeTempFolder(base, "nelvo-tls-");
    if (folder.empty()) FailOn("Cannot create a temporary folder in", base);
    return folder;
}

bool RemoveEmptyFolder(const std::string& folder) {
    return platform::RemoveEmptyFolder(folder);
}

TFileLock::TFileLock(const std::string& path) : lock_(path) {
    if (!lock_.Locked()) throw ESSLError(lock_.Error());
}

}  // namespace nelvo::ssl_detail

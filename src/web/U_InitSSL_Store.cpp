// The installation's material in the user's configuration: read when it can serve, made anew
// when it is missing or damaged, and guarded by a lock file so that a running host and a
// second start (--export-ca, --install-ca) never make two sets at once.
#include "log/U_LogFile.h"
#include "platform/File.h"
#include "platform/Platform.h"
#include "tools/QxSysTools.h"
#include "web/U_InitSSL_Internal.h"

namespace nelvo {

namespace {

// A stored text larger than this is not ours.
constexpr std::size_t MaxMaterialBytes = 64 * 1024;

const std::array<const char*, SslResourceCount> MaterialFileNames = {"ca.pem", "server.pem",
                                                                     "server-key.pem"};

// Empty when all three files were read; else the reason.
std::string ReadStored(TsslTexts& texts) {
    for (int i = 0; i < SslResourceCount; ++i) {
        const std::string path = SSLMaterialFile(static_cast<TsslResource>(i));
        if (!platform::FileExists(path)) return "missing " + path;
        if (!platform::ReadWholeFile(path, texts[i], MaxMaterialBytes)) return "unreadable " + path;
    }
    return ssl_detail::CheckSSLMaterial(texts);
}

bool AnyStored() {
    for (int i = 0; i < SslResourceCount; ++i)
        if (platform::FileExists(SSLMaterialFile(static_cast<TsslResource>(i)))) return true;
    return false;
}

// The key is written first and the CA last: whatever mix a crash leaves, the check above
// refuses it and the next use makes a whole new set.
void Store(const TsslTexts& texts) {
    for (int i = SslResourceCount - 1; i >= 0; --i)
        ssl_detail::WritePrivateFileAtomic(SSLMaterialFile(static_cast<TsslResource>(i)), texts[i]);
}

}  // namespace

std::string SSLMaterialFolder() {
    return PathJoin({ExpandConfigVars("%AppData%"), "Nelvo", "NelvoPlugin", "tls"});
}

std::string SSLMaterialFile(TsslResource resource) {
    return PathJoin({SSLMaterialFolder(), MaterialFileNames[static_cast<int>(resource)]});
}

bool LoadSSLResources(TsslTexts& texts, std::string& error) {
    texts = {};
    try {
        const std::string folder = SSLMaterialFolder();
        ssl_detail::MakePrivateFolder(folder);
        ssl_detail::TFileLock lock(PathJoin({folder, ".lock"}));
        const std::string reason = ReadStored(texts);
        if (reason.empty()) return true;
        // Replacing a damaged set breaks the trust browsers gave the old CA: worth a warning.
        HostLoger->Log(nullptr, "Making new TLS material...", AnyStored() ? llWarning : llProgress,
                       reason);
        texts = GenerateSSLMaterial();
        Store(texts);
        HostLoger->Log(nullptr, "TLS material made!", llProgress, folder);
        return true;
    } catch (const std::exception& e) {
        texts = {};
        error = e.what();
        return false;
    }
}

bool ExportCA(const std::string& path, std::string& message) {
    TsslTexts texts;
    if (!LoadSSLResources(texts, message)) return false;
    platform::File file;
    const std::string& ca = texts[static_cast<int>(TsslResource::sslCertCA)];
    if (!file.Open(path, platform::File::Mode::Create) || !file.Write(ca)) {
        message = "Cannot write " + path + ": " + platform::LastErrorMessage();
        return false;
    }
    message = "CA certificate written to " + path;
    return true;
}

}  // namespace nelvo

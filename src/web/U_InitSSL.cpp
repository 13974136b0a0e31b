// The material as the TLS layer takes it: three temporary files and the key's pass phrase,
// shared by every HTTPS connection of the run.
#include <fmt/format.h>

#include <mutex>
#include <optional>
#include <vector>

#include "log/U_LogFile.h"
#include "platform/Platform.h"
#include "tools/QxSysTools.h"
#include "web/U_InitSSL_Internal.h"

namespace nelvo {

// Positions lie inside the Base64 body of a certificate, clear of its first line, of the line
// breaks and of the leading bytes every certificate shares, so that every installation gets
// its own phrase.
const std::array<TsslPassChar, SslPassPhraseLength> SslPassPhraseTable = {{
    {TsslResource::sslCertCA, 61},
    {TsslResource::sslCertificate, 70},
    {TsslResource::sslCertCA, 97},
    {TsslResource::sslCertificate, 120},
    {TsslResource::sslCertCA, 150},
    {TsslResource::sslCertificate, 199},
    {TsslResource::sslCertCA, 211},
    {TsslResource::sslCertificate, 268},
    {TsslResource::sslCertCA, 300},
    {TsslResource::sslCertificate, 345},
    {TsslResource::sslCertCA, 377},
    {TsslResource::sslCertCA, 452},
    {TsslResource::sslCertificate, 512},
}};

std::string AssemblePassPhrase(const TsslTexts& texts) {
    std::string phrase;
    for (const TsslPassChar& entry : SslPassPhraseTable) {
        const std::string& text = texts[static_cast<int>(entry.resource)];
        if (entry.position >= 1 && static_cast<std::size_t>(entry.position) <= text.size())
            phrase += text[static_cast<std::size_t>(entry.position) - 1];
    }
    return phrase;
}

namespace {

// What the connections share. Connection threads read it too, so every access holds the
// lock; the server context is made once per prepared set and shared by the connections.
struct TsslState {
    std::mutex lock;
    std::string tempFolder;
    std::array<std::string, SslResourceCount> fileNames;
    std::string passPhrase;
    std::optional<std::vector<std::string>> tempFiles;  // created on first use
    int nextTempNumber = 1;
    std::shared_ptr<SSL_CTX> context;
};

TsslState& State() {
    static TsslState state;
    return state;
}

// A new file "TMP#####.tmp" in this run's private temporary folder; the caller holds the lock.
std::string NewTempFile(TsslState& state, const std::string& text) {
    if (state.tempFolder.empty() || !platform::DirectoryExists(state.tempFolder))
        state.tempFolder = ssl_detail::MakePrivateTempFolder();
    if (!state.tempFiles) state.tempFiles.emplace();
    for (int tries = 0; tries < 100000; ++tries) {
        const int number = state.nextTempNumber;
        state.nextTempNumber = number % 99999 + 1;
        const std::string path = PathJoin({state.tempFolder, fmt::format("TMP{:05d}.tmp", number)});
        if (ssl_detail::CreatePrivateFile(path, text)) {
            state.tempFiles->push_back(path);
            return path;
        }
    }
    throw ESSLError("No free temporary file name in " + state.tempFolder);
}

std::shared_ptr<SSL_CTX> NewServerContext(const TsslContext& tls) {
    ossl::SslCtxPtr ctx(SSL_CTX_new(TLS_server_method()));
    if (!ctx) throw ESSLError(ossl::TakeErrorText("cannot create a TLS context"));
    SSL_CTX_set_default_passwd_cb_userdata(ctx.get(), const_cast<char*>(tls.KeyPassword.c_str()));
    const bool ok =
        SSL_CTX_use_certificate_file(ctx.get(), tls.CertFile.c_str(), SSL_FILETYPE_PEM) == 1 &&
        SSL_CTX_use_PrivateKey_file(ctx.get(), tls.KeyFile.c_str(), SSL_FILETYPE_PEM) == 1 &&
        SSL_CTX_check_private_key(ctx.get()) == 1 &&
        SSL_CTX_load_verify_locations(ctx.get(), tls.CAFile.c_str(), nullptr) == 1;
    // The pass phrase is only needed while the key is read.
    SSL_CTX_set_default_passwd_cb_userdata(ctx.get(), nullptr);
    if (!ok) throw ESSLError(ossl::TakeErrorText("unusable TLS material"));
    SSL_CTX_set_verify(ctx.get(), tls.VerifyPeer ? SSL_VERIFY_PEER : SSL_VERIFY_NONE, nullptr);
    return std::shared_ptr<SSL_CTX>(ctx.release(), SSL_CTX_free);
}

// The shared context when it was made for these names; else a new one, kept for the next
// connections unless PrepareSSLData replaced the set meanwhile.
std::shared_ptr<SSL_CTX> ContextFor(const TsslContext& tls) {
    TsslState& state = State();
    auto sameSet = [&] {
        return state.fileNames ==
               std::array<std::string, SslResourceCount>{tls.CAFile, tls.CertFile, tls.KeyFile};
    };
    {
        std::lock_guard guard(state.lock);
        if (state.context && sameSet()) return state.context;
    }
    auto context = NewServerContext(tls);
    std::lock_guard guard(state.lock);
    if (sameSet()) state.context = context;
    return context;
}

}  // namespace

void PrepareSSLData() {
    try {
        HostLoger->Log(nullptr, "Preparing SSL data...", llProgress);
        TsslTexts texts;
        std::string error;
        if (!LoadSSLResources(texts, error))
            HostLoger->Log(nullptr, "TLS material not available", llError, error);
        TsslState& state = State();
        std::lock_guard guard(state.lock);
        state.context.reset();
        for (int i = 0; i < SslResourceCount; ++i)
            state.fileNames[i] = NewTempFile(state, texts[i]);
        state.passPhrase = AssemblePassPhrase(texts);
        HostLoger->Log(nullptr, "SSL data prepared!", llProgress);
    } catch (const std::exception& e) {
        HostLoger->LogException(nullptr, "Preparing SSL data", e);
    }
}

bool SSLFilesExist() {
    TsslState& state = State();
    std::lock_guard guard(state.lock);
    for (const std::string& name : state.fileNames)
        if (name.empty() || !platform::FileExists(name)) return false;
    return true;
}

void InitSSL(TsslContext& tls) {
    try {
        if (!SSLFilesExist()) PrepareSSLData();
        HostLoger->Log(nullptr, "Initializing SSL connection...", llProgress);
        {
            TsslState& state = State();
            std::lock_guard guard(state.lock);
            tls.CAFile = state.fileNames[0];
            tls.CertFile = state.fileNames[1];
            tls.KeyFile = state.fileNames[2];
            tls.KeyPassword = state.passPhrase;
        }
        tls.VerifyPeer = false;
        tls.Context = ContextFor(tls);
        HostLoger->Log(nullptr, "SSL connection initialized!", llProgress);
    } catch (const std::exception& e) {
        tls.Context.reset();
        HostLoger->LogException(nullptr, "Initializing SSL connection", e);
    }
}

void ClearTempFiles() {
    TsslState& state = State();
    std::lock_guard guard(state.lock);
    if (state.tempFiles) {
        HostLoger->Log(nullptr, "Clearing temporary files...", llProgress);
        for (const std::string& name : *state.tempFiles)
            if (!platform::DeleteFileAt(name))
                HostLoger->Log(nullptr, "Failed to delete temporary file: " + name, llWarning);
        state.tempFiles.reset();
        HostLoger->Log(nullptr, "Temporary files cleared!", llProgress);
    }
    if (!state.tempFolder.empty()) ssl_detail::RemoveEmptyFolder(state.tempFolder);
    state.tempFolder.clear();
    state.fileNames = {};
    state.passPhrase.clear();
    state.context.reset();
}

}  // namespace nelvo

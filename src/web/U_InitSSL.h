// TLS material of the HTTPS listener and the OpenSSL set-up around it.
//
// The material (CA certificate, server certificate, server key encrypted with the pass-phrase
// scheme) is made once per installation and kept in a private folder of the user's
// configuration; the CA's private key exists only in memory while the CA signs the server
// certificate. Because the TLS layer takes its material from files, the listener copies the
// three texts into temporary files of a private folder, and every accepted connection is
// configured from those files and the assembled pass phrase before its handshake.
//
//   PrepareSSLData();                       // listener start
//   TsslContext tls;
//   auto ssl = AcceptSSL(socketFd, tls);    // connection thread; null: end without a reply
//   ...
//   ClearTempFiles();                       // program end
#pragma once

#include <array>
#include <memory>
#include <string>

#include "tools/QxObject.h"
#include "web/U_InitSSL_Ossl.h"

namespace nelvo {

// Raised inside this module when OpenSSL or the file system refuses the material; the public
// operations catch it and log it.
class ESSLError : public Exception {
public:
    using Exception::Exception;
};

// The material, in the order the pass-phrase table indexes it.
enum class TsslResource { sslCertCA, sslCertificate, sslPrivateKey };
inline constexpr int SslResourceCount = 3;
// Names of the material, in the order of TsslResource.
inline constexpr std::array<const char*, SslResourceCount> SslResourceNames = {
    "SSL_CertCA", "SSL_Certificate", "SSL_PrivateKey"};

using TsslTexts = std::array<std::string, SslResourceCount>;

// One character of the pass phrase: which text it is taken from and where (1-based).
struct TsslPassChar {
    TsslResource resource;
    int position;
};
inline constexpr int SslPassPhraseLength = 13;
extern const std::array<TsslPassChar, SslPassPhraseLength> SslPassPhraseTable;

// The pass phrase the texts give. Only the two certificates are picked from, since the key's
// encryption depends on the phrase; a position beyond its text adds nothing, so damaged
// material gives a wrong phrase and a failed handshake rather than a crash.
std::string AssemblePassPhrase(const TsslTexts& texts);

// --- the installation's material ------------------------------------------------------------

// Folder of the material: "%AppData%/Nelvo/NelvoPlugin/tls".
std::string SSLMaterialFolder();
// File names of the material inside that folder, in the order of TsslResource.
std::string SSLMaterialFile(TsslResource resource);

// Reads the material, or makes it when it is missing, unreadable, inconsistent or expired.
// Safe between threads and between processes (a second program start, --export-ca).
// False with a reason when neither works; texts are then empty.
bool LoadSSLResources(TsslTexts& texts, std::string& error);

// Makes a new set in memory: a CA name-constrained to the service host name, "localhost" and
// 127.0.0.1, and a server certificate for those names signed by it. Raises on failure.
TsslTexts GenerateSSLMaterial();

// `--export-ca FILE`: writes the CA certificate (PEM) to the file, making the material first
// when there is none. Touches nothing of a running host.
bool ExportCA(const std::string& path, std::string& message);
// `--install-ca`: imports the CA into the NSS databases the user's Chromium and Firefox
// profiles use (certutil), making the material first when there is none.
bool InstallCA(std::string& message);

// --- temporary files and connections --------------------------------------------------------

// Writes the three texts to new temporary files and assembles the pass phrase.
void PrepareSSLData();
// All three file names are set and all three files exist.
bool SSLFilesExist();

// The TLS object of one connection: what InitSSL hands over, and the server context made from
// it.
struct TsslContext {
    std::string CAFile;
    std::string CertFile;
    std::string KeyFile;
    std::string KeyPassword;
    bool VerifyPeer = true;
    std::shared_ptr<SSL_CTX> Context;  // null until InitSSL succeeded
};
void InitSSL(TsslContext& tls);

// How long a handshake may take in all: a client that stalls holds its thread no longer than a
// request line may.
inline constexpr int SslHandshakeTimeoutMs = 20000;

// The server side of the handshake on a connected socket (the socket stays the caller's).
// Null when it failed, timed out or the material could not be used; the reason is logged.
ossl::SslPtr AcceptSSL(int socketFd, TsslContext& tls, int timeoutMs = SslHandshakeTimeoutMs);

// Deletes every temporary file this module made and forgets the names and the pass phrase.
void ClearTempFiles();

// --- OpenSSL status -------------------------------------------------------------------------

// The TLS-library flag: the OpenSSL libraries are loaded and initialised.
bool IsSSLLibraryLoaded();
// File names of the two libraries as the status lines name them ("libssl.so.3", ...).
std::string SslLibraryName();
std::string CryptoLibraryName();
// Status lines of the OpenSSL libraries; built on first use, then unchanged.
std::string OpenSSLStatusText();

}  // namespace nelvo

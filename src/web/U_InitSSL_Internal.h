// Pieces of the TLS module shared between its files and reachable by its tests.
#pragma once

#include "platform/PrivateFiles.h"

#include <functional>
#include <string>

#include "web/U_InitSSL.h"

namespace nelvo::ssl_detail {

// Parsing of the material; raise ESSLError with OpenSSL's reason.
ossl::X509Ptr ReadCertificate(const std::string& pem);
ossl::PKeyPtr ReadPrivateKey(const std::string& pem, const std::string& passPhrase);

// Empty when the texts form a usable set (both certificates readable, the server certificate
// valid now for a TLS server under the CA, the key decrypts with the assembled pass phrase and
// belongs to the server certificate); else the reason.
std::string CheckSSLMaterial(const TsslTexts& texts);

// --- private files (owner only) -----------------------------------------------------------

// Creates the folder with mode 0700 (parents as usual), or tightens an existing one to 0700.
// Raises when the path is not a real folder of this user.
void MakePrivateFolder(const std::string& folder);
// Writes the file beside its final name with mode 0600, flushes it, then renames it into
// place, so that a reader sees the old text or the new one, never half of it.
void WritePrivateFileAtomic(const std::string& path, const std::string& text);
// Creates a new file with mode 0600 that must not exist yet; false when the name is taken.
bool CreatePrivateFile(const std::string& path, const std::string& text);
// Makes a fresh private folder under the temporary folder for this run's temporary files.
std::string MakePrivateTempFolder();
// Removes an empty folder; false when it is not empty or gone.
bool RemoveEmptyFolder(const std::string& folder);

// An exclusive lock on a lock file, held across processes until the object ends.
class TFileLock {
public:
    explicit TFileLock(const std::string& path);  // raises ESSLError when it cannot lock

private:
    platform::FileLock lock_;
};

// --- status text ----------------------------------------------------------------------------

// The status lines for a given flag and module look-up (full path of a loaded library, empty
// when it is not loaded).
std::string FormatOpenSSLStatus(bool loaded,
                                const std::function<std::string(const std::string&)>& loadedPath);

}  // namespace nelvo::ssl_detail

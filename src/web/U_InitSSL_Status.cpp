// Which OpenSSL the host runs with, for the start log and the status page.
#include <fmt/format.h>

#include <mutex>

#include <openssl/crypto.h>
#include <openssl/opensslv.h>

#include "platform/Platform.h"
#include "tools/QxSysTools.h"
#include "web/U_InitSSL_Internal.h"

namespace nelvo {

namespace ssl_detail {

std::string FormatOpenSSLStatus(bool loaded,
                                const std::function<std::string(const std::string&)>& loadedPath) {
    std::string text = loaded ? "Библиотеки OpenSSL загружены" : "Библиотеки OpenSSL не загружены!";
    text += ":";
    for (const std::string& library : {SslLibraryName(), CryptoLibraryName()}) {
        text += "\r\n";
        std::string path = loadedPath(library);
        const std::string state = path.empty() ? "не загружена" : "загружена";
        if (path.empty()) path = FindFileOnSearchPath(library);
        if (!path.empty() && platform::FileExists(path))
            text += fmt::format("\t[{}] {} ({})", state, path, GetFileVersion(path));
        else
            text += fmt::format("\t{} не найдена!", library);
    }
    return text;
}

}  // namespace ssl_detail

// The program links OpenSSL, so the libraries are there when the program runs at all; what
// can still fail is their initialisation.
bool IsSSLLibraryLoaded() {
    static const bool loaded = OPENSSL_init_ssl(0, nullptr) == 1;
    return loaded;
}

std::string SslLibraryName() {
    return "libssl.so." + std::to_string(OPENSSL_VERSION_MAJOR);
}

std::string CryptoLibraryName() {
    return "libcrypto.so." + std::to_string(OPENSSL_VERSION_MAJOR);
}

std::string OpenSSLStatusText() {
    static const std::string text =
        ssl_detail::FormatOpenSSLStatus(IsSSLLibraryLoaded(), GetLoadedModuleFileName);
    return text;
}

}  // namespace nelvo

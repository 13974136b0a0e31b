// The digest a signature or a request uses: the "Hash Algorithm" parameter when it is set
// (a name such as "SHA256" or "SHA1", or a dotted identifier such as "1.2.643.7.1.1.2.2"),
// otherwise the digest that belongs to the key: Streebog of the key's size for GOST keys,
// SHA-256 for the others.
#pragma once

#include <openssl/evp.h>

#include <string_view>

namespace nelvo::cryptoplugin {

// Raises kEngineBadHashAlgorithm for a name OpenSSL does not know, and kEngineGostUnavailable
// for a Streebog digest when GOST support is missing.
const EVP_MD* ChooseDigest(std::string_view hashAlgorithm, const EVP_PKEY* key);

}  // namespace nelvo::cryptoplugin

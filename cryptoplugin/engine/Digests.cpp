#include "engine/Digests.h"

#include <openssl/objects.h>

#include <string>

#include "engine/EngineErrors.h"
#include "engine/GostSupport.h"

namespace nelvo::cryptoplugin {

namespace {

bool IsStreebog(int nid) {
    return nid == NID_id_GostR3411_2012_256 || nid == NID_id_GostR3411_2012_512;
}

const EVP_MD* DigestByNid(int nid) {
    if (IsStreebog(nid) && !GostAvailable()) {
        throw EngineFailure(kEngineGostUnavailable, "GOST support is not available: the OpenSSL \"gost\" engine cannot be loaded");
    }
    return EVP_get_digestbynid(nid);
}

int KeyDefaultDigest(const EVP_PKEY* key) {
    switch (EVP_PKEY_get_base_id(key)) {
        case NID_id_GostR3410_2012_256:
            return NID_id_GostR3411_2012_256;
        case NID_id_GostR3410_2012_512:
            return NID_id_GostR3411_2012_512;
        default:
            return NID_sha256;
    }
}

}  // namespace

const EVP_MD* ChooseDigest(std::string_view hashAlgorithm, const EVP_PKEY* key) {
    if (hashAlgorithm.empty()) return DigestByNid(key ? KeyDefaultDigest(key) : NID_sha256);
    const std::string name(hashAlgorithm);
    int nid = OBJ_txt2nid(name.c_str());
    if (nid == NID_undef) {
        if (const EVP_MD* digest = EVP_get_digestbyname(name.c_str())) nid = EVP_MD_get_type(digest);
    }
    const EVP_MD* digest = nid == NID_undef ? nullptr : DigestByNid(nid);
    if (digest == nullptr) {
        throw EngineFailure(kEngineBadHashAlgorithm, "Unknown hash algorithm \"" + name + "\"");
    }
    return digest;
}

}  // namespace nelvo::cryptoplugin

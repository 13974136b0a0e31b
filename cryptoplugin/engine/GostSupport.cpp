// On Debian 12 the GOST provider ("gostprov") offers only the digests; GOST keys, their
// certificates and CMS signatures work only through the "gost" engine. The engine interface is
// deprecated in OpenSSL 3, so it is kept to this one file: when a provider that covers keys
// ships, this file is what changes.
#define OPENSSL_SUPPRESS_DEPRECATED
#include "engine/GostSupport.h"

#include <openssl/engine.h>
#include <openssl/objects.h>

#include <openssl/err.h>

namespace nelvo::cryptoplugin {

namespace {

struct LoadedGost {
    ENGINE* engine = nullptr;  // kept for the life of the process once registered

    LoadedGost() {
        ENGINE* candidate = ENGINE_by_id("gost");
        if (candidate == nullptr) return;
        if (ENGINE_init(candidate) != 1) {
            ENGINE_free(candidate);
            return;
        }
        // Registered for what it implements only, so that RSA and EC stay with the default
        // provider; the digests must be the default for their identifiers, or a Streebog
        // identifier would not find an implementation.
        ENGINE_register_pkey_meths(candidate);
        ENGINE_register_pkey_asn1_meths(candidate);
        ENGINE_register_digests(candidate);
        ENGINE_set_default_digests(candidate);
        ENGINE_set_default_pkey_meths(candidate);
        ENGINE_set_default_pkey_asn1_meths(candidate);
        ENGINE_free(candidate);  // the functional reference from ENGINE_init stays
        engine = candidate;
    }
};

const LoadedGost& Gost() {
    static const LoadedGost gost;
    ERR_clear_error();
    return gost;
}

}  // namespace

bool GostAvailable() { return Gost().engine != nullptr; }

ENGINE* GostEngine() { return Gost().engine; }

bool IsGostKey(const EVP_PKEY* key) {
    const int id = EVP_PKEY_get_base_id(key);
    return id == NID_id_GostR3410_2012_256 || id == NID_id_GostR3410_2012_512;
}

}  // namespace nelvo::cryptoplugin

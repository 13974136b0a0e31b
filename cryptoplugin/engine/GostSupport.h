// GOST R 34.10-2012 keys and Streebog digests.
#pragma once

#include <openssl/evp.h>

namespace nelvo::cryptoplugin {

// True when the "gost" engine is loaded and registered for keys, digests and their ASN.1
// forms. Loaded once per process on first call; later calls only report the outcome.
bool GostAvailable();

// Key algorithms of GOST R 34.10-2012 (the identifiers the host maps to Streebog).
bool IsGostKey(const EVP_PKEY* key);

// The engine that implements GOST keys, or null (for EVP_PKEY_CTX_new_id).
ENGINE* GostEngine();

}  // namespace nelvo::cryptoplugin

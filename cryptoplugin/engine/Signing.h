// Signatures made with a key of the store.
#pragma once

#include "engine/Ossl.h"

namespace nelvo::cryptoplugin {

struct CmsSignOptions {
    bool detached = true;
    bool includeSignerCertificate = true;
};

// A CMS SignedData in DER, CAdES-BES: signed attributes content type, message digest, signing
// time and the signing-certificate attribute (version 2, or version 1 with SHA-1, as CAdES
// asks). Raises kEngineSignFailed.
Bytes SignCms(EVP_PKEY* key, X509* certificate, const EVP_MD* digest, const Bytes& data,
              const CmsSignOptions& options);

// The bare signature value over the data: PKCS#1 v1.5 for RSA, the DER ECDSA-Sig-Value for EC,
// and the GOST engine's own form for GOST keys. Raises kEngineSignFailed.
Bytes SignPlain(EVP_PKEY* key, const EVP_MD* digest, const Bytes& data);

// Checks a bare signature made by SignPlain.
bool VerifyPlain(EVP_PKEY* key, const EVP_MD* digest, const Bytes& data, const Bytes& signature);

}  // namespace nelvo::cryptoplugin

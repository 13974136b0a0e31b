// Signature verification (data types 63 and 64) against the certificates and revocation
// lists imported into the engine.
#pragma once

#include <vector>

#include "engine/Ossl.h"

namespace nelvo::cryptoplugin {

// What a verification checks; the export's Flags, 7 (everything) by default.
inline constexpr int kVerifySignature = 1;
inline constexpr int kVerifyChain = 2;
inline constexpr int kVerifyRevocation = 4;

struct TrustMaterial {
    const std::vector<X509Ptr>* authorities = nullptr;
    const std::vector<X509CrlPtr>* revocationLists = nullptr;
    X509* signer = nullptr;  // the imported signer certificate, may be null
};

// A CMS signature (attached or detached) over the data. Raises ObjectError with the codes of
// the README: 41 unreadable signature, 52 another signer, 60 signature does not match the
// data, then the chain and revocation-list codes.
void VerifyCmsSignature(const TrustMaterial& trust, const Bytes& data, const Bytes& signature,
                        int flags, const std::string& hashAlgorithm);

// A bare signature by the given certificate's key.
void VerifyPlainSignature(const TrustMaterial& trust, X509* certificate, const Bytes& data,
                          const Bytes& signature, int flags, const std::string& hashAlgorithm);

// The certificate's chain up to an imported authority, with the revocation lists when asked.
void VerifyChain(const TrustMaterial& trust, X509* certificate, int flags);

}  // namespace nelvo::cryptoplugin

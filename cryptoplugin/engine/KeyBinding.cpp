#include "engine/KeyBinding.h"

#include <vector>

#include "engine/Certificates.h"
#include "engine/EngineErrors.h"

namespace nelvo::cryptoplugin {

namespace {

bool SameKey(const EVP_PKEY* privateKey, const EVP_PKEY* publicKey) {
    return privateKey != nullptr && publicKey != nullptr && EVP_PKEY_eq(privateKey, publicKey) == 1;
}

// A cheap first look that avoids reading every private key: the container's certificate or
// request already names its public key.
bool MayHoldKey(const ContainerFiles& files, X509* certificate, const EVP_PKEY* publicKey) {
    if (!files.certificatePem.empty()) {
        X509Ptr own = CertificateFromPem(files.certificatePem);
        if (own && X509_cmp(own.get(), certificate) == 0) return true;
        if (own) return SameKey(X509_get0_pubkey(own.get()), publicKey);
    }
    if (!files.requestPem.empty()) {
        X509ReqPtr request = RequestFromPem(files.requestPem);
        if (request) return SameKey(X509_REQ_get0_pubkey(request.get()), publicKey);
    }
    return true;
}

std::optional<BoundKey> TryContainer(const KeyStore& store, const std::string& name, X509* certificate,
                                     const EVP_PKEY* publicKey) {
    std::optional<ContainerFiles> files = store.Load(name);
    if (!files || !MayHoldKey(*files, certificate, publicKey)) return std::nullopt;
    PkeyPtr key = PrivateKeyFromPem(files->keyPem);
    if (!SameKey(key.get(), publicKey)) return std::nullopt;
    X509_up_ref(certificate);
    return BoundKey{name, X509Ptr(certificate), std::move(key)};
}

}  // namespace

void RaiseStoreError(const KeyStoreError& error) {
    switch (error.GetKind()) {
        case KeyStoreError::Kind::BadName:
            throw EngineFailure(kEngineBadContainerName, error.what());
        case KeyStoreError::Kind::Exists:
            throw EngineFailure(kEngineContainerExists, error.what());
        case KeyStoreError::Kind::Missing:
            throw EngineFailure(kEngineKeyNotFound, error.what());
        case KeyStoreError::Kind::Io:
            break;
    }
    throw EngineFailure(kEngineKeyStoreFailure, std::string("Key store failure: ") + error.what());
}

BoundKey FindKeyForCertificate(const KeyStore& store, X509* certificate, std::string_view onlyContainer) {
    const EVP_PKEY* publicKey = X509_get0_pubkey(certificate);
    if (publicKey == nullptr) {
        throw EngineFailure(kEngineBadCertificate, "Cannot read the certificate's public key");
    }
    try {
        const std::vector<std::string> names =
            onlyContainer.empty() ? store.Names() : std::vector<std::string>{std::string(onlyContainer)};
        for (const std::string& name : names) {
            if (std::optional<BoundKey> bound = TryContainer(store, name, certificate, publicKey)) {
                return std::move(*bound);
            }
        }
    } catch (const KeyStoreError& error) {
        RaiseStoreError(error);
    }
    throw EngineFailure(kEngineKeyNotFound, "The key of certificate " + SerialHex(certificate) +
                                                " is not in the key store");
}

}  // namespace nelvo::cryptoplugin

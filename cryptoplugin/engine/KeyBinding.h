// Finding the key of a certificate in the key store.
#pragma once

#include <string>
#include <string_view>

#include "engine/Ossl.h"
#include "keystore/KeyStore.h"

namespace nelvo::cryptoplugin {

struct BoundKey {
    std::string container;
    X509Ptr certificate;
    PkeyPtr key;
};

// The container whose private key belongs to the certificate's public key; only the named
// container when a name is given. Raises kEngineKeyNotFound, kEngineBadContainerName or
// kEngineKeyStoreFailure.
BoundKey FindKeyForCertificate(const KeyStore& store, X509* certificate, std::string_view onlyContainer);

// Store failures as engine errors.
[[noreturn]] void RaiseStoreError(const KeyStoreError& error);

}  // namespace nelvo::cryptoplugin

// The crypto engine's own error codes (all below 1000, the protocol's range starts there).
// Some of them are fixed by what hosts map to their own messages: 49, 50, 51, 53, 56 and 65
// are failures of the certificate chain, 52 a signature not made by the imported signer
// certificate, 104 a failure of a certificate revocation list. The README lists every code.
#pragma once

#include <string>

#include "objects/ObjectError.h"

namespace nelvo::cryptoplugin {

enum EngineError : int {
    kEngineNotInitialised = 1,
    kEngineTypeUnsupported = 2,
    kEngineBadParameter = 3,
    kEngineUnknownDataType = 4,
    kEngineNotBase64 = 10,
    kEngineBadCertificate = 11,
    kEngineKeyNotFound = 12,
    kEngineNoKeyBound = 13,
    kEngineSignFailed = 14,
    kEngineBadHashAlgorithm = 15,
    kEngineBadContainerName = 20,
    kEngineContainerExists = 21,
    kEngineKeyStoreFailure = 22,
    kEngineBadKeyParameters = 23,
    kEngineGostUnavailable = 24,
    kEngineBadSearchData = 30,
    kEngineBadVerifyData = 40,
    kEngineBadSignatureData = 41,
    kEngineChainIssuerUnknown = 49,
    kEngineChainValidity = 50,
    kEngineChainSignature = 51,
    kEngineWrongSigner = 52,
    kEngineChainBadCa = 53,
    kEngineChainRevoked = 56,
    kEngineSignatureMismatch = 60,
    kEngineChainOther = 65,
    kEngineInternal = 99,
    kEngineCrlFailure = 104,
};

// An engine failure; an OpenSSL reason, when one is queued, is appended to the text.
ObjectError EngineFailure(EngineError code, const std::string& text);

}  // namespace nelvo::cryptoplugin

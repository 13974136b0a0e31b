// Issuing certificates with a key of the store: the demo authority's own certificate and the
// certificates it issues.
#pragma once

#include <string>
#include <vector>

#include "engine/Ossl.h"

namespace nelvo::cryptoplugin::keytool {

struct IssueParams {
    const X509_NAME* subject = nullptr;
    EVP_PKEY* publicKey = nullptr;
    int days = 365;
    bool authority = false;
    std::string keyUsages;          // "DIGITALSIGNATURE;NONREPUDIATION", as the engine names them
    std::string extendedKeyUsages;  // dotted identifiers separated by ";"
    std::string signTool;
    std::vector<std::string> policies;
    std::string revocationListUrl;
};

// Signed by the issuer; self-signed when issuerCertificate is null.
X509Ptr IssueCertificate(const IssueParams& wanted, X509* issuerCertificate, EVP_PKEY* issuerKey);

}  // namespace nelvo::cryptoplugin::keytool

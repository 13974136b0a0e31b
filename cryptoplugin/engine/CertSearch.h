// Certificate search over the key store (data type 45).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "keystore/KeyStore.h"

namespace nelvo::cryptoplugin {

inline constexpr int kSearchIncludeInvalid = 1;  // also certificates outside their validity

struct SearchFilter {
    std::string commonName;
    std::string inn;
    std::string ogrn;
    std::string ogrnip;
    std::string signTool;
    std::vector<std::string> policies;       // one of them must be in the certificate
    std::vector<std::string> issuerKeyIds;   // upper-case hex; the issuer's key must be one
    int flags = 100;
};

// The search data: empty, or the Base64 of "|||" followed by the issuer key identifiers as a
// delimited list (";" between items, items with spaces or ";" in double quotes). Raises
// kEngineNotBase64 or kEngineBadSearchData.
std::vector<std::string> ParseIssuerKeyIds(std::string_view searchData);

// One block per matching certificate: three header lines ("Container=<name>", "SN=<serial>",
// "-----BEGIN CERTIFICATE-----"), the Base64 body in lines of 64 characters, the trailer line
// "-----END CERTIFICATE-----" and one empty line; CR LF line ends. Empty when nothing matches.
std::string SearchCertificates(const KeyStore& store, const SearchFilter& filter);

}  // namespace nelvo::cryptoplugin

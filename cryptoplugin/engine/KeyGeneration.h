// Key pairs and their certificate requests (data type 11), and the subject names both are
// built from.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "engine/Ossl.h"

namespace nelvo::cryptoplugin {

// One attribute of a name: the short key of the description text ("CN", "INN", ...) and its
// UTF-8 value.
struct NameField {
    std::string key;
    std::string value;
};

// Builds a name; numeric Russian identifiers must be digits only, the country two letters.
// Raises kEngineBadKeyParameters.
X509NamePtr BuildName(const std::vector<NameField>& fields);

struct KeyParams {
    std::string algorithm;  // "RSA", "EC", "GOST2012_256", "GOST2012_512", any letter case
    std::string length;     // bits; RSA 2048..4096, empty for the algorithm's default
};

// Raises kEngineBadKeyParameters or kEngineGostUnavailable.
PkeyPtr GenerateKey(const KeyParams& wanted);

struct RequestParams {
    std::vector<NameField> subject;
    std::string keyUsages;          // "DIGITALSIGNATURE;NONREPUDIATION;..."
    std::string extendedKeyUsages;  // dotted identifiers separated by ";"
    std::string signTool;           // subject sign tool extension, when not empty
    std::string hashAlgorithm;
};

// A PKCS#10 request signed with the key. Raises kEngineBadKeyParameters.
X509ReqPtr BuildRequest(EVP_PKEY* key, const RequestParams& wanted);

// The extensions of a request or certificate, for the key usage and extended key usage texts
// above. Raise kEngineBadKeyParameters for an unknown usage name or a bad identifier.
ExtensionPtr KeyUsageExtension(std::string_view keyUsages);
ExtensionPtr ExtendedKeyUsageExtension(std::string_view identifiers);
ExtensionPtr SignToolExtension(std::string_view tool);

// Splits at ";" and drops empty items and surrounding spaces.
std::vector<std::string> SplitList(std::string_view text, char delimiter = ';');

}  // namespace nelvo::cryptoplugin

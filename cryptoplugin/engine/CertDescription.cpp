#include "engine/CertDescription.h"

#include <openssl/objects.h>
#include <openssl/x509v3.h>

#include <utility>
#include <vector>

#include "engine/Base64.h"
#include "engine/Certificates.h"

namespace nelvo::cryptoplugin {

namespace {

constexpr std::string_view kEnd = "\r\n";

struct NameKey {
    const char* key;
    int nid;
};

// Subject keys; the issuer's are the same with "I" in front.
constexpr NameKey kNameKeys[] = {
    {"CN", NID_commonName},         {"O", NID_organizationName},
    {"OU", NID_organizationalUnitName}, {"C", NID_countryName},
    {"S", NID_stateOrProvinceName}, {"L", NID_localityName},
    {"INN", NID_INN},               {"OGRN", NID_OGRN},
    {"OGRNIP", NID_OGRNIP},         {"SNILS", NID_SNILS},
    {"E", NID_pkcs9_emailAddress},  {"T", NID_title},
    {"STREET", NID_streetAddress},  {"SurName", NID_surname},
    {"GivenName", NID_givenName},
};

// A value must stay on its line: the reader splits at line ends.
std::string OneLine(std::string value) {
    for (char& c : value) {
        if (c == '\r' || c == '\n') c = ' ';
    }
    return value;
}

void AddField(std::string& text, std::string_view key, const std::string& value) {
    text.append(key).append("=").append(OneLine(value)).append(kEnd);
}

void AddName(std::string& text, const X509_NAME* name, std::string_view prefix) {
    for (const NameKey& entry : kNameKeys) {
        const std::string value = NameEntry(name, entry.nid);
        if (!value.empty()) AddField(text, std::string(prefix) + entry.key, value);
    }
}

// A block is written only when it has lines: an empty line would end it at once anyway.
void AddBlock(std::string& text, std::string_view key, const std::vector<std::string>& lines) {
    if (lines.empty()) return;
    text.append(key).append("=").append(kEnd);
    for (const std::string& line : lines) text.append(OneLine(line)).append(kEnd);
    text.append(kEnd);
}

std::vector<std::string> SplitEvery(const std::string& text, std::size_t width) {
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < text.size(); i += width) lines.push_back(text.substr(i, width));
    return lines;
}

std::vector<std::string> PublicKeyLines(X509* certificate) {
    X509_PUBKEY* key = X509_get_X509_PUBKEY(certificate);
    unsigned char* der = nullptr;
    const int size = i2d_X509_PUBKEY(key, &der);
    if (size <= 0) return {};
    const std::string base64 = EncodeBase64(der, static_cast<std::size_t>(size));
    OPENSSL_free(der);
    return SplitEvery(base64, 64);
}

std::vector<std::string> KeyAlgorithmLines(X509* certificate) {
    std::vector<std::string> lines{PublicKeyAlgorithmOid(certificate)};
    const void* parameter = nullptr;
    int parameterType = 0;
    const X509_ALGOR* algorithm = nullptr;
    X509_PUBKEY_get0_param(nullptr, nullptr, nullptr, const_cast<X509_ALGOR**>(&algorithm),
                           X509_get_X509_PUBKEY(certificate));
    if (algorithm != nullptr) {
        X509_ALGOR_get0(nullptr, &parameterType, &parameter, algorithm);
        if (parameterType == V_ASN1_OBJECT) {
            lines.push_back(ObjectIdText(static_cast<const ASN1_OBJECT*>(parameter)));
        }
    }
    return lines;
}

std::vector<std::string> PolicyLines(X509* certificate) {
    std::vector<std::string> lines;
    OsslPtr<CERTIFICATEPOLICIES, CERTIFICATEPOLICIES_free> policies(static_cast<CERTIFICATEPOLICIES*>(
        X509_get_ext_d2i(certificate, NID_certificate_policies, nullptr, nullptr)));
    if (!policies) return lines;
    for (int i = 0; i < sk_POLICYINFO_num(policies.get()); ++i) {
        lines.push_back(ObjectIdText(sk_POLICYINFO_value(policies.get(), i)->policyid));
    }
    return lines;
}

std::vector<std::string> DistributionPointLines(X509* certificate) {
    std::vector<std::string> lines;
    OsslPtr<CRL_DIST_POINTS, CRL_DIST_POINTS_free> points(static_cast<CRL_DIST_POINTS*>(
        X509_get_ext_d2i(certificate, NID_crl_distribution_points, nullptr, nullptr)));
    if (!points) return lines;
    for (int i = 0; i < sk_DIST_POINT_num(points.get()); ++i) {
        const DIST_POINT_NAME* name = sk_DIST_POINT_value(points.get(), i)->distpoint;
        if (name == nullptr || name->type != 0) continue;
        for (int j = 0; j < sk_GENERAL_NAME_num(name->name.fullname); ++j) {
            const GENERAL_NAME* general = sk_GENERAL_NAME_value(name->name.fullname, j);
            if (general->type == GEN_URI) lines.push_back(Asn1Utf8(general->d.uniformResourceIdentifier));
        }
    }
    return lines;
}

std::vector<std::string> ExtendedUsageLines(X509* certificate) {
    std::vector<std::string> lines;
    OsslPtr<EXTENDED_KEY_USAGE, EXTENDED_KEY_USAGE_free> usages(static_cast<EXTENDED_KEY_USAGE*>(
        X509_get_ext_d2i(certificate, NID_ext_key_usage, nullptr, nullptr)));
    if (!usages) return lines;
    for (int i = 0; i < sk_ASN1_OBJECT_num(usages.get()); ++i) {
        lines.push_back(ObjectIdText(sk_ASN1_OBJECT_value(usages.get(), i)));
    }
    return lines;
}

std::vector<std::string> SignatureLines(X509* certificate) {
    const ASN1_BIT_STRING* signature = nullptr;
    const X509_ALGOR* algorithm = nullptr;
    X509_get0_signature(&signature, &algorithm, certificate);
    const ASN1_OBJECT* algorithmId = nullptr;
    X509_ALGOR_get0(&algorithmId, nullptr, nullptr, algorithm);
    std::vector<std::string> lines{ObjectIdText(algorithmId)};
    for (std::string& line : SplitEvery(EncodeBase64(signature->data, static_cast<std::size_t>(signature->length)), 64)) {
        lines.push_back(std::move(line));
    }
    return lines;
}

std::vector<std::string> LibraryLines() {
    return {std::string("Nelvo reference crypto plugin ") + NELVO_PLUGIN_VERSION,
            OpenSSL_version(OPENSSL_VERSION)};
}

}  // namespace

std::string DescribeCertificate(X509* certificate) {
    std::string text;
    AddField(text, "SN", SerialHex(certificate));
    AddName(text, X509_get_subject_name(certificate), "");
    AddName(text, X509_get_issuer_name(certificate), "I");
    AddField(text, "NotBefore", FormatTime(X509_get0_notBefore(certificate)));
    AddField(text, "NotAfter", FormatTime(X509_get0_notAfter(certificate)));
    AddField(text, "Thmb", Thumbprint(certificate));
    AddField(text, "STOOL", SubjectSignTool(certificate));
    AddField(text, "KeyAlg", PublicKeyAlgorithmOid(certificate));
    AddField(text, "Subject", NameLine(X509_get_subject_name(certificate)));
    AddField(text, "Issuer", NameLine(X509_get_issuer_name(certificate)));
    AddBlock(text, "PKey", PublicKeyLines(certificate));
    AddBlock(text, "EPKey", ExtendedUsageLines(certificate));
    AddBlock(text, "SPKey", KeyAlgorithmLines(certificate));
    AddBlock(text, "CRLDp", DistributionPointLines(certificate));
    AddBlock(text, "CertSign", SignatureLines(certificate));
    AddBlock(text, "LibRep", LibraryLines());
    AddBlock(text, "CPolicies", PolicyLines(certificate));
    return text;
}

}  // namespace nelvo::cryptoplugin

#include "engine/CertSearch.h"

#include <openssl/objects.h>

#include <algorithm>

#include "engine/Base64.h"
#include "engine/Certificates.h"
#include "engine/EngineErrors.h"
#include "engine/KeyBinding.h"

namespace nelvo::cryptoplugin {

namespace {

constexpr std::string_view kSearchMark = "|||";

std::string NormaliseKeyId(std::string_view text) {
    std::string id;
    for (const char c : text) {
        if (c == ' ' || c == ':' || c == '\t' || c == '\r' || c == '\n') continue;
        id += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    }
    return id;
}

// A delimited list as hosts write it: items between ";", an item may be enclosed in double
// quotes with inner quotes doubled.
std::vector<std::string> SplitDelimited(std::string_view text) {
    std::vector<std::string> items;
    std::size_t i = 0;
    while (i < text.size()) {
        std::string item;
        if (text[i] == '"') {
            ++i;
            while (i < text.size()) {
                if (text[i] == '"') {
                    if (i + 1 < text.size() && text[i + 1] == '"') {
                        item += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                item += text[i++];
            }
            while (i < text.size() && text[i] != ';') ++i;
        } else {
            const std::size_t end = std::min(text.find(';', i), text.size());
            item = std::string(text.substr(i, end - i));
            i = end;
        }
        ++i;  // the delimiter
        if (std::string id = NormaliseKeyId(item); !id.empty()) items.push_back(std::move(id));
    }
    return items;
}

bool ValidNow(X509* certificate) {
    return X509_cmp_current_time(X509_get0_notBefore(certificate)) < 0 &&
           X509_cmp_current_time(X509_get0_notAfter(certificate)) > 0;
}

bool Matches(const std::string& wanted, const X509_NAME* name, int nid) {
    return wanted.empty() || NameEntry(name, nid) == wanted;
}

bool HasPolicy(X509* certificate, const std::vector<std::string>& policies) {
    if (policies.empty()) return true;
    OsslPtr<CERTIFICATEPOLICIES, CERTIFICATEPOLICIES_free> present(static_cast<CERTIFICATEPOLICIES*>(
        X509_get_ext_d2i(certificate, NID_certificate_policies, nullptr, nullptr)));
    if (!present) return false;
    for (int i = 0; i < sk_POLICYINFO_num(present.get()); ++i) {
        const std::string id = ObjectIdText(sk_POLICYINFO_value(present.get(), i)->policyid);
        if (std::find(policies.begin(), policies.end(), id) != policies.end()) return true;
    }
    return false;
}

bool Accepts(const SearchFilter& filter, X509* certificate) {
    if (IsCaCertificate(certificate)) return false;
    if ((filter.flags & kSearchIncludeInvalid) == 0 && !ValidNow(certificate)) return false;
    const X509_NAME* subject = X509_get_subject_name(certificate);
    if (!Matches(filter.commonName, subject, NID_commonName) || !Matches(filter.inn, subject, NID_INN) ||
        !Matches(filter.ogrn, subject, NID_OGRN) || !Matches(filter.ogrnip, subject, NID_OGRNIP)) {
        return false;
    }
    if (!filter.signTool.empty() && SubjectSignTool(certificate) != filter.signTool) return false;
    if (!HasPolicy(certificate, filter.policies)) return false;
    if (filter.issuerKeyIds.empty()) return true;
    const std::string issuerId = AuthorityKeyId(certificate);
    return std::find(filter.issuerKeyIds.begin(), filter.issuerKeyIds.end(), issuerId) !=
           filter.issuerKeyIds.end();
}

void AddBlock(std::string& text, const std::string& container, X509* certificate) {
    const std::string body = EncodeBase64(CertificateDer(certificate));
    text += "Container=" + container + "\r\n";
    text += "SN=" + SerialHex(certificate) + "\r\n";
    text += "-----BEGIN CERTIFICATE-----\r\n";
    for (std::size_t i = 0; i < body.size(); i += 64) text += body.substr(i, 64) + "\r\n";
    text += "-----END CERTIFICATE-----\r\n\r\n";
}

}  // namespace

std::vector<std::string> ParseIssuerKeyIds(std::string_view searchData) {
    if (searchData.find_first_not_of(" \r\n\t") == std::string_view::npos) return {};
    const std::optional<Bytes> bytes = DecodeBase64(searchData);
    if (!bytes) throw EngineFailure(kEngineNotBase64, "The search data is not Base64 text");
    const std::string_view text(reinterpret_cast<const char*>(bytes->data()), bytes->size());
    if (text.substr(0, kSearchMark.size()) != kSearchMark) {
        throw EngineFailure(kEngineBadSearchData, "The search data must start with \"|||\"");
    }
    return SplitDelimited(text.substr(kSearchMark.size()));
}

std::string SearchCertificates(const KeyStore& store, const SearchFilter& filter) {
    std::string text;
    try {
        for (const std::string& name : store.Names()) {
            const std::optional<ContainerFiles> files = store.Load(name);
            if (!files || files->certificatePem.empty()) continue;
            X509Ptr certificate = CertificateFromPem(files->certificatePem);
            if (certificate && Accepts(filter, certificate.get())) AddBlock(text, name, certificate.get());
        }
    } catch (const KeyStoreError& error) {
        RaiseStoreError(error);
    }
    return text;
}

}  // namespace nelvo::cryptoplugin

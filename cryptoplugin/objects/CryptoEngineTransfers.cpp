// The engine's exports and imports, one function per data type.
#include <openssl/pem.h>

#include "engine/Base64.h"
#include "engine/CertDescription.h"
#include "engine/CertSearch.h"
#include "engine/Certificates.h"
#include "engine/Digests.h"
#include "engine/EngineErrors.h"
#include "engine/KeyGeneration.h"
#include "engine/Signing.h"
#include "engine/Verification.h"
#include "objects/CryptoEngineObject.h"

namespace nelvo::cryptoplugin {

namespace {

constexpr std::string_view kContainerPrefix = "ZRB_NAME:";
constexpr char kSeparator = '\x01';
constexpr int kDetachedFlag = 2;
constexpr int kSignerFlag = 1;

// Subject parameters of key generation and the name keys they fill.
struct SubjectParam {
    std::string_view param;
    const char* key;
};

constexpr SubjectParam kSubjectParams[] = {
    {"Key gen - Common name", "CN"},   {"Key gen - Company", "O"},
    {"Key gen - Department", "OU"},    {"Key gen - Country/Region", "C"},
    {"Key gen - State", "S"},          {"Key gen - City", "L"},
    {"Key gen - INN", "INN"},          {"Key gen - OGRN", "OGRN"},
    {"Key gen - OGRNIP", "OGRNIP"},    {"Key gen - SNILS", "SNILS"},
    {"Key gen - e-mail", "E"},         {"Key gen - Title", "T"},
    {"Key gen - Street", "STREET"},    {"Key gen - SurName", "SurName"},
    {"Key gen - GivenName", "GivenName"},
};

Bytes DecodeData(std::string_view text, std::string_view what) {
    std::optional<Bytes> bytes = DecodeBase64(text);
    if (!bytes) throw EngineFailure(kEngineNotBase64, std::string(what) + " is not Base64 text");
    return std::move(*bytes);
}

std::string AsText(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

bool IsYes(std::string_view value) {
    return value.size() == 3 && (value[0] | 0x20) == 'y' && (value[1] | 0x20) == 'e' && (value[2] | 0x20) == 's';
}

std::vector<std::string> SplitAt(std::string_view text, char separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find(separator, start)) != std::string_view::npos; start = end + 1) {
        parts.emplace_back(text.substr(start, end - start));
    }
    parts.emplace_back(text.substr(start));
    return parts;
}

// The container a parameter names: "ZRB_NAME:" and the name. Other values (a host's "SYS_REF")
// name no container.
std::string ContainerName(const std::string& location) {
    if (location.compare(0, kContainerPrefix.size(), kContainerPrefix) != 0) return {};
    return location.substr(kContainerPrefix.size());
}

X509CrlPtr ParseRevocationList(std::string_view data) {
    if (data.find_first_not_of(" \r\n\t") == std::string_view::npos) {
        throw EngineFailure(kEngineCrlFailure, "The revocation list is empty");
    }
    X509CrlPtr list;
    if (data.find("-----BEGIN") != std::string_view::npos) {
        BioPtr bio = ReadBio(data);
        list.reset(PEM_read_bio_X509_CRL(bio.get(), nullptr, nullptr, nullptr));
    } else if (std::optional<Bytes> der = DecodeBase64(data)) {
        const unsigned char* cursor = der->data();
        list.reset(d2i_X509_CRL(nullptr, &cursor, static_cast<long>(der->size())));
    }
    if (!list) throw EngineFailure(kEngineCrlFailure, "The revocation list cannot be read");
    return list;
}

KeyStore OpenStore() {
    try {
        return KeyStore::FromEnvironment();
    } catch (const KeyStoreError& error) {
        RaiseStoreError(error);
    }
}

}  // namespace

void CryptoEngineObject::ExportKeyPair() {
    const std::string& location = Setting("Container Name Location");
    const std::string name = ContainerName(location);
    if (name.empty() || !IsValidContainerName(name)) {
        throw EngineFailure(kEngineBadContainerName,
                            "Invalid container name location \"" + location + "\": expected \"ZRB_NAME:\" and a name without \"/\" or \"..\"");
    }
    const KeyStore store = OpenStore();
    RequestParams wanted;
    for (const SubjectParam& subject : kSubjectParams) {
        if (const std::string& value = Setting(subject.param); !value.empty()) wanted.subject.push_back({subject.key, value});
    }
    wanted.keyUsages = Setting("Secret Key Usage Types");
    wanted.extendedKeyUsages = Setting("Key Usage OIDs");
    wanted.signTool = Setting("Key gen - Sign tool");
    wanted.hashAlgorithm = Setting("Hash Algorithm");
    try {
        if (store.Load(name)) throw KeyStoreError(KeyStoreError::Kind::Exists, "container \"" + name + "\" already exists");
        BuildName(wanted.subject);  // a bad subject fails before the costly key generation
        PkeyPtr key = GenerateKey({Setting("Key gen - Request Type"), Setting("Key gen - Key Length")});
        X509ReqPtr request = BuildRequest(key.get(), wanted);
        store.Create({name, PrivateKeyToPem(key.get()), RequestToPem(request.get()), {}});
        unsigned char* der = nullptr;
        const int size = i2d_X509_REQ(request.get(), &der);
        if (size <= 0) throw EngineFailure(kEngineInternal, "Cannot encode the certificate request");
        currentData_ = EncodeBase64(der, static_cast<std::size_t>(size));
        OPENSSL_free(der);
    } catch (const KeyStoreError& error) {
        RaiseStoreError(error);
    }
}

void CryptoEngineObject::ExportDescription(std::string_view data) {
    X509Ptr certificate = ParseCertificate(data);
    currentData_ = DescribeCertificate(certificate.get());
}

void CryptoEngineObject::ExportKeyAlgorithm(std::string_view data) {
    X509Ptr certificate = ParseCertificate(data);
    currentData_ = PublicKeyAlgorithmOid(certificate.get());
}

void CryptoEngineObject::ExportSignature(std::string_view data, int flags) {
    const BoundKey& bound = Bound();
    const Bytes content = DecodeData(data, "The data to sign");
    const EVP_MD* digest = ChooseDigest(Setting("Hash Algorithm"), bound.key.get());
    const CmsSignOptions options{(flags & kDetachedFlag) != 0, IsYes(Setting("Include signer cert in sign"))};
    currentData_ = AsText(SignCms(bound.key.get(), bound.certificate.get(), digest, content, options));
}

void CryptoEngineObject::ExportPlainSignature(std::string_view data) {
    const BoundKey& bound = Bound();
    const Bytes content = DecodeData(data, "The data to sign");
    const EVP_MD* digest = ChooseDigest(Setting("Hash Algorithm"), bound.key.get());
    currentData_ = AsText(SignPlain(bound.key.get(), digest, content));
}

void CryptoEngineObject::ExportSearch(std::string_view data, int flags) {
    SearchFilter filter;
    filter.commonName = Setting("Key gen - Common name");
    filter.inn = Setting("Key gen - INN");
    filter.ogrn = Setting("Key gen - OGRN");
    filter.ogrnip = Setting("Key gen - OGRNIP");
    filter.signTool = Setting("Key gen - Sign tool");
    filter.policies = SplitList(Setting("Key gen - Certificate policies"));
    filter.issuerKeyIds = ParseIssuerKeyIds(data);
    filter.flags = flags;
    currentData_ = SearchCertificates(OpenStore(), filter);
}

void CryptoEngineObject::ExportVerification(std::string_view data, int flags, bool plain) {
    const std::vector<std::string> parts = SplitAt(AsText(DecodeData(data, "The verification data")), kSeparator);
    if (parts.size() != (plain ? 3u : 2u)) {
        throw EngineFailure(kEngineBadVerifyData,
                            plain ? "PLAIN verification data must be certificate, data and signature separated by character 1"
                                  : "Verification data must be data and signature separated by character 1");
    }
    const TrustMaterial trust{&authorities_, &revocationLists_, signer_.get()};
    const Bytes content = DecodeData(parts[parts.size() - 2], "The signed data");
    const Bytes signature = DecodeData(parts.back(), "The signature");
    if (plain) {
        X509Ptr certificate = ParseCertificate(parts.front());
        VerifyPlainSignature(trust, certificate.get(), content, signature, flags, Setting("Hash Algorithm"));
    } else {
        VerifyCmsSignature(trust, content, signature, flags, Setting("Hash Algorithm"));
    }
}

void CryptoEngineObject::ImportKeyBinding(std::string_view data) {
    X509Ptr certificate = ParseCertificate(data);
    const std::string container = ContainerName(Setting("Container Name Location"));
    bound_ = std::make_unique<BoundKey>(
        FindKeyForCertificate(OpenStore(), certificate.get(), container));
}

void CryptoEngineObject::ImportAuthority(std::string_view data) {
    authorities_.push_back(ParseCertificate(data));
}

void CryptoEngineObject::ImportSigner(std::string_view data, int flags) {
    if (flags != kSignerFlag) {
        throw EngineFailure(kEngineBadParameter, "A signer certificate (data type 11) is imported with Flags=1");
    }
    signer_ = ParseCertificate(data);
}

void CryptoEngineObject::ImportRevocationList(std::string_view data) {
    revocationLists_.push_back(ParseRevocationList(data));
}

}  // namespace nelvo::cryptoplugin

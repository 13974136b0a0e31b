#include "engine/Certificates.h"

#include <openssl/objects.h>
#include <openssl/pem.h>

#include <ctime>

#include "engine/Base64.h"
#include "engine/EngineErrors.h"

namespace nelvo::cryptoplugin {

namespace {

constexpr std::string_view kPemMark = "-----BEGIN";

bool LooksLikePem(std::string_view text) { return text.find(kPemMark) != std::string_view::npos; }

X509Ptr CertificateFromDer(const Bytes& der) {
    const unsigned char* cursor = der.data();
    X509Ptr certificate(d2i_X509(nullptr, &cursor, static_cast<long>(der.size())));
    // Trailing bytes mean the data is not one certificate.
    if (certificate && cursor != der.data() + der.size()) return nullptr;
    return certificate;
}

std::string PemText(int (*write)(BIO*, void*), void* object) {
    BioPtr bio(BIO_new(BIO_s_mem()));
    if (!bio || write(bio.get(), object) != 1) throw EngineFailure(kEngineInternal, "cannot write PEM");
    const Bytes bytes = BioBytes(bio.get());
    return std::string(bytes.begin(), bytes.end());
}

}  // namespace

X509Ptr ParseCertificate(std::string_view data) {
    if (data.find_first_not_of(" \t\r\n") == std::string_view::npos) {
        throw EngineFailure(kEngineBadCertificate, "The certificate is empty");
    }
    X509Ptr certificate;
    if (LooksLikePem(data)) {
        certificate = CertificateFromPem(data);
    } else {
        const std::optional<Bytes> bytes = DecodeBase64(data);
        if (!bytes) throw EngineFailure(kEngineNotBase64, "The certificate is not Base64 text");
        const std::string_view decoded(reinterpret_cast<const char*>(bytes->data()), bytes->size());
        certificate = LooksLikePem(decoded) ? CertificateFromPem(decoded) : CertificateFromDer(*bytes);
    }
    if (!certificate) throw EngineFailure(kEngineBadCertificate, "The data is not an X.509 certificate");
    return certificate;
}

X509Ptr CertificateFromPem(std::string_view pem) {
    BioPtr bio = ReadBio(pem);
    return X509Ptr(PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr));
}

PkeyPtr PrivateKeyFromPem(std::string_view pem) {
    BioPtr bio = ReadBio(pem);
    // An empty pass phrase: the store's keys are protected by the file modes, and a key that
    // wants a pass phrase must fail here instead of prompting on a terminal.
    return PkeyPtr(PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, const_cast<char*>("")));
}

X509ReqPtr RequestFromPem(std::string_view pem) {
    BioPtr bio = ReadBio(pem);
    return X509ReqPtr(PEM_read_bio_X509_REQ(bio.get(), nullptr, nullptr, nullptr));
}

std::string CertificateToPem(X509* certificate) {
    return PemText([](BIO* bio, void* object) { return PEM_write_bio_X509(bio, static_cast<X509*>(object)); },
                   certificate);
}

std::string PrivateKeyToPem(EVP_PKEY* key) {
    return PemText(
        [](BIO* bio, void* object) {
            return PEM_write_bio_PrivateKey(bio, static_cast<EVP_PKEY*>(object), nullptr, nullptr, 0,
                                            nullptr, nullptr);
        },
        key);
}

std::string RequestToPem(X509_REQ* request) {
    return PemText(
        [](BIO* bio, void* object) { return PEM_write_bio_X509_REQ(bio, static_cast<X509_REQ*>(object)); },
        request);
}

Bytes CertificateDer(X509* certificate) {
    const int size = i2d_X509(certificate, nullptr);
    if (size <= 0) throw EngineFailure(kEngineInternal, "cannot encode the certificate");
    Bytes der(static_cast<std::size_t>(size));
    unsigned char* cursor = der.data();
    i2d_X509(certificate, &cursor);
    return der;
}

std::string HexText(const unsigned char* data, std::size_t size) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(size * 2);
    for (std::size_t i = 0; i < size; ++i) {
        text += kDigits[data[i] >> 4];
        text += kDigits[data[i] & 15];
    }
    return text;
}

std::string SerialHex(const X509* certificate) {
    const ASN1_INTEGER* serial = X509_get0_serialNumber(certificate);
    BignumPtr number(ASN1_INTEGER_to_BN(serial, nullptr));
    if (!number) return {};
    OsslPtr<char, [](char* text) { OPENSSL_free(text); }> hex(BN_bn2hex(number.get()));
    return hex ? std::string(hex.get()) : std::string();
}

std::string Thumbprint(X509* certificate) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (X509_digest(certificate, EVP_sha1(), digest, &size) != 1) return {};
    return HexText(digest, size);
}

std::string Asn1Utf8(const ASN1_STRING* text) {
    unsigned char* utf8 = nullptr;
    const int size = ASN1_STRING_to_UTF8(&utf8, text);
    if (size < 0) return {};
    std::string result(reinterpret_cast<char*>(utf8), static_cast<std::size_t>(size));
    OPENSSL_free(utf8);
    return result;
}

std::string NameEntry(const X509_NAME* name, int nid) {
    const int index = X509_NAME_get_index_by_NID(name, nid, -1);
    if (index < 0) return {};
    return Asn1Utf8(X509_NAME_ENTRY_get_data(X509_NAME_get_entry(name, index)));
}

std::string NameLine(const X509_NAME* name) {
    BioPtr bio(BIO_new(BIO_s_mem()));
    if (!bio) return {};
    X509_NAME_print_ex(bio.get(), name, 0, (XN_FLAG_ONELINE & ~ASN1_STRFLGS_ESC_MSB) | ASN1_STRFLGS_UTF8_CONVERT);
    const Bytes bytes = BioBytes(bio.get());
    return std::string(bytes.begin(), bytes.end());
}

std::string FormatTime(const ASN1_TIME* time) {
    std::tm parts{};
    if (time == nullptr || ASN1_TIME_to_tm(time, &parts) != 1) return {};
    char text[40];
    std::strftime(text, sizeof text, "%d-%m-%Y %H:%M:%S +0000", &parts);
    return text;
}

std::string ObjectIdText(const ASN1_OBJECT* object) {
    char text[128];
    const int size = OBJ_obj2txt(text, sizeof text, object, 1);
    if (size <= 0 || static_cast<std::size_t>(size) >= sizeof text) return {};
    return text;
}

std::string PublicKeyAlgorithmOid(X509* certificate) {
    ASN1_OBJECT* algorithm = nullptr;
    if (X509_PUBKEY_get0_param(&algorithm, nullptr, nullptr, nullptr,
                               X509_get_X509_PUBKEY(certificate)) != 1) {
        return {};
    }
    return ObjectIdText(algorithm);
}

bool IsCaCertificate(X509* certificate) {
    return (X509_get_extension_flags(certificate) & EXFLAG_CA) != 0;
}

std::string SubjectSignTool(X509* certificate) {
    const int index = X509_get_ext_by_NID(certificate, NID_subjectSignTool, -1);
    if (index < 0) return {};
    const ASN1_OCTET_STRING* value = X509_EXTENSION_get_data(X509_get_ext(certificate, index));
    const unsigned char* cursor = ASN1_STRING_get0_data(value);
    OsslPtr<ASN1_STRING, ASN1_STRING_free> text(
        d2i_ASN1_UTF8STRING(nullptr, &cursor, ASN1_STRING_length(value)));
    return text ? Asn1Utf8(text.get()) : std::string();
}

std::string SubjectKeyId(X509* certificate) {
    const ASN1_OCTET_STRING* id = X509_get0_subject_key_id(certificate);
    return id ? HexText(ASN1_STRING_get0_data(id), static_cast<std::size_t>(ASN1_STRING_length(id)))
              : std::string();
}

std::string AuthorityKeyId(X509* certificate) {
    const ASN1_OCTET_STRING* id = X509_get0_authority_key_id(certificate);
    return id ? HexText(ASN1_STRING_get0_data(id), static_cast<std::size_t>(ASN1_STRING_length(id)))
              : std::string();
}

}  // namespace nelvo::cryptoplugin

// Making a new set of TLS material in memory. The CA key lives only in this file's local
// variables: it signs the server certificate and is freed, so nobody can later issue a
// certificate under a CA that the user's browsers trust.
#include <openssl/bn.h>
#include <openssl/ec.h>
#include <openssl/pem.h>
#include <openssl/rand.h>

#include "settings/U_Settings.h"
#include "web/U_InitSSL.h"

namespace nelvo {

namespace {

constexpr int CaValidityDays = 3650;
// Long enough not to bother the user often, within what browsers accept for a server
// certificate.
constexpr int ServerValidityDays = 825;
// Clocks of client and host may differ a little.
constexpr long ClockSkewSeconds = 3600;

[[noreturn]] void Fail(const std::string& what) {
    throw ESSLError(what + ": " + ossl::TakeErrorText("unknown OpenSSL error"));
}

ossl::PKeyPtr NewKey() {
    ossl::PKeyPtr key(EVP_EC_gen("P-256"));
    if (!key) Fail("Cannot generate a key");
    return key;
}

std::string RandomHex(int bytes) {
    unsigned char data[32];
    if (RAND_bytes(data, bytes) != 1) Fail("Cannot draw random bytes");
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (int i = 0; i < bytes; ++i) {
        text += digits[data[i] >> 4];
        text += digits[data[i] & 15];
    }
    return text;
}

ossl::X509NamePtr MakeName(const std::string& commonName) {
    ossl::X509NamePtr name(X509_NAME_new());
    auto add = [&](const char* field, const std::string& value) {
        if (!name || !X509_NAME_add_entry_by_txt(
                         name.get(), field, MBSTRING_UTF8,
                         reinterpret_cast<const unsigned char*>(value.c_str()), -1, -1, 0))
            Fail("Cannot build a certificate name");
    };
    add("O", "Nelvo");
    add("CN", commonName);
    return name;
}

void SetSerialAndValidity(X509* cert, int days) {
    ossl::BignumPtr serial(BN_new());
    // 127 bits with the top bit clear: a positive serial of at most 16 bytes.
    if (!serial || !BN_rand(serial.get(), 127, BN_RAND_TOP_ANY, BN_RAND_BOTTOM_ANY) ||
        !BN_to_ASN1_INTEGER(serial.get(), X509_get_serialNumber(cert)))
        Fail("Cannot set the serial number");
    if (!X509_gmtime_adj(X509_getm_notBefore(cert), -ClockSkewSeconds) ||
        !X509_time_adj_ex(X509_getm_notAfter(cert), days, 0, nullptr))
        Fail("Cannot set the validity");
}

void AddExtension(X509* cert, X509* issuer, int nid, const std::string& value) {
    X509V3_CTX ctx;
    X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
    ossl::X509ExtPtr ext(X509V3_EXT_nconf_nid(nullptr, &ctx, nid, value.c_str()));
    if (!ext || !X509_add_ext(cert, ext.get(), -1)) Fail("Cannot add extension " + value);
}

ossl::X509Ptr NewCertificate(EVP_PKEY* key, X509_NAME* subject, int days) {
    ossl::X509Ptr cert(X509_new());
    if (!cert || !X509_set_version(cert.get(), 2) || !X509_set_subject_name(cert.get(), subject) ||
        !X509_set_pubkey(cert.get(), key))
        Fail("Cannot build a certificate");
    SetSerialAndValidity(cert.get(), days);
    return cert;
}

void Sign(X509* cert, X509* issuer, EVP_PKEY* issuerKey) {
    if (!X509_set_issuer_name(cert, X509_get_subject_name(issuer)) ||
        !X509_sign(cert, issuerKey, EVP_sha256()))
        Fail("Cannot sign a certificate");
}

std::string HostNames(const char* dnsTag, const char* ipTag) {
    return std::string(dnsTag) + ServiceHostName + "," + dnsTag + "localhost," + ipTag;
}

ossl::X509Ptr MakeCA(EVP_PKEY* caKey) {
    // A random part keeps the CAs of two installations apart in a trust store.
    auto name = MakeName("Nelvo Plugin Host local CA " + RandomHex(4));
    auto ca = NewCertificate(caKey, name.get(), CaValidityDays);
    AddExtension(ca.get(), ca.get(), NID_basic_constraints, "critical,CA:TRUE,pathlen:0");
    AddExtension(ca.get(), ca.get(), NID_key_usage, "critical,keyCertSign,cRLSign");
    AddExtension(ca.get(), ca.get(), NID_subject_key_identifier, "hash");
    // Even if this CA were misused, browsers accept what it signs for these names only.
    AddExtension(
        ca.get(), ca.get(), NID_name_constraints,
        "critical," + HostNames("permitted;DNS:", "permitted;IP:127.0.0.1/255.255.255.255"));
    Sign(ca.get(), ca.get(), caKey);
    return ca;
}

ossl::X509Ptr MakeServerCertificate(EVP_PKEY* serverKey, X509* ca, EVP_PKEY* caKey) {
    auto name = MakeName(ServiceHostName);
    auto cert = NewCertificate(serverKey, name.get(), ServerValidityDays);
    AddExtension(cert.get(), ca, NID_basic_constraints, "critical,CA:FALSE");
    AddExtension(cert.get(), ca, NID_key_usage, "critical,digitalSignature");
    AddExtension(cert.get(), ca, NID_ext_key_usage, "serverAuth");
    AddExtension(cert.get(), ca, NID_subject_alt_name, HostNames("DNS:", "IP:127.0.0.1"));
    AddExtension(cert.get(), ca, NID_subject_key_identifier, "hash");
    AddExtension(cert.get(), ca, NID_authority_key_identifier, "keyid:always");
    Sign(cert.get(), ca, caKey);
    return cert;
}

std::string CertificatePem(X509* cert) {
    ossl::BioPtr bio(BIO_new(BIO_s_mem()));
    if (!bio || !PEM_write_bio_X509(bio.get(), cert)) Fail("Cannot write a certificate");
    return ossl::BioText(bio.get());
}

// PKCS#8 with AES-256-CBC: the default provider of OpenSSL 3 no longer offers DES.
std::string EncryptedKeyPem(EVP_PKEY* key, const std::string& passPhrase) {
    ossl::BioPtr bio(BIO_new(BIO_s_mem()));
    if (!bio ||
        !PEM_write_bio_PKCS8PrivateKey(bio.get(), key, EVP_aes_256_cbc(), passPhrase.data(),
                                       static_cast<int>(passPhrase.size()), nullptr, nullptr))
        Fail("Cannot write the private key");
    return ossl::BioText(bio.get());
}

}  // namespace

TsslTexts GenerateSSLMaterial() {
    TsslTexts texts;
    auto serverKey = NewKey();
    {
        auto caKey = NewKey();
        auto ca = MakeCA(caKey.get());
        auto cert = MakeServerCertificate(serverKey.get(), ca.get(), caKey.get());
        texts[static_cast<int>(TsslResource::sslCertCA)] = CertificatePem(ca.get());
        texts[static_cast<int>(TsslResource::sslCertificate)] = CertificatePem(cert.get());
    }
    const std::string passPhrase = AssemblePassPhrase(texts);
    if (static_cast<int>(passPhrase.size()) != SslPassPhraseLength)
        throw ESSLError("The new certificates are too short for the pass phrase");
    texts[static_cast<int>(TsslResource::sslPrivateKey)] =
        EncryptedKeyPem(serverKey.get(), passPhrase);
    return texts;
}

}  // namespace nelvo

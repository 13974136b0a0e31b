#include "TestPki.h"

#include <gtest/gtest.h>
#include <openssl/ec.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/rsa.h>
#include <openssl/x509v3.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "EngineDriver.h"

namespace nelvo::cryptoplugin::test {

namespace {

void Check(bool ok, const char* what) {
    if (!ok) throw std::runtime_error(std::string("test PKI: ") + what);
}

void AddExtension(X509* certificate, X509* issuer, int nid, const char* value) {
    X509V3_CTX context;
    X509V3_set_ctx(&context, issuer, certificate, nullptr, nullptr, 0);
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
    Check(extension != nullptr && X509_add_ext(certificate, extension, -1) == 1, value);
    X509_EXTENSION_free(extension);
}

void AddPolicies(X509* certificate, const std::vector<std::string>& policies) {
    if (policies.empty()) return;
    CERTIFICATEPOLICIES* list = CERTIFICATEPOLICIES_new();
    for (const std::string& policy : policies) {
        POLICYINFO* info = POLICYINFO_new();
        ASN1_OBJECT_free(info->policyid);
        info->policyid = OBJ_txt2obj(policy.c_str(), 1);
        sk_POLICYINFO_push(list, info);
    }
    Check(X509_add1_ext_i2d(certificate, NID_certificate_policies, list, 0, X509V3_ADD_DEFAULT) == 1, "policies");
    CERTIFICATEPOLICIES_free(list);
}

void RandomSerial(X509* certificate) {
    unsigned char bytes[12];
    RAND_bytes(bytes, sizeof bytes);
    bytes[0] = static_cast<unsigned char>((bytes[0] & 0x3F) | 0x10);
    BIGNUM* number = BN_bin2bn(bytes, sizeof bytes, nullptr);
    BN_to_ASN1_INTEGER(number, X509_get_serialNumber(certificate));
    BN_free(number);
}

X509Ptr Prepare(X509_NAME* subject, EVP_PKEY* publicKey, const Authority* issuer, long fromDays, long toDays) {
    X509Ptr certificate(X509_new());
    X509_set_version(certificate.get(), 2);
    RandomSerial(certificate.get());
    X509_set_subject_name(certificate.get(), subject);
    X509_set_issuer_name(certificate.get(), issuer ? X509_get_subject_name(issuer->certificate.get()) : subject);
    X509_set_pubkey(certificate.get(), publicKey);
    X509_gmtime_adj(X509_getm_notBefore(certificate.get()), fromDays * 86400);
    X509_gmtime_adj(X509_getm_notAfter(certificate.get()), toDays * 86400);
    return certificate;
}

void Finish(X509* certificate, const Authority* issuer, EVP_PKEY* selfKey, bool authorityKeyId = true) {
    X509* issuerCertificate = issuer ? issuer->certificate.get() : certificate;
    AddExtension(certificate, issuerCertificate, NID_subject_key_identifier, "hash");
    if (authorityKeyId) AddExtension(certificate, issuerCertificate, NID_authority_key_identifier, "keyid:always");
    EVP_PKEY* key = issuer ? issuer->key.get() : selfKey;
    Check(X509_sign(certificate, key, EVP_sha256()) > 0, "sign certificate");
}

std::string ReadFile(const std::string& path) {
    std::ifstream stream(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(stream), {});
}

}  // namespace

KeyPtr NewKey(const std::string& algorithm) {
    EVP_PKEY* key = algorithm == "RSA" ? EVP_RSA_gen(2048) : EVP_EC_gen("P-256");
    Check(key != nullptr, "key generation");
    return KeyPtr(key);
}

X509Ptr MakeCertificate(const CertParams& wanted, EVP_PKEY* publicKey, const Authority* issuer) {
    X509_NAME* subject = X509_NAME_new();
    X509_NAME_add_entry_by_NID(subject, NID_commonName, MBSTRING_UTF8,
                               reinterpret_cast<const unsigned char*>(wanted.commonName.c_str()), -1, -1, 0);
    X509Ptr certificate = Prepare(subject, publicKey, issuer, wanted.notBeforeDays, wanted.notAfterDays);
    X509_NAME_free(subject);
    AddExtension(certificate.get(), nullptr, NID_basic_constraints, wanted.authority ? "critical,CA:TRUE" : "CA:FALSE");
    AddExtension(certificate.get(), nullptr, NID_key_usage,
                 wanted.authority ? "critical,keyCertSign,cRLSign" : "critical,digitalSignature,nonRepudiation");
    AddPolicies(certificate.get(), wanted.policies);
    Finish(certificate.get(), issuer, publicKey, wanted.authorityKeyId);
    return certificate;
}

X509Ptr IssueForRequest(X509_REQ* request, const Authority& issuer, const std::vector<std::string>& policies) {
    X509Ptr certificate = Prepare(X509_REQ_get_subject_name(request), X509_REQ_get0_pubkey(request), &issuer, -1, 365);
    STACK_OF(X509_EXTENSION)* extensions = X509_REQ_get_extensions(request);
    for (int i = 0; i < sk_X509_EXTENSION_num(extensions); ++i) {
        X509_add_ext(certificate.get(), sk_X509_EXTENSION_value(extensions, i), -1);
    }
    sk_X509_EXTENSION_pop_free(extensions, X509_EXTENSION_free);
    AddPolicies(certificate.get(), policies);
    Finish(certificate.get(), &issuer, nullptr);
    return certificate;
}

CrlPtr MakeRevocationList(const Authority& issuer, const std::vector<const X509*>& revoked, long lastUpdateDays,
                          long nextUpdateDays) {
    CrlPtr list(X509_CRL_new());
    X509_CRL_set_version(list.get(), 1);
    X509_CRL_set_issuer_name(list.get(), X509_get_subject_name(issuer.certificate.get()));
    ASN1_TIME* last = X509_gmtime_adj(nullptr, lastUpdateDays * 86400);
    ASN1_TIME* next = X509_gmtime_adj(nullptr, nextUpdateDays * 86400);
    X509_CRL_set1_lastUpdate(list.get(), last);
    X509_CRL_set1_nextUpdate(list.get(), next);
    for (const X509* certificate : revoked) {
        X509_REVOKED* entry = X509_REVOKED_new();
        X509_REVOKED_set_serialNumber(entry, const_cast<ASN1_INTEGER*>(X509_get0_serialNumber(certificate)));
        X509_REVOKED_set_revocationDate(entry, last);
        X509_CRL_add0_revoked(list.get(), entry);
    }
    ASN1_TIME_free(last);
    ASN1_TIME_free(next);
    X509_CRL_sort(list.get());
    Check(X509_CRL_sign(list.get(), issuer.key.get(), EVP_sha256()) > 0, "sign CRL");
    return list;
}

std::string Der(X509* certificate) {
    unsigned char* der = nullptr;
    const int size = i2d_X509(certificate, &der);
    std::string bytes(reinterpret_cast<char*>(der), static_cast<std::size_t>(size));
    OPENSSL_free(der);
    return bytes;
}

std::string Der(X509_CRL* list) {
    unsigned char* der = nullptr;
    const int size = i2d_X509_CRL(list, &der);
    std::string bytes(reinterpret_cast<char*>(der), static_cast<std::size_t>(size));
    OPENSSL_free(der);
    return bytes;
}

std::string Pem(X509* certificate) {
    BIO* bio = BIO_new(BIO_s_mem());
    PEM_write_bio_X509(bio, certificate);
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    std::string text(data, static_cast<std::size_t>(size));
    BIO_free(bio);
    return text;
}

X509Ptr FromDer(const std::string& der) {
    const auto* cursor = reinterpret_cast<const unsigned char*>(der.data());
    return X509Ptr(d2i_X509(nullptr, &cursor, static_cast<long>(der.size())));
}

RequestPtr RequestFromDer(const std::string& der) {
    const auto* cursor = reinterpret_cast<const unsigned char*>(der.data());
    return RequestPtr(d2i_X509_REQ(nullptr, &cursor, static_cast<long>(der.size())));
}

std::string SerialHex(X509* certificate) {
    BIGNUM* number = ASN1_INTEGER_to_BN(X509_get0_serialNumber(certificate), nullptr);
    char* hex = BN_bn2hex(number);
    std::string text(hex);
    OPENSSL_free(hex);
    BN_free(number);
    return text;
}

const std::string& KeyStoreRoot() {
    // Made before the plugin reads the variable for the first time, and shared by every test
    // of the run; each test makes containers of its own names.
    static const std::string root = [] {
        char pattern[] = "/tmp/nelvo-keystore-test-XXXXXX";
        Check(mkdtemp(pattern) != nullptr, "temporary key store");
        const std::string path = std::string(pattern) + "/keys";
        setenv("NELVO_KEYSTORE", path.c_str(), 1);
        const ToolRun demo = RunKeytool("demo");
        Check(demo.exitCode == 0, "nelvo-keytool demo");
        return path;
    }();
    return root;
}

Authority DemoAuthority() {
    const std::string folder = KeyStoreRoot() + "/NelvoDemoCA/";
    const std::string certificate = ReadFile(folder + "certificate.pem");
    const std::string key = ReadFile(folder + "key.pem");
    BIO* certificateBio = BIO_new_mem_buf(certificate.data(), static_cast<int>(certificate.size()));
    BIO* keyBio = BIO_new_mem_buf(key.data(), static_cast<int>(key.size()));
    Authority authority{X509Ptr(PEM_read_bio_X509(certificateBio, nullptr, nullptr, nullptr)),
                        KeyPtr(PEM_read_bio_PrivateKey(keyBio, nullptr, nullptr, nullptr))};
    BIO_free(certificateBio);
    BIO_free(keyBio);
    Check(authority.certificate && authority.key, "demo CA");
    return authority;
}

X509Ptr DemoUserCertificate() {
    const std::string text = ReadFile(KeyStoreRoot() + "/NelvoDemoUser/certificate.pem");
    BIO* bio = BIO_new_mem_buf(text.data(), static_cast<int>(text.size()));
    X509Ptr certificate(PEM_read_bio_X509(bio, nullptr, nullptr, nullptr));
    BIO_free(bio);
    Check(certificate != nullptr, "demo user certificate");
    return certificate;
}

ToolRun RunKeytool(const std::string& arguments, const std::string& environment) {
    const std::string command = environment + std::string(NELVO_KEYTOOL_FILE) + " " + arguments + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    Check(pipe != nullptr, "popen");
    std::string output;
    char buffer[4096];
    for (std::size_t read; (read = fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, read);
    const int status = pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

std::string UniqueName(const std::string& prefix) {
    static std::atomic<int> counter{0};
    return prefix + "-" + std::to_string(getpid()) + "-" + std::to_string(++counter);
}

std::string CmsSignature(EVP_PKEY* key, X509* certificate, const std::string& content) {
    BIO* data = BIO_new_mem_buf(content.data(), static_cast<int>(content.size()));
    CmsPtr cms(CMS_sign(certificate, key, nullptr, data, CMS_BINARY | CMS_DETACHED));
    BIO_free(data);
    Check(cms != nullptr, "CMS_sign");
    unsigned char* der = nullptr;
    const int size = i2d_CMS_ContentInfo(cms.get(), &der);
    std::string bytes(reinterpret_cast<char*>(der), static_cast<std::size_t>(size));
    OPENSSL_free(der);
    return bytes;
}

std::string PlainSignature(EVP_PKEY* key, const std::string& content) {
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    std::size_t size = 0;
    EVP_DigestSignInit(context, nullptr, EVP_sha256(), nullptr, key);
    EVP_DigestSign(context, nullptr, &size, reinterpret_cast<const unsigned char*>(content.data()), content.size());
    std::string signature(size, '\0');
    EVP_DigestSign(context, reinterpret_cast<unsigned char*>(signature.data()), &size,
                   reinterpret_cast<const unsigned char*>(content.data()), content.size());
    EVP_MD_CTX_free(context);
    signature.resize(size);
    return signature;
}

User NewUser(const std::string& algorithm, const std::vector<std::string>& subjectLines,
             const std::vector<std::string>& policies) {
    KeyStoreRoot();
    User user{UniqueName("user-" + algorithm), nullptr, {}};
    Engine engine;
    engine.Set("Container Name Location", "ZRB_NAME:" + user.container);
    engine.Set("Key gen - Common name", "Test " + user.container);
    for (const std::string& line : subjectLines) {
        const auto equals = line.find('=');
        engine.Set(line.substr(0, equals), line.substr(equals + 1));
    }
    engine.Set("Key gen - Request Type", algorithm);
    engine.Set("Secret Key Usage Types", "DIGITALSIGNATURE;NONREPUDIATION");
    if (!engine.Export(11, "")) throw std::runtime_error("key generation: " + engine.LastError().text);
    RequestPtr request = RequestFromDer(Unbase64(engine.CurrentData()));
    Check(request != nullptr, "request");
    user.certificate = IssueForRequest(request.get(), DemoAuthority(), policies);
    const std::string file = KeyStoreRoot() + "/../" + user.container + ".cer";
    std::ofstream(file, std::ios::binary) << Pem(user.certificate.get());
    const ToolRun install = RunKeytool("install-cert " + file);
    Check(install.exitCode == 0, "install-cert");
    user.base64 = Base64(Der(user.certificate.get()));
    return user;
}

}  // namespace nelvo::cryptoplugin::test

namespace nelvo::cryptoplugin::test {
namespace {

// The store is made before the first test and removed after the last, so a run leaves
// nothing behind and never touches the user's own key store.
class KeyStoreEnvironment : public ::testing::Environment {
public:
    void SetUp() override { KeyStoreRoot(); }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(std::filesystem::path(KeyStoreRoot()).parent_path(), ignored);
    }
};

[[maybe_unused]] ::testing::Environment* const kKeyStoreEnvironment =
    ::testing::AddGlobalTestEnvironment(new KeyStoreEnvironment);

}  // namespace
}  // namespace nelvo::cryptoplugin::test

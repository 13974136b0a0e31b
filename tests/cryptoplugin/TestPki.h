// Certificates, keys and revocation lists made by OpenSSL directly, for the tests to feed the
// plugin and to check what it produces; and the key store the tests share.
#pragma once

#include <openssl/cms.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

#include <memory>
#include <string>
#include <vector>

namespace nelvo::cryptoplugin::test {

template <auto Free>
struct Freer {
    template <typename T>
    void operator()(T* object) const { Free(object); }
};
using X509Ptr = std::unique_ptr<X509, Freer<X509_free>>;
using KeyPtr = std::unique_ptr<EVP_PKEY, Freer<EVP_PKEY_free>>;
using CrlPtr = std::unique_ptr<X509_CRL, Freer<X509_CRL_free>>;
using RequestPtr = std::unique_ptr<X509_REQ, Freer<X509_REQ_free>>;
using CmsPtr = std::unique_ptr<CMS_ContentInfo, Freer<CMS_ContentInfo_free>>;

struct Authority {
    X509Ptr certificate;
    KeyPtr key;
};

KeyPtr NewKey(const std::string& algorithm);  // "RSA" (2048) or "EC" (P-256)

struct CertParams {
    std::string commonName = "Test user";
    long notBeforeDays = -1;  // from now
    long notAfterDays = 365;
    bool authority = false;
    std::vector<std::string> policies;
    bool authorityKeyId = true;
};

// Signed by the authority (self-signed without one).
X509Ptr MakeCertificate(const CertParams& wanted, EVP_PKEY* publicKey, const Authority* issuer);
// A certificate for a request, with the request's subject and extensions.
X509Ptr IssueForRequest(X509_REQ* request, const Authority& issuer, const std::vector<std::string>& policies = {});
CrlPtr MakeRevocationList(const Authority& issuer, const std::vector<const X509*>& revoked,
                          long lastUpdateDays = -1, long nextUpdateDays = 30);

std::string Der(X509* certificate);
std::string Der(X509_CRL* list);
std::string Pem(X509* certificate);
X509Ptr FromDer(const std::string& der);
RequestPtr RequestFromDer(const std::string& der);
std::string SerialHex(X509* certificate);

// The key store of this test run ($NELVO_KEYSTORE), with the demo containers in it.
const std::string& KeyStoreRoot();
Authority DemoAuthority();
X509Ptr DemoUserCertificate();

struct ToolRun {
    int exitCode;
    std::string output;  // standard output and error
};
// Runs the tool through the shell; environment is prepended as "NAME=value " assignments.
ToolRun RunKeytool(const std::string& arguments, const std::string& environment = "");

// A new container made by the plugin (data type 11), its request issued by the demo CA and
// the certificate installed with nelvo-keytool.
struct User {
    std::string container;
    X509Ptr certificate;
    std::string base64;  // the certificate as a page sends it
};
User NewUser(const std::string& algorithm, const std::vector<std::string>& subjectLines = {},
             const std::vector<std::string>& policies = {});

std::string UniqueName(const std::string& prefix);

// A detached CMS signature and a bare SHA-256 signature made by OpenSSL directly.
std::string CmsSignature(EVP_PKEY* key, X509* certificate, const std::string& content);
std::string PlainSignature(EVP_PKEY* key, const std::string& content);

}  // namespace nelvo::cryptoplugin::test

#include "keytool/CertificateIssuer.h"

#include <openssl/objects.h>
#include <openssl/rand.h>

#include <stdexcept>

#include "engine/Digests.h"
#include "engine/KeyGeneration.h"

namespace nelvo::cryptoplugin::keytool {

namespace {

[[noreturn]] void Fail(const std::string& what) {
    throw std::runtime_error(what + ": " + TakeOsslError());
}

void AddExtension(X509* certificate, ExtensionPtr extension) {
    if (extension && X509_add_ext(certificate, extension.get(), -1) != 1) Fail("cannot add an extension");
}

void AddConf(X509* certificate, X509V3_CTX* context, int nid, const std::string& value) {
    if (value.empty()) return;
    ExtensionPtr extension(X509V3_EXT_conf_nid(nullptr, context, nid, value.c_str()));
    if (!extension) Fail("invalid extension value \"" + value + "\"");
    AddExtension(certificate, std::move(extension));
}

void SetRandomSerial(X509* certificate) {
    unsigned char bytes[16];
    if (RAND_bytes(bytes, sizeof bytes) != 1) Fail("no random serial number");
    bytes[0] &= 0x7F;  // positive
    bytes[0] |= 0x40;  // and of full length
    BignumPtr number(BN_bin2bn(bytes, sizeof bytes, nullptr));
    if (!number || BN_to_ASN1_INTEGER(number.get(), X509_get_serialNumber(certificate)) == nullptr) {
        Fail("cannot set the serial number");
    }
}

// Built by hand: the configuration syntax for policies needs a configuration database.
void AddPolicies(X509* certificate, const std::vector<std::string>& policies) {
    if (policies.empty()) return;
    OsslPtr<CERTIFICATEPOLICIES, CERTIFICATEPOLICIES_free> list(CERTIFICATEPOLICIES_new());
    if (!list) throw std::bad_alloc();
    for (const std::string& policy : policies) {
        OsslPtr<POLICYINFO, POLICYINFO_free> info(POLICYINFO_new());
        if (!info) throw std::bad_alloc();
        ASN1_OBJECT_free(info->policyid);
        info->policyid = OBJ_txt2obj(policy.c_str(), 1);
        if (info->policyid == nullptr) Fail("invalid policy identifier \"" + policy + "\"");
        if (sk_POLICYINFO_push(list.get(), info.get()) <= 0) throw std::bad_alloc();
        info.release();
    }
    if (X509_add1_ext_i2d(certificate, NID_certificate_policies, list.get(), 0, X509V3_ADD_DEFAULT) != 1) {
        Fail("cannot add the certificate policies");
    }
}

}  // namespace

X509Ptr IssueCertificate(const IssueParams& wanted, X509* issuerCertificate, EVP_PKEY* issuerKey) {
    X509Ptr certificate(X509_new());
    if (!certificate || X509_set_version(certificate.get(), 2) != 1) Fail("cannot create a certificate");
    SetRandomSerial(certificate.get());
    const X509_NAME* issuerName = issuerCertificate ? X509_get_subject_name(issuerCertificate) : wanted.subject;
    if (X509_set_subject_name(certificate.get(), wanted.subject) != 1 ||
        X509_set_issuer_name(certificate.get(), issuerName) != 1 ||
        X509_set_pubkey(certificate.get(), wanted.publicKey) != 1 ||
        X509_gmtime_adj(X509_getm_notBefore(certificate.get()), -3600) == nullptr ||
        X509_gmtime_adj(X509_getm_notAfter(certificate.get()), 86400L * wanted.days) == nullptr) {
        Fail("cannot fill the certificate");
    }
    X509V3_CTX context;
    X509V3_set_ctx(&context, issuerCertificate ? issuerCertificate : certificate.get(), certificate.get(),
                   nullptr, nullptr, 0);
    AddConf(certificate.get(), &context, NID_basic_constraints, wanted.authority ? "critical,CA:TRUE" : "CA:FALSE");
    AddExtension(certificate.get(), KeyUsageExtension(wanted.keyUsages));
    AddExtension(certificate.get(), ExtendedKeyUsageExtension(wanted.extendedKeyUsages));
    AddConf(certificate.get(), &context, NID_subject_key_identifier, "hash");
    AddConf(certificate.get(), &context, NID_authority_key_identifier, "keyid:always");
    AddPolicies(certificate.get(), wanted.policies);
    if (!wanted.revocationListUrl.empty()) {
        AddConf(certificate.get(), &context, NID_crl_distribution_points, "URI:" + wanted.revocationListUrl);
    }
    AddExtension(certificate.get(), SignToolExtension(wanted.signTool));
    if (X509_sign(certificate.get(), issuerKey, ChooseDigest("", issuerKey)) <= 0) Fail("cannot sign the certificate");
    return certificate;
}

}  // namespace nelvo::cryptoplugin::keytool

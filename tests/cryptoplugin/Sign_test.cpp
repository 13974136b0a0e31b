// Signing as a key session does it: the session's parameters, the certificate imported with
// data type 13, then CMS (61) and PLAIN (42) signatures checked by OpenSSL itself.
#include <gtest/gtest.h>
#include <openssl/cms.h>
#include <openssl/objects.h>

#include <ostream>

#include "EngineDriver.h"
#include "TestPki.h"

namespace nelvo::cryptoplugin::test {
namespace {

struct SignerCase {
    const char* name;
    const char* keyAlgorithmOid;
    bool demo;  // the demo user (RSA) or a new container of this algorithm
    const char* algorithm;
};

const SignerCase kSigners[] = {
    {"RSA", "1.2.840.113549.1.1.1", true, "RSA"},
    {"P256", "1.2.840.10045.2.1", false, "EC"},
};

// Test names in listings show the case, not its bytes.
void PrintTo(const SignerCase& signer, std::ostream* out) { *out << signer.name; }

class Signing : public ::testing::TestWithParam<SignerCase> {
protected:
    void SetUp() override {
        if (GetParam().demo) {
            certificate_ = DemoUserCertificate();
        } else {
            certificate_ = NewUser(GetParam().algorithm).certificate;
        }
        base64_ = Base64(Der(certificate_.get()));
    }

    // An engine bound to the certificate, set up as a session does it.
    std::unique_ptr<Engine> SessionEngine(const std::string& hash = "") {
        auto engine = std::make_unique<Engine>();
        SetSessionParameters(*engine, SerialHex(certificate_.get()), hash);
        EXPECT_TRUE(engine->Import(13, base64_)) << engine->LastError().text;
        return engine;
    }

    // OpenSSL's own verification of the detached signature over the content, trusting the
    // demo CA only.
    bool VerifiedByOpenSsl(const std::string& der, const std::string& content) {
        const auto* cursor = reinterpret_cast<const unsigned char*>(der.data());
        CmsPtr cms(d2i_CMS_ContentInfo(nullptr, &cursor, static_cast<long>(der.size())));
        if (!cms) return false;
        X509_STORE* store = X509_STORE_new();
        const Authority authority = DemoAuthority();
        X509_STORE_add_cert(store, authority.certificate.get());
        STACK_OF(X509)* signers = sk_X509_new_null();
        sk_X509_push(signers, certificate_.get());
        BIO* data = BIO_new_mem_buf(content.data(), static_cast<int>(content.size()));
        const int ok = CMS_verify(cms.get(), signers, store, data, nullptr, CMS_BINARY);
        BIO_free(data);
        sk_X509_free(signers);
        X509_STORE_free(store);
        return ok == 1;
    }

    X509Ptr certificate_;
    std::string base64_;
};

CmsPtr ReadCms(const std::string& der) {
    const auto* cursor = reinterpret_cast<const unsigned char*>(der.data());
    return CmsPtr(d2i_CMS_ContentInfo(nullptr, &cursor, static_cast<long>(der.size())));
}

CMS_SignerInfo* OnlySigner(CMS_ContentInfo* cms) {
    STACK_OF(CMS_SignerInfo)* infos = CMS_get0_SignerInfos(cms);
    EXPECT_EQ(sk_CMS_SignerInfo_num(infos), 1);
    return sk_CMS_SignerInfo_value(infos, 0);
}

int DigestNid(CMS_SignerInfo* signer) {
    X509_ALGOR* digest = nullptr;
    CMS_SignerInfo_get0_algs(signer, nullptr, nullptr, &digest, nullptr);
    const ASN1_OBJECT* object = nullptr;
    X509_ALGOR_get0(&object, nullptr, nullptr, digest);
    return OBJ_obj2nid(object);
}

TEST_P(Signing, KeyAlgorithmIdentifier) {
    Engine engine;
    ASSERT_TRUE(engine.Export(50, base64_)) << engine.LastError().text;
    EXPECT_EQ(engine.Property("CurrentData"), GetParam().keyAlgorithmOid);
}

TEST_P(Signing, DetachedCadesBesVerifiedByOpenSsl) {
    const std::string content = std::string("Платёжное поручение №1\r\n") + '\0' + "\xff binary tail";
    auto engine = SessionEngine();
    ASSERT_TRUE(engine->Export(61, Base64(content), 2)) << engine->LastError().text;
    const std::string der = engine->CurrentData();
    EXPECT_TRUE(VerifiedByOpenSsl(der, content));
    EXPECT_FALSE(VerifiedByOpenSsl(der, content + "x")) << "the check must see the content";

    const CmsPtr cms = ReadCms(der);
    ASSERT_TRUE(cms);
    EXPECT_EQ(CMS_is_detached(cms.get()), 1);
    CMS_SignerInfo* signer = OnlySigner(cms.get());
    EXPECT_GE(CMS_signed_get_attr_by_NID(signer, NID_id_smime_aa_signingCertificateV2, -1), 0)
        << "CAdES-BES needs the signing-certificate-v2 attribute";
    EXPECT_EQ(DigestNid(signer), NID_sha256) << "SHA-256 when no hash algorithm is set";
    STACK_OF(X509)* included = CMS_get1_certs(cms.get());
    EXPECT_EQ(sk_X509_num(included), 1) << "the signer certificate is included when asked";
    sk_X509_pop_free(included, X509_free);
}

TEST_P(Signing, HashAlgorithmAndCertificateInclusionFollowTheParameters) {
    struct Case {
        const char* hash;
        const char* include;
        int digest;
        int certificates;
    };
    for (const Case& c : {Case{"SHA384", "No", NID_sha384, 0}, Case{"2.16.840.1.101.3.4.2.3", "yes", NID_sha512, 1}}) {
        auto engine = SessionEngine(c.hash);
        engine->Set("Include signer cert in sign", c.include);
        ASSERT_TRUE(engine->Export(61, Base64("data"), 2)) << engine->LastError().text;
        const std::string der = engine->CurrentData();
        EXPECT_TRUE(VerifiedByOpenSsl(der, "data")) << c.hash;
        const CmsPtr cms = ReadCms(der);
        EXPECT_EQ(DigestNid(OnlySigner(cms.get())), c.digest) << c.hash;
        STACK_OF(X509)* included = CMS_get1_certs(cms.get());
        EXPECT_EQ(included ? sk_X509_num(included) : 0, c.certificates) << c.include;
        sk_X509_pop_free(included, X509_free);
    }
}

TEST_P(Signing, PlainSignatureVerifiesWithThePublicKey) {
    const std::string content = "authorisation data";
    auto engine = SessionEngine();
    ASSERT_TRUE(engine->Export(42, Base64(content))) << engine->LastError().text;
    const std::string signature = engine->CurrentData();
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    ASSERT_EQ(EVP_DigestVerifyInit(context, nullptr, EVP_sha256(), nullptr, X509_get0_pubkey(certificate_.get())), 1);
    EXPECT_EQ(EVP_DigestVerify(context, reinterpret_cast<const unsigned char*>(signature.data()), signature.size(),
                               reinterpret_cast<const unsigned char*>(content.data()), content.size()),
              1);
    EVP_MD_CTX_free(context);
}

INSTANTIATE_TEST_SUITE_P(Keys, Signing, ::testing::ValuesIn(kSigners),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SigningErrors, BadInputGetsCodesAndNoSignature) {
    const Authority authority = DemoAuthority();
    const KeyPtr strangerKey = NewKey("EC");
    const X509Ptr stranger = MakeCertificate({}, strangerKey.get(), &authority);

    Engine unbound;
    EXPECT_FALSE(unbound.Export(61, Base64("data"), 2));
    EXPECT_EQ(unbound.LastError().code, "13") << "no key bound";
    EXPECT_FALSE(unbound.Import(13, Base64(Der(stranger.get()))));
    EXPECT_EQ(unbound.LastError().code, "12") << "key not in the store";
    EXPECT_FALSE(unbound.Import(13, ""));
    EXPECT_EQ(unbound.LastError().code, "11") << "empty certificate";

    Engine bound;
    ASSERT_TRUE(bound.Import(13, Base64(Der(DemoUserCertificate().get()))));
    EXPECT_FALSE(bound.Export(61, "not base64 at all!", 2));
    EXPECT_EQ(bound.LastError().code, "10");
    EXPECT_EQ(bound.Property("CurrentData"), "") << "a failed export leaves no data behind";
    EXPECT_FALSE(bound.Set("Container Name Location", "ZRB_NAME:NoSuchContainer") &&
                 bound.Import(13, Base64(Der(DemoUserCertificate().get()))));
    EXPECT_EQ(bound.LastError().code, "12") << "a named container is the only one searched";
}

TEST(SigningErrors, PemAndBase64OfPemCertificatesAreAccepted) {
    const X509Ptr certificate = DemoUserCertificate();
    for (const std::string& form : {Pem(certificate.get()), Base64(Pem(certificate.get()))}) {
        Engine engine;
        EXPECT_TRUE(engine.Import(13, form)) << engine.LastError().text;
    }
}

}  // namespace
}  // namespace nelvo::cryptoplugin::test

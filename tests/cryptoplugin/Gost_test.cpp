// GOST R 34.10-2012 keys with Streebog digests, through OpenSSL's "gost" engine. Without the
// engine these report themselves skipped.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <gtest/gtest.h>
#include <openssl/cms.h>
#include <openssl/engine.h>
#include <openssl/objects.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ostream>

#include "EngineDriver.h"
#include "TestPki.h"

namespace nelvo::cryptoplugin::test {
namespace {

// The test's own copy of the engine, to check the plugin's signatures independently.
bool LoadGostForTheTest() {
    static const bool loaded = [] {
        ENGINE* engine = ENGINE_by_id("gost");
        if (engine == nullptr || ENGINE_init(engine) != 1) return false;
        ENGINE_set_default(engine, ENGINE_METHOD_ALL & ~ENGINE_METHOD_RAND);
        ENGINE_free(engine);
        return true;
    }();
    return loaded;
}

struct GostCase {
    const char* name;
    const char* type;
    const char* keyOid;
    const char* hashOid;
    int digestNid;
};

const GostCase kGostCases[] = {
    {"Gost256", "GOST2012_256", "1.2.643.7.1.1.1.1", "1.2.643.7.1.1.2.2", NID_id_GostR3411_2012_256},
    {"Gost512", "gost2012_512", "1.2.643.7.1.1.1.2", "1.2.643.7.1.1.2.3", NID_id_GostR3411_2012_512},
};

void PrintTo(const GostCase& gost, std::ostream* out) { *out << gost.name; }

class Gost : public ::testing::TestWithParam<GostCase> {
protected:
    void SetUp() override {
        if (!LoadGostForTheTest()) GTEST_SKIP() << "the OpenSSL \"gost\" engine is not installed";
    }
};

TEST_P(Gost, KeyRequestCertificateAndCadesSignature) {
    const GostCase& c = GetParam();
    Engine keygen;
    const std::string container = UniqueName(c.name);
    keygen.Set("Container Name Location", "ZRB_NAME:" + container);
    keygen.Set("Key gen - Common name", "ГОСТ " + container);
    keygen.Set("Key gen - Request Type", c.type);
    keygen.Set("Hash Algorithm", c.hashOid);
    ASSERT_TRUE(keygen.Export(11, "")) << keygen.LastError().text;
    const RequestPtr request = RequestFromDer(Unbase64(keygen.CurrentData()));
    ASSERT_TRUE(request);
    EXPECT_EQ(X509_REQ_verify(request.get(), X509_REQ_get0_pubkey(request.get())), 1);

    const X509Ptr certificate = IssueForRequest(request.get(), DemoAuthority());
    const std::string file = KeyStoreRoot() + "/../" + container + ".cer";
    FILE* out = fopen(file.c_str(), "w");
    fputs(Pem(certificate.get()).c_str(), out);
    fclose(out);
    ASSERT_EQ(RunKeytool("install-cert " + file).exitCode, 0);

    // As a session: the key algorithm picks the hash, then data type 13 and 61.
    Engine session;
    const std::string base64 = Base64(Der(certificate.get()));
    ASSERT_TRUE(session.Export(50, base64));
    EXPECT_EQ(session.Property("CurrentData"), c.keyOid);
    SetSessionParameters(session, SerialHex(certificate.get()), c.hashOid);
    ASSERT_TRUE(session.Import(13, base64)) << session.LastError().text;
    ASSERT_TRUE(session.Export(61, Base64("ГОСТ data"), 2)) << session.LastError().text;
    const std::string der = session.CurrentData();

    const auto* cursor = reinterpret_cast<const unsigned char*>(der.data());
    CmsPtr cms(d2i_CMS_ContentInfo(nullptr, &cursor, static_cast<long>(der.size())));
    ASSERT_TRUE(cms);
    X509_STORE* store = X509_STORE_new();
    const Authority authority = DemoAuthority();
    X509_STORE_add_cert(store, authority.certificate.get());
    const std::string content = "ГОСТ data";
    BIO* data = BIO_new_mem_buf(content.data(), static_cast<int>(content.size()));
    EXPECT_EQ(CMS_verify(cms.get(), nullptr, store, data, nullptr, CMS_BINARY), 1);
    BIO_free(data);
    X509_STORE_free(store);
    CMS_SignerInfo* signer = sk_CMS_SignerInfo_value(CMS_get0_SignerInfos(cms.get()), 0);
    X509_ALGOR* digest = nullptr;
    CMS_SignerInfo_get0_algs(signer, nullptr, nullptr, &digest, nullptr);
    const ASN1_OBJECT* digestId = nullptr;
    X509_ALGOR_get0(&digestId, nullptr, nullptr, digest);
    EXPECT_EQ(OBJ_obj2nid(digestId), c.digestNid);

    // And the engine's own verification of its signature.
    Engine verifier;
    ASSERT_TRUE(verifier.Import(12, Base64(Der(authority.certificate.get())), 1));
    ASSERT_TRUE(verifier.Import(11, base64, 1));
    const std::string payload = Base64(content) + '\x01' + Base64(der);
    EXPECT_TRUE(verifier.Export(63, Base64(payload), 7)) << verifier.LastError().text;
}

INSTANTIATE_TEST_SUITE_P(Keys, Gost, ::testing::ValuesIn(kGostCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Without the engine: the test runs itself again in a process where OpenSSL finds no engines.
TEST(GostUnavailable, RequestsFailWithAClearErrorAndOthersWork) {
    if (std::getenv("NELVO_TEST_WITHOUT_GOST") == nullptr) {
        const std::string command = "NELVO_TEST_WITHOUT_GOST=1 OPENSSL_ENGINES=/nonexistent /proc/" +
                                    std::to_string(getpid()) +
                                    "/exe --gtest_filter=GostUnavailable.* 2>&1";
        FILE* pipe = popen(command.c_str(), "r");
        ASSERT_NE(pipe, nullptr);
        std::string output;
        char buffer[4096];
        for (std::size_t read; (read = fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, read);
        EXPECT_EQ(pclose(pipe), 0) << output;
        EXPECT_NE(output.find("[  PASSED  ] 1 test"), std::string::npos) << output;
        return;
    }
    Engine keygen;
    keygen.Set("Container Name Location", "ZRB_NAME:" + UniqueName("nogost"));
    keygen.Set("Key gen - Common name", "x");
    keygen.Set("Key gen - Request Type", "GOST2012_256");
    EXPECT_FALSE(keygen.Export(11, ""));
    EXPECT_EQ(keygen.LastError().code, "24");
    EXPECT_NE(keygen.LastError().text.find("gost"), std::string::npos) << keygen.LastError().text;

    Engine signer;
    ASSERT_TRUE(signer.Import(13, Base64(Der(DemoUserCertificate().get()))));
    signer.Set("Hash Algorithm", "1.2.643.7.1.1.2.2");
    EXPECT_FALSE(signer.Export(61, Base64("data"), 2));
    EXPECT_EQ(signer.LastError().code, "24");
    signer.Set("Hash Algorithm", "");
    EXPECT_TRUE(signer.Export(61, Base64("data"), 2)) << "RSA needs no GOST support";
}

}  // namespace
}  // namespace nelvo::cryptoplugin::test

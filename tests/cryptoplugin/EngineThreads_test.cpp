// Eight threads signing at once, each on its own engine instance, as the host's connection
// threads do; every signature must verify.
#include <gtest/gtest.h>
#include <openssl/cms.h>

#include <atomic>
#include <thread>

#include "EngineDriver.h"
#include "TestPki.h"

namespace nelvo::cryptoplugin::test {
namespace {

bool Verifies(const std::string& der, const std::string& content, X509* signer) {
    const auto* cursor = reinterpret_cast<const unsigned char*>(der.data());
    CmsPtr cms(d2i_CMS_ContentInfo(nullptr, &cursor, static_cast<long>(der.size())));
    if (!cms) return false;
    STACK_OF(X509)* signers = sk_X509_new_null();
    sk_X509_push(signers, signer);
    BIO* data = BIO_new_mem_buf(content.data(), static_cast<int>(content.size()));
    const int ok = CMS_verify(cms.get(), signers, nullptr, data, nullptr, CMS_BINARY | CMS_NO_SIGNER_CERT_VERIFY);
    BIO_free(data);
    sk_X509_free(signers);
    return ok == 1;
}

TEST(EngineThreads, EightThreadsSignOnSeparateInstances) {
    constexpr int kThreads = 8;
    constexpr int kRounds = 10;
    const X509Ptr rsa = DemoUserCertificate();
    const User ec = NewUser("EC");
    std::atomic<int> good{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            X509* certificate = t % 2 == 0 ? rsa.get() : ec.certificate.get();
            Engine engine;
            SetSessionParameters(engine, SerialHex(certificate), "");
            if (!engine.Import(13, Base64(Der(certificate)))) return;
            for (int round = 0; round < kRounds; ++round) {
                const std::string content = "thread " + std::to_string(t) + " round " + std::to_string(round);
                if (engine.Export(61, Base64(content), 2) && Verifies(engine.CurrentData(), content, certificate)) {
                    ++good;
                }
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(good.load(), kThreads * kRounds);
}

TEST(EngineThreads, ConcurrentKeyGenerationIntoOneNameCreatesOneContainer) {
    const std::string name = UniqueName("race");
    std::atomic<int> created{0};
    std::atomic<int> refused{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            Engine engine;
            engine.Set("Container Name Location", "ZRB_NAME:" + name);
            engine.Set("Key gen - Common name", name);
            engine.Set("Key gen - Request Type", "EC");
            if (engine.Export(11, "")) {
                ++created;
            } else if (engine.LastError().code == "21") {
                ++refused;
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(created.load(), 1);
    EXPECT_EQ(refused.load(), 3);
}

}  // namespace
}  // namespace nelvo::cryptoplugin::test

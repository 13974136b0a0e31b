// Signing throughput of the reference plugin through WS_ExecuteEx (a JSON command in, the
// JSON replies out: the export of data type 61 and the read of "MimeCurrentData", as a key
// session signs) beside OpenSSL's own CMS_sign with the same key, certificate and document in
// the same run.
#include <benchmark/benchmark.h>
#include <openssl/cms.h>
#include <openssl/pem.h>
#include <stdlib.h>

#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>

#include "engine/Base64.h"
#include "engine/Certificates.h"
#include "engine/GostSupport.h"
#include "engine/KeyGeneration.h"
#include "keystore/KeyStore.h"
#include "protocol/Exports.h"

namespace {

using namespace nelvo::cryptoplugin;

struct Signer {
    std::string container;
    PkeyPtr key;
    X509Ptr certificate;
    std::string engineId;  // a plugin instance bound to the key
};

std::string Exchange(const std::string& command) {
    std::int32_t size = 0;
    if (WS_ExecuteEx(command.c_str(), static_cast<std::int32_t>(command.size() + 1), nullptr, &size, 1) != 0) {
        throw std::runtime_error("phase 1 failed");
    }
    std::string reply(static_cast<std::size_t>(size), '\0');
    if (WS_ExecuteEx("", 1, reply.data(), &size, 2) != 0) throw std::runtime_error("phase 2 failed");
    return reply;
}

std::string Command(const std::string& id, const std::string& method, const nlohmann::ordered_json& params) {
    return nlohmann::ordered_json{{"ID", id}, {"Plugin", "VEDuzoziVavodaDizodizi"}, {"Method", method}, {"Params", params}}
        .dump();
}

std::string Call(std::string& id, const std::string& method, const nlohmann::ordered_json& params) {
    const auto reply = nlohmann::json::parse(Exchange(Command(id, method, params)));
    id = reply["ID"];
    return reply["Result"];
}

void CheckOk(std::string& id) {
    if (Call(id, "GetProperty", {{{"LastErrorCode", ""}}}) != "0") {
        throw std::runtime_error("engine failed: " + Call(id, "GetProperty", {{{"LastError", ""}}}));
    }
}

const std::string& StoreRoot() {
    static const std::string root = [] {
        char pattern[] = "/tmp/nelvo-bench-keys-XXXXXX";
        if (mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp");
        setenv("NELVO_KEYSTORE", pattern, 1);
        return std::string(pattern);
    }();
    return root;
}

Signer MakeSigner(const std::string& algorithm) {
    GostAvailable();
    Signer signer{"bench-" + algorithm, GenerateKey({algorithm, ""}), nullptr, ""};
    X509NamePtr name = BuildName({{"CN", "Bench " + algorithm}});
    signer.certificate.reset(X509_new());
    X509* certificate = signer.certificate.get();
    X509_set_version(certificate, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(certificate), 1);
    X509_set_subject_name(certificate, name.get());
    X509_set_issuer_name(certificate, name.get());
    X509_set_pubkey(certificate, signer.key.get());
    X509_gmtime_adj(X509_getm_notBefore(certificate), -3600);
    X509_gmtime_adj(X509_getm_notAfter(certificate), 86400);
    const EVP_MD* digest = algorithm == "GOST2012_256" ? EVP_get_digestbyname("md_gost12_256") : EVP_sha256();
    if (X509_sign(certificate, signer.key.get(), digest) <= 0) throw std::runtime_error("self-sign");
    KeyStore(StoreRoot()).Create({signer.container, PrivateKeyToPem(signer.key.get()), {}, CertificateToPem(certificate)});

    Call(signer.engineId, "InitCryptoEngineByType", {{{"sCryptoEngineType", "8"}}});
    Call(signer.engineId, "SetCryptoParamValue", {{{"ParamName", "Include signer cert in sign"}}, {{"Value", "Yes"}}});
    Call(signer.engineId, "ImportCryptoObject",
         {{{"DataType", "13"}}, {{"Flags", "0"}}, {{"sData", EncodeBase64(CertificateDer(certificate))}}});
    CheckOk(signer.engineId);
    return signer;
}

// One signer per algorithm for the whole run; null when the algorithm is not available.
Signer* SignerFor(const std::string& algorithm) {
    static std::map<std::string, std::unique_ptr<Signer>> signers;
    auto& slot = signers[algorithm];
    if (!slot) {
        try {
            slot = std::make_unique<Signer>(MakeSigner(algorithm));
        } catch (const std::exception&) {
            return nullptr;
        }
    }
    return slot.get();
}

const char* AlgorithmOf(int index) {
    static const char* names[] = {"RSA", "EC", "GOST2012_256"};
    return names[index];
}

std::string Document(std::size_t size) {
    std::string document(size, '\0');
    for (std::size_t i = 0; i < size; ++i) document[i] = static_cast<char>(i * 31 + 7);
    return document;
}

void BM_PluginSign(benchmark::State& state) {
    Signer* signer = SignerFor(AlgorithmOf(static_cast<int>(state.range(0))));
    if (signer == nullptr) return state.SkipWithError("algorithm not available");
    const std::string document = Document(static_cast<std::size_t>(state.range(1)));
    // The command texts a host would send; made once, as the host makes each once.
    const std::string sign = Command(signer->engineId, "ExportCryptoObject",
                                     {{{"DataType", "61"}}, {{"sParamData", EncodeBase64(document)}}, {{"Flags", "2"}}});
    const std::string read = Command(signer->engineId, "GetProperty", {{{"MimeCurrentData", ""}}});
    for (auto _ : state) {
        benchmark::DoNotOptimize(Exchange(sign));
        benchmark::DoNotOptimize(Exchange(read));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(1));
}

void BM_OpensslCmsSign(benchmark::State& state) {
    Signer* signer = SignerFor(AlgorithmOf(static_cast<int>(state.range(0))));
    if (signer == nullptr) return state.SkipWithError("algorithm not available");
    const std::string document = Document(static_cast<std::size_t>(state.range(1)));
    for (auto _ : state) {
        BioPtr data = ReadBio(document);
        CmsPtr cms(CMS_sign(signer->certificate.get(), signer->key.get(), nullptr, data.get(),
                            CMS_DETACHED | CMS_BINARY));
        unsigned char* der = nullptr;
        const int size = i2d_CMS_ContentInfo(cms.get(), &der);
        benchmark::DoNotOptimize(size);
        OPENSSL_free(der);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(1));
}

void Arguments(benchmark::internal::Benchmark* benchmark) {
    benchmark->ArgNames({"alg", "bytes"});
    for (int algorithm = 0; algorithm < 3; ++algorithm) {
        for (const int size : {1024, 1024 * 1024}) benchmark->Args({algorithm, size});
    }
    benchmark->Unit(benchmark::kMicrosecond);
}

BENCHMARK(BM_PluginSign)->Apply(Arguments);
BENCHMARK(BM_OpensslCmsSign)->Apply(Arguments);

}  // namespace

int main(int argc, char** argv) {
    WS_Initialize();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    WS_Shutdown();
    std::error_code ignored;
    std::filesystem::remove_all(StoreRoot(), ignored);
    return 0;
}

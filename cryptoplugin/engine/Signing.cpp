#include "engine/Signing.h"

#include "engine/EngineErrors.h"

namespace nelvo::cryptoplugin {

Bytes SignCms(EVP_PKEY* key, X509* certificate, const EVP_MD* digest, const Bytes& data,
              const CmsSignOptions& options) {
    const unsigned baseFlags = CMS_BINARY | CMS_PARTIAL | CMS_NOSMIMECAP |
                               (options.detached ? CMS_DETACHED : 0u);
    CmsPtr cms(CMS_sign(nullptr, nullptr, nullptr, nullptr, baseFlags));
    if (!cms) throw EngineFailure(kEngineSignFailed, "Cannot create the CMS signature");
    const unsigned signerFlags = CMS_BINARY | CMS_NOSMIMECAP | CMS_CADES |
                                 (options.includeSignerCertificate ? 0u : CMS_NOCERTS);
    if (CMS_add1_signer(cms.get(), certificate, key, digest, signerFlags) == nullptr) {
        throw EngineFailure(kEngineSignFailed, "Cannot add the signer to the CMS signature");
    }
    BioPtr content = ReadBio(data.data(), data.size());
    if (CMS_final(cms.get(), content.get(), nullptr, baseFlags) != 1) {
        throw EngineFailure(kEngineSignFailed, "Cannot sign the data");
    }
    const int size = i2d_CMS_ContentInfo(cms.get(), nullptr);
    if (size <= 0) throw EngineFailure(kEngineSignFailed, "Cannot encode the CMS signature");
    Bytes der(static_cast<std::size_t>(size));
    unsigned char* cursor = der.data();
    i2d_CMS_ContentInfo(cms.get(), &cursor);
    return der;
}

Bytes SignPlain(EVP_PKEY* key, const EVP_MD* digest, const Bytes& data) {
    MdCtxPtr context(EVP_MD_CTX_new());
    std::size_t size = 0;
    if (!context || EVP_DigestSignInit(context.get(), nullptr, digest, nullptr, key) != 1 ||
        EVP_DigestSign(context.get(), nullptr, &size, data.data(), data.size()) != 1) {
        throw EngineFailure(kEngineSignFailed, "Cannot sign the data");
    }
    Bytes signature(size);
    if (EVP_DigestSign(context.get(), signature.data(), &size, data.data(), data.size()) != 1) {
        throw EngineFailure(kEngineSignFailed, "Cannot sign the data");
    }
    signature.resize(size);
    return signature;
}

bool VerifyPlain(EVP_PKEY* key, const EVP_MD* digest, const Bytes& data, const Bytes& signature) {
    MdCtxPtr context(EVP_MD_CTX_new());
    if (!context || EVP_DigestVerifyInit(context.get(), nullptr, digest, nullptr, key) != 1) {
        return false;
    }
    return EVP_DigestVerify(context.get(), signature.data(), signature.size(), data.data(),
                            data.size()) == 1;
}

}  // namespace nelvo::cryptoplugin

#include "engine/Verification.h"

#include <string>

#include "engine/Digests.h"
#include "engine/EngineErrors.h"
#include "engine/Signing.h"

namespace nelvo::cryptoplugin {

namespace {

struct ChainCode {
    int verifyError;
    EngineError code;
};

// How a chain failure reaches the host: which certificate-chain or revocation code.
constexpr ChainCode kChainCodes[] = {
    {X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT, kEngineChainIssuerUnknown},
    {X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY, kEngineChainIssuerUnknown},
    {X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE, kEngineChainIssuerUnknown},
    {X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT, kEngineChainIssuerUnknown},
    {X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN, kEngineChainIssuerUnknown},
    {X509_V_ERR_CERT_NOT_YET_VALID, kEngineChainValidity},
    {X509_V_ERR_CERT_HAS_EXPIRED, kEngineChainValidity},
    {X509_V_ERR_ERROR_IN_CERT_NOT_BEFORE_FIELD, kEngineChainValidity},
    {X509_V_ERR_ERROR_IN_CERT_NOT_AFTER_FIELD, kEngineChainValidity},
    {X509_V_ERR_CERT_SIGNATURE_FAILURE, kEngineChainSignature},
    {X509_V_ERR_UNABLE_TO_DECRYPT_CERT_SIGNATURE, kEngineChainSignature},
    {X509_V_ERR_UNABLE_TO_DECODE_ISSUER_PUBLIC_KEY, kEngineChainSignature},
    {X509_V_ERR_INVALID_CA, kEngineChainBadCa},
    {X509_V_ERR_PATH_LENGTH_EXCEEDED, kEngineChainBadCa},
    {X509_V_ERR_KEYUSAGE_NO_CERTSIGN, kEngineChainBadCa},
    {X509_V_ERR_INVALID_PURPOSE, kEngineChainBadCa},
    {X509_V_ERR_CERT_REVOKED, kEngineChainRevoked},
    {X509_V_ERR_UNABLE_TO_GET_CRL, kEngineCrlFailure},
    {X509_V_ERR_UNABLE_TO_DECRYPT_CRL_SIGNATURE, kEngineCrlFailure},
    {X509_V_ERR_CRL_SIGNATURE_FAILURE, kEngineCrlFailure},
    {X509_V_ERR_CRL_NOT_YET_VALID, kEngineCrlFailure},
    {X509_V_ERR_CRL_HAS_EXPIRED, kEngineCrlFailure},
    {X509_V_ERR_ERROR_IN_CRL_LAST_UPDATE_FIELD, kEngineCrlFailure},
    {X509_V_ERR_ERROR_IN_CRL_NEXT_UPDATE_FIELD, kEngineCrlFailure},
    {X509_V_ERR_UNABLE_TO_GET_CRL_ISSUER, kEngineCrlFailure},
    {X509_V_ERR_KEYUSAGE_NO_CRL_SIGN, kEngineCrlFailure},
    {X509_V_ERR_DIFFERENT_CRL_SCOPE, kEngineCrlFailure},
    {X509_V_ERR_CRL_PATH_VALIDATION_ERROR, kEngineCrlFailure},
};

EngineError ChainErrorCode(int verifyError) {
    for (const ChainCode& entry : kChainCodes) {
        if (entry.verifyError == verifyError) return entry.code;
    }
    return kEngineChainOther;
}

X509StorePtr BuildStore(const TrustMaterial& trust, bool withRevocation) {
    X509StorePtr store(X509_STORE_new());
    if (!store) throw std::bad_alloc();
    if (trust.authorities != nullptr) {
        for (const X509Ptr& authority : *trust.authorities) X509_STORE_add_cert(store.get(), authority.get());
    }
    if (withRevocation) {
        for (const X509CrlPtr& list : *trust.revocationLists) X509_STORE_add_crl(store.get(), list.get());
        X509_STORE_set_flags(store.get(), X509_V_FLAG_CRL_CHECK | X509_V_FLAG_CRL_CHECK_ALL);
    }
    return store;
}

CmsPtr ReadCms(const Bytes& signature) {
    const unsigned char* cursor = signature.data();
    CmsPtr cms(d2i_CMS_ContentInfo(nullptr, &cursor, static_cast<long>(signature.size())));
    if (!cms || cursor != signature.data() + signature.size() ||
        OBJ_obj2nid(CMS_get0_type(cms.get())) != NID_pkcs7_signed) {
        throw EngineFailure(kEngineBadSignatureData, "The signature is not a CMS SignedData structure");
    }
    return cms;
}

void CheckSigners(CMS_ContentInfo* cms, X509* signer) {
    STACK_OF(CMS_SignerInfo)* infos = CMS_get0_SignerInfos(cms);
    if (sk_CMS_SignerInfo_num(infos) <= 0) {
        throw EngineFailure(kEngineBadSignatureData, "The CMS signature holds no signer");
    }
    if (signer == nullptr) {
        throw EngineFailure(kEngineWrongSigner, "No signer certificate was imported");
    }
    for (int i = 0; i < sk_CMS_SignerInfo_num(infos); ++i) {
        if (CMS_SignerInfo_cert_cmp(sk_CMS_SignerInfo_value(infos, i), signer) != 0) {
            throw EngineFailure(kEngineWrongSigner,
                                "The signature was not made by the imported signer certificate");
        }
    }
}

void CheckCmsSignature(CMS_ContentInfo* cms, X509* signer, const Bytes& data) {
    X509StackPtr signers(sk_X509_new_null());
    if (!signers || sk_X509_push(signers.get(), signer) <= 0) throw std::bad_alloc();
    X509_up_ref(signer);
    const bool detached = CMS_is_detached(cms) == 1;
    BioPtr content = detached ? ReadBio(data.data(), data.size()) : nullptr;
    // Only the signature here; the signer's chain is checked on its own, so that its failures
    // get their own codes.
    const unsigned flags = CMS_BINARY | CMS_NO_SIGNER_CERT_VERIFY | CMS_NOINTERN;
    if (CMS_verify(cms, signers.get(), nullptr, content.get(), nullptr, flags) != 1) {
        throw EngineFailure(kEngineSignatureMismatch, "The signature does not match the data");
    }
    if (!detached) {
        // An attached signature carries its own content; it must be the data given.
        ASN1_OCTET_STRING** inner = CMS_get0_content(cms);
        if (inner == nullptr || *inner == nullptr ||
            Bytes(ASN1_STRING_get0_data(*inner), ASN1_STRING_get0_data(*inner) + ASN1_STRING_length(*inner)) != data) {
            throw EngineFailure(kEngineSignatureMismatch, "The signed content is not the data given");
        }
    }
}

}  // namespace

void VerifyChain(const TrustMaterial& trust, X509* certificate, int flags) {
    if ((flags & kVerifyChain) == 0) return;
    const bool withRevocation = (flags & kVerifyRevocation) != 0 && trust.revocationLists != nullptr &&
                                !trust.revocationLists->empty();
    X509StorePtr store = BuildStore(trust, withRevocation);
    X509StoreCtxPtr context(X509_STORE_CTX_new());
    if (!context || X509_STORE_CTX_init(context.get(), store.get(), certificate, nullptr) != 1) {
        throw EngineFailure(kEngineInternal, "Cannot prepare the chain check");
    }
    if (X509_verify_cert(context.get()) == 1) return;
    const int error = X509_STORE_CTX_get_error(context.get());
    throw EngineFailure(ChainErrorCode(error), std::string("Certificate chain check failed: ") +
                                                   X509_verify_cert_error_string(error));
}

void VerifyCmsSignature(const TrustMaterial& trust, const Bytes& data, const Bytes& signature,
                        int flags, const std::string& hashAlgorithm) {
    (void)hashAlgorithm;  // a CMS signature names its own digest
    CmsPtr cms = ReadCms(signature);
    CheckSigners(cms.get(), trust.signer);
    if ((flags & kVerifySignature) != 0) CheckCmsSignature(cms.get(), trust.signer, data);
    VerifyChain(trust, trust.signer, flags);
}

void VerifyPlainSignature(const TrustMaterial& trust, X509* certificate, const Bytes& data,
                          const Bytes& signature, int flags, const std::string& hashAlgorithm) {
    if (trust.signer == nullptr || X509_cmp(trust.signer, certificate) != 0) {
        throw EngineFailure(kEngineWrongSigner,
                            "The certificate of the signature is not the imported signer certificate");
    }
    if ((flags & kVerifySignature) != 0) {
        EVP_PKEY* key = X509_get0_pubkey(certificate);
        if (key == nullptr) throw EngineFailure(kEngineBadCertificate, "Cannot read the certificate's public key");
        if (!VerifyPlain(key, ChooseDigest(hashAlgorithm, key), data, signature)) {
            throw EngineFailure(kEngineSignatureMismatch, "The signature does not match the data");
        }
    }
    VerifyChain(trust, certificate, flags);
}

}  // namespace nelvo::cryptoplugin

// Reading the material back and deciding whether a stored set can still serve.
#include <openssl/pem.h>

#include "web/U_InitSSL_Internal.h"

namespace nelvo::ssl_detail {

namespace {

const std::string& Text(const TsslTexts& texts, TsslResource resource) {
    return texts[static_cast<int>(resource)];
}

// The chain as a browser would check it: signature, validity now, name constraints of the CA,
// and the certificate's fitness for a TLS server.
std::string CheckChain(X509* ca, X509* cert) {
    ossl::X509StorePtr store(X509_STORE_new());
    ossl::X509StoreCtxPtr ctx(X509_STORE_CTX_new());
    if (!store || !ctx || !X509_STORE_add_cert(store.get(), ca) ||
        !X509_STORE_CTX_init(ctx.get(), store.get(), cert, nullptr) ||
        !X509_STORE_CTX_set_purpose(ctx.get(), X509_PURPOSE_SSL_SERVER))
        return ossl::TakeErrorText("cannot set up the chain check");
    if (X509_verify_cert(ctx.get()) == 1) return {};
    return std::string("certificate chain: ") +
           X509_verify_cert_error_string(X509_STORE_CTX_get_error(ctx.get()));
}

}  // namespace

ossl::X509Ptr ReadCertificate(const std::string& pem) {
    auto bio = ossl::MemoryBio(pem);
    ossl::X509Ptr cert(bio ? PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr) : nullptr);
    if (!cert) throw ESSLError(ossl::TakeErrorText("unreadable certificate"));
    return cert;
}

ossl::PKeyPtr ReadPrivateKey(const std::string& pem, const std::string& passPhrase) {
    auto bio = ossl::MemoryBio(pem);
    // With no callback OpenSSL takes the last argument as the pass phrase itself.
    ossl::PKeyPtr key(bio ? PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr,
                                                    const_cast<char*>(passPhrase.c_str()))
                          : nullptr);
    if (!key) throw ESSLError(ossl::TakeErrorText("unreadable private key"));
    return key;
}

std::string CheckSSLMaterial(const TsslTexts& texts) {
    try {
        auto ca = ReadCertificate(Text(texts, TsslResource::sslCertCA));
        auto cert = ReadCertificate(Text(texts, TsslResource::sslCertificate));
        auto key =
            ReadPrivateKey(Text(texts, TsslResource::sslPrivateKey), AssemblePassPhrase(texts));
        if (X509_check_private_key(cert.get(), key.get()) != 1)
            return ossl::TakeErrorText("the key does not belong to the certificate");
        return CheckChain(ca.get(), cert.get());
    } catch (const ESSLError& e) {
        return e.what();
    }
}

}  // namespace nelvo::ssl_detail

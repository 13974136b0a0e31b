// Owning handles for the OpenSSL objects the TLS module makes: every object is freed by the
// handle that holds it, whatever path the code leaves by.
#pragma once

#include <memory>
#include <string>

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

namespace nelvo::ossl {

template <typename T, void (*Free)(T*)>
struct Deleter {
    void operator()(T* object) const { Free(object); }
};

inline void FreeBio(BIO* bio) {
    BIO_free_all(bio);
}

using BioPtr = std::unique_ptr<BIO, Deleter<BIO, FreeBio>>;
using PKeyPtr = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY, EVP_PKEY_free>>;
using PKeyCtxPtr = std::unique_ptr<EVP_PKEY_CTX, Deleter<EVP_PKEY_CTX, EVP_PKEY_CTX_free>>;
using X509Ptr = std::unique_ptr<X509, Deleter<X509, X509_free>>;
using X509NamePtr = std::unique_ptr<X509_NAME, Deleter<X509_NAME, X509_NAME_free>>;
using X509ExtPtr = std::unique_ptr<X509_EXTENSION, Deleter<X509_EXTENSION, X509_EXTENSION_free>>;
using X509StorePtr = std::unique_ptr<X509_STORE, Deleter<X509_STORE, X509_STORE_free>>;
using X509StoreCtxPtr =
    std::unique_ptr<X509_STORE_CTX, Deleter<X509_STORE_CTX, X509_STORE_CTX_free>>;
using BignumPtr = std::unique_ptr<BIGNUM, Deleter<BIGNUM, BN_free>>;
using SslCtxPtr = std::unique_ptr<SSL_CTX, Deleter<SSL_CTX, SSL_CTX_free>>;
using SslPtr = std::unique_ptr<SSL, Deleter<SSL, SSL_free>>;

// The oldest error of this thread's OpenSSL error queue as text, and the queue emptied;
// `fallback` when the queue is empty.
std::string TakeErrorText(const std::string& fallback);

// A read-only memory BIO over a text (the text must outlive the BIO).
BioPtr MemoryBio(const std::string& text);
// Everything written to a memory BIO, as text.
std::string BioText(BIO* bio);

}  // namespace nelvo::ossl

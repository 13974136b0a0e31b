// Owning handles for the OpenSSL objects the engine uses, and the one way an OpenSSL failure
// becomes an engine error: the library's own reason text is kept, since it is usually the
// only clue a user has.
#pragma once

#include <openssl/bio.h>
#include <openssl/cms.h>
#include <openssl/evp.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace nelvo::cryptoplugin {

template <auto FreeFunction>
struct OsslDeleter {
    template <typename T>
    void operator()(T* object) const {
        FreeFunction(object);
    }
};

template <typename T, auto FreeFunction>
using OsslPtr = std::unique_ptr<T, OsslDeleter<FreeFunction>>;

using BioPtr = OsslPtr<BIO, BIO_free_all>;
using X509Ptr = OsslPtr<X509, X509_free>;
using X509CrlPtr = OsslPtr<X509_CRL, X509_CRL_free>;
using X509ReqPtr = OsslPtr<X509_REQ, X509_REQ_free>;
using X509NamePtr = OsslPtr<X509_NAME, X509_NAME_free>;
using X509StorePtr = OsslPtr<X509_STORE, X509_STORE_free>;
using X509StoreCtxPtr = OsslPtr<X509_STORE_CTX, X509_STORE_CTX_free>;
using PkeyPtr = OsslPtr<EVP_PKEY, EVP_PKEY_free>;
using PkeyCtxPtr = OsslPtr<EVP_PKEY_CTX, EVP_PKEY_CTX_free>;
using MdCtxPtr = OsslPtr<EVP_MD_CTX, EVP_MD_CTX_free>;
using CmsPtr = OsslPtr<CMS_ContentInfo, CMS_ContentInfo_free>;
using AsnObjectPtr = OsslPtr<ASN1_OBJECT, ASN1_OBJECT_free>;
using Asn1IntegerPtr = OsslPtr<ASN1_INTEGER, ASN1_INTEGER_free>;
using BignumPtr = OsslPtr<BIGNUM, BN_free>;
using ExtensionPtr = OsslPtr<X509_EXTENSION, X509_EXTENSION_free>;

struct X509StackDeleter {
    void operator()(STACK_OF(X509) * stack) const { sk_X509_pop_free(stack, X509_free); }
};
using X509StackPtr = std::unique_ptr<STACK_OF(X509), X509StackDeleter>;

using Bytes = std::vector<unsigned char>;

// The oldest reason OpenSSL queued on this thread (the queue is emptied), or "" when none.
std::string TakeOsslError();

// A memory BIO reading these bytes (the bytes must outlive it).
BioPtr ReadBio(const void* data, std::size_t size);
BioPtr ReadBio(std::string_view text);
// The bytes written into a memory BIO.
Bytes BioBytes(BIO* bio);

}  // namespace nelvo::cryptoplugin

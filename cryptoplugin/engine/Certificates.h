// Reading and describing certificates, keys and requests: the small conversions every engine
// operation shares.
#pragma once

#include <string>
#include <string_view>

#include "engine/Ossl.h"

namespace nelvo::cryptoplugin {

// A certificate as pages and hosts send it: the Base64 of its DER form (line breaks allowed),
// a PEM text, or the Base64 of a PEM text. Raises kEngineBadCertificate (empty or unreadable)
// or kEngineNotBase64.
X509Ptr ParseCertificate(std::string_view data);

// PEM texts of the key store. Null when the text holds no such object.
X509Ptr CertificateFromPem(std::string_view pem);
PkeyPtr PrivateKeyFromPem(std::string_view pem);
X509ReqPtr RequestFromPem(std::string_view pem);
std::string CertificateToPem(X509* certificate);
std::string PrivateKeyToPem(EVP_PKEY* key);
std::string RequestToPem(X509_REQ* request);
Bytes CertificateDer(X509* certificate);

// Upper-case hexadecimal without separators.
std::string HexText(const unsigned char* data, std::size_t size);
std::string SerialHex(const X509* certificate);
std::string Thumbprint(X509* certificate);  // SHA-1 of the DER form

// The first entry of that kind in a name, as UTF-8; "" when there is none.
std::string NameEntry(const X509_NAME* name, int nid);
// A whole name in one line ("CN=..., O=..."), UTF-8.
std::string NameLine(const X509_NAME* name);
std::string Asn1Utf8(const ASN1_STRING* text);

// "dd-mm-yyyy hh:nn:ss +0000", in UTC.
std::string FormatTime(const ASN1_TIME* time);

// Dotted identifier of the certificate's public-key algorithm.
std::string PublicKeyAlgorithmOid(X509* certificate);
std::string ObjectIdText(const ASN1_OBJECT* object);

bool IsCaCertificate(X509* certificate);

// The subject sign tool extension (the name of the subject's crypto tool), "" when absent.
std::string SubjectSignTool(X509* certificate);

// Key identifiers as upper-case hex: the certificate's own, and its issuer's.
std::string SubjectKeyId(X509* certificate);
std::string AuthorityKeyId(X509* certificate);

}  // namespace nelvo::cryptoplugin

// The description text of a certificate (data type 14): "key=value" lines for the single
// fields, then multi-line blocks, each a "key=" line, its lines, and one empty line. Lines end
// in CR LF. The README lists every key.
#pragma once

#include <openssl/x509.h>

#include <string>

namespace nelvo::cryptoplugin {

std::string DescribeCertificate(X509* certificate);

}  // namespace nelvo::cryptoplugin

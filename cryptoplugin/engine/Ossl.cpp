#include "engine/Ossl.h"

#include <openssl/err.h>

#include <climits>
#include <stdexcept>

namespace nelvo::cryptoplugin {

std::string TakeOsslError() {
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    if (code == 0) return {};
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    return text;
}

BioPtr ReadBio(const void* data, std::size_t size) {
    if (size > INT_MAX) throw std::length_error("data too large");
    BioPtr bio(BIO_new_mem_buf(data, static_cast<int>(size)));
    if (!bio) throw std::bad_alloc();
    return bio;
}

BioPtr ReadBio(std::string_view text) { return ReadBio(text.data(), text.size()); }

Bytes BioBytes(BIO* bio) {
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    if (size <= 0) return {};
    return Bytes(data, data + size);
}

}  // namespace nelvo::cryptoplugin

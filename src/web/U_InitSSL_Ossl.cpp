#include "web/U_InitSSL_Ossl.h"

#include <openssl/err.h>

namespace nelvo::ossl {

std::string TakeErrorText(const std::string& fallback) {
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    if (code == 0) return fallback;
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    return text;
}

BioPtr MemoryBio(const std::string& text) {
    return BioPtr(BIO_new_mem_buf(text.data(), static_cast<int>(text.size())));
}

std::string BioText(BIO* bio) {
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    return size > 0 ? std::string(data, static_cast<std::size_t>(size)) : std::string();
}

}  // namespace nelvo::ossl

// The certificate description comes from the crypto plugin: any text must parse, and no field
// may hold more than the text gave it (a block's lines are joined with CR LF, which may stand
// for a one-byte line break of the text, so a join counts as one byte).
#include <cstdint>
#include <string_view>

#include "plugin/U_CryptLib_Parsers.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    nelvo::TCertFieldsDictionary fields;
    nelvo::ParseCertText(text, fields);
    std::size_t bytes = 0;
    for (const auto& [key, value] : fields.Pairs()) {
        bytes += key.size() + value.size();
        for (std::size_t at = value.find("\r\n"); at != value.npos; at = value.find("\r\n", at + 2))
            --bytes;
    }
    if (bytes > text.size()) __builtin_trap();
    if (!text.empty() && fields.Empty() && text.find_first_not_of("\r\n") != text.npos)
        __builtin_trap();
    return 0;
}

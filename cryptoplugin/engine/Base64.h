// Base64 as the engine exchanges it: standard alphabet with "=" padding.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "engine/Ossl.h"

namespace nelvo::cryptoplugin {

// One line, no breaks.
std::string EncodeBase64(const void* data, std::size_t size);
inline std::string EncodeBase64(std::string_view text) { return EncodeBase64(text.data(), text.size()); }
inline std::string EncodeBase64(const Bytes& bytes) { return EncodeBase64(bytes.data(), bytes.size()); }

// The MIME form: CR LF after every 76 characters (none after the last line).
std::string EncodeBase64Mime(std::string_view text);

// White space (pages and hosts break lines) is skipped; anything else outside the alphabet,
// misplaced padding or a length that padding cannot explain gives nothing.
std::optional<Bytes> DecodeBase64(std::string_view text);

}  // namespace nelvo::cryptoplugin

// Base64 of RFC 4648 (standard alphabet).
#include <array>

#include "tools/QxSysTools.h"

namespace nelvo {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::array<int, 256> MakeDecodeTable() {
    std::array<int, 256> table{};
    for (auto& v : table) v = -1;
    for (int i = 0; i < 64; ++i) table[static_cast<unsigned char>(kAlphabet[i])] = i;
    return table;
}
constexpr auto kDecode = MakeDecodeTable();

// Decodes the alphabet characters of the text; "=" ends the data. Characters outside the
// alphabet are skipped, or rejected when strict.
std::string Decode(std::string_view text, bool strict) {
    std::string out;
    out.reserve(text.size() / 4 * 3 + 3);
    std::uint32_t bits = 0;
    int count = 0;
    for (const char c : text) {
        if (c == '=') break;
        const int v = kDecode[static_cast<unsigned char>(c)];
        if (v < 0) {
            if (strict) throw EBase64Error("Invalid character in Base64 text");
            continue;
        }
        bits = (bits << 6) | static_cast<std::uint32_t>(v);
        if (++count == 4) {
            out += static_cast<char>((bits >> 16) & 0xFF);
            out += static_cast<char>((bits >> 8) & 0xFF);
            out += static_cast<char>(bits & 0xFF);
            bits = 0;
            count = 0;
        }
    }
    if (count == 2) out += static_cast<char>((bits >> 4) & 0xFF);
    if (count == 3) {
        out += static_cast<char>((bits >> 10) & 0xFF);
        out += static_cast<char>((bits >> 2) & 0xFF);
    }
    return out;
}

}  // namespace

std::string Base64ToBytes(std::string_view text) {
    return Decode(text, false);
}

std::string DecodeBase64Text(std::string_view text, bool strict) {
    std::string padded(text);
    while (padded.size() % 4 != 0) padded += '=';
    if (strict) {
        // Padding may only close the text.
        const std::size_t firstPad = padded.find('=');
        if (firstPad != std::string::npos &&
            (padded.find_first_not_of('=', firstPad) != std::string::npos ||
             padded.size() - firstPad > 2))
            throw EBase64Error("Invalid Base64 padding");
    }
    return Decode(padded, strict);
}

std::string EncodeBase64(std::string_view bytes) {
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const std::uint32_t v = (static_cast<unsigned char>(bytes[i]) << 16) |
                                (static_cast<unsigned char>(bytes[i + 1]) << 8) |
                                static_cast<unsigned char>(bytes[i + 2]);
        out += kAlphabet[(v >> 18) & 63];
        out += kAlphabet[(v >> 12) & 63];
        out += kAlphabet[(v >> 6) & 63];
        out += kAlphabet[v & 63];
    }
    if (const std::size_t rest = bytes.size() - i; rest > 0) {
        std::uint32_t v = static_cast<unsigned char>(bytes[i]) << 16;
        if (rest == 2) v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        out += kAlphabet[(v >> 18) & 63];
        out += kAlphabet[(v >> 12) & 63];
        out += rest == 2 ? kAlphabet[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

}  // namespace nelvo

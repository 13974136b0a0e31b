#include "engine/Base64.h"

#include <array>

namespace nelvo::cryptoplugin {

namespace {

constexpr std::string_view kAlphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::array<signed char, 256> DecodeTable() {
    std::array<signed char, 256> table{};
    for (auto& entry : table) entry = -1;
    for (std::size_t i = 0; i < kAlphabet.size(); ++i) {
        table[static_cast<unsigned char>(kAlphabet[i])] = static_cast<signed char>(i);
    }
    return table;
}

constexpr auto kDecode = DecodeTable();

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

std::string EncodeBase64(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    std::string text;
    text.reserve((size + 2) / 3 * 4);
    for (std::size_t i = 0; i < size; i += 3) {
        const std::size_t left = size - i;
        unsigned value = bytes[i] << 16;
        if (left > 1) value |= bytes[i + 1] << 8;
        if (left > 2) value |= bytes[i + 2];
        text += kAlphabet[(value >> 18) & 63];
        text += kAlphabet[(value >> 12) & 63];
        text += left > 1 ? kAlphabet[(value >> 6) & 63] : '=';
        text += left > 2 ? kAlphabet[value & 63] : '=';
    }
    return text;
}

std::string EncodeBase64Mime(std::string_view text) {
    constexpr std::size_t kLine = 76;
    const std::string flat = EncodeBase64(text);
    std::string mime;
    mime.reserve(flat.size() + flat.size() / kLine * 2);
    for (std::size_t i = 0; i < flat.size(); i += kLine) {
        if (i != 0) mime += "\r\n";
        mime.append(flat, i, kLine);
    }
    return mime;
}

namespace {

// Whole groups of four alphabet characters, the bulk of any document: decoded without the
// per-character bookkeeping. Stops at the first group that holds anything else.
std::size_t DecodeGroups(std::string_view text, unsigned char* out, std::size_t& written) {
    std::size_t i = 0;
    for (; i + 4 <= text.size(); i += 4) {
        const int a = kDecode[static_cast<unsigned char>(text[i])];
        const int b = kDecode[static_cast<unsigned char>(text[i + 1])];
        const int c = kDecode[static_cast<unsigned char>(text[i + 2])];
        const int d = kDecode[static_cast<unsigned char>(text[i + 3])];
        if ((a | b | c | d) < 0) break;
        const unsigned value = (static_cast<unsigned>(a) << 18) | (static_cast<unsigned>(b) << 12) |
                               (static_cast<unsigned>(c) << 6) | static_cast<unsigned>(d);
        out[written++] = static_cast<unsigned char>(value >> 16);
        out[written++] = static_cast<unsigned char>(value >> 8);
        out[written++] = static_cast<unsigned char>(value);
    }
    return i;
}

}  // namespace

std::optional<Bytes> DecodeBase64(std::string_view text) {
    Bytes bytes(text.size() / 4 * 3 + 3);
    std::size_t written = 0;
    unsigned value = 0;
    int bits = 0;
    std::size_t symbols = 0;
    std::size_t padding = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        // Between lines (and before any padding) whole groups take the fast road.
        if (bits == 0 && padding == 0) {
            const std::size_t done = DecodeGroups(text.substr(i), bytes.data(), written);
            symbols += done;
            i += done;
            if (i >= text.size()) break;
        }
        const char c = text[i++];
        if (IsSpace(c)) continue;
        if (c == '=') {
            ++padding;
            continue;
        }
        const int digit = kDecode[static_cast<unsigned char>(c)];
        if (digit < 0 || padding != 0) return std::nullopt;
        value = (value << 6) | static_cast<unsigned>(digit);
        bits += 6;
        ++symbols;
        if (bits >= 8) {
            bits -= 8;
            bytes[written++] = static_cast<unsigned char>((value >> bits) & 0xFF);
        }
        if (symbols % 4 == 0) bits = 0;  // a group ends on a byte boundary
    }
    // A final group of one symbol cannot carry a byte; padding may only complete the group.
    if (symbols % 4 == 1) return std::nullopt;
    if (padding != 0 && (padding > 2 || (symbols + padding) % 4 != 0)) return std::nullopt;
    bytes.resize(written);
    return bytes;
}

}  // namespace nelvo::cryptoplugin

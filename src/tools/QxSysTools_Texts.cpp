// Text cutting, comparison and number texts.
#include <charconv>

#include "tools/QxSysTools.h"

namespace nelvo {

namespace {

std::size_t FindNoCase(std::string_view text, std::string_view needle, std::size_t from) {
    if (needle.size() > text.size()) return std::string_view::npos;
    for (std::size_t i = from; i + needle.size() <= text.size(); ++i)
        if (SameText(text.substr(i, needle.size()), needle)) return i;
    return std::string_view::npos;
}
}  // namespace

std::string UpperCase(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = UpperChar(c);
    return out;
}

std::string LowerCase(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = LowerChar(c);
    return out;
}

bool SameText(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (LowerChar(a[i]) != LowerChar(b[i])) return false;
    return true;
}

std::string Trim(std::string_view text) {
    std::size_t begin = 0, end = text.size();
    while (begin < end && static_cast<unsigned char>(text[begin]) <= 32) ++begin;
    while (end > begin && static_cast<unsigned char>(text[end - 1]) <= 32) --end;
    return std::string(text.substr(begin, end - begin));
}

std::string IntToHex(std::uint64_t value, int minDigits) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string out;
    do {
        out.insert(out.begin(), digits[value & 0xF]);
        value >>= 4;
    } while (value != 0);
    if (static_cast<int>(out.size()) < minDigits)
        out.insert(0, static_cast<std::size_t>(minDigits) - out.size(), '0');
    return out;
}

bool TryStrToInt(std::string_view text, std::int32_t& value) {
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty() || text.front() == '+') return false;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

int PosText(std::string_view needle, std::string_view text, int start) {
    if (start < 1 || needle.empty()) return 0;
    const std::size_t from = static_cast<std::size_t>(start - 1);
    if (from > text.size() || needle.size() > text.size() - from) return 0;
    const std::size_t at = FindNoCase(text, needle, from);
    return at == std::string_view::npos ? 0 : static_cast<int>(at + 1);
}

std::string SplitFirst(std::string& text, std::string_view separator) {
    const std::size_t at = separator.empty() ? std::string::npos : text.find(separator);
    if (at == std::string::npos) {
        std::string all = std::move(text);
        text.clear();
        return all;
    }
    std::string head = text.substr(0, at);
    text.erase(0, at + separator.size());
    return head;
}

std::string TextBetween(std::string_view text, std::string_view opening, std::string_view closing,
                        int& start) {
    const int open = PosText(opening, text, start < 1 ? 1 : start);
    if (open == 0) {
        start = 0;
        return {};
    }
    start = open + static_cast<int>(opening.size());
    // Without a closing marker the text runs to its end; a closing marker that is not found
    // leaves nothing between.
    std::size_t end = text.size();
    if (!closing.empty()) {
        const int close = PosText(closing, text, start);
        if (close == 0) return {};
        end = static_cast<std::size_t>(close - 1);
    }
    const std::size_t from = static_cast<std::size_t>(start - 1);
    return from < end ? std::string(text.substr(from, end - from)) : std::string();
}

std::string IndentLines(const std::string& text, const std::string& prefix,
                        const std::string& lineBreak) {
    if (text.empty() || prefix.empty() || lineBreak.empty()) return text;
    std::string out;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t next = text.find(lineBreak, pos);
        next = next == std::string::npos ? text.size() : next + lineBreak.size();
        out += prefix;
        out.append(text, pos, next - pos);
        pos = next;
    }
    return out;
}

}  // namespace nelvo

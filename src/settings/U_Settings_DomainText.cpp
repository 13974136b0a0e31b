// Domain texts: the host part of a page address and the ";" text form of a domain list.
#include <algorithm>

#include "settings/U_Settings.h"

namespace nelvo {

namespace {

constexpr char kDelimiter = ';';
constexpr char kQuote = '"';

// Blanks and control characters separate entries, as ";" does.
bool IsBlankChar(char c) {
    return static_cast<unsigned char>(c) <= ' ';
}

void EraseFirstNoCase(std::string& text, std::string_view what) {
    const std::size_t pos = LowerCase(text).find(what);
    if (pos != std::string::npos) text.erase(pos, what.size());
}

void CutAtFirst(std::string& text, char c) {
    const std::size_t pos = text.find(c);
    if (pos != std::string::npos) text.erase(pos);
}

bool NeedsQuotes(std::string_view entry) {
    return std::any_of(entry.begin(), entry.end(),
                       [](char c) { return IsBlankChar(c) || c == kQuote || c == kDelimiter; });
}

std::string Quoted(std::string_view entry) {
    std::string result(1, kQuote);
    for (char c : entry) {
        if (c == kQuote) result += kQuote;
        result += c;
    }
    result += kQuote;
    return result;
}

// The quoted entry that starts at pos; pos ends after its closing quote. A doubled quote stands
// for one; a missing closing quote takes the rest of the text.
std::string ExtractQuoted(std::string_view text, std::size_t& pos) {
    std::string entry;
    ++pos;
    while (pos < text.size()) {
        if (text[pos] == kQuote) {
            if (pos + 1 < text.size() && text[pos + 1] == kQuote) {
                entry += kQuote;
                pos += 2;
                continue;
            }
            ++pos;
            break;
        }
        entry += text[pos++];
    }
    return entry;
}

std::string ExtractPlain(std::string_view text, std::size_t& pos) {
    const std::size_t start = pos;
    while (pos < text.size() && !IsBlankChar(text[pos]) && text[pos] != kDelimiter) ++pos;
    return std::string(text.substr(start, pos - start));
}

void SkipBlanks(std::string_view text, std::size_t& pos) {
    while (pos < text.size() && IsBlankChar(text[pos])) ++pos;
}

}  // namespace

std::string NormalizeDomain(std::string_view value, bool keepPort) {
    std::string result = Trim(value);
    EraseFirstNoCase(result, "http://");
    EraseFirstNoCase(result, "https://");
    CutAtFirst(result, '/');
    if (!keepPort) CutAtFirst(result, ':');
    return LowerCase(result);
}

void TBaseDomainList::Insert(std::size_t index, std::string value) {
    Items_.insert(Items_.begin() + static_cast<std::ptrdiff_t>(std::min(index, Items_.size())),
                  std::move(value));
}

void TBaseDomainList::Delete(std::size_t index) {
    if (index < Items_.size()) Items_.erase(Items_.begin() + static_cast<std::ptrdiff_t>(index));
}

bool TBaseDomainList::Contains(std::string_view value) const {
    return std::any_of(Items_.begin(), Items_.end(),
                       [value](const std::string& item) { return SameText(item, value); });
}

void TBaseDomainList::RemoveBlank() {
    std::erase_if(Items_, [](const std::string& item) { return Trim(item).empty(); });
}

std::string TBaseDomainList::Text() const {
    // Without the quotes a single empty entry would read back as no entry at all.
    if (Items_.size() == 1 && Items_[0].empty()) return std::string(2, kQuote);
    std::string text;
    for (std::size_t i = 0; i < Items_.size(); ++i) {
        if (i > 0) text += kDelimiter;
        text += NeedsQuotes(Items_[i]) ? Quoted(Items_[i]) : Items_[i];
    }
    return text;
}

void TBaseDomainList::SetText(std::string_view text) {
    Items_.clear();
    std::size_t pos = 0;
    SkipBlanks(text, pos);
    while (pos < text.size()) {
        Items_.push_back(text[pos] == kQuote ? ExtractQuoted(text, pos) : ExtractPlain(text, pos));
        SkipBlanks(text, pos);
        if (pos < text.size() && text[pos] == kDelimiter) {
            ++pos;
            SkipBlanks(text, pos);
            // A ";" at the end stands for one more, empty, entry.
            if (pos == text.size()) Items_.emplace_back();
        }
    }
}

}  // namespace nelvo

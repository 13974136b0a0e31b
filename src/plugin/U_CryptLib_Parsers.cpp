#include "plugin/U_CryptLib_Parsers.h"

#include <vector>

#include "tools/QxSysTools.h"

namespace nelvo {

namespace {

// Lines end at CR LF, LF or CR. A line break at the very end does not start another line.
struct TLine {
    std::string_view text;
    bool taken = false;  // belongs to a block already read
};

std::vector<TLine> SplitLines(std::string_view text) {
    std::vector<TLine> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            lines.push_back({text.substr(start)});
            break;
        }
        lines.push_back({text.substr(start, end - start)});
        start = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    }
    return lines;
}

bool IsHeaderOf(std::string_view line, std::string_view key) {
    return line.size() == key.size() + 1 && line.back() == '=' &&
           SameText(line.substr(0, key.size()), key);
}

// The next line at or after the index that no block has taken yet.
std::size_t NextFree(const std::vector<TLine>& lines, std::size_t at) {
    while (at < lines.size() && lines[at].taken) ++at;
    return at;
}

// Takes the block of the key out of the lines: its header, its value lines up to the first
// empty line, and the empty lines after it. Taken lines are marked, not erased, so a long text
// costs one pass per key.
bool TakeBlock(std::vector<TLine>& lines, std::string_view key, std::string& value) {
    std::size_t at = NextFree(lines, 0);
    while (at < lines.size() && !IsHeaderOf(lines[at].text, key)) at = NextFree(lines, at + 1);
    if (at == lines.size()) return false;
    lines[at].taken = true;
    for (at = NextFree(lines, at); at < lines.size() && !lines[at].text.empty();
         at = NextFree(lines, at)) {
        if (!value.empty()) value += "\r\n";
        value += lines[at].text;
        lines[at].taken = true;
    }
    for (; at < lines.size() && lines[at].text.empty(); at = NextFree(lines, at))
        lines[at].taken = true;
    return true;
}

}  // namespace

const std::string* TCertFieldsDictionary::Find(std::string_view key) const {
    for (const auto& [k, v] : pairs_)
        if (k == key) return &v;
    return nullptr;
}

void ParseCertText(std::string_view text, TCertFieldsDictionary& dictionary) {
    dictionary.Clear();
    if (text.empty()) return;
    std::vector<TLine> lines = SplitLines(text);
    for (const char* key : CertMultiLineKeys) {
        std::string value;
        if (TakeBlock(lines, key, value)) dictionary.Add(key, std::move(value));
    }
    for (const auto& [line, taken] : lines) {
        if (taken) continue;
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos)
            dictionary.Add(std::string(), std::string(line));
        else
            dictionary.Add(std::string(line.substr(0, eq)), std::string(line.substr(eq + 1)));
    }
}

bool TryGetField(const TCertFieldsDictionary& dictionary, std::string_view key,
                 std::string& value) {
    const std::string* found = dictionary.Find(key);
    value = found ? *found : std::string();
    return found != nullptr;
}

std::string GetField(const TCertFieldsDictionary& dictionary, std::string_view key) {
    const std::string* found = dictionary.Find(key);
    return found ? *found : std::string();
}

}  // namespace nelvo

#include <cstddef>

#include "log/U_LogFile.h"
#include "settings/U_BrowserPorts.h"
#include "settings/U_Settings.h"
#include "tools/QxSysTools.h"

namespace nelvo {

namespace {

constexpr std::string_view kHttp = "http://";
constexpr std::string_view kHttps = "https://";

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && SameText(text.substr(0, prefix.size()), prefix);
}

// Length of the scheme the entry begins with ("http://", "https://"), 0 without one.
std::size_t SchemeLength(std::string_view entry) {
    if (StartsWithNoCase(entry, kHttp)) return kHttp.size();
    if (StartsWithNoCase(entry, kHttps)) return kHttps.size();
    return 0;
}

// Replaces the first occurrence of what (letter case ignored) by with.
void ReplaceFirstNoCase(std::string& text, std::string_view what, std::string_view with) {
    const std::string lower = LowerCase(text);
    const std::size_t at = lower.find(what);
    if (at != std::string::npos) text.replace(at, what.size(), with);
}

// An origin keeps its host only: a path after it is cut off.
void CutPath(std::string& entry) {
    const std::size_t slash = entry.find('/', SchemeLength(entry));
    if (slash == std::string::npos) return;
    HostLoger->Log(nullptr, "Domain with path! (" + entry + ")", llWarning);
    entry.resize(slash);
}

// An origin always names its port; 0 stands for the scheme's default one.
void EnsurePort(std::string& entry) {
    const std::string_view host = std::string_view(entry).substr(SchemeLength(entry));
    const std::size_t colon = host.find(':');
    if (!host.empty() && colon == std::string_view::npos) {
        entry += ":0";
    } else if (host.empty() || colon + 1 == host.size()) {
        HostLoger->Log(nullptr, "Domain without port! (" + entry + ")", llWarning);
        entry += "0";
    }
}

std::string ListText(const std::vector<std::string>& origins) {
    std::string text;
    for (const std::string& origin : origins) text += origin + "\r\n";
    return text;
}

}  // namespace

std::vector<std::string> BuildOriginList(const std::string& domains) {
    std::vector<std::string> origins;
    const TBaseDomainList entries(domains);
    for (const std::string& item : entries.Items()) {
        std::string entry = Trim(item);
        if (entry.empty()) continue;
        CutPath(entry);
        EnsurePort(entry);
        if (SchemeLength(entry) != 0) {
            origins.push_back(entry);
        } else {
            origins.push_back(std::string(kHttps) + entry);
            origins.push_back(std::string(kHttp) + entry);
        }
    }
    HostLoger->Log(nullptr, "Writing ports for domains", llProgress, ListText(origins));
    return origins;
}

std::string LocalStorageFileName(const std::string& origin) {
    std::string name = origin;
    ReplaceFirstNoCase(name, kHttp, "http_");
    ReplaceFirstNoCase(name, kHttps, "https_");
    std::string result;
    for (char c : name) {
        if (c == '/') continue;
        result += c == ':' ? '_' : c;
    }
    return result + ".localstorage";
}

std::string PortValueHex(std::int32_t port) {
    // Decimal digits and "-" are ASCII, so each becomes its byte and a zero byte in UTF-16LE.
    std::string hex;
    for (char c : std::to_string(port)) hex += IntToHex(static_cast<unsigned char>(c), 2) + "00";
    return hex;
}

}  // namespace nelvo

#include "settings/U_Settings.h"
#include "tools/QxSysTools.h"
#include "web/U_WebServer_Routes.h"

namespace nelvo {

THeaderList::THeaderList(std::vector<std::string> requestLines)
    : Lines_(std::move(requestLines)), ReplyStart_(Lines_.size()) {}

void THeaderList::Clear() {
    Lines_.clear();
    ReplyStart_ = 0;
}

void THeaderList::Add(std::string line) {
    Lines_.push_back(std::move(line));
}

std::vector<std::string> THeaderList::ReplyLines() const {
    return {Lines_.begin() + static_cast<std::ptrdiff_t>(ReplyStart_), Lines_.end()};
}

std::string GetHeaderValue(std::string_view name, const THeaderList& headers) {
    for (const std::string& line : headers.Lines()) {
        const std::string_view text(line);
        if (text.size() < name.size() + 2 || text.substr(name.size(), 2) != ": ") continue;
        if (!SameText(text.substr(0, name.size()), name)) continue;
        return Trim(text.substr(name.size() + 2));
    }
    return {};
}

bool CheckOrigin(TDomainList& domainList, THeaderList& headers, std::int32_t& status) {
    const std::string origin = GetHeaderValue("origin", headers);
    const std::string referer = GetHeaderValue("referer", headers);
    if (!domainList.IsTrusted(origin, referer)) {
        status = 403;
        return false;
    }
    headers.Clear();
    headers.Add("Access-Control-Allow-Origin: " + domainList.AllowOrigin(origin));
    headers.Add("Access-Control-Allow-Headers: content-type, x-compress");
    return true;
}

}  // namespace nelvo

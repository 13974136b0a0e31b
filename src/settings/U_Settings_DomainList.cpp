// The trusted-domain lists: the trust rule for a request's Origin and Referer, the allowed
// origin of the reply, and the confirmation of an unknown domain by the user.
#include "log/QxPluginLogerBase.h"
#include "log/U_LogFile.h"
#include "settings/U_Settings.h"

namespace nelvo {

namespace {

std::string HostOf(std::string_view value) {
    return Trim(NormalizeDomain(value, false));
}

}  // namespace

TDomainList::TDomainList() {
    Origins_.Add(ServiceHostName);
}

TDomainList::~TDomainList() = default;

std::string TDomainList::Text() const {
    std::lock_guard guard(Lock_);
    return Items_.Text();
}

void TDomainList::SetText(std::string_view text) {
    const TBaseDomainList items(text);
    std::lock_guard guard(Lock_);
    if (text == Items_.Text()) return;
    Items_ = items;
    RebuildOriginsLocked();
}

TBaseDomainList TDomainList::Items() const {
    std::lock_guard guard(Lock_);
    return Items_;
}

TBaseDomainList TDomainList::Origins() const {
    std::lock_guard guard(Lock_);
    return Origins_;
}

void TDomainList::RebuildOrigins() {
    std::lock_guard guard(Lock_);
    RebuildOriginsLocked();
}

void TDomainList::RebuildOriginsLocked() {
    Origins_.Clear();
    Origins_.Add(ServiceHostName);
    Items_.RemoveBlank();
    for (const std::string& item : Items_.Items()) {
        std::string host = HostOf(item);
        if (!host.empty()) Origins_.Add(std::move(host));
    }
}

void TDomainList::InsertMissing(const TBaseDomainList& defaults) {
    std::lock_guard guard(Lock_);
    for (const std::string& domain : defaults.Items())
        if (!Items_.Contains(domain)) Items_.Insert(0, domain);
    RebuildOriginsLocked();
}

bool TDomainList::IsKnown(std::string_view value) const {
    std::lock_guard guard(Lock_);
    return IsKnownLocked(value);
}

bool TDomainList::IsKnownLocked(std::string_view value) const {
    return value.empty() || Origins_.Contains(NormalizeDomain(value, false));
}

bool TDomainList::IsTrusted(const std::string& origin, const std::string& referer) {
    std::lock_guard guard(Lock_);
    return IsKnownLocked(origin) && IsKnownLocked(referer);
}

std::string TDomainList::AllowOrigin(const std::string& origin) const {
    if (origin.empty()) return "*";
    const std::string host = NormalizeDomain(origin, false);
    std::lock_guard guard(Lock_);
    if (Origins_.Empty()) return "*";
    return Origins_.Contains(host) ? origin : "null";
}

bool TDomainList::AddTrusted(const std::string& domain) {
    std::string host = HostOf(domain);
    std::lock_guard guard(Lock_);
    if (Origins_.Contains(host)) return false;
    Items_.Add(domain);
    Origins_.Add(std::move(host));
    return true;
}

void TDomainListPlus::SetOnConfirmDomain(TOnConfirmDomain handler) {
    std::lock_guard guard(Lock_);
    OnConfirmDomain_ = std::move(handler);
}

void TDomainListPlus::SetOnNewDomain(TOnNewDomain handler) {
    std::lock_guard guard(Lock_);
    OnNewDomain_ = std::move(handler);
}

bool TDomainListPlus::IsTrusted(const std::string& origin, const std::string& referer) {
    // A request that names no page at all is no browser page of a bank.
    if (origin.empty() && referer.empty()) return false;
    std::string page;
    TOnConfirmDomain confirm;
    {
        std::lock_guard guard(Lock_);
        const bool originKnown = IsKnownLocked(origin);
        const bool refererKnown = IsKnownLocked(referer);
        if (originKnown && refererKnown) return true;
        if (!OnConfirmDomain_) return false;
        confirm = OnConfirmDomain_;
        // The user is asked about the address that is not trusted yet, the Referer first (it
        // is the page the user sees); asking about a domain already trusted would let the
        // unknown one through on a "yes" to something else.
        page = refererKnown ? origin : referer;
    }
    const std::string domain = NormalizeDomain(page, true);
    // An address without a host ("https:///x") has nothing the user could judge; trusting
    // its empty host would trust every such address.
    if (HostOf(domain).empty()) return false;

    // The user may take a while: the lock is not held, so other connections go on meanwhile.
    if (!confirm(page, domain)) {
        HostLoger->Log(this, "Trusted domain CANCELED: " + domain, llWarning);
        return false;
    }
    if (AddTrusted(domain)) {
        TOnNewDomain onNewDomain;
        {
            std::lock_guard guard(Lock_);
            onNewDomain = OnNewDomain_;
        }
        if (onNewDomain) onNewDomain();
        HostLoger->Log(this, "Trusted domain ADDED: " + domain, llProgress);
    }
    return IsKnown(origin) && IsKnown(referer);
}

}  // namespace nelvo

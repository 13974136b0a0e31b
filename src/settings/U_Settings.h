// The host's configuration: listener ports, idle time, developer mode and the trusted domains,
// read once from the settings INI file and written back only where they changed; and the
// trusted-domain lists that decide which pages may use the host.
//
// Threads: the settings are created, loaded, edited and saved on the main thread, while
// connection threads ask the trusted-domain list (IsTrusted, AllowOrigin, IsKnown) and a
// confirmed domain is added on the connection thread that asked. Each TDomainList therefore
// guards its entries, its Origins and its events with one lock, and hands out copies; the lock
// is never held while the user is being asked. The numbers are atomic, and the INI copy has the
// one lock of THostSettings.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "tools/QxObject.h"
#include "tools/QxSysTools.h"

namespace nelvo {

class TMemIniFile;

// The host name under which pages reach the HTTPS listener; its certificate is issued for it.
// Names under ".localhost" are reserved for the loopback address: the system resolver answers
// them with 127.0.0.1 by itself (with libnss-myhostname, which the setup installs), no public
// DNS record or hosts entry is needed, and no site on the internet can ever own such a name.
inline constexpr char ServiceHostName[] = "nelvo-plugin.localhost";

// The bank sites trusted out of the box. ".example" is reserved for examples, so these names can
// never point at someone else's site; an installation puts the bank's real sites in the file.
inline constexpr char BuiltInDomainText[] =
    "www.zrb.example;online.zrb.example;business.zrb.example;dbo.zrb.example;sign.zrb.example";

inline constexpr std::int32_t DefaultHttpPort = 11741;
inline constexpr std::int32_t DefaultHttpsPort = 11742;
inline constexpr std::int32_t DefaultIdleTime = 300;

// The host part of a page address as the trust check compares it: blanks around it, the first
// "http://" and then the first "https://" (letter case ignored) and everything from the first
// "/" removed, the port too unless keepPort, letters A to Z in lower case.
//   NormalizeDomain(" HTTPS://Bank.Example:8443/a?b ", false) == "bank.example"
std::string NormalizeDomain(std::string_view value, bool keepPort);

// An ordered list of domain texts, in insertion order, duplicates allowed. Its text form joins
// the entries with ";"; reading it, blanks and control characters also separate entries and an
// entry may be enclosed in double quotes (a doubled quote inside stands for one quote). Not
// guarded: a plain value.
class TBaseDomainList {
public:
    TBaseDomainList() = default;
    explicit TBaseDomainList(std::string_view text) { SetText(text); }

    std::size_t Count() const { return Items_.size(); }
    bool Empty() const { return Items_.empty(); }
    const std::string& operator[](std::size_t index) const { return Items_[index]; }
    const std::vector<std::string>& Items() const { return Items_; }

    void Add(std::string value) { Items_.push_back(std::move(value)); }
    void Insert(std::size_t index, std::string value);
    void Delete(std::size_t index);
    void Clear() { Items_.clear(); }
    // Letter case ignored.
    bool Contains(std::string_view value) const;
    // Deletes every entry that is empty after trimming.
    void RemoveBlank();

    // Entries that hold a blank, a control character, ";" or a double quote are quoted; a list
    // of one empty entry is written as two double quotes.
    std::string Text() const;
    void SetText(std::string_view text);

    bool operator==(const TBaseDomainList&) const = default;

private:
    std::vector<std::string> Items_;
};

// The trusted domains as the user edits them (full addresses, host names, host names with
// ports), and Origins, the view the checks use: ServiceHostName first, then the host of every
// entry, in list order.
class TDomainList : public TObject {
public:
    TDomainList();
    ~TDomainList() override;
    TDomainList(const TDomainList&) = delete;
    TDomainList& operator=(const TDomainList&) = delete;

    std::string Text() const;
    // Takes the entries of the text and rebuilds Origins; a text equal to the current one
    // changes nothing.
    void SetText(std::string_view text);
    TBaseDomainList Items() const;
    TBaseDomainList Origins() const;

    // Drops blank entries and builds Origins afresh from the entries.
    void RebuildOrigins();
    // Puts every entry of defaults that the list lacks (letter case ignored) at the top, each in
    // front of the one before, so they end up in reverse order; then rebuilds Origins.
    void InsertMissing(const TBaseDomainList& defaults);

    // An empty value is known; otherwise its host must be in Origins.
    bool IsKnown(std::string_view value) const;
    // Both the Origin and the Referer are known.
    virtual bool IsTrusted(const std::string& origin, const std::string& referer);
    // Access-Control-Allow-Origin: "*" without an Origin, the Origin as received when it is
    // known, "null" otherwise.
    std::string AllowOrigin(const std::string& origin) const;

protected:
    bool IsKnownLocked(std::string_view value) const;
    // Adds an accepted domain (with its port) to the list and its host to Origins; false when
    // the host is in Origins already (another connection had it confirmed meanwhile).
    bool AddTrusted(const std::string& domain);

    mutable std::mutex Lock_;

private:
    void RebuildOriginsLocked();

    TBaseDomainList Items_;
    TBaseDomainList Origins_;
};

// APage is the page address that asks, ADomain its host with the port; true when the user
// trusts the domain. It is called on a connection thread and may wait for the user.
using TOnConfirmDomain = std::function<bool(const std::string& APage, const std::string& ADomain)>;
// Called after a confirmed domain was added, on the connection thread that asked.
using TOnNewDomain = std::function<void()>;

// The trusted domains of the host: a request without Origin and Referer is refused, and an
// unknown domain may be offered to the user and added when accepted.
class TDomainListPlus : public TDomainList {
public:
    bool IsTrusted(const std::string& origin, const std::string& referer) override;

    void SetOnConfirmDomain(TOnConfirmDomain handler);
    void SetOnNewDomain(TOnNewDomain handler);

private:
    TOnConfirmDomain OnConfirmDomain_;  // guarded by Lock_
    TOnNewDomain OnNewDomain_;          // guarded by Lock_
};

// One group of settings, read from and written to one section of the INI file.
class TBasicSettings : public TObject {
public:
    // A null ini takes the defaults.
    virtual void LoadFromIni(const TMemIniFile* ini, const std::string& section) = 0;
    virtual void SaveToIni(TMemIniFile& ini, const std::string& section) const = 0;
    virtual std::string AsText() const = 0;
    // The values differ from those the file holds (or would read as).
    virtual bool IsModified(const TMemIniFile& ini, const std::string& section) const = 0;
    virtual bool IsNotDefault() const = 0;
};

// The settings of one listener.
class TDaemonSettings : public TBasicSettings {
public:
    std::int32_t Port() const { return Port_; }
    void SetPort(std::int32_t port) { Port_ = port; }
    std::int32_t DefaultPort() const { return DefaultPort_; }
    // Sets both Port and DefaultPort.
    void SetDefault(std::int32_t port);

    // A port that is not a number from 1 to 65535 reads as DefaultPort.
    void LoadFromIni(const TMemIniFile* ini, const std::string& section) override;
    void SaveToIni(TMemIniFile& ini, const std::string& section) const override;
    std::string AsText() const override;  // "Port: 11741"
    bool IsModified(const TMemIniFile& ini, const std::string& section) const override;
    bool IsNotDefault() const override;

private:
    std::int32_t StoredPort(const TMemIniFile& ini, const std::string& section) const;

    std::atomic<std::int32_t> Port_{0};
    std::atomic<std::int32_t> DefaultPort_{0};
};

// The trusted domains.
class TCommonSettings : public TBasicSettings {
public:
    TDomainListPlus& DomainList() { return DomainList_; }
    const TDomainListPlus& DomainList() const { return DomainList_; }
    std::string DefaultDomains() const;
    std::string Domains() const { return DomainList_.Text(); }
    void SetDomains(std::string_view text) { DomainList_.SetText(text); }
    // Stores the built-in text and makes it the current one.
    void SetDefaultDomains(std::string_view text);

    // Takes the file's Domains (the defaults when missing), then puts the default domains the
    // list lacks at its top, trusted at once.
    void LoadFromIni(const TMemIniFile* ini, const std::string& section) override;
    void SaveToIni(TMemIniFile& ini, const std::string& section) const override;
    std::string AsText() const override;  // "Domains: " + the domain text
    bool IsModified(const TMemIniFile& ini, const std::string& section) const override;
    // Always false: an edited domain list is no deviation from the defaults.
    bool IsNotDefault() const override { return false; }

private:
    TDomainListPlus DomainList_;
    mutable std::mutex DefaultsLock_;
    std::string DefaultDomains_;  // guarded by DefaultsLock_
};

// What THostSettings::Save may write; the values are the bits of the set.
enum class TSettingsPart : std::uint8_t {
    spDomains = 1,
    spHttpPort = 2,
    spHttpsPort = 4,
    spIdleTime = 8,
};

class TSettingsParts {
public:
    constexpr TSettingsParts() = default;
    constexpr TSettingsParts(std::initializer_list<TSettingsPart> parts) {
        for (TSettingsPart part : parts) Include(part);
    }
    constexpr void Include(TSettingsPart part) { Bits_ |= static_cast<std::uint8_t>(part); }
    constexpr bool Contains(TSettingsPart part) const {
        return (Bits_ & static_cast<std::uint8_t>(part)) != 0;
    }
    constexpr bool Empty() const { return Bits_ == 0; }
    constexpr std::uint8_t Bits() const { return Bits_; }
    constexpr bool operator==(const TSettingsParts&) const = default;

private:
    std::uint8_t Bits_ = 0;
};

// The whole configuration of the host, on the settings file.
class THostSettings : public TObject {
public:
    // Reads the file (when it exists) and applies the built-in defaults; Load takes the values.
    explicit THostSettings(std::string iniFileName = GetHostIniFileName());
    ~THostSettings() override;
    THostSettings(const THostSettings&) = delete;
    THostSettings& operator=(const THostSettings&) = delete;

    std::string IniFileName() const;

    // Changes only by editing the file; never written.
    bool DevMode() const { return DevMode_; }
    std::int32_t IdleTime() const { return IdleTime_; }
    void SetIdleTime(std::int32_t seconds) { IdleTime_ = seconds; }
    TDaemonSettings& Server_RPC() { return Server_RPC_; }  // the HTTP listener
    const TDaemonSettings& Server_RPC() const { return Server_RPC_; }
    TDaemonSettings& Server_SSL() { return Server_SSL_; }  // the HTTPS listener
    const TDaemonSettings& Server_SSL() const { return Server_SSL_; }
    TCommonSettings& Server() { return Server_; }
    const TCommonSettings& Server() const { return Server_; }

    void SetDefaults();
    void Load();
    // Writes the given parts (an empty set: all of them) when anything differs from the file,
    // and leaves the file untouched otherwise. Raises EFileError when the file cannot be
    // written; the values in memory stay, and a later Save tries again.
    void Save(TSettingsParts parts = {});
    bool IsModified() const;
    // The idle time or a port differs from its default.
    bool IsNotDefault() const;

    // The detail of the "Current settings" log record.
    std::string CurrentText() const;
    void LogCurrent() const;

private:
    bool IsModifiedLocked() const;

    mutable std::mutex IniLock_;
    std::unique_ptr<TMemIniFile> Ini_;  // guarded by IniLock_
    std::atomic<bool> DevMode_{false};
    std::atomic<std::int32_t> IdleTime_{0};
    TDaemonSettings Server_RPC_;
    TDaemonSettings Server_SSL_;
    TCommonSettings Server_;
};

}  // namespace nelvo

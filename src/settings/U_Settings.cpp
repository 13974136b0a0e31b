// The settings groups and the host's configuration on its INI file.
#include "settings/U_Settings.h"

#include "log/QxPluginLogerBase.h"
#include "log/U_LogFile.h"
#include "tools/QxIniFile.h"

namespace nelvo {

namespace {

constexpr char kSectionServer[] = "Server";
constexpr char kSectionHttp[] = "Server_HTTP";
constexpr char kSectionHttps[] = "Server_HTTPS";
constexpr char kKeyDevMode[] = "DevMode";
constexpr char kKeyIdleTime[] = "IdleTime";
constexpr char kKeyPort[] = "Port";
constexpr char kKeyDomains[] = "Domains";

constexpr std::int32_t kMinPort = 1;
constexpr std::int32_t kMaxPort = 65535;

constexpr TSettingsParts kAllParts{TSettingsPart::spDomains, TSettingsPart::spHttpPort,
                                   TSettingsPart::spHttpsPort, TSettingsPart::spIdleTime};

}  // namespace

// --- TDaemonSettings -------------------------------------------------------------------------

void TDaemonSettings::SetDefault(std::int32_t port) {
    DefaultPort_ = port;
    Port_ = port;
}

// A port no listener can bind (0 would take any free port, past 65535 none) is as broken as
// one that is no number.
std::int32_t TDaemonSettings::StoredPort(const TMemIniFile& ini, const std::string& section) const {
    const std::int32_t port = ini.ReadInteger(section, kKeyPort, DefaultPort_);
    return port >= kMinPort && port <= kMaxPort ? port : DefaultPort_.load();
}

void TDaemonSettings::LoadFromIni(const TMemIniFile* ini, const std::string& section) {
    Port_ = ini ? StoredPort(*ini, section) : DefaultPort_.load();
}

void TDaemonSettings::SaveToIni(TMemIniFile& ini, const std::string& section) const {
    ini.WriteInteger(section, kKeyPort, Port_);
}

std::string TDaemonSettings::AsText() const {
    return "Port: " + std::to_string(Port_);
}

bool TDaemonSettings::IsModified(const TMemIniFile& ini, const std::string& section) const {
    return StoredPort(ini, section) != Port_;
}

bool TDaemonSettings::IsNotDefault() const {
    return Port_ != DefaultPort_;
}

// --- TCommonSettings -------------------------------------------------------------------------

std::string TCommonSettings::DefaultDomains() const {
    std::lock_guard guard(DefaultsLock_);
    return DefaultDomains_;
}

void TCommonSettings::SetDefaultDomains(std::string_view text) {
    {
        std::lock_guard guard(DefaultsLock_);
        DefaultDomains_ = text;
    }
    SetDomains(text);
}

void TCommonSettings::LoadFromIni(const TMemIniFile* ini, const std::string& section) {
    const std::string defaults = DefaultDomains();
    if (ini) SetDomains(ini->ReadString(section, kKeyDomains, defaults));
    DomainList_.InsertMissing(TBaseDomainList(defaults));
}

void TCommonSettings::SaveToIni(TMemIniFile& ini, const std::string& section) const {
    ini.WriteString(section, kKeyDomains, Domains());
}

std::string TCommonSettings::AsText() const {
    return "Domains: " + Domains();
}

bool TCommonSettings::IsModified(const TMemIniFile& ini, const std::string& section) const {
    return ini.ReadString(section, kKeyDomains, DefaultDomains()) != Domains();
}

// --- THostSettings ---------------------------------------------------------------------------

THostSettings::THostSettings(std::string iniFileName)
    : Ini_(std::make_unique<TMemIniFile>(std::move(iniFileName))) {
    SetDefaults();
}

THostSettings::~THostSettings() = default;

std::string THostSettings::IniFileName() const {
    std::lock_guard guard(IniLock_);
    return Ini_->FileName();
}

void THostSettings::SetDefaults() {
    DevMode_ = false;
    IdleTime_ = DefaultIdleTime;
    Server_RPC_.SetDefault(DefaultHttpPort);
    Server_SSL_.SetDefault(DefaultHttpsPort);
    Server_.SetDefaultDomains(BuiltInDomainText);
}

void THostSettings::Load() {
    std::lock_guard guard(IniLock_);
    DevMode_ = Ini_->ReadBool(kSectionServer, kKeyDevMode, false);
    IdleTime_ = Ini_->ReadInteger(kSectionServer, kKeyIdleTime, DefaultIdleTime);
    Server_RPC_.LoadFromIni(Ini_.get(), kSectionHttp);
    Server_SSL_.LoadFromIni(Ini_.get(), kSectionHttps);
    Server_.LoadFromIni(Ini_.get(), kSectionServer);
}

void THostSettings::Save(TSettingsParts parts) {
    std::lock_guard guard(IniLock_);
    if (!IsModifiedLocked()) return;
    if (parts.Empty()) parts = kAllParts;
    try {
        if (parts.Contains(TSettingsPart::spIdleTime))
            Ini_->WriteInteger(kSectionServer, kKeyIdleTime, IdleTime_);
        if (parts.Contains(TSettingsPart::spHttpPort)) Server_RPC_.SaveToIni(*Ini_, kSectionHttp);
        if (parts.Contains(TSettingsPart::spHttpsPort)) Server_SSL_.SaveToIni(*Ini_, kSectionHttps);
        if (parts.Contains(TSettingsPart::spDomains)) Server_.SaveToIni(*Ini_, kSectionServer);
        Ini_->UpdateFile();
    } catch (...) {
        // The copy must keep mirroring the file, or the next Save would find nothing to write.
        Ini_->Revert();
        throw;
    }
}

bool THostSettings::IsModified() const {
    std::lock_guard guard(IniLock_);
    return IsModifiedLocked();
}

bool THostSettings::IsModifiedLocked() const {
    return Ini_->ReadBool(kSectionServer, kKeyDevMode, false) != DevMode_ ||
           Ini_->ReadInteger(kSectionServer, kKeyIdleTime, DefaultIdleTime) != IdleTime_ ||
           Server_RPC_.IsModified(*Ini_, kSectionHttp) ||
           Server_SSL_.IsModified(*Ini_, kSectionHttps) ||
           Server_.IsModified(*Ini_, kSectionServer);
}

bool THostSettings::IsNotDefault() const {
    return IdleTime_ != DefaultIdleTime || Server_RPC_.IsNotDefault() || Server_SSL_.IsNotDefault();
}

std::string THostSettings::CurrentText() const {
    std::string text = "HTTP " + Server_RPC_.AsText() + "\r\nHTTPS " + Server_SSL_.AsText() +
                       "\r\n" + Server_.AsText() + "\r\nIdle time: " + std::to_string(IdleTime_) +
                       " сек.";
    if (DevMode_) text += "\r\nDeveloper mode ON!";
    return text;
}

void THostSettings::LogCurrent() const {
    HostLoger->Log(this, "Current settings", llProgress, CurrentText());
}

}  // namespace nelvo

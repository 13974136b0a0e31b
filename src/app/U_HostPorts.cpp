#include "app/U_HostPorts.h"

#include <charconv>
#include <string_view>

#include "log/U_LogFile.h"
#include "platform/Net.h"

namespace nelvo {

namespace {

// The port a text names; 0 when it is not a decimal number that fits.
std::int32_t PortNumber(std::string_view text) {
    std::int32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return 0;
    return value;
}

bool ProbePort(const TPortProbe& isFree, std::int32_t port) {
    return isFree ? isFree(port) : IsPortFree(std::to_string(port));
}

bool IsCurrentPort(const std::string& portText, const TDaemonSettings& listener) {
    return portText == std::to_string(listener.Port());
}

TPortCheck Refuse(std::string message, const TDaemonSettings& listener) {
    return {false, std::move(message), std::to_string(listener.Port())};
}

}  // namespace

bool IsPortFree(const std::string& port) {
    const std::int32_t number = PortNumber(port);
    return number >= 1 && number <= 65535 && platform::CanListenOnLocalhost(number);
}

bool CheckPorts(const THostSettings& settings, TSettingsParts& busy, const TPortProbe& isFree) {
    busy = TSettingsParts();
    bool result = true;
    if (!ProbePort(isFree, settings.Server_RPC().Port())) {
        HostLoger->Log(nullptr, "HTTP port not available!", llWarning);
        busy.Include(TSettingsPart::spHttpPort);
        result = false;
    }
    if (!ProbePort(isFree, settings.Server_SSL().Port())) {
        HostLoger->Log(nullptr, "HTTPS port not available!", llWarning);
        busy.Include(TSettingsPart::spHttpsPort);
        result = false;
    }
    return result;
}

bool FindPorts(THostSettings& settings, TSettingsParts busy, const TPortProbe& isFree) {
    bool result = true;
    if (busy.Contains(TSettingsPart::spHttpPort))
        result = FindPort(settings.Server_RPC(), settings.Server_SSL(), "HTTP", isFree);
    if (result && busy.Contains(TSettingsPart::spHttpsPort))
        result = FindPort(settings.Server_SSL(), settings.Server_RPC(), "HTTPS", isFree);
    if (!result) HostLoger->Log(nullptr, "Failed to find available ports!", llError);
    return result;
}

bool FindPort(TDaemonSettings& settings, const TDaemonSettings& other, const std::string& name,
              const TPortProbe& isFree) {
    std::int32_t candidate = settings.Port();
    bool found = false;
    while (!found && candidate < MaxUserPort) {
        ++candidate;
        if (candidate != other.Port()) found = ProbePort(isFree, candidate);
    }
    if (!found) return false;
    settings.SetPort(candidate);
    HostLoger->Log(nullptr, "Changed " + name + " port to " + std::to_string(candidate), llWarning);
    return true;
}

bool ResolveServiceHost(std::string& address) {
    address.clear();
    // Some resolvers answer an empty result with the placeholder 0.0.0.0; it is no address.
    for (const std::string& candidate : platform::ResolveIPv4(ServiceHostName)) {
        if (candidate == "0.0.0.0") continue;
        address = candidate;
        return true;
    }
    return false;
}

bool CheckLocalAddress() {
    std::string address;
    return ResolveServiceHost(address);
}

TAddressStatus::TAddressStatus(TResolver resolver) : Resolver_(std::move(resolver)) {}

std::string TAddressStatus::Text() {
    std::call_once(Once_, [this] {
        std::string address;
        const bool resolved = Resolver_ ? Resolver_(address) : ResolveServiceHost(address);
        const std::string name = ServiceHostName;
        Text_ = resolved ? "Адрес " + name + " (" + address + ") доступен!"
                         : "Адрес " + name + " НЕ доступен!";
    });
    return Text_;
}

std::string AddressStatusText() {
    static TAddressStatus status;
    return status.Text();
}

TPortCheck ValidatePort(const std::string& editText, const TDaemonSettings& listener,
                        const TPortProbe& isFree) {
    const std::int32_t port = PortNumber(editText);
    if (port < MinUserPort || port > MaxUserPort)
        return Refuse("Порт должен находиться в диапазоне [" + std::to_string(MinUserPort) + ".." +
                          std::to_string(MaxUserPort) + "]!",
                      listener);
    if (IsCurrentPort(editText, listener)) return {true, std::string(), editText};
    if (!ProbePort(isFree, port))
        return Refuse(PortStatusText(editText, false, listener), listener);
    return {true, std::string(), editText};
}

TPortCheck CheckPortDomains(const std::string& editText, const TDaemonSettings& listener,
                            const TCommonSettings& common) {
    if (PortNumber(editText) == listener.DefaultPort() || !Trim(common.Domains()).empty())
        return {true, std::string(), editText};
    return {false, "Укажите домен для информирования о смене порта!", editText};
}

std::string PortStatusText(const std::string& portText, bool free,
                           const TDaemonSettings& listener) {
    if (IsCurrentPort(portText, listener))
        return "Порт " + portText + " сейчас занят хост-приложением.";
    return "Порт " + portText + " " + (free ? "свободен" : "занят") + "!";
}

std::string TestPortText(const std::string& editText, const TDaemonSettings& listener,
                         const TPortProbe& isFree) {
    const std::int32_t port = PortNumber(editText);
    const bool free = isFree ? port >= 1 && port <= 65535 && isFree(port) : IsPortFree(editText);
    return PortStatusText(editText, free, listener);
}

}  // namespace nelvo

// The listener ports and the service address: before the listeners start, both ports must be
// bindable, and a busy one is moved upward to the next free port; the settings page checks the
// ports a user types with the same test. The service host name must resolve, or pages cannot
// reach the HTTPS listener under the name its certificate carries.
//
// Everything here runs on the main thread (AddressStatusText may be asked from any thread).
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "settings/U_Settings.h"

namespace nelvo {

inline constexpr std::int32_t MinUserPort = 1024;
inline constexpr std::int32_t MaxUserPort = 65534;

// Tells whether a port can be taken; the real one is IsPortFree, tests script their own.
using TPortProbe = std::function<bool(std::int32_t port)>;

// A throw-away TCP socket can be bound to "localhost" and the port (decimal text) and set
// listening. Text that is not a port number from 1 to 65535 is never free.
bool IsPortFree(const std::string& port);

// Both configured ports are free. Busy receives spHttpPort and/or spHttpsPort for each port that
// is not; both are always tested, HTTP first, and each busy one is logged.
bool CheckPorts(const THostSettings& settings, TSettingsParts& busy,
                const TPortProbe& isFree = nullptr);
// Moves every busy port upward (HTTP first); false, logged as an error, when one cannot move.
bool FindPorts(THostSettings& settings, TSettingsParts busy, const TPortProbe& isFree = nullptr);
// Searches upward from settings' port, skipping the other listener's port and never trying
// 65535; on success takes the candidate and logs the change under name ("HTTP", "HTTPS").
bool FindPort(TDaemonSettings& settings, const TDaemonSettings& other, const std::string& name,
              const TPortProbe& isFree = nullptr);

// ServiceHostName resolves to at least one IPv4 address; address receives the first.
bool ResolveServiceHost(std::string& address);
// Resolves the service host name afresh; the address step of the start sequence.
bool CheckLocalAddress();
// The status line of the service address, made on first use and kept for the run.
std::string AddressStatusText();

// The address status text as the first call finds it, kept afterwards. The resolver is
// ResolveServiceHost unless given.
class TAddressStatus {
public:
    using TResolver = std::function<bool(std::string& address)>;
    explicit TAddressStatus(TResolver resolver = nullptr);
    std::string Text();

private:
    TResolver Resolver_;
    std::once_flag Once_;
    std::string Text_;
};

// What a settings-page port check tells the page: whether to go on, the message box text when
// not, and the text the port edit must hold afterwards.
struct TPortCheck {
    bool Ok = true;
    std::string Message;
    std::string EditText;
};

// The port edit's text must be a port in 1024..65534 and, unless it is the listener's current
// port (which the running host holds itself), free. On failure the edit gets the current port.
TPortCheck ValidatePort(const std::string& editText, const TDaemonSettings& listener,
                        const TPortProbe& isFree = nullptr);
// A port other than the default is only of use when there is a trusted domain to publish it to.
TPortCheck CheckPortDomains(const std::string& editText, const TDaemonSettings& listener,
                            const TCommonSettings& common);
// The text that reports a port's state to the user.
std::string PortStatusText(const std::string& portText, bool free, const TDaemonSettings& listener);
// The port frame's test button: the state of the port in the edit; nothing is stored.
std::string TestPortText(const std::string& editText, const TDaemonSettings& listener,
                         const TPortProbe& isFree = nullptr);

}  // namespace nelvo

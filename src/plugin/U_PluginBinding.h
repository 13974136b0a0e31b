// The binding of the crypto plugin library: its four procedure slots, loading and initialising
// it, shutting it down and unloading it, and ProcessCommand, the one road by which a JSON command
// reaches the plugin and its reply comes back. The host object derives from it.
//
// Calls and unloads: ProcessCommand runs on connection threads while a restart unloads the
// library on the main thread. A call holds the binding's gate from reading the slot until the
// reply is in; LoadPlugin, UnloadPlugin and destruction take the gate alone and wait for the
// calls inside to leave. So no plugin code runs while the library is mapped in or out, and a
// command that arrives meanwhile waits, then finds the slots bound or empty. The price: an unload
// waits as long as the slowest plugin call in progress.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "plugin/QxLibUtils.h"
#include "plugin/U_PluginCallGate.h"
#include "plugin/U_PluginTransport.h"
#include "tools/QxObject.h"

namespace nelvo {

// The plugin library as the host names it; on Linux the file is npNelvoPluginZRB.so.
inline constexpr const char* PluginLibName = "npNelvoPluginZRB.dll";

// The exports the host calls, with C linkage on the plugin's side.
using TWS_Initialize = void (*)();
using TWS_ExecuteEx = std::int32_t (*)(const char* Command, std::int32_t CommandLength, char* Reply,
                                       std::int32_t* ReplySize, std::int32_t Phase);
using TWS_Shutdown = void (*)();

// Slot positions, in the order the procedures are bound.
enum TPluginProc : std::size_t { ppInitialize, ppExecute, ppExecuteEx, ppShutdown, ppCount };
using TPluginSlots = std::array<void*, ppCount>;

class TPluginBinding : public TObject, public IPluginTransport {
public:
    TPluginBinding() = default;
    // Waits for calls in progress and stops the manager from writing into the slots. It does not
    // unload: at program end the manager's own clean-up releases the library.
    ~TPluginBinding() override;
    TPluginBinding(const TPluginBinding&) = delete;
    TPluginBinding& operator=(const TPluginBinding&) = delete;

    // Installs the log handlers on the manager, loads the library, binds the four slots, logs the
    // version and calls WS_Initialize. The result is that of loading and binding.
    bool LoadPlugin();
    // Calls WS_Shutdown when bound, releases the library, removes the log handlers.
    bool UnloadPlugin();
    bool IsPluginLoaded() const;
    std::string PluginPath() const;     // empty when not loaded
    std::string PluginVersion() const;  // empty when not loaded
    bool ProcessCommand(const std::string& Command, std::string& Reply, bool LogData) override;

    // The four slots as the manager last filled them.
    TPluginSlots ProcSlots() const;

private:
    bool RunCommand(const std::string& Command, std::string& Reply);
    void CallGuarded(void* Proc, const char* Context);
    TProcPoints Points();

    mutable TPluginCallGate Gate_;
    TPluginSlots Slots_{};  // written by the manager while the gate is held alone
};

}  // namespace nelvo

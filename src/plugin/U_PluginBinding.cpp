#include "plugin/U_PluginBinding.h"

#include <climits>
#include <exception>
#include <mutex>
#include <shared_mutex>

#include "log/U_LogFile.h"
#include "platform/Library.h"
#include "tools/QxSysTools.h"

namespace nelvo {

namespace {

// Stands for whatever a plugin throws that is not a standard exception, so it can be logged.
class EForeignException : public Exception {
public:
    EForeignException() : Exception("not a standard exception") {}
};

const TProcNames& ProcNames() {
    static const TProcNames names = {"WS_Initialize", "WS_Execute", "WS_ExecuteEx", "WS_Shutdown"};
    return names;
}

// The manager outlives every binding, so its handlers must not refer to one.
void LogManagerMessage(const TObject* Sender, const std::string& Msg, const std::string& Detail) {
    HostLoger->Log(Sender, Msg, llProgress, Detail);
}

void LogManagerError(const TObject* Sender, const std::string& Msg, const std::string& Detail) {
    HostLoger->Log(Sender, Msg, llError, Detail);
}

}  // namespace

TPluginBinding::~TPluginBinding() {
    std::unique_lock calls(Gate_);
    LibManager().ForgetProcPoints(Points());
}

TProcPoints TPluginBinding::Points() {
    TProcPoints points;
    for (void*& slot : Slots_) points.push_back(&slot);
    return points;
}

bool TPluginBinding::LoadPlugin() {
    LibManager().SetOnMessage(LogManagerMessage);
    LibManager().SetOnError(LogManagerError);
    std::unique_lock calls(Gate_);
    if (!LoadLibraryProcs(PluginLibName, nullptr, ProcNames(), Points())) return false;
    HostLoger->Log(this, "Library version: " + PluginVersion(), llProgress);
    CallGuarded(Slots_[ppInitialize], "Library initialization");
    return true;
}

bool TPluginBinding::UnloadPlugin() {
    std::unique_lock calls(Gate_);
    // Guarded like initialisation: an exception out of the plugin must not stop the unload.
    CallGuarded(Slots_[ppShutdown], "Library shutdown");
    const bool unloaded = UnloadLibrary(PluginLibName);
    LibManager().SetOnMessage({});
    LibManager().SetOnError({});
    return unloaded;
}

void TPluginBinding::CallGuarded(void* Proc, const char* Context) {
    if (!Proc) return;
    try {
        reinterpret_cast<void (*)()>(Proc)();
    } catch (const std::exception& e) {
        HostLoger->LogException(this, Context, e);
    } catch (...) {
        HostLoger->LogException(this, Context, EForeignException());
    }
}

bool TPluginBinding::IsPluginLoaded() const {
    return FindLibrary(PluginLibName) != nullptr;
}

std::string TPluginBinding::PluginPath() const {
    return LibManager().LibraryPath(PluginLibName);
}

std::string TPluginBinding::PluginVersion() const {
    const std::string path = PluginPath();
    return path.empty() ? std::string() : GetFileVersion(path);
}

TPluginSlots TPluginBinding::ProcSlots() const {
    std::shared_lock calls(Gate_);
    return Slots_;
}

bool TPluginBinding::ProcessCommand(const std::string& Command, std::string& Reply, bool LogData) {
    Reply.clear();
    HostLoger->Log(this, "Processing command...", llProgress, LogData ? Command : std::string());
    const platform::PluginCallScope scope;
    std::shared_lock calls(Gate_);
    try {
        if (RunCommand(Command, Reply)) {
            HostLoger->Log(this, "Command processed.", llProgress, LogData ? Reply : std::string());
            return true;
        }
    } catch (const std::exception& e) {
        HostLoger->LogException(this, "Processing error", e);
    } catch (...) {
        HostLoger->LogException(this, "Processing error", EForeignException());
    }
    // A half-received reply is no reply.
    Reply.clear();
    return false;
}

// Phase 1 executes the command and tells the reply's size; phase 2 copies the reply into a
// buffer of exactly that size. The command goes with its terminator counted in its length (a
// command too long for that count is never sent).
bool TPluginBinding::RunCommand(const std::string& Command, std::string& Reply) {
    const auto execute = reinterpret_cast<TWS_ExecuteEx>(Slots_[ppExecuteEx]);
    if (!execute) {
        HostLoger->Log(this, "No executor! Library not loaded?", llError);
        return false;
    }
    const bool fits = Command.size() < static_cast<std::size_t>(INT32_MAX);
    const auto length = static_cast<std::int32_t>(fits ? Command.size() + 1 : 0);
    std::int32_t size = 0;
    if (!fits || execute(Command.c_str(), length, nullptr, &size, 1) < 0) {
        HostLoger->Log(this, "ProcessCommand: Error preparing reply!", llError);
        return false;
    }
    if (size <= 0) return true;
    Reply.assign(static_cast<std::size_t>(size), '\0');
    if (execute(Command.c_str(), length, Reply.data(), &size, 2) < 0) {
        HostLoger->Log(this, "ProcessCommand: Error receiving reply!", llError);
        return false;
    }
    return true;
}

}  // namespace nelvo

#include "plugin/U_PluginTransport.h"

#include <shared_mutex>

#include "log/U_LogFile.h"
#include "plugin/U_PluginCallGate.h"

namespace nelvo {

namespace {

struct TTransportSlot {
    TPluginCallGate Gate;  // guards Transport and keeps it alive while a call is inside
    IPluginTransport* Transport = nullptr;
};

TTransportSlot& Slot() {
    static TTransportSlot slot;
    return slot;
}

}  // namespace

void SetPluginTransport(IPluginTransport* Transport) {
    std::unique_lock guard(Slot().Gate);
    Slot().Transport = Transport;
}

void ClearPluginTransport(IPluginTransport* Transport) {
    std::unique_lock guard(Slot().Gate);
    if (Slot().Transport == Transport) Slot().Transport = nullptr;
}

bool ProcessPluginCommand(const std::string& Command, std::string& Reply, bool LogData) {
    std::shared_lock guard(Slot().Gate);
    if (Slot().Transport) return Slot().Transport->ProcessCommand(Command, Reply, LogData);
    Reply.clear();
    HostLoger->Log(nullptr, "No executor! Library not loaded?", llError);
    return false;
}

}  // namespace nelvo

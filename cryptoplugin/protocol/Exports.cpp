#include "protocol/Exports.h"

#include "protocol/Dispatcher.h"
#include "protocol/Status.h"
#include "protocol/TwoPhase.h"

namespace plugin = nelvo::cryptoplugin;

// No C++ exception may leave an entry point: the caller is not C++ at this boundary.

void WS_Initialize() {
    // Nothing to prepare yet: the registry comes into being on first use, so commands work
    // whether or not a host calls this.
}

std::int32_t WS_Execute() {
    // Hosts bind all four entry points but use the two-phase WS_ExecuteEx; this one reads no
    // argument and refuses.
    return plugin::kStatusUnsupported;
}

std::int32_t WS_ExecuteEx(const char* command, std::int32_t commandLengthPlusOne, char* buffer,
                          std::int32_t* size, std::int32_t phase) {
    try {
        return plugin::ExecuteTwoPhase(command, commandLengthPlusOne, buffer, size, phase);
    } catch (...) {
        return plugin::kStatusInternal;
    }
}

void WS_Shutdown() {
    try {
        plugin::ReleaseAllInstances();
    } catch (...) {
        // Whatever was not released goes with the library.
    }
}

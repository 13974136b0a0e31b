// The library's four entry points, the only symbols it exports. C linkage, so that any host can
// bind them by name.
#pragma once

#include <cstdint>

#if defined(_WIN32)
#define NELVO_PLUGIN_EXPORT __declspec(dllexport)
#else
#define NELVO_PLUGIN_EXPORT __attribute__((visibility("default")))
#endif

extern "C" {

NELVO_PLUGIN_EXPORT void WS_Initialize();
NELVO_PLUGIN_EXPORT std::int32_t WS_Execute();
NELVO_PLUGIN_EXPORT std::int32_t WS_ExecuteEx(const char* command,
                                              std::int32_t commandLengthPlusOne, char* buffer,
                                              std::int32_t* size, std::int32_t phase);
NELVO_PLUGIN_EXPORT void WS_Shutdown();
}

// Loads the plugin from its file and talks to it the way a host does: commands as JSON texts
// through the two phases of WS_ExecuteEx.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace nelvo::cryptoplugin::test {

inline constexpr const char* kVersionClass = "VUDuded";

// The entry points as a host declares them, independently of the plugin's own header.
struct PluginExports {
    void (*initialize)() = nullptr;
    std::int32_t (*execute)() = nullptr;
    std::int32_t (*executeEx)(const char* command, std::int32_t commandLengthPlusOne, char* buffer,
                              std::int32_t* size, std::int32_t phase) = nullptr;
    void (*shutdown)() = nullptr;
};

// The plugin, loaded once for the test process.
const PluginExports& Plugin();

struct Prepared {
    std::int32_t status;
    std::int32_t size;
};

// Phase 1 for a command text (passed with its length plus one, as a host does).
Prepared Prepare(std::string_view command);
// Phase 2 into the given buffer.
std::int32_t Deliver(char* buffer, std::int32_t size);
// Both phases; nothing when either reports a negative status.
std::optional<std::string> Exchange(std::string_view command);

// A command as a host writes it: each line "name=value" (split at the first "=") or "name"
// becomes a one-member object in Params.
std::string CommandText(std::string_view id, std::string_view plugin, std::string_view method,
                        const std::vector<std::string>& lines = {});

struct Reply {
    std::string id;
    std::string plugin;
    std::string method;
    std::string result;
};

// Sends a command text that must be accepted, and reads its reply.
Reply Send(const std::string& command);
Reply Send(std::string_view id, std::string_view plugin, std::string_view method,
           const std::vector<std::string>& lines = {});

struct ErrorState {
    std::string code;
    std::string text;
};

// "LastErrorCode" and "LastError" of an instance, read as a host reads them. Reading must not
// change the instance's identity.
ErrorState ReadError(std::string_view plugin, const std::string& id);

}  // namespace nelvo::cryptoplugin::test

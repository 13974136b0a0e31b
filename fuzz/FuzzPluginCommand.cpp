// Commands reach the plugin from any host, and through the host's raw command route from web
// pages: any bytes through WS_ExecuteEx must give a status, never a crash, and every reply must
// be JSON. An input is one or more commands, one per line; "{ID}" in a line stands for the ID
// the previous reply gave, so that one input can walk an engine instance through its states.
#include <cstdint>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "protocol/Exports.h"

namespace {

constexpr std::string_view kIdMark = "{ID}";

std::string WithId(std::string line, const std::string& id) {
    for (std::size_t at = line.find(kIdMark); at != std::string::npos; at = line.find(kIdMark, at + id.size())) {
        line.replace(at, kIdMark.size(), id);
    }
    return line;
}

// One command; the reply's ID, or the previous one when there is none.
std::string Run(const std::string& command, const std::string& id) {
    std::int32_t size = 0;
    const auto length = static_cast<std::int32_t>(command.size() + 1);
    const std::int32_t status = WS_ExecuteEx(command.c_str(), length, nullptr, &size, 1);
    if (status < 0) {
        if (size != 0) __builtin_trap();
        return id;
    }
    std::string reply(static_cast<std::size_t>(size), '\0');
    if (WS_ExecuteEx("", 1, reply.data(), &size, 2) != 0) __builtin_trap();
    const auto parsed = nlohmann::json::parse(reply, nullptr, false);
    if (parsed.is_discarded() || !parsed.is_object() || !parsed.contains("ID")) __builtin_trap();
    const std::string newId = parsed["ID"].get<std::string>();
    return newId.empty() ? id : newId;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Key generation writes containers: never into the user's own key store.
    static std::string root = std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") +
                              "/nelvo-fuzz-keystore";
    setenv("NELVO_KEYSTORE", root.c_str(), 1);
    WS_Initialize();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    // The input as one command, exactly as given (a zero byte inside must be refused).
    {
        const std::string command(input);
        std::int32_t replySize = 0;
        const std::int32_t status =
            WS_ExecuteEx(command.c_str(), static_cast<std::int32_t>(command.size() + 1), nullptr, &replySize, 1);
        if (command.find('\0') != std::string::npos && status != -1) __builtin_trap();
        if (status == 0) {
            std::string reply(static_cast<std::size_t>(replySize), '\0');
            if (WS_ExecuteEx("", 1, reply.data(), &replySize, 2) != 0) __builtin_trap();
        }
    }
    // The input as a sequence of commands on one instance.
    std::string id;
    std::size_t start = 0;
    while (start < input.size()) {
        std::size_t end = input.find('\n', start);
        if (end == std::string_view::npos) end = input.size();
        const std::string line = WithId(std::string(input.substr(start, end - start)), id);
        if (line.find('\0') == std::string::npos) id = Run(line, id);
        start = end + 1;
    }
    WS_Shutdown();  // nothing piles up between inputs
    return 0;
}

#include "PluginDriver.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <memory>
#include <nlohmann/json.hpp>
#include <stdexcept>

namespace nelvo::cryptoplugin::test {

namespace {

using Json = nlohmann::ordered_json;

struct LibraryCloser {
    void operator()(void* handle) const { dlclose(handle); }
};
using LibraryHandle = std::unique_ptr<void, LibraryCloser>;

template <typename Function>
void Bind(void* handle, const char* name, Function& slot) {
    slot = reinterpret_cast<Function>(dlsym(handle, name));
    if (slot == nullptr) throw std::runtime_error(std::string("missing export ") + name);
}

class LoadedPlugin {
public:
    LoadedPlugin() : handle_(dlopen(NELVO_PLUGIN_FILE, RTLD_NOW | RTLD_LOCAL)) {
        if (!handle_) throw std::runtime_error(std::string("dlopen: ") + dlerror());
        Bind(handle_.get(), "WS_Initialize", exports_.initialize);
        Bind(handle_.get(), "WS_Execute", exports_.execute);
        Bind(handle_.get(), "WS_ExecuteEx", exports_.executeEx);
        Bind(handle_.get(), "WS_Shutdown", exports_.shutdown);
        exports_.initialize();
    }
    const PluginExports& Exports() const { return exports_; }

private:
    LibraryHandle handle_;
    PluginExports exports_;
};

}  // namespace

const PluginExports& Plugin() {
    static const LoadedPlugin plugin;
    return plugin.Exports();
}

Prepared Prepare(std::string_view command) {
    const std::string text(command);  // zero-terminated
    std::int32_t size = 0;
    const std::int32_t status = Plugin().executeEx(
        text.c_str(), static_cast<std::int32_t>(text.size() + 1), nullptr, &size, 1);
    return {status, size};
}

std::int32_t Deliver(char* buffer, std::int32_t size) {
    return Plugin().executeEx("", 1, buffer, &size, 2);
}

std::optional<std::string> Exchange(std::string_view command) {
    const Prepared prepared = Prepare(command);
    if (prepared.status < 0) return std::nullopt;
    std::string reply(static_cast<std::size_t>(prepared.size), '\0');
    if (Deliver(reply.data(), prepared.size) < 0) return std::nullopt;
    return reply;
}

std::string CommandText(std::string_view id, std::string_view plugin, std::string_view method,
                        const std::vector<std::string>& lines) {
    Json params = Json::array();
    for (const std::string& line : lines) {
        const auto equals = line.find('=');
        Json param = Json::object();
        if (equals == std::string::npos) {
            param[line] = "";
        } else {
            param[line.substr(0, equals)] = line.substr(equals + 1);
        }
        params.push_back(std::move(param));
    }
    Json command = Json::object();
    command["ID"] = id;
    command["Plugin"] = plugin;
    command["Method"] = method;
    command["Params"] = std::move(params);
    return command.dump();
}

Reply Send(const std::string& command) {
    const std::optional<std::string> text = Exchange(command);
    if (!text) {
        ADD_FAILURE() << "command refused: " << command;
        return {};
    }
    const Json reply = Json::parse(*text);
    return {reply.at("ID"), reply.at("Plugin"), reply.at("Method"), reply.at("Result")};
}

Reply Send(std::string_view id, std::string_view plugin, std::string_view method,
           const std::vector<std::string>& lines) {
    return Send(CommandText(id, plugin, method, lines));
}

ErrorState ReadError(std::string_view plugin, const std::string& id) {
    const Reply code = Send(id, plugin, "GetProperty", {"LastErrorCode"});
    const Reply text = Send(id, plugin, "GetProperty", {"LastError"});
    EXPECT_EQ(code.id, id);
    EXPECT_EQ(text.id, id);
    return {code.result, text.result};
}

}  // namespace nelvo::cryptoplugin::test

#include "plugin/U_PluginGate.h"

#include "log/U_LogFile.h"
#include "plugin/U_PluginTransport.h"

namespace nelvo {

const TMemberTable& TPluginBase::Table() {
    static const TMemberTable table = TjsonPersistent::Table().Extend({
        Field("ID", &TPluginBase::ID),
        Field("Plugin", &TPluginBase::Plugin),
        Field("Method", &TPluginBase::Method),
    });
    return table;
}

const TMemberTable& TPluginCommand::Table() {
    static const TMemberTable table =
        TPluginBase::Table().Extend({ReadOnlyObject("Params", &TPluginCommand::Params)});
    return table;
}

void TPluginCommand::WriteProperty(const TJSONStreamer&, const TPersistent&,
                                   const TPropInfo& member, std::optional<TJSONData>& value) const {
    if (member.Name != "Params") return;
    TJSONData lines = TJSONData::array();
    for (int i = 0; i < Params.Count(); ++i) {
        const std::string& line = Params[i];
        const std::size_t eq = line.find('=');
        TJSONData entry = TJSONData::object();
        if (eq == std::string::npos)
            entry[line] = "";
        else
            entry[line.substr(0, eq)] = line.substr(eq + 1);
        lines.push_back(std::move(entry));
    }
    value = std::move(lines);
}

const TMemberTable& TPluginResult::Table() {
    static const TMemberTable table =
        TPluginBase::Table().Extend({Field("Result", &TPluginResult::Result)});
    return table;
}

bool ExecuteCommand(const std::string& Plugin, const std::string& Method,
                    const TPluginParams& Params, std::string& Result, std::string& ID) {
    TPluginCommand command;
    command.ID = ID;
    command.Plugin = Plugin;
    command.Method = Method;
    for (const auto& line : Params) command.Params.Add(line);

    std::string reply;
    if (!ProcessPluginCommand(command.AsJSONString(), reply, true)) return false;

    TPluginResult result;
    result.LoadFromJSON(reply);
    ID = result.ID;
    Result = result.Result;
    return true;
}

TPluginExecutor::~TPluginExecutor() {
    Release();
}

void TPluginExecutor::Release() {
    if (ID_.empty()) return;
    // The end of an executor must not throw: a reply the plugin garbles here changes nothing
    // for the caller, and the instance is gone from the host's side either way.
    try {
        std::string ignored;
        Execute("Release", {}, ignored);
    } catch (const std::exception& e) {
        HostLoger->LogException(this, "Release", e);
    }
    ID_.clear();
}

bool TPluginExecutor::Execute(const std::string& Method, const TPluginParams& Params) {
    return ExecuteCommand(Plugin_, Method, Params, Result_, ID_);
}

bool TPluginExecutor::Execute(const std::string& Method, const TPluginParams& Params,
                              std::string& Text) {
    return ExecuteCommand(Plugin_, Method, Params, Text, ID_);
}

std::string QueryPluginVersion() {
    std::string result;
    std::string id;
    try {
        if (ExecuteCommand("VUDuded", "GetProperty", {"Version"}, result, id)) return result;
    } catch (const std::exception& e) {
        HostLoger->LogException(nullptr, "QueryPluginVersion", e);
    }
    return {};
}

}  // namespace nelvo

#include "protocol/Command.h"

#include <nlohmann/json.hpp>

namespace nelvo::cryptoplugin {

namespace {

// Ordered, so that parameters keep the order the caller wrote them in.
using Json = nlohmann::ordered_json;

std::optional<std::string> TextMember(const Json& root, const char* name) {
    const auto member = root.find(name);
    if (member == root.end() || member->is_null()) return std::string();
    if (!member->is_string()) return std::nullopt;
    return member->get<std::string>();
}

// Parameter values are texts; a caller that writes a number or a flag bare still means its text.
std::optional<std::string> ScalarText(const Json& value) {
    if (value.is_string()) return value.get<std::string>();
    if (value.is_null()) return std::string();
    if (value.is_number() || value.is_boolean()) return value.dump();
    return std::nullopt;
}

// "name=value" splits at the first "=" (Base64 padding stays in the value); a bare name has an
// empty value. This is the form of a plain string list, so such callers are understood too.
Param SplitLine(const std::string& line) {
    const auto equals = line.find('=');
    if (equals == std::string::npos) return {line, {}};
    return {line.substr(0, equals), line.substr(equals + 1)};
}

bool AppendParams(const Json& item, ParamList& params) {
    if (item.is_string()) {
        params.push_back(SplitLine(item.get_ref<const std::string&>()));
        return true;
    }
    if (!item.is_object()) return false;
    for (const auto& [name, value] : item.items()) {
        std::optional<std::string> text = ScalarText(value);
        if (!text) return false;
        params.push_back({name, std::move(*text)});
    }
    return true;
}

std::optional<ParamList> ReadParams(const Json& root) {
    ParamList params;
    const auto member = root.find("Params");
    if (member == root.end() || member->is_null()) return params;
    if (!member->is_array()) return std::nullopt;
    for (const Json& item : *member) {
        if (!AppendParams(item, params)) return std::nullopt;
    }
    return params;
}

}  // namespace

std::optional<Command> ReadCommand(std::string_view text) {
    const Json root = Json::parse(text.begin(), text.end(), nullptr, /*allow_exceptions=*/false);
    if (!root.is_object()) return std::nullopt;  // a parse failure is "discarded", not an object
    std::optional<std::string> id = TextMember(root, "ID");
    std::optional<std::string> plugin = TextMember(root, "Plugin");
    std::optional<std::string> method = TextMember(root, "Method");
    std::optional<ParamList> params = ReadParams(root);
    if (!id || !plugin || !method || !params) return std::nullopt;
    return Command{std::move(*id), std::move(*plugin), std::move(*method), std::move(*params)};
}

std::string WriteReply(const Reply& reply) {
    Json json = Json::object();
    json["ID"] = reply.id;
    json["Plugin"] = reply.plugin;
    json["Method"] = reply.method;
    json["Result"] = reply.result;
    // A result is produced by the plugin, but it may carry bytes from the caller; a reply must
    // still be valid JSON, so bytes that are not UTF-8 become replacement characters.
    return json.dump(-1, ' ', false, Json::error_handler_t::replace);
}

}  // namespace nelvo::cryptoplugin

// The JSON form of commands and replies.
//
// A command is an object with the members "ID", "Plugin", "Method" (strings) and "Params" (an
// array whose items are objects of name/value members, or "name=value" strings), in any order.
// A missing or null member reads as empty. Anything else is not a command.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "objects/ParamList.h"

namespace nelvo::cryptoplugin {

struct Command {
    std::string id;
    std::string plugin;
    std::string method;
    ParamList params;
};

struct Reply {
    std::string id;
    std::string plugin;
    std::string method;
    std::string result;
};

// The command in the text, or nothing when the text is not a command.
std::optional<Command> ReadCommand(std::string_view text);

// Compact JSON with the members "ID", "Plugin", "Method", "Result" in that order.
std::string WriteReply(const Reply& reply);

}  // namespace nelvo::cryptoplugin

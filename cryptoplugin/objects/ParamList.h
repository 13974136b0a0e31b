// The arguments of one method call, as name/value pairs in the order the command gave them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace nelvo::cryptoplugin {

struct Param {
    std::string name;
    std::string value;  // empty for a bare name such as "Version"
};

using ParamList = std::vector<Param>;

// The first parameter with exactly this name, or null.
inline const Param* FindParam(const ParamList& params, std::string_view name) {
    for (const Param& param : params) {
        if (param.name == name) return &param;
    }
    return nullptr;
}

}  // namespace nelvo::cryptoplugin

// The object classes the plugin offers, by the class name a command gives in "Plugin".
// A new class is one more row in the table of ObjectClasses.cpp; the dispatcher reads only
// this table.
#pragma once

#include <memory>
#include <string_view>

#include "objects/PluginObject.h"

namespace nelvo::cryptoplugin {

struct ObjectClass {
    std::string_view name;
    // False for a class whose instances hold nothing between calls. A successful call made
    // without an instance ID then leaves no instance behind: callers that ask once and never
    // send "Release" (a version query) would otherwise pile up instances.
    bool keepsState;
    std::unique_ptr<PluginObject> (*create)();
};

// The class of that exact name, or null.
const ObjectClass* FindObjectClass(std::string_view name);

}  // namespace nelvo::cryptoplugin

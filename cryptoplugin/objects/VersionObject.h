// "VUDuded": the object a host asks for the plugin's own version.
#pragma once

#include <memory>
#include <string_view>

#include "objects/PluginObject.h"

namespace nelvo::cryptoplugin {

inline constexpr std::string_view kVersionClassName = "VUDuded";

class VersionObject final : public PluginObject {
public:
    VersionObject();

protected:
    std::string Property(std::string_view name) override;
};

std::unique_ptr<PluginObject> CreateVersionObject();

}  // namespace nelvo::cryptoplugin

#include "objects/VersionObject.h"

#ifndef NELVO_PLUGIN_VERSION
#error "NELVO_PLUGIN_VERSION must come from the build"
#endif

namespace nelvo::cryptoplugin {

VersionObject::VersionObject() : PluginObject(std::string(kVersionClassName)) {}

std::string VersionObject::Property(std::string_view name) {
    // The same version text the build writes into the library's version record, so the version
    // a host reads from the file and the one it asks the plugin for agree.
    if (name == "Version") return NELVO_PLUGIN_VERSION;
    return PluginObject::Property(name);
}

std::unique_ptr<PluginObject> CreateVersionObject() {
    return std::make_unique<VersionObject>();
}

}  // namespace nelvo::cryptoplugin

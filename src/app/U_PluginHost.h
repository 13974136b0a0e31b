// The host object. For now it carries the plugin binding and is the road by which commands reach
// the plugin; settings and listeners join it later.
#pragma once

#include "plugin/U_PluginBinding.h"

namespace nelvo {

class TPluginHost : public TPluginBinding {
public:
    // Becomes the plugin transport of the process.
    TPluginHost();
    // Stops being the transport, waiting for commands that are inside it. The plugin is not
    // unloaded: at program end the library manager releases it.
    ~TPluginHost() override;
    TPluginHost(const TPluginHost&) = delete;
    TPluginHost& operator=(const TPluginHost&) = delete;
};

}  // namespace nelvo

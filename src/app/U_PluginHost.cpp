#include "app/U_PluginHost.h"

namespace nelvo {

TPluginHost::TPluginHost() {
    SetPluginTransport(this);
}

TPluginHost::~TPluginHost() {
    ClearPluginTransport(this);
}

}  // namespace nelvo

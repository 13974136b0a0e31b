#include "web/U_WebServer_Host.h"

#include <atomic>

namespace nelvo {

namespace {

// Installed on the main thread, read by every connection thread.
std::atomic<IWebServiceHost*> InstalledHost{nullptr};

}  // namespace

IWebServiceHost* WebServiceHost() {
    return InstalledHost.load(std::memory_order_acquire);
}

void SetWebServiceHost(IWebServiceHost* host) {
    InstalledHost.store(host, std::memory_order_release);
}

}  // namespace nelvo

#include <atomic>
#include <map>
#include <mutex>

#include "tools/QxSysTools.h"
#include "web/U_WebServer_Routes.h"

namespace nelvo {

namespace {

// The one process-wide table, made on first use so that modules may register from their
// set-up in any order.
struct TRouteTable {
    std::mutex Lock;  // taken by registration and FreeRoutes only
    std::atomic<bool> Sealed{false};
    std::map<std::string, TRouteHandler> Routes;
};

TRouteTable& Table() {
    static TRouteTable table;
    return table;
}

std::string RouteKey(const std::string& method, const std::string& path) {
    return method + "^" + path;
}

const std::map<std::string, TRouteHandler>& SealedRoutes() {
    TRouteTable& table = Table();
    if (!table.Sealed.load(std::memory_order_acquire)) {
        // The first look-up publishes the table to every thread that looks up later.
        std::lock_guard guard(table.Lock);
        table.Sealed.store(true, std::memory_order_release);
    }
    return table.Routes;
}

}  // namespace

void RegisterRoute(const std::vector<std::string>& methods, const TRouteHandler& handler,
                   const std::vector<std::string>& paths) {
    TRouteTable& table = Table();
    std::lock_guard guard(table.Lock);
    if (table.Sealed.load(std::memory_order_relaxed))
        throw ERouteRegistry("Routes are registered after requests were served");
    for (const std::string& method : methods)
        for (const std::string& path : paths) table.Routes[RouteKey(method, path)] = handler;
}

void RegisterRoute(const std::vector<std::string>& methods, const TRouteHandler& handler,
                   const std::string& path) {
    RegisterRoute(methods, handler, std::vector<std::string>{path});
}

void RegisterRoute(const std::vector<std::string>& methods, const TRouteHandler& handler) {
    RegisterRoute(methods, handler, std::string("/"));
}

const TRouteHandler* FindRoute(const std::string& method, const std::string& path) {
    const auto& routes = SealedRoutes();
    const auto found = routes.find(RouteKey(method, path));
    return found == routes.end() ? nullptr : &found->second;
}

bool IsKnownPath(const std::string& path) {
    const std::string tail = "^" + path;
    for (const auto& [key, handler] : SealedRoutes()) {
        if (key.size() >= tail.size() &&
            SameText(std::string_view(key).substr(key.size() - tail.size()), tail))
            return true;
    }
    return false;
}

void FreeRoutes() {
    TRouteTable& table = Table();
    std::lock_guard guard(table.Lock);
    table.Routes.clear();
    table.Sealed.store(false, std::memory_order_release);
}

}  // namespace nelvo

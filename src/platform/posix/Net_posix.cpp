#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <memory>

#include "platform/Net.h"
#include "platform/Socket.h"
#include "platform/posix/NetInternal.h"

namespace nelvo::platform {

namespace {

struct AddrInfoFree {
    void operator()(addrinfo* list) const { freeaddrinfo(list); }
};
using AddrInfoList = std::unique_ptr<addrinfo, AddrInfoFree>;

AddrInfoList LookUpIPv4(const std::string& hostName) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    if (getaddrinfo(hostName.c_str(), nullptr, &hints, &list) != 0) return AddrInfoList();
    return AddrInfoList(list);
}

std::string DottedText(const sockaddr_in& address) {
    char text[INET_ADDRSTRLEN] = {};
    if (!inet_ntop(AF_INET, &address.sin_addr, text, sizeof text)) return std::string();
    return text;
}

}  // namespace

// The loopback address the listeners bind to: the first IPv4 address of "localhost", or
// 127.0.0.1 when the resolver does not know the name.
in_addr LocalhostAddress() {
    in_addr result{};
    result.s_addr = htonl(INADDR_LOOPBACK);
    AddrInfoList list = LookUpIPv4("localhost");
    if (list && list->ai_addr)
        result = reinterpret_cast<const sockaddr_in*>(list->ai_addr)->sin_addr;
    return result;
}

std::vector<std::string> ResolveIPv4(const std::string& hostName) {
    std::vector<std::string> result;
    if (hostName.empty()) return result;
    AddrInfoList list = LookUpIPv4(hostName);
    for (const addrinfo* item = list.get(); item; item = item->ai_next) {
        if (item->ai_family != AF_INET || !item->ai_addr) continue;
        std::string text = DottedText(*reinterpret_cast<const sockaddr_in*>(item->ai_addr));
        if (!text.empty() && std::find(result.begin(), result.end(), text) == result.end())
            result.push_back(std::move(text));
    }
    return result;
}

bool CanListenOnLocalhost(int port) {
    // The same socket the listener makes: a port is free exactly when a listener could take it.
    int error = 0;
    return ListenOnLocalhost(port, 0, error).Valid();
}

}  // namespace nelvo::platform

// Name resolution and a port test on the loopback interface: the network calls the host makes
// before it starts its listeners.
#pragma once

#include <string>
#include <vector>

namespace nelvo::platform {

// The IPv4 addresses the system resolver gives for a host name, in dotted form and in the
// resolver's order, without repeats; empty when the name does not resolve.
std::vector<std::string> ResolveIPv4(const std::string& hostName);

// A TCP socket can be bound to the loopback address "localhost" resolves to and the given port,
// and set listening. The socket is closed again at once; the port is held only for the test.
// Ports outside 1..65535 are never free.
bool CanListenOnLocalhost(int port);

}  // namespace nelvo::platform

// What the socket files of the POSIX layer share.
#pragma once

#include <netinet/in.h>

namespace nelvo::platform {

// The loopback address the listeners bind to: the first IPv4 address of "localhost", or
// 127.0.0.1 when the resolver does not know the name.
in_addr LocalhostAddress();

}  // namespace nelvo::platform

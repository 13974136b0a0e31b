// The HTTPS side of the black-box tests: a TLS client that trusts only the CA the program
// exported and checks that the certificate names the service host.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

namespace e2e {

struct TlsReply {
    bool handshake = false;  // the handshake completed and the peer was verified
    std::string error;       // why it did not, for failure messages
    std::string bytes;       // everything received after the handshake
    bool closed = false;
};

// Connects to the service host name on the port (as a browser page does: the name must resolve
// to the loopback address), verifies the chain against caFile and the name, sends the request,
// and reads until the peer closes. An empty caFile trusts nothing (a browser without the CA).
TlsReply TlsExchange(int port, const std::string& caFile, std::string_view request,
                     std::chrono::milliseconds timeout);

}  // namespace e2e

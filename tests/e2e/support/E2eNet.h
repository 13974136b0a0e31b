// The wire side of the black-box tests: free ports, a raw HTTP client over plain sockets that
// shows exactly what the program sent (or that it sent nothing), and the reply parser.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace e2e {

// An owned socket descriptor (close-on-exec, so the program never inherits one).
class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() { Reset(); }
    Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Fd& operator=(Fd&& other) noexcept;
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;

    int Get() const { return fd_; }
    bool Valid() const { return fd_ >= 0; }
    void Reset();

private:
    int fd_ = -1;
};

// A listening socket on 127.0.0.1 that keeps a port busy for the program's port check.
Fd OccupyPort(int port);

// A run of `count` consecutive ports that were all free a moment ago, outside the range the
// kernel hands out for outgoing connections, so a client socket never takes one of them.
int FreePortRun(int count);

// A blocking TCP connection to 127.0.0.1 with send and receive time-outs; invalid when refused.
Fd ConnectLoopback(int port, std::chrono::milliseconds timeout);

struct RawReply {
    std::string bytes;      // everything the peer sent
    bool closed = false;    // the peer closed (EOF or reset)
    bool timedOut = false;  // the peer neither sent nor closed in time
};

struct SendPlan {
    std::vector<std::string> chunks;           // sent one after another
    std::chrono::milliseconds gap{0};          // pause between chunks
    bool halfClose = true;                     // shut the sending side down afterwards
    std::chrono::milliseconds timeout{10000};  // for the whole reply
};

// Sends the request and collects the reply until the peer closes the connection.
RawReply Exchange(int port, std::string_view request, std::chrono::milliseconds timeout);
RawReply Exchange(int port, const SendPlan& plan);
// Reads until the peer closes or the time is up.
RawReply ReadToClose(int fd, std::chrono::milliseconds timeout);

// One request as a text: "METHOD PATH PROTOCOL", header lines, empty line, body.
std::string Request(std::string_view method, std::string_view path,
                    const std::vector<std::string>& headers = {}, std::string_view body = {},
                    std::string_view protocol = "HTTP/1.1");
std::string TrustedGet(std::string_view path);

struct HttpReply {
    int status = -1;
    bool hasHeaderBlock = false;
    std::vector<std::string> headers;  // in the order sent
    std::string body;

    // The value of the first header of that name (letter case ignored), or nothing.
    std::optional<std::string> Header(std::string_view name) const;
    int CountHeaderLines(std::string_view line) const;
};

// Parses "HTTP/1.0 <status>", then (when expected) the header block, then the body. Nothing
// when the bytes are not such a reply.
std::optional<HttpReply> ParseReply(const std::string& bytes, bool expectHeaders = true);

// The error body of a status as the program writes it.
std::string ErrorBody(int code, std::string_view text);

}  // namespace e2e

#include "support/E2eNet.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <random>
#include <regex>
#include <stdexcept>
#include <thread>

namespace e2e {

using Clock = std::chrono::steady_clock;

Fd& Fd::operator=(Fd&& other) noexcept {
    if (this != &other) {
        Reset();
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

void Fd::Reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

namespace {

sockaddr_in Loopback(int port) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return addr;
}

void SetTimeouts(int fd, std::chrono::milliseconds timeout) {
    timeval tv{};
    tv.tv_sec = static_cast<time_t>(timeout.count() / 1000);
    tv.tv_usec = static_cast<suseconds_t>((timeout.count() % 1000) * 1000);
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
}

// Binds a port the way the program's port test does (SO_REUSEADDR, listening), so "free" here
// means free for the program too.
Fd TryListen(int port) {
    Fd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd.Valid()) return {};
    int one = 1;
    setsockopt(fd.Get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr = Loopback(port);
    if (::bind(fd.Get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) return {};
    if (::listen(fd.Get(), 16) != 0) return {};
    return fd;
}

void SendAll(int fd, std::string_view data) {
    while (!data.empty()) {
        ssize_t n = ::send(fd, data.data(), data.size(), MSG_NOSIGNAL);
        if (n <= 0) return;  // the peer may have closed already: what it sent back still counts
        data.remove_prefix(static_cast<size_t>(n));
    }
}

}  // namespace

Fd OccupyPort(int port) {
    Fd fd = TryListen(port);
    if (!fd.Valid()) throw std::runtime_error("cannot occupy port " + std::to_string(port));
    return fd;
}

int FreePortRun(int count) {
    // Below the kernel's ephemeral range (32768 and up), so outgoing connections of any test
    // never land on a port handed out here; random so parallel tests rarely meet.
    static std::mt19937 random(std::random_device{}() ^ static_cast<unsigned>(::getpid()));
    std::uniform_int_distribution<int> pick(20000, 32000 - count);
    for (int attempt = 0; attempt < 200; ++attempt) {
        const int base = pick(random);
        std::vector<Fd> held;
        for (int p = base; p < base + count; ++p) {
            Fd fd = TryListen(p);
            if (!fd.Valid()) break;
            held.push_back(std::move(fd));
        }
        if (static_cast<int>(held.size()) == count) return base;
    }
    throw std::runtime_error("no run of free ports found");
}

Fd ConnectLoopback(int port, std::chrono::milliseconds timeout) {
    Fd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd.Valid()) return {};
    SetTimeouts(fd.Get(), timeout);
    sockaddr_in addr = Loopback(port);
    if (::connect(fd.Get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) return {};
    return fd;
}

RawReply ReadToClose(int fd, std::chrono::milliseconds timeout) {
    RawReply reply;
    const auto deadline = Clock::now() + timeout;
    char buffer[16384];
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            reply.timedOut = true;
            return reply;
        }
        pollfd p{fd, POLLIN, 0};
        int ready = ::poll(&p, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) {
            reply.timedOut = true;
            return reply;
        }
        ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n > 0) {
            reply.bytes.append(buffer, static_cast<size_t>(n));
            continue;
        }
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        reply.closed = true;  // EOF, or a reset after the program dropped unread input
        return reply;
    }
}

RawReply Exchange(int port, const SendPlan& plan) {
    Fd fd = ConnectLoopback(port, plan.timeout);
    if (!fd.Valid()) throw std::runtime_error("connection refused on port " + std::to_string(port));
    for (size_t i = 0; i < plan.chunks.size(); ++i) {
        if (i > 0 && plan.gap.count() > 0) std::this_thread::sleep_for(plan.gap);
        SendAll(fd.Get(), plan.chunks[i]);
    }
    if (plan.halfClose) ::shutdown(fd.Get(), SHUT_WR);
    return ReadToClose(fd.Get(), plan.timeout);
}

RawReply Exchange(int port, std::string_view request, std::chrono::milliseconds timeout) {
    SendPlan plan;
    plan.chunks = {std::string(request)};
    plan.timeout = timeout;
    return Exchange(port, plan);
}

std::string Request(std::string_view method, std::string_view path,
                    const std::vector<std::string>& headers, std::string_view body,
                    std::string_view protocol) {
    std::string text;
    text.append(method).append(" ").append(path);
    if (!protocol.empty()) text.append(" ").append(protocol);
    text += "\r\n";
    for (const auto& line : headers) text += line + "\r\n";
    text += "\r\n";
    text.append(body);
    return text;
}

std::string TrustedGet(std::string_view path) {
    return Request("GET", path, {std::string("Origin: ") + "https://www.zrb.example"});
}

namespace {

bool EqualNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

}  // namespace

std::optional<std::string> HttpReply::Header(std::string_view name) const {
    for (const auto& line : headers) {
        auto colon = line.find(": ");
        if (colon != std::string::npos &&
            EqualNoCase(std::string_view(line).substr(0, colon), name))
            return line.substr(colon + 2);
    }
    return std::nullopt;
}

int HttpReply::CountHeaderLines(std::string_view line) const {
    return static_cast<int>(std::count(headers.begin(), headers.end(), line));
}

std::optional<HttpReply> ParseReply(const std::string& bytes, bool expectHeaders) {
    static const std::regex statusLine(R"(^HTTP/1\.0 (\d{3})\r\n)");
    std::smatch match;
    if (!std::regex_search(bytes, match, statusLine)) return std::nullopt;
    HttpReply reply;
    reply.status = std::stoi(match[1].str());
    size_t pos = static_cast<size_t>(match.length(0));
    if (!expectHeaders) {
        reply.body = bytes.substr(pos);
        return reply;
    }
    const size_t end = bytes.find("\r\n\r\n", pos - 2);
    if (end == std::string::npos) return std::nullopt;
    reply.hasHeaderBlock = true;
    while (pos < end + 2) {
        const size_t eol = bytes.find("\r\n", pos);
        reply.headers.push_back(bytes.substr(pos, eol - pos));
        pos = eol + 2;
    }
    reply.body = bytes.substr(end + 4);
    return reply;
}

std::string ErrorBody(int code, std::string_view text) {
    return "{ \"code\" : \"" + std::to_string(code) + "\", \"text\" : \"" + std::string(text) +
           "\" }";
}

}  // namespace e2e

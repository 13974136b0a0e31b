// TCP sockets of the local web service: a listening socket on the loopback interface, accepted
// connections, and reads and writes bounded in time. Blocking sockets, one thread per
// connection; every wait is a poll with a time limit, so no client can hold a thread forever.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

namespace nelvo::platform {

// Owns a socket descriptor; closing it is the destructor's job.
class TSocket {
public:
    TSocket() = default;
    explicit TSocket(int fd) : fd_(fd) {}
    ~TSocket() { Close(); }
    TSocket(TSocket&& other) noexcept : fd_(other.Release()) {}
    TSocket& operator=(TSocket&& other) noexcept;
    TSocket(const TSocket&) = delete;
    TSocket& operator=(const TSocket&) = delete;

    int Handle() const { return fd_; }
    bool Valid() const { return fd_ >= 0; }
    int Release();
    void Close();

private:
    int fd_ = -1;
};

// A socket bound to the loopback address "localhost" resolves to and the port, listening with
// the system's default backlog. Addresses are reused (connections of an earlier run in TIME_WAIT
// must not keep a restarted listener off its port); accepted connections linger up to
// lingerSeconds on close so that a reply is not cut off. On failure the socket is invalid and
// error holds the system's error code.
TSocket ListenOnLocalhost(int port, int lingerSeconds, int& error);

enum class TWaitResult { Ready, TimedOut, Failed };
// Waits until the socket can be read (forWrite false) or written, or until timeoutMs has passed.
// A hang-up or error condition counts as ready: the next call reports it.
TWaitResult WaitSocket(int fd, bool forWrite, int timeoutMs);
// The same against a deadline; for loops that wait more than once.
TWaitResult WaitSocketUntil(int fd, bool forWrite, std::chrono::steady_clock::time_point deadline);

// Accepts one waiting connection; an invalid socket (error set) when none could be taken.
TSocket AcceptConnection(int listenFd, int& error);

// Waits up to timeoutMs for data and reads at most max bytes: the count, 0 when the peer closed,
// -1 on an error or time-out (error set; ETIMEDOUT for the time-out).
long ReceiveBytes(int fd, char* buffer, std::size_t max, int timeoutMs, int& error);
// Sends every byte, waiting at most timeoutMs for the peer to take them; never raises SIGPIPE.
bool SendBytes(int fd, std::string_view bytes, int timeoutMs, int& error);

// Ends the receiving side of a connection without closing the descriptor: a thread waiting for
// data wakes up and sees the peer gone, while a reply being sent still goes out.
void StopReceiving(int fd);

// Non-blocking mode for the lifetime of the object; the former mode is put back after. Ok()
// tells whether the switch worked.
class TScopedNonBlocking {
public:
    explicit TScopedNonBlocking(int fd);
    ~TScopedNonBlocking();
    TScopedNonBlocking(const TScopedNonBlocking&) = delete;
    TScopedNonBlocking& operator=(const TScopedNonBlocking&) = delete;
    bool Ok() const { return flags_ >= 0; }

private:
    int fd_;
    int flags_;
};

// Wakes a thread that waits on a socket: once signalled, it stays signalled.
class TWakeSignal {
public:
    TWakeSignal();
    ~TWakeSignal();
    TWakeSignal(const TWakeSignal&) = delete;
    TWakeSignal& operator=(const TWakeSignal&) = delete;
    void Signal();

private:
    friend TWaitResult WaitSocketOrWake(int, const TWakeSignal&, int);
    int fd_;
};
// Waits up to timeoutMs until fd can be read; TimedOut as well when the wake signal came first.
TWaitResult WaitSocketOrWake(int fd, const TWakeSignal& wake, int timeoutMs);

// The system's text for an error code.
std::string SocketErrorText(int error);

}  // namespace nelvo::platform

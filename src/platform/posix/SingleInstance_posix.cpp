// The instance channel is a Unix-domain socket beside a lock file. Who owns the channel is
// decided by the lock alone (an open-file-description lock, taken without waiting), so two
// starts at the same moment cannot both win; the socket only carries the parameters.
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "platform/Platform.h"
#include "platform/PrivateFiles.h"
#include "platform/SingleInstance.h"

namespace nelvo::platform {

namespace {

using Clock = std::chrono::steady_clock;

constexpr char kMagic[4] = {'N', 'L', 'V', '1'};
constexpr std::size_t kHeaderBytes = 8;  // magic + body length
constexpr char kAck = 'K';
// How long the owner gives one accepted sender to deliver its message.
constexpr int kReadLimitMs = 500;
constexpr int kBacklog = 16;
constexpr std::size_t kMaxNameLength = 64;

// An open descriptor, closed by its owner.
class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int Get() const { return fd_; }
    int Release() { return std::exchange(fd_, -1); }

private:
    int fd_;
};

// --- framing ---------------------------------------------------------------------------------

void PutU32(std::string& out, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<char>(value >> shift));
}

std::uint32_t GetU32(std::string_view bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
    return value;
}

// --- time ------------------------------------------------------------------------------------

Clock::time_point DeadlineIn(int ms) {
    return Clock::now() + std::chrono::milliseconds(std::max(ms, 0));
}

int MsLeft(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, 1 << 30));
}

// Waits until fd is ready for events or the deadline passes.
bool WaitReady(int fd, short events, Clock::time_point deadline) {
    for (;;) {
        pollfd entry{fd, events, 0};
        const int n = ::poll(&entry, 1, MsLeft(deadline));
        if (n > 0) return true;
        if (n == 0 || errno != EINTR) return false;
    }
}

bool RecvExact(int fd, char* into, std::size_t size, Clock::time_point deadline) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::recv(fd, into + done, size - done, MSG_DONTWAIT);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n == 0) {
            return false;  // the peer closed before the message was whole
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            if (!WaitReady(fd, POLLIN, deadline)) return false;
        } else if (errno != EINTR) {
            return false;
        }
    }
    return true;
}

// MSG_NOSIGNAL: a peer that has gone must cost an error, never the process.
bool SendAll(int fd, std::string_view bytes, Clock::time_point deadline) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n =
            ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!WaitReady(fd, POLLOUT, deadline)) return false;
        } else if (n == 0 || errno != EINTR) {
            return false;
        }
    }
    return true;
}

// --- files -----------------------------------------------------------------------------------

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The path still names the file open as fd (it was not removed or replaced meanwhile).
bool PathNamesFd(const std::string& path, int fd) {
    struct stat byPath {
    }, byFd{};
    return ::lstat(path.c_str(), &byPath) == 0 && ::fstat(fd, &byFd) == 0 && SameFile(byPath, byFd);
}

bool IsPrivateFolderOfUser(const std::string& folder) {
    struct stat info {};
    return ::lstat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
           info.st_uid == ::geteuid() && (info.st_mode & 077) == 0;
}

// The program file's name reduced to characters that are safe in a file name.
std::string ChannelName(const std::string& identity) {
    std::string name = identity.substr(identity.find_last_of('/') + 1);
    name.resize(std::min(name.size(), kMaxNameLength));
    for (char& c : name) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '_';
        if (!plain) c = '_';
    }
    if (name.empty() || name == "." || name == "..") name = "program";
    return name;
}

bool FitsSocketAddress(const std::string& path) {
    return path.size() < sizeof(sockaddr_un::sun_path);
}

// $XDG_RUNTIME_DIR is per user by definition, but only trusted when it really is ours and
// closed to others; otherwise a folder of our own under the temp folder.
std::string ChannelFolder(const std::string& name, std::string& error) {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && runtime[0] == '/' && IsPrivateFolderOfUser(runtime) &&
        FitsSocketAddress(std::string(runtime) + "/" + name + ".sock"))
        return runtime;
    const char* temp = std::getenv("TMPDIR");
    const std::string base = temp && temp[0] == '/' ? temp : "/tmp";
    const std::string folder = base + "/" + name + "-" + std::to_string(::geteuid());
    if (!MakePrivateFolder(folder, error)) return {};
    return folder;
}

// --- the lock --------------------------------------------------------------------------------

enum class LockOutcome { Owner, Taken, Failed };

bool TryLock(int fd) {
    struct flock range {};
    range.l_type = F_WRLCK;
    range.l_whence = SEEK_SET;
    return ::fcntl(fd, F_OFD_SETLK, &range) == 0;
}

// Takes the lock file's lock without waiting. A file whose name was removed or replaced while we
// opened it belongs to an owner that is leaving, so the decision is made again on the new file.
LockOutcome TakeLock(const std::string& path, int& held, std::string& error) {
    for (int attempt = 0; attempt < 8; ++attempt) {
        Fd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (fd.Get() < 0) {
            error = "Cannot open lock file " + path + ": " + LastErrorMessage();
            return LockOutcome::Failed;
        }
        const bool locked = TryLock(fd.Get());
        if (!locked && errno != EAGAIN && errno != EACCES) {
            error = "Cannot lock " + path + ": " + LastErrorMessage();
            return LockOutcome::Failed;
        }
        if (!PathNamesFd(path, fd.Get())) continue;
        if (!locked) return LockOutcome::Taken;
        held = fd.Release();
        return LockOutcome::Owner;
    }
    error = "The lock file keeps changing: " + path;
    return LockOutcome::Failed;
}

// Somebody holds the lock: an owner that is still starting or still running. Asked without
// taking the lock, so that the question never makes a concurrent start lose.
bool OwnerAlive(const std::string& lockPath) {
    Fd fd(::open(lockPath.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (fd.Get() < 0) return false;
    struct flock range {};
    range.l_type = F_WRLCK;
    range.l_whence = SEEK_SET;
    if (::fcntl(fd.Get(), F_OFD_GETLK, &range) != 0) return true;  // cannot tell: keep trying
    return range.l_type != F_UNLCK;
}

// --- sockets ---------------------------------------------------------------------------------

sockaddr_un AddressOf(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return address;
}

bool PeerIsThisUser(int fd) {
    ucred peer{};
    socklen_t size = sizeof peer;
    return ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 && peer.uid == ::geteuid();
}

// Connects to the owner, retrying while an owner holds the lock but does not listen yet (it
// took the lock a moment ago) or its backlog is full.
int ConnectToOwner(const std::string& socketPath, const std::string& lockPath,
                   Clock::time_point deadline, std::string& error) {
    const sockaddr_un address = AddressOf(socketPath);
    for (;;) {
        Fd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
        if (fd.Get() < 0) {
            error = "Cannot create a socket: " + LastErrorMessage();
            return -1;
        }
        if (::connect(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
            return fd.Release();
        if (errno == EINTR) continue;
        if (errno != ENOENT && errno != ECONNREFUSED && errno != EAGAIN) {
            error = "Cannot connect to " + socketPath + ": " + LastErrorMessage();
            return -1;
        }
        if (!OwnerAlive(lockPath)) {
            error = "No running instance listens on " + socketPath;
            return -1;
        }
        if (MsLeft(deadline) == 0) {
            error = "The running instance does not answer on " + socketPath;
            return -1;
        }
        SleepMs(std::min(MsLeft(deadline), 2));
    }
}

std::optional<std::vector<std::string>> ReadMessage(int fd, Clock::time_point deadline) {
    std::string message(kHeaderBytes, '\0');
    if (!RecvExact(fd, message.data(), kHeaderBytes, deadline)) return std::nullopt;
    if (std::memcmp(message.data(), kMagic, sizeof kMagic) != 0) return std::nullopt;
    const std::uint32_t bodySize = GetU32(message, sizeof kMagic);
    if (bodySize > kMaxInstanceMessageBytes - kHeaderBytes) return std::nullopt;
    message.resize(kHeaderBytes + bodySize);
    if (!RecvExact(fd, message.data() + kHeaderBytes, bodySize, deadline)) return std::nullopt;
    return DecodeInstanceParams(message);
}

int AcceptOne(int listenFd) {
    for (;;) {
        const int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd >= 0 || errno != EINTR) return fd;
    }
}

}  // namespace

std::optional<std::string> EncodeInstanceParams(const std::vector<std::string>& params) {
    std::size_t size = kHeaderBytes + 4;
    for (const std::string& param : params) {
        size += 4 + param.size();
        if (size > kMaxInstanceMessageBytes) return std::nullopt;
    }
    std::string message(kMagic, sizeof kMagic);
    message.reserve(size);
    PutU32(message, static_cast<std::uint32_t>(size - kHeaderBytes));
    PutU32(message, static_cast<std::uint32_t>(params.size()));
    for (const std::string& param : params) {
        PutU32(message, static_cast<std::uint32_t>(param.size()));
        message += param;
    }
    return message;
}

std::optional<std::vector<std::string>> DecodeInstanceParams(std::string_view message) {
    if (message.size() < kHeaderBytes + 4 || message.size() > kMaxInstanceMessageBytes ||
        message.substr(0, sizeof kMagic) != std::string_view(kMagic, sizeof kMagic) ||
        GetU32(message, sizeof kMagic) != message.size() - kHeaderBytes)
        return std::nullopt;
    const std::uint32_t count = GetU32(message, kHeaderBytes);
    std::size_t at = kHeaderBytes + 4;
    std::vector<std::string> params;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (message.size() - at < 4) return std::nullopt;
        const std::uint32_t size = GetU32(message, at);
        at += 4;
        if (message.size() - at < size) return std::nullopt;
        params.emplace_back(message.substr(at, size));
        at += size;
    }
    if (at != message.size()) return std::nullopt;
    return params;
}

TInstanceGuard::TInstanceGuard(const std::string& identity) {
    const std::string name = ChannelName(identity);
    const std::string folder = ChannelFolder(name, error_);
    if (folder.empty()) return;  // no channel: run as the first
    const std::string socketPath = folder + "/" + name + ".sock";
    if (!FitsSocketAddress(socketPath)) {
        error_ = "The channel path is too long: " + socketPath;
        return;
    }
    socketPath_ = socketPath;
    lockPath_ = folder + "/" + name + ".lock";
    switch (TakeLock(lockPath_, lockFd_, error_)) {
        case LockOutcome::Taken:
            first_ = false;
            return;
        case LockOutcome::Failed:
            return;
        case LockOutcome::Owner:
            BecomeOwner();
            return;
    }
}

// Only the lock holder touches the socket file, so a file found there was left by an owner that
// died: it is replaced.
void TInstanceGuard::BecomeOwner() {
    if (::unlink(socketPath_.c_str()) != 0 && errno != ENOENT) {
        error_ = "Cannot remove the stale channel " + socketPath_ + ": " + LastErrorMessage();
        return;
    }
    Fd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    const sockaddr_un address = AddressOf(socketPath_);
    if (fd.Get() < 0 ||
        ::bind(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        error_ = "Cannot create the channel " + socketPath_ + ": " + LastErrorMessage();
        return;
    }
    struct stat made {};
    socketMade_ = ::lstat(socketPath_.c_str(), &made) == 0;
    socketDevice_ = made.st_dev;
    socketInode_ = made.st_ino;
    if (::chmod(socketPath_.c_str(), 0600) != 0 || ::listen(fd.Get(), kBacklog) != 0) {
        error_ = "Cannot open the channel " + socketPath_ + ": " + LastErrorMessage();
        return;
    }
    listenFd_ = fd.Release();
}

TInstanceGuard::~TInstanceGuard() {
    if (listenFd_ >= 0) ::close(listenFd_);
    struct stat now {};
    if (socketMade_ && ::lstat(socketPath_.c_str(), &now) == 0 && now.st_dev == socketDevice_ &&
        now.st_ino == socketInode_)
        ::unlink(socketPath_.c_str());
    if (lockFd_ >= 0) {
        // Removed while still held: a start that opened the old file sees it replaced and
        // decides again.
        if (PathNamesFd(lockPath_, lockFd_)) ::unlink(lockPath_.c_str());
        ::close(lockFd_);
    }
}

bool TInstanceGuard::SendParams(const std::vector<std::string>& params, int timeoutMs) {
    error_.clear();
    if (first_ || socketPath_.empty()) {
        error_ = "No other instance to send to";
        return false;
    }
    const std::optional<std::string> message = EncodeInstanceParams(params);
    if (!message) {
        error_ = "The parameters are too long to send";
        return false;
    }
    const Clock::time_point deadline = DeadlineIn(timeoutMs);
    Fd fd(ConnectToOwner(socketPath_, lockPath_, deadline, error_));
    if (fd.Get() < 0) return false;
    // Parameters go only to a process of this user, never to an impostor's socket.
    if (!PeerIsThisUser(fd.Get())) {
        error_ = "The channel " + socketPath_ + " belongs to another user";
        return false;
    }
    char ack = 0;
    if (!SendAll(fd.Get(), *message, deadline) || !RecvExact(fd.Get(), &ack, 1, deadline) ||
        ack != kAck) {
        error_ = "The running instance did not take the parameters";
        return false;
    }
    return true;
}

std::optional<std::vector<std::string>> TInstanceGuard::WaitForParams(int timeoutMs) {
    if (!first_) return std::nullopt;
    if (listenFd_ < 0) {
        SleepMs(std::max(timeoutMs, 0));  // keep the caller's pace without a channel
        return std::nullopt;
    }
    const Clock::time_point deadline = DeadlineIn(timeoutMs);
    // A zero timeout still takes one waiting sender; after that the deadline rules, so a stream
    // of bad senders cannot hold the caller.
    for (bool first = true;
         (first || MsLeft(deadline) > 0) && WaitReady(listenFd_, POLLIN, deadline); first = false) {
        Fd fd(AcceptOne(listenFd_));
        if (fd.Get() < 0) {
            if (errno != EAGAIN && errno != EWOULDBLOCK && errno != ECONNABORTED)
                SleepMs(1);  // out of descriptors or the like: do not spin
            continue;
        }
        if (!PeerIsThisUser(fd.Get())) continue;
        std::optional<std::vector<std::string>> params =
            ReadMessage(fd.Get(), DeadlineIn(kReadLimitMs));
        if (!params) continue;  // dropped; the next sender still gets its turn
        ::send(fd.Get(), &kAck, 1, MSG_NOSIGNAL | MSG_DONTWAIT);
        return params;
    }
    return std::nullopt;
}

}  // namespace nelvo::platform

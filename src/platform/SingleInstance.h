// One running instance per user and program file. The first start owns a local channel; a
// later start hands its command-line parameters to the running one and ends, so that "exit" and
// the like reach the instance the user already has.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nelvo::platform {

// The largest message a later start may send, framing included. The owner reads each message
// whole before acting on it, so a bound keeps one sender from making it allocate without end.
inline constexpr std::size_t kMaxInstanceMessageBytes = 1u << 20;

// The wire form of one later start's parameters: every byte of every parameter survives, an
// empty list included. Nothing when the message would exceed kMaxInstanceMessageBytes.
std::optional<std::string> EncodeInstanceParams(const std::vector<std::string>& params);
// The parameters of one whole message; nothing unless the message is exactly one well-formed
// frame.
std::optional<std::vector<std::string>> DecodeInstanceParams(std::string_view message);

// The first start of a program owns the instance channel; a later start hands it its parameters.
// One thread uses a guard at a time.
class TInstanceGuard {
public:
    // Long enough for an owner that looks for parameters every half second.
    static constexpr int kSendTimeoutMs = 5000;

    // identity: the program file's name ("nelvo-host"); the channel is named after it, in
    // $XDG_RUNTIME_DIR when that is a private folder of this user, else in a private folder
    // named after it and the user under the temp folder. When no channel can be set up the
    // start counts as the first (running twice beats not running) and Error() tells why.
    explicit TInstanceGuard(const std::string& identity);
    // The owner closes the channel and removes its socket and lock files, unless another owner
    // has replaced them meanwhile.
    ~TInstanceGuard();
    TInstanceGuard(const TInstanceGuard&) = delete;
    TInstanceGuard& operator=(const TInstanceGuard&) = delete;

    // This process owns the channel (or none could be set up).
    bool IsFirst() const { return first_; }
    // A later start: hands params (possibly none) to the running instance; true once the owner
    // has read them whole. False at once when the owner is gone, else after timeoutMs at most.
    bool SendParams(const std::vector<std::string>& params, int timeoutMs = kSendTimeoutMs);
    // The owner: waits up to timeoutMs for the parameters of one later start; nothing when none
    // came. A sender that stalls or sends garbage is dropped after a short limit of its own, so
    // one call may last that much longer than timeoutMs.
    std::optional<std::vector<std::string>> WaitForParams(int timeoutMs);
    // The channel's socket file; empty when none could be chosen.
    const std::string& ChannelPath() const { return socketPath_; }
    // Why the channel could not be set up or the last send failed; empty when all went well.
    const std::string& Error() const { return error_; }

private:
    void BecomeOwner();

    bool first_ = true;
    std::string socketPath_;
    std::string lockPath_;
    std::string error_;
    int lockFd_ = -1;    // held by the owner for its lifetime
    int listenFd_ = -1;  // the owner's listening socket
    // The socket file this owner made, so that it never removes one of a later owner.
    bool socketMade_ = false;
    std::uint64_t socketDevice_ = 0;
    std::uint64_t socketInode_ = 0;
};

}  // namespace nelvo::platform

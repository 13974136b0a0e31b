// The single-instance channel: who owns it when starts race, which bytes survive the trip, and
// what neither a dead owner, a stalling or hostile sender, a closed peer nor another user can do
// to either side. Later starts are played by threads or by forked children.
#include "platform/SingleInstance.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <future>
#include <latch>
#include <thread>

#include "support/TempDir.h"

namespace nelvo::platform {
namespace {

using test::ScopedEnv;
using test::TempDir;
using Clock = std::chrono::steady_clock;
using Params = std::vector<std::string>;

const std::string kName = "nelvo-host";

long long MsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// --- small fixtures --------------------------------------------------------------------------

class Socket {
public:
    explicit Socket(int fd = -1) : fd_(fd) {}
    ~Socket() { Close(); }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    int Get() const { return fd_; }
    void Close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_;
};

sockaddr_un AddressOf(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    return address;
}

int RawConnect(const std::string& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_un address = AddressOf(path);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

int RawListen(const std::string& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_un address = AddressOf(path);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, 4) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

void SendRaw(int fd, const std::string& bytes) {
    ASSERT_EQ(::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(bytes.size()));
}

bool Readable(int fd, int timeoutMs) {
    pollfd entry{fd, POLLIN, 0};
    return ::poll(&entry, 1, timeoutMs) == 1;
}

struct FileId {
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const FileId&) const = default;
};
std::optional<FileId> IdOf(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) return std::nullopt;
    return FileId{info.st_dev, info.st_ino};
}

std::string LockPathOf(const std::string& socketPath) {
    return socketPath.substr(0, socketPath.size() - 5) + ".lock";
}

// A one-way pipe between a test and the child it forked.
class Pipe {
public:
    Pipe() { EXPECT_EQ(::pipe2(fds_, O_CLOEXEC), 0); }
    ~Pipe() {
        for (int fd : fds_)
            if (fd >= 0) ::close(fd);
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;
    void Put(char c = '.') { (void)!::write(fds_[1], &c, 1); }
    // The next byte, or 0 once every writer has gone or after timeoutMs.
    char Take(int timeoutMs = 5000) {
        char c = 0;
        if (Readable(fds_[0], timeoutMs) && ::read(fds_[0], &c, 1) == 1) return c;
        return 0;
    }
    void CloseWriteEnd() {
        ::close(fds_[1]);
        fds_[1] = -1;
    }

private:
    int fds_[2] = {-1, -1};
};

// Runs body in a forked child, which ends with body's result and never returns here.
pid_t Spawn(const std::function<int()>& body) {
    const pid_t pid = ::fork();
    if (pid == 0) ::_exit(body());
    return pid;
}

// The child's exit code, or 128 + the signal that ended it.
int Reap(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
}

// A later start on a thread of its own, as a second program would make it.
std::future<bool> SendLater(Params params, int timeoutMs = 3000) {
    return std::async(std::launch::async, [params = std::move(params), timeoutMs] {
        TInstanceGuard later(kName);
        return !later.IsFirst() && later.SendParams(params, timeoutMs);
    });
}

// Parameter lists that break naive framing: separators inside parameters, empty ones, none.
std::vector<Params> AwkwardParamLists() {
    Params many;
    for (int i = 0; i < 5000; ++i)
        many.push_back(std::string(static_cast<std::size_t>(i % 7), 'x'));
    return {
        {},
        {""},
        {"", "", ""},
        {"exit"},
        {"two words", " leading and trailing ", "line1\nline2", "\r\n", "\t"},
        {"Привет", "дом \"кавычки\"", "日本語", "\xF0\x9F\x94\x91"},
        {std::string("nul\0inside", 10), std::string(1, '\0')},
        {std::string(900 * 1024, 'p')},
        many,
    };
}

// --- wire form -------------------------------------------------------------------------------

TEST(InstanceWireTest, EveryParameterListSurvivesTheRoundTrip) {
    for (const Params& params : AwkwardParamLists()) {
        const std::optional<std::string> message = EncodeInstanceParams(params);
        ASSERT_TRUE(message) << params.size();
        EXPECT_EQ(DecodeInstanceParams(*message), params) << params.size();
    }
}

TEST(InstanceWireTest, TheSizeLimitCountsTheWholeMessage) {
    const std::size_t framing = 8 + 4 + 4;  // header, count, one length
    const std::optional<std::string> fits =
        EncodeInstanceParams({std::string(kMaxInstanceMessageBytes - framing, 'a')});
    ASSERT_TRUE(fits);
    EXPECT_EQ(fits->size(), kMaxInstanceMessageBytes);
    EXPECT_TRUE(DecodeInstanceParams(*fits));
    EXPECT_FALSE(EncodeInstanceParams({std::string(kMaxInstanceMessageBytes - framing + 1, 'a')}));
    EXPECT_FALSE(EncodeInstanceParams(Params(kMaxInstanceMessageBytes / 4, "")));
}

TEST(InstanceWireTest, MalformedFramesAreRejected) {
    const std::string good = *EncodeInstanceParams({"ab", "c"});
    auto withU32 = [&](std::size_t at, std::uint32_t value) {
        std::string bytes = good;
        for (int i = 0; i < 4; ++i)
            bytes[at + static_cast<std::size_t>(i)] = static_cast<char>(value >> (8 * i));
        return bytes;
    };
    auto body = [&](std::string tail) {  // a header that matches whatever body follows
        std::string bytes = "NLV1" + std::string(4, '\0') + tail;
        const std::uint32_t size = static_cast<std::uint32_t>(tail.size());
        for (int i = 0; i < 4; ++i)
            bytes[4 + static_cast<std::size_t>(i)] = static_cast<char>(size >> (8 * i));
        return bytes;
    };
    const struct {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"empty", ""},
        {"header only", good.substr(0, 8)},
        {"wrong magic", "XLV1" + good.substr(4)},
        {"body shorter than announced", good.substr(0, good.size() - 1)},
        {"body longer than announced", good + "z"},
        {"announced length far too big", withU32(4, 0xFFFFFFFFu)},
        {"more parameters than present", body(std::string("\x03\0\0\0\x01\0\0\0a", 9))},
        {"parameter length past the end", body(std::string("\x01\0\0\0\xFF\xFF\xFF\xFF"
                                                           "a",
                                                           9))},
        {"bytes after the last parameter", body(std::string("\x01\0\0\0\x01\0\0\0ab", 10))},
        {"count of four billion", body(std::string("\xFF\xFF\xFF\xFF", 4))},
    };
    for (const auto& c : cases) EXPECT_FALSE(DecodeInstanceParams(c.bytes)) << c.what;
}

// --- the channel -----------------------------------------------------------------------------

class InstanceGuardTest : public ::testing::Test {
protected:
    TempDir runtime_;
    ScopedEnv xdg_{"XDG_RUNTIME_DIR", runtime_.Path().c_str()};
};

TEST_F(InstanceGuardTest, TheFirstStartOwnsAPrivateChannelALaterStartDoesNot) {
    TInstanceGuard first(kName);
    ASSERT_TRUE(first.IsFirst()) << first.Error();
    EXPECT_EQ(first.Error(), "");
    EXPECT_EQ(first.ChannelPath(), runtime_ / "nelvo-host.sock");
    struct stat info {};
    ASSERT_EQ(::stat(first.ChannelPath().c_str(), &info), 0);
    EXPECT_TRUE(S_ISSOCK(info.st_mode));
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    TInstanceGuard later(kName);
    EXPECT_FALSE(later.IsFirst());
    EXPECT_EQ(later.ChannelPath(), first.ChannelPath());
    TInstanceGuard otherProgram("other-program");
    EXPECT_TRUE(otherProgram.IsFirst());
}

TEST_F(InstanceGuardTest, ParametersArriveExactlyAsSent) {
    TInstanceGuard owner(kName);
    ASSERT_TRUE(owner.IsFirst());
    for (const Params& params : AwkwardParamLists()) {
        std::future<bool> sent = SendLater(params);
        EXPECT_EQ(owner.WaitForParams(3000), params) << params.size();
        EXPECT_TRUE(sent.get()) << params.size();
    }
}

TEST_F(InstanceGuardTest, EachLaterStartIsOneMessageInArrivalOrder) {
    TInstanceGuard owner(kName);
    std::future<bool> first = SendLater({"one"});
    EXPECT_EQ(owner.WaitForParams(3000), Params{"one"});
    EXPECT_TRUE(first.get());
    std::future<bool> second = SendLater({"exit"});
    EXPECT_EQ(owner.WaitForParams(3000), Params{"exit"});
    EXPECT_TRUE(second.get());
}

TEST_F(InstanceGuardTest, WaitingWithNoLaterStartEndsAtTheTimeout) {
    TInstanceGuard owner(kName);
    const auto start = Clock::now();
    EXPECT_EQ(owner.WaitForParams(40), std::nullopt);
    EXPECT_GE(MsSince(start), 35);
    EXPECT_LT(MsSince(start), 1000);
}

TEST_F(InstanceGuardTest, ParametersOverTheLimitAreRefusedWithoutSending) {
    TInstanceGuard owner(kName);
    TInstanceGuard later(kName);
    EXPECT_FALSE(later.SendParams({std::string(kMaxInstanceMessageBytes, 'x')}, 200));
    EXPECT_NE(later.Error(), "");
    EXPECT_EQ(owner.WaitForParams(20), std::nullopt);
}

TEST_F(InstanceGuardTest, BadSendersAreDroppedAndTheNextStartStillArrives) {
    const std::string good = *EncodeInstanceParams({"ok"});
    const struct {
        const char* what;
        std::string bytes;
        bool keepOpen;  // a sender that stalls instead of going away
    } cases[] = {
        {"connects and says nothing", "", true},
        {"connects and leaves", "", false},
        {"a few stray bytes, then stalls", "GET", true},
        {"plain text", "GET / HTTP/1.0\r\n\r\n", false},
        {"wrong magic", "XXXX" + good.substr(4), false},
        {"announces more than the limit", "NLV1\xFF\xFF\xFF\x7F", true},
        {"half a message, then stalls", good.substr(0, good.size() - 1), true},
        {"half a message, then leaves", good.substr(0, good.size() - 1), false},
        {"a frame that does not parse", std::string("NLV1\x04\0\0\0\x05\0\0\0", 12), false},
    };
    TInstanceGuard owner(kName);
    for (const auto& c : cases) {
        Socket bad(RawConnect(owner.ChannelPath()));
        ASSERT_GE(bad.Get(), 0) << c.what;
        if (!c.bytes.empty()) SendRaw(bad.Get(), c.bytes);
        if (!c.keepOpen) ::shutdown(bad.Get(), SHUT_WR);
        std::future<bool> sent = SendLater({"next"});
        std::future<std::optional<Params>> got =
            std::async(std::launch::async, [&] { return owner.WaitForParams(3000); });
        const bool inTime = got.wait_for(std::chrono::seconds(2)) == std::future_status::ready;
        EXPECT_TRUE(inTime) << c.what << ": the owner waits on a bad sender";
        if (!inTime) ::shutdown(bad.Get(), SHUT_RDWR);  // report the fault instead of hanging
        EXPECT_EQ(got.get(), Params{"next"}) << c.what;
        EXPECT_TRUE(sent.get()) << c.what;
        char byte = 0;
        EXPECT_NE(::recv(bad.Get(), &byte, 1, MSG_DONTWAIT), 1)
            << c.what << ": a bad sender must not be acknowledged";
    }
}

// The owner takes the lock before it listens, so a start racing it can find the lock held and
// nobody listening yet: it must keep trying instead of giving up.
TEST_F(InstanceGuardTest, ASenderWaitsForAnOwnerThatIsNotListeningYet) {
    TInstanceGuard owner(kName);
    ASSERT_EQ(::unlink(owner.ChannelPath().c_str()), 0);  // the lock is held, nobody listens
    std::future<bool> sent = SendLater({"early"}, 300);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    Socket listener(RawListen(owner.ChannelPath()));
    ASSERT_GE(listener.Get(), 0);
    ASSERT_TRUE(Readable(listener.Get(), 1000)) << "the sender gave up";
    Socket fd(::accept(listener.Get(), nullptr, nullptr));
    std::string received;
    char buffer[256];
    while (!DecodeInstanceParams(received) && Readable(fd.Get(), 1000)) {
        const ssize_t n = ::recv(fd.Get(), buffer, sizeof buffer, 0);
        if (n <= 0) break;
        received.append(buffer, static_cast<std::size_t>(n));
    }
    EXPECT_EQ(DecodeInstanceParams(received), Params{"early"});
    EXPECT_FALSE(sent.get()) << "never acknowledged, so never reported as delivered";
}

// The owner "goes" by ending normally or by being killed, which leaves its socket file behind.
TEST_F(InstanceGuardTest, ASenderWhoseOwnerIsGoneFailsAtOnce) {
    for (const bool crash : {false, true}) {
        Pipe ready, release;
        const pid_t owner = Spawn([&] {
            {
                TInstanceGuard guard(kName);
                ready.Put(guard.IsFirst() ? 'F' : 'L');
                release.Take(10000);
            }
            return 0;
        });
        ASSERT_EQ(ready.Take(), 'F');
        TInstanceGuard later(kName);
        ASSERT_FALSE(later.IsFirst());
        if (crash) {
            ::kill(owner, SIGKILL);
            EXPECT_EQ(Reap(owner), 128 + SIGKILL);
            EXPECT_TRUE(IdOf(later.ChannelPath())) << "the crashed owner's socket file stays";
        } else {
            release.Put();
            EXPECT_EQ(Reap(owner), 0);
        }
        const auto start = Clock::now();
        EXPECT_FALSE(later.SendParams({"exit"}, 5000)) << crash;
        EXPECT_LT(MsSince(start), 500) << crash;
        EXPECT_NE(later.Error(), "");
    }
}

TEST_F(InstanceGuardTest, AStartAfterACrashBecomesFirstAndReplacesTheStaleSocket) {
    Pipe ready;
    const pid_t owner = Spawn([&] {
        TInstanceGuard guard(kName);
        ready.Put(guard.IsFirst() ? 'F' : 'L');
        ::pause();
        return 0;
    });
    ASSERT_EQ(ready.Take(), 'F');
    ::kill(owner, SIGKILL);
    Reap(owner);
    const std::string socketPath = runtime_ / "nelvo-host.sock";
    ASSERT_TRUE(IdOf(socketPath));
    ASSERT_LT(Socket(RawConnect(socketPath)).Get(), 0) << "nobody listens on the stale socket";

    TInstanceGuard next(kName);
    ASSERT_TRUE(next.IsFirst()) << next.Error();
    EXPECT_EQ(next.Error(), "");
    std::future<bool> sent = SendLater({"after crash"});
    EXPECT_EQ(next.WaitForParams(3000), Params{"after crash"});
    EXPECT_TRUE(sent.get());
}

TEST_F(InstanceGuardTest, TheOwnerRemovesItsFilesButNeverThoseOfALaterOwner) {
    const std::string socketPath = runtime_ / "nelvo-host.sock";
    const std::string lockPath = LockPathOf(socketPath);
    {
        TInstanceGuard owner(kName);
        EXPECT_TRUE(IdOf(socketPath) && IdOf(lockPath));
    }
    EXPECT_FALSE(IdOf(socketPath));
    EXPECT_FALSE(IdOf(lockPath));

    // Someone cleans the folder under a running owner; the next start then owns new files.
    auto old = std::make_unique<TInstanceGuard>(kName);
    ASSERT_EQ(::unlink(socketPath.c_str()), 0);
    ASSERT_EQ(::unlink(lockPath.c_str()), 0);
    TInstanceGuard replacement(kName);
    ASSERT_TRUE(replacement.IsFirst());
    const std::optional<FileId> socketId = IdOf(socketPath), lockId = IdOf(lockPath);
    ASSERT_TRUE(socketId && lockId);
    old.reset();
    EXPECT_EQ(IdOf(socketPath), socketId);
    EXPECT_EQ(IdOf(lockPath), lockId);
    std::future<bool> sent = SendLater({"still here"});
    EXPECT_EQ(replacement.WaitForParams(3000), Params{"still here"});
    EXPECT_TRUE(sent.get());
}

TEST_F(InstanceGuardTest, OfStartsAtTheSameMomentExactlyOneIsFirst) {
    constexpr int kStarts = 8;
    for (int round = 0; round < 25; ++round) {
        std::latch go(kStarts);
        std::atomic<int> firsts{0};
        std::vector<std::unique_ptr<TInstanceGuard>> guards(kStarts);
        std::vector<std::thread> starts;
        for (int i = 0; i < kStarts; ++i)
            starts.emplace_back([&, i] {
                go.arrive_and_wait();
                guards[static_cast<std::size_t>(i)] = std::make_unique<TInstanceGuard>(kName);
                if (guards[static_cast<std::size_t>(i)]->IsFirst()) ++firsts;
            });
        for (std::thread& start : starts) start.join();
        ASSERT_EQ(firsts.load(), 1) << "round " << round;
    }
}

// Real processes racing: the winner hears every loser, also those that tried to send before it
// was listening.
TEST_F(InstanceGuardTest, RacingProgramsElectOneOwnerThatHearsAllTheOthers) {
    constexpr int kStarts = 6;
    Pipe go, firsts;
    std::vector<pid_t> children;
    for (int i = 0; i < kStarts; ++i)
        children.push_back(Spawn([&, i] {
            go.CloseWriteEnd();  // else this child would keep its own wake-up from coming
            go.Take(10000);
            TInstanceGuard guard(kName);
            if (!guard.IsFirst()) return guard.SendParams({std::to_string(i)}) ? 0 : 1;
            firsts.Put('F');
            for (int heard = 0; heard < kStarts - 1; ++heard)
                if (!guard.WaitForParams(5000)) return 2;
            return 0;
        }));
    go.CloseWriteEnd();  // every child wakes at once
    for (pid_t child : children) EXPECT_EQ(Reap(child), 0);
    firsts.CloseWriteEnd();
    EXPECT_EQ(firsts.Take(0), 'F');
    EXPECT_EQ(firsts.Take(0), 0) << "a second owner";
}

// A peer that has gone must cost an error, never the process: SIGPIPE keeps its default action
// in the children, so a missing MSG_NOSIGNAL would kill them.
TEST_F(InstanceGuardTest, APeerThatClosedEarlyKillsNeitherSide) {
    {
        Pipe ready, go;
        const pid_t owner = Spawn([&] {
            ::signal(SIGPIPE, SIG_DFL);
            TInstanceGuard guard(kName);
            ready.Put();
            go.Take();
            return guard.WaitForParams(3000) == Params{"bye"} ? 0 : 1;
        });
        ASSERT_EQ(ready.Take(), '.');
        Socket client(RawConnect(runtime_ / "nelvo-host.sock"));
        SendRaw(client.Get(), *EncodeInstanceParams({"bye"}));
        client.Close();  // gone before the acknowledgement
        go.Put();
        EXPECT_EQ(Reap(owner), 0) << "the owner";
    }
    {
        TInstanceGuard owner(kName);
        // A listener that takes the connection and drops it unread.
        ASSERT_EQ(::unlink(owner.ChannelPath().c_str()), 0);
        Socket dropper(RawListen(owner.ChannelPath()));
        ASSERT_GE(dropper.Get(), 0);
        const pid_t sender = Spawn([&] {
            ::signal(SIGPIPE, SIG_DFL);
            TInstanceGuard later(kName);
            return later.SendParams({std::string(900 * 1024, 'b')}, 3000) ? 1 : 0;
        });
        ASSERT_TRUE(Readable(dropper.Get(), 3000));
        ::close(::accept(dropper.Get(), nullptr, nullptr));
        EXPECT_EQ(Reap(sender), 0) << "the sender";
    }
}

TEST_F(InstanceGuardTest, WithoutAUsableRuntimeFolderAPrivateFolderUnderTempIsUsed) {
    TempDir temp;
    ScopedEnv tmpdir("TMPDIR", temp.Path().c_str());
    const std::string fallback = temp / ("nelvo-host-" + std::to_string(::geteuid()));
    TempDir open;
    ASSERT_EQ(::chmod(open.Path().c_str(), 0755), 0);
    const std::string notAFolder = open / "file";
    test::WriteFile(notAFolder, "");
    const struct {
        const char* what;
        const char* runtime;
    } cases[] = {
        {"unset", nullptr},
        {"empty", ""},
        {"relative", "run/user"},
        {"missing", "/nonexistent/nelvo-runtime"},
        {"open to others", open.Path().c_str()},
        {"not a folder", notAFolder.c_str()},
    };
    for (const auto& c : cases) {
        ScopedEnv runtime("XDG_RUNTIME_DIR", c.runtime);
        TInstanceGuard owner(kName);
        ASSERT_TRUE(owner.IsFirst()) << c.what;
        EXPECT_EQ(owner.Error(), "") << c.what;
        EXPECT_EQ(owner.ChannelPath(), fallback + "/nelvo-host.sock") << c.what;
        struct stat info {};
        ASSERT_EQ(::lstat(fallback.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0700u) << c.what;
        std::future<bool> sent = SendLater({c.what});
        EXPECT_EQ(owner.WaitForParams(3000), Params{c.what});
        EXPECT_TRUE(sent.get()) << c.what;
    }
}

TEST_F(InstanceGuardTest, TheChannelNameIsSafeWhateverTheProgramIsCalled) {
    const struct {
        std::string identity;
        std::string file;
    } cases[] = {
        {"/opt/nelvo/bin/nelvo-host", "nelvo-host.sock"},
        {"nelvo host", "nelvo_host.sock"},
        {"хост", "________.sock"},
        {"", "program.sock"},
        {"..", "program.sock"},
        {std::string(300, 'n'), std::string(64, 'n') + ".sock"},
    };
    for (const auto& c : cases) {
        TInstanceGuard owner(c.identity);
        EXPECT_TRUE(owner.IsFirst()) << c.identity;
        EXPECT_EQ(owner.ChannelPath(), runtime_ / c.file) << c.identity;
    }
}

// When no channel can be made, the start runs as the first (running twice beats not running),
// says why, and a wait for parameters still ends on time. A folder planted in the temp folder
// under the channel's name (here a link to somewhere else) must never be used.
TEST_F(InstanceGuardTest, WithoutAChannelTheStartRunsAsFirstAndSaysWhy) {
    TempDir temp, elsewhere;
    ScopedEnv runtime("XDG_RUNTIME_DIR", nullptr);
    const std::string planted = temp / ("nelvo-host-" + std::to_string(::geteuid()));
    ASSERT_EQ(::symlink(elsewhere.Path().c_str(), planted.c_str()), 0);
    const std::string deep = temp / std::string(120, 'd');
    ASSERT_EQ(::mkdir(deep.c_str(), 0700), 0);
    for (const std::string& base : {temp.Path(), deep}) {
        ScopedEnv tmpdir("TMPDIR", base.c_str());
        TInstanceGuard guard(kName);
        EXPECT_TRUE(guard.IsFirst()) << base;
        EXPECT_NE(guard.Error(), "") << base;
        EXPECT_EQ(guard.ChannelPath(), "") << base;
        const auto start = Clock::now();
        EXPECT_EQ(guard.WaitForParams(10), std::nullopt);
        EXPECT_LT(MsSince(start), 500);
    }
    EXPECT_FALSE(IdOf(elsewhere / "nelvo-host.lock"));
    EXPECT_FALSE(IdOf(elsewhere / "nelvo-host.sock"));
}

// --- another user ----------------------------------------------------------------------------

constexpr uid_t kNobody = 65534;

void BecomeNobody() {
    if (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) ::_exit(99);
}

class OtherUserTest : public InstanceGuardTest {
protected:
    void SetUp() override {
        if (::geteuid() != 0) GTEST_SKIP() << "needs root to play another user";
    }
};

// The folder keeps others out; the peer check is what remains when it does not (a runtime
// folder opened by mistake).
TEST_F(OtherUserTest, TheOwnerIgnoresParametersFromAnotherUser) {
    TInstanceGuard owner(kName);
    ASSERT_EQ(::chmod(runtime_.Path().c_str(), 0711), 0);
    ASSERT_EQ(::chmod(owner.ChannelPath().c_str(), 0666), 0);
    Pipe sent;
    const pid_t intruder = Spawn([&] {
        BecomeNobody();
        Socket fd(RawConnect(owner.ChannelPath()));
        if (fd.Get() < 0) return 3;
        const std::string message = *EncodeInstanceParams({"exit"});
        if (::send(fd.Get(), message.data(), message.size(), MSG_NOSIGNAL) < 0) return 4;
        sent.Put();
        char ack = 0;
        return Readable(fd.Get(), 3000) && ::recv(fd.Get(), &ack, 1, 0) == 1 ? 1 : 0;
    });
    ASSERT_EQ(sent.Take(), '.');
    ASSERT_EQ(::chmod(runtime_.Path().c_str(), 0700), 0);
    std::future<bool> own = SendLater({"mine"});
    EXPECT_EQ(owner.WaitForParams(3000), Params{"mine"});
    EXPECT_TRUE(own.get());
    EXPECT_EQ(Reap(intruder), 0) << "the intruder was acknowledged";
}

TEST_F(OtherUserTest, ParametersAreNeverHandedToAnotherUsersSocket) {
    TInstanceGuard owner(kName);
    ASSERT_EQ(::unlink(owner.ChannelPath().c_str()), 0);
    ASSERT_EQ(::chmod(runtime_.Path().c_str(), 0777), 0);
    Pipe listening;
    const pid_t impostor = Spawn([&] {
        BecomeNobody();
        Socket listener(RawListen(owner.ChannelPath()));
        if (listener.Get() < 0) return 3;
        ::chmod(owner.ChannelPath().c_str(), 0777);
        listening.Put();
        if (!Readable(listener.Get(), 3000)) return 4;
        Socket fd(::accept(listener.Get(), nullptr, nullptr));
        char byte = 0;
        return Readable(fd.Get(), 500) && ::recv(fd.Get(), &byte, 1, 0) == 1 ? 1 : 0;
    });
    ASSERT_EQ(listening.Take(), '.');
    ASSERT_EQ(::chmod(runtime_.Path().c_str(), 0700), 0);
    TInstanceGuard later(kName);
    ASSERT_FALSE(later.IsFirst());
    EXPECT_FALSE(later.SendParams({"secret"}, 2000));
    EXPECT_NE(later.Error(), "");
    EXPECT_EQ(Reap(impostor), 0) << "the impostor received bytes";
}

}  // namespace
}  // namespace nelvo::platform

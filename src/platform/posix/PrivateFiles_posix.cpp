#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/Platform.h"
#include "platform/PrivateFiles.h"

namespace nelvo::platform {

namespace {

static_assert(sizeof(sigset_t) <= 128, "signal mask does not fit its storage");

// An open descriptor, closed by its owner.
class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int Get() const { return fd_; }
    bool Close() { return ::close(std::exchange(fd_, -1)) == 0; }

private:
    int fd_;
};

bool WriteAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

int OpenNew(const std::string& path) {
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
}

sigset_t PipeSet() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGPIPE);
    return set;
}

}  // namespace

bool MakePrivateFolder(const std::string& folder, std::string& error) {
    auto fail = [&](const char* what) {
        error = std::string(what) + " " + folder + ": " + LastErrorMessage();
        return false;
    };
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return fail("Cannot create");
    struct stat info {};
    if (::lstat(folder.c_str(), &info) != 0) return fail("Cannot inspect");
    if (!S_ISDIR(info.st_mode) || info.st_uid != ::geteuid()) {
        error = "Not a private folder of this user: " + folder;
        return false;
    }
    if ((info.st_mode & 0777) != 0700 && ::chmod(folder.c_str(), 0700) != 0)
        return fail("Cannot protect");
    return true;
}

CreateResult CreatePrivateFile(const std::string& path, const std::string& text) {
    Fd fd(OpenNew(path));
    if (fd.Get() < 0) return errno == EEXIST ? CreateResult::Exists : CreateResult::Failed;
    if (!WriteAll(fd.Get(), text) || !fd.Close()) return CreateResult::Failed;
    return CreateResult::Created;
}

bool WritePrivateFileAtomic(const std::string& path, const std::string& text) {
    const std::string staging = path + ".new";
    ::unlink(staging.c_str());  // left over by a run that died while writing
    Fd fd(OpenNew(staging));
    if (fd.Get() < 0) return false;
    if (!WriteAll(fd.Get(), text) || ::fsync(fd.Get()) != 0 || !fd.Close()) return false;
    return ::rename(staging.c_str(), path.c_str()) == 0;
}

std::string MakeTempFolder(const std::string& base, const std::string& prefix) {
    std::string pattern = base + "/" + prefix + "XXXXXX";
    if (!::mkdtemp(pattern.data())) return {};
    return pattern;
}

bool RemoveEmptyFolder(const std::string& folder) {
    return ::rmdir(folder.c_str()) == 0;
}

FileLock::FileLock(const std::string& path)
    : fd_(::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600)) {
    if (fd_ < 0) {
        error_ = "Cannot open lock file " + path + ": " + LastErrorMessage();
        return;
    }
    while (::flock(fd_, LOCK_EX) != 0) {
        if (errno == EINTR) continue;
        error_ = "Cannot lock " + path + ": " + LastErrorMessage();
        ::close(std::exchange(fd_, -1));
        return;
    }
}

FileLock::~FileLock() {
    if (fd_ >= 0) ::close(fd_);  // releases the lock
}

RunResult RunProgram(const std::string& program, const std::vector<std::string>& args) {
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) return {false, LastErrorMessage()};
    Fd readEnd(pipeFds[0]);
    std::vector<std::string> all = {program};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : all) argv.push_back(arg.data());
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(pipeFds[1], STDOUT_FILENO);
        ::dup2(pipeFds[1], STDERR_FILENO);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    RunResult result;
    if (pid < 0) return {false, LastErrorMessage()};
    char buffer[512];
    ssize_t n;
    while ((n = ::read(readEnd.Get(), buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR))
        if (n > 0) result.output.append(buffer, static_cast<std::size_t>(n));
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return result;
}

ScopedSigPipeBlock::ScopedSigPipeBlock() {
    const sigset_t pipe = PipeSet();
    sigset_t former;
    pthread_sigmask(SIG_BLOCK, &pipe, &former);
    std::memcpy(former_, &former, sizeof former);
}

ScopedSigPipeBlock::~ScopedSigPipeBlock() {
    sigset_t former;
    std::memcpy(&former, former_, sizeof former);
    const sigset_t pipe = PipeSet();
    sigset_t pending;
    sigemptyset(&pending);
    if (!sigismember(&former, SIGPIPE) && sigpending(&pending) == 0 &&
        sigismember(&pending, SIGPIPE)) {
        const timespec noWait{0, 0};
        sigtimedwait(&pipe, nullptr, &noWait);
    }
    pthread_sigmask(SIG_SETMASK, &former, nullptr);
}

}  // namespace nelvo::platform

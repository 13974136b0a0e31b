// Files only their owner may read: the stored material and the temporary copies. The generic
// file layer knows nothing of modes and locks, so this module does it with the POSIX calls.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <utility>
#include <vector>

#include "platform/Platform.h"
#include "tools/QxSysTools.h"
#include "web/U_InitSSL_Internal.h"

namespace nelvo::ssl_detail {

namespace {

[[noreturn]] void FailOn(const std::string& what, const std::string& path) {
    throw ESSLError(what + " " + path + ": " + platform::LastErrorMessage());
}

// An open descriptor, closed by its owner.
class TFd {
public:
    explicit TFd(int fd) : fd_(fd) {}
    ~TFd() {
        if (fd_ >= 0) ::close(fd_);
    }
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
    int Get() const { return fd_; }
    int Release() { return std::exchange(fd_, -1); }

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

}  // namespace

void MakePrivateFolder(const std::string& folder) {
    const std::string parent = ExtractFileDir(folder);
    if (!parent.empty() && !platform::ForceDirectories(parent))
        FailOn("Cannot create folder", parent);
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) FailOn("Cannot create", folder);
    struct stat info {};
    if (::lstat(folder.c_str(), &info) != 0) FailOn("Cannot inspect", folder);
    // A link or someone else's folder could hand our key to another user.
    if (!S_ISDIR(info.st_mode) || info.st_uid != ::geteuid())
        throw ESSLError("Not a private folder of this user: " + folder);
    if ((info.st_mode & 0777) != 0700 && ::chmod(folder.c_str(), 0700) != 0)
        FailOn("Cannot protect", folder);
}

bool CreatePrivateFile(const std::string& path, const std::string& text) {
    TFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (fd.Get() < 0) {
        if (errno == EEXIST) return false;
        FailOn("Cannot create", path);
    }
    if (!WriteAll(fd.Get(), text)) FailOn("Cannot write", path);
    if (::close(fd.Release()) != 0) FailOn("Cannot write", path);
    return true;
}

void WritePrivateFileAtomic(const std::string& path, const std::string& text) {
    const std::string staging = path + ".new";
    ::unlink(staging.c_str());  // left over by a run that died while writing
    TFd fd(::open(staging.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (fd.Get() < 0) FailOn("Cannot create", staging);
    if (!WriteAll(fd.Get(), text) || ::fsync(fd.Get()) != 0) FailOn("Cannot write", staging);
    if (::close(fd.Release()) != 0) FailOn("Cannot write", staging);
    if (::rename(staging.c_str(), path.c_str()) != 0) FailOn("Cannot replace", path);
}

std::string MakePrivateTempFolder() {
    const std::string base = ExpandConfigVars("%Temp%");
    platform::ForceDirectories(base);
    std::string pattern = PathJoin({base, "nelvo-tls-XXXXXX"});
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (!::mkdtemp(buffer.data())) FailOn("Cannot create a temporary folder in", base);
    return buffer.data();
}

bool RemoveEmptyFolder(const std::string& folder) {
    return ::rmdir(folder.c_str()) == 0;
}

TFileLock::TFileLock(const std::string& path)
    : fd_(::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600)) {
    if (fd_ < 0) FailOn("Cannot open lock file", path);
    while (::flock(fd_, LOCK_EX) != 0) {
        if (errno == EINTR) continue;
        const std::string reason = platform::LastErrorMessage();
        ::close(fd_);
        throw ESSLError("Cannot lock " + path + ": " + reason);
    }
}

TFileLock::~TFileLock() {
    ::close(fd_);  // releases the lock
}

}  // namespace nelvo::ssl_detail

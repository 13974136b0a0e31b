#include "keystore/PrivateFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <utility>

namespace nelvo::cryptoplugin {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void Fail(const std::string& what, const fs::path& path, int error) {
    throw KeyStoreIoError(what + " " + path.string() + ": " + std::strerror(error));
}

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int Get() const { return fd_; }
    int Release() { return std::exchange(fd_, -1); }

private:
    int fd_;
};

void WriteAll(int fd, std::string_view text, const fs::path& path) {
    while (!text.empty()) {
        const ssize_t written = ::write(fd, text.data(), text.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            Fail("cannot write", path, errno);
        }
        text.remove_prefix(static_cast<std::size_t>(written));
    }
}

// The folder's entry list must reach the disk too, or a rename may be lost in a crash.
void SyncFolder(const fs::path& folder) {
    FileDescriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.Get() >= 0) ::fsync(fd.Get());
}

void WriteNewFile(const fs::path& file, std::string_view text) {
    FileDescriptor fd(::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (fd.Get() < 0) Fail("cannot create", file, errno);
    WriteAll(fd.Get(), text, file);
    if (::fsync(fd.Get()) != 0) Fail("cannot sync", file, errno);
    if (::close(fd.Release()) != 0) Fail("cannot close", file, errno);
}

// A temporary name beside the final one, hidden from listings by its leading dot.
std::string TemporaryPattern(const fs::path& path) {
    return (path.parent_path() / ("." + path.filename().string() + ".tmp-XXXXXX")).string();
}

struct TemporaryFolder {
    fs::path path;
    bool keep = false;
    ~TemporaryFolder() {
        std::error_code ignored;
        if (!keep && !path.empty()) fs::remove_all(path, ignored);
    }
};

}  // namespace

void EnsurePrivateDirectory(const fs::path& folder) {
    if (folder.empty()) return;
    struct stat info {};
    if (::stat(folder.c_str(), &info) == 0) {
        if (!S_ISDIR(info.st_mode)) Fail("not a folder:", folder, ENOTDIR);
        return;
    }
    if (folder.has_parent_path() && folder.parent_path() != folder) {
        EnsurePrivateDirectory(folder.parent_path());
    }
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) Fail("cannot create", folder, errno);
}

void WritePrivateFileAtomically(const fs::path& file, std::string_view text) {
    std::string pattern = TemporaryPattern(file);
    FileDescriptor fd(::mkstemp(pattern.data()));
    if (fd.Get() < 0) Fail("cannot create a temporary file for", file, errno);
    const fs::path temporary = pattern;
    try {
        ::fchmod(fd.Get(), 0600);
        WriteAll(fd.Get(), text, temporary);
        if (::fsync(fd.Get()) != 0) Fail("cannot sync", temporary, errno);
        if (::close(fd.Release()) != 0) Fail("cannot close", temporary, errno);
        if (::rename(temporary.c_str(), file.c_str()) != 0) Fail("cannot rename into", file, errno);
    } catch (...) {
        ::unlink(temporary.c_str());
        throw;
    }
    SyncFolder(file.parent_path());
}

bool CreatePrivateFolderAtomically(const fs::path& folder, const std::vector<NamedText>& files) {
    std::string pattern = TemporaryPattern(folder);
    if (::mkdtemp(pattern.data()) == nullptr) Fail("cannot create a temporary folder for", folder, errno);
    TemporaryFolder temporary{pattern};
    ::chmod(temporary.path.c_str(), 0700);
    for (const NamedText& file : files) WriteNewFile(temporary.path / file.name, file.text);
    SyncFolder(temporary.path);
    // rename() refuses to replace a folder that holds anything, which is what keeps two
    // writers of the same container name from overwriting each other.
    if (::rename(temporary.path.c_str(), folder.c_str()) != 0) {
        if (errno == EEXIST || errno == ENOTEMPTY) return false;
        Fail("cannot rename into", folder, errno);
    }
    temporary.keep = true;
    SyncFolder(folder.parent_path());
    return true;
}

std::optional<std::string> ReadWholeFile(const fs::path& file) {
    std::ifstream stream(file, std::ios::binary);
    if (!stream) {
        std::error_code error;
        if (!fs::exists(file, error)) return std::nullopt;
        Fail("cannot read", file, errno);
    }
    std::ostringstream text;
    text << stream.rdbuf();
    return text.str();
}

}  // namespace nelvo::cryptoplugin

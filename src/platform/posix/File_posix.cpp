#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/File.h"

namespace nelvo::platform {

File::~File() {
    Close();
}

File::File(File&& other) noexcept : fd_(other.fd_) {
    other.fd_ = -1;
}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

bool File::Open(const std::string& path, Mode mode) {
    Close();
    int flags = O_CLOEXEC;
    switch (mode) {
        case Mode::Read:
            flags |= O_RDONLY;
            break;
        case Mode::Write:
            flags |= O_WRONLY;
            break;
        case Mode::Create:
            flags |= O_WRONLY | O_CREAT | O_TRUNC;
            break;
        case Mode::Append:
            flags |= O_WRONLY | O_CREAT | O_APPEND;
            break;
    }
    do {
        fd_ = ::open(path.c_str(), flags, 0666);
    } while (fd_ < 0 && errno == EINTR);
    if (fd_ < 0) return false;
    // A folder opens for reading on Linux; as a file it is unusable.
    struct stat st {};
    if (fstat(fd_, &st) == 0 && S_ISDIR(st.st_mode)) {
        Close();
        errno = EISDIR;
        return false;
    }
    return true;
}

void File::Close() {
    if (fd_ >= 0) {
        const int saved = errno;
        ::close(fd_);
        errno = saved;
        fd_ = -1;
    }
}

bool File::Write(const void* data, std::size_t count) {
    const char* p = static_cast<const char*>(data);
    while (count > 0) {
        const ssize_t n = ::write(fd_, p, count);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += n;
        count -= static_cast<std::size_t>(n);
    }
    return true;
}

std::int64_t File::Read(void* data, std::size_t count) {
    ssize_t n;
    do {
        n = ::read(fd_, data, count);
    } while (n < 0 && errno == EINTR);
    return n;
}

std::int64_t File::Position() const {
    return ::lseek(fd_, 0, SEEK_CUR);
}

bool File::Seek(std::int64_t offset) {
    return ::lseek(fd_, offset, SEEK_SET) == offset;
}

bool File::SeekToEnd() {
    return ::lseek(fd_, 0, SEEK_END) >= 0;
}

std::int64_t File::Size() const {
    struct stat st {};
    return fstat(fd_, &st) == 0 ? static_cast<std::int64_t>(st.st_size) : -1;
}

bool File::Flush() {
    return fd_ >= 0 && (::fsync(fd_) == 0 || errno == EINVAL || errno == EROFS);
}

bool ReadWholeFile(const std::string& path, std::string& out, std::size_t maxBytes) {
    File file;
    if (!file.Open(path, File::Mode::Read)) return false;
    out.clear();
    char buffer[65536];
    for (;;) {
        const std::int64_t n = file.Read(buffer, sizeof buffer);
        if (n < 0) return false;
        if (n == 0) return true;
        if (out.size() + static_cast<std::size_t>(n) > maxBytes) return false;
        out.append(buffer, static_cast<std::size_t>(n));
    }
}

}  // namespace nelvo::platform

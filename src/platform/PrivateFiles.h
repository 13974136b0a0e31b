// Files and folders only their owner may use, cross-process file locks, running a helper
// program, and holding back SIGPIPE: what the TLS material and its tools need from the system.
#pragma once

#include <string>
#include <vector>

namespace nelvo::platform {

// Creates the folder with owner-only access (its parent must exist), or tightens an existing
// one. False, with the reason, when it cannot, or when the path is not a real folder of this
// user (a link or someone else's folder could hand our key to another user).
bool MakePrivateFolder(const std::string& folder, std::string& error);

enum class CreateResult { Created, Exists, Failed };
// Creates a new owner-only file that must not exist yet.
CreateResult CreatePrivateFile(const std::string& path, const std::string& text);

// Writes an owner-only file beside its final name, flushes it, then renames it into place, so
// that a reader sees the old text or the new one, never half of it.
bool WritePrivateFileAtomic(const std::string& path, const std::string& text);

// A fresh owner-only folder named prefix + random characters under base; empty on failure.
std::string MakeTempFolder(const std::string& base, const std::string& prefix);

// Removes an empty folder; false when it is not empty or gone.
bool RemoveEmptyFolder(const std::string& folder);

// An exclusive lock on a lock file, held across processes until the object ends.
class FileLock {
public:
    explicit FileLock(const std::string& path);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    bool Locked() const { return fd_ >= 0; }
    const std::string& Error() const { return error_; }

private:
    int fd_ = -1;
    std::string error_;
};

struct RunResult {
    bool ok = false;     // started and exited with code 0
    std::string output;  // what it printed on standard output and error
};
// Runs a program with its arguments (no shell) and waits for it.
RunResult RunProgram(const std::string& program, const std::vector<std::string>& args);

// Holds SIGPIPE back on this thread while it lives, and takes a pending one away before the
// former mask returns: a write to a dropped peer then fails with EPIPE instead of ending the
// program.
class ScopedSigPipeBlock {
public:
    ScopedSigPipeBlock();
    ~ScopedSigPipeBlock();
    ScopedSigPipeBlock(const ScopedSigPipeBlock&) = delete;
    ScopedSigPipeBlock& operator=(const ScopedSigPipeBlock&) = delete;

private:
    unsigned char former_[128];  // the thread's former signal mask (a sigset_t)
};

}  // namespace nelvo::platform

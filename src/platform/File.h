// An open file, owned: the one place where the host reads and writes files byte by byte.
// Files are opened so that other readers and writers are not locked out, as a log file must be.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace nelvo::platform {

class File {
public:
    enum class Mode {
        Read,    // existing file, reading
        Write,   // existing file, writing (position at the start)
        Create,  // create or truncate, writing
        Append,  // create when missing, writing at the end
    };

    File() = default;
    ~File();
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // Opens the file; false (with errno kept for LastErrorMessage) on failure.
    bool Open(const std::string& path, Mode mode);
    bool IsOpen() const { return fd_ >= 0; }
    void Close();

    // Writes every byte or returns false.
    bool Write(const void* data, std::size_t count);
    bool Write(std::string_view bytes) { return Write(bytes.data(), bytes.size()); }
    // Reads up to count bytes; returns the number read, or -1 on error.
    std::int64_t Read(void* data, std::size_t count);
    // Position and size; -1 on error.
    std::int64_t Position() const;
    bool Seek(std::int64_t offset);
    bool SeekToEnd();
    std::int64_t Size() const;
    bool Flush();

private:
    int fd_ = -1;
};

// Reads a whole file (at most maxBytes); false when it cannot be read or is larger.
bool ReadWholeFile(const std::string& path, std::string& out, std::size_t maxBytes);

}  // namespace nelvo::platform

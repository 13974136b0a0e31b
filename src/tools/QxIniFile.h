// An INI file read once into memory: reads are served from the copy, writes change the copy,
// and UpdateFile writes the copy back. Section and key names ignore letter case. The bytes of
// the file are kept as they are (a value, comment or name that is not UTF-8 survives a save),
// and so are a byte-order mark at the start, CR LF line breaks and comments, including those
// after the last entry. Lines that are neither a section, a key, a comment nor blank are not
// kept.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace nelvo {

class TMemIniFile {
public:
    explicit TMemIniFile(std::string fileName);
    ~TMemIniFile();
    TMemIniFile(const TMemIniFile&) = delete;
    TMemIniFile& operator=(const TMemIniFile&) = delete;

    const std::string& FileName() const { return fileName_; }

    bool ValueExists(const std::string& section, const std::string& key) const;
    std::string ReadString(const std::string& section, const std::string& key,
                           const std::string& defaultValue) const;
    // A value that is not a decimal 32-bit integer reads as the default.
    std::int32_t ReadInteger(const std::string& section, const std::string& key,
                             std::int32_t defaultValue) const;
    // True when the value's first character is "1" ("true" and "yes" are false); a missing or
    // empty value reads as the default.
    bool ReadBool(const std::string& section, const std::string& key, bool defaultValue) const;

    // Raises EFileError for a name or value the file cannot hold (a line break or a zero byte
    // in any of them, "]" in a section name, "=" in a key): written, it would change other
    // entries when the file is read again.
    void WriteString(const std::string& section, const std::string& key, const std::string& value);
    void WriteInteger(const std::string& section, const std::string& key, std::int32_t value);

    // True when a write changed the copy since the file was read or last written.
    bool Modified() const;
    // Drops every change made to the copy since the file was read or last written.
    void Revert();

    // Writes the copy to the file when it was modified (atomically: a temporary file renamed
    // over it), and leaves the file untouched otherwise. Raises EFileError when the file cannot
    // be written, and when it exists but could not be read (it is never replaced by what little
    // was understood of it); the copy then stays as it is.
    void UpdateFile();

private:
    struct Impl;
    std::string fileName_;
    std::unique_ptr<Impl> impl_;
};

}  // namespace nelvo

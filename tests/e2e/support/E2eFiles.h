// Reading what the program leaves on disk: plain files, its INI file, Local Storage databases.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace e2e {

std::string ReadFile(const std::string& path);  // empty when missing
void WriteFile(const std::string& path, const std::string& bytes);
// Names (not paths) in a folder, sorted; empty when the folder does not exist.
std::vector<std::string> ListDir(const std::string& dir);

// An INI file as sections of keys; names are kept as written, looked up without letter case.
class IniFile {
public:
    explicit IniFile(const std::string& text);
    std::vector<std::string> Sections() const;                        // lower-cased, sorted
    std::vector<std::string> Keys(const std::string& section) const;  // lower-cased, sorted
    std::string Value(const std::string& section, const std::string& key) const;
    bool Has(const std::string& section, const std::string& key) const;

private:
    std::map<std::string, std::map<std::string, std::string>> sections_;
};

// The rows of ItemTable in one Local Storage file: key -> value bytes.
std::map<std::string, std::string> ReadLocalStorage(const std::string& file);
// Writes rows into a Local Storage file the way a browser keeps it (for pre-existing data).
void WriteLocalStorage(const std::string& file, const std::map<std::string, std::string>& rows);

// The port as the program publishes it: decimal text as UTF-16 little-endian bytes.
std::string Utf16Port(int port);

}  // namespace e2e

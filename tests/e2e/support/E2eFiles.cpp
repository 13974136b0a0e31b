#include "support/E2eFiles.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>

namespace e2e {

namespace fs = std::filesystem;

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    if (!out) throw std::runtime_error("cannot write " + path);
}

std::vector<std::string> ListDir(const std::string& dir) {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
        names.push_back(it->path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// --- IniFile -----------------------------------------------------------------------------------

namespace {

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string Trim(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return {};
    const auto last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

}  // namespace

IniFile::IniFile(const std::string& text) {
    std::istringstream lines(text);
    std::string line;
    std::string section;
    while (std::getline(lines, line)) {
        line = Trim(line);
        if (line.rfind("\xEF\xBB\xBF", 0) == 0) line = line.substr(3);
        if (line.empty() || line[0] == ';' || line[0] == '#') continue;
        if (line.front() == '[' && line.back() == ']') {
            section = Lower(Trim(line.substr(1, line.size() - 2)));
            sections_[section];
            continue;
        }
        const auto eq = line.find('=');
        if (eq == std::string::npos) continue;
        sections_[section][Lower(Trim(line.substr(0, eq)))] = Trim(line.substr(eq + 1));
    }
}

std::vector<std::string> IniFile::Sections() const {
    std::vector<std::string> names;
    for (const auto& [name, keys] : sections_) names.push_back(name);
    return names;
}

std::vector<std::string> IniFile::Keys(const std::string& section) const {
    std::vector<std::string> names;
    auto it = sections_.find(Lower(section));
    if (it != sections_.end())
        for (const auto& [key, value] : it->second) names.push_back(key);
    return names;
}

bool IniFile::Has(const std::string& section, const std::string& key) const {
    auto it = sections_.find(Lower(section));
    return it != sections_.end() && it->second.count(Lower(key)) > 0;
}

std::string IniFile::Value(const std::string& section, const std::string& key) const {
    auto it = sections_.find(Lower(section));
    if (it == sections_.end()) return {};
    auto kv = it->second.find(Lower(key));
    return kv == it->second.end() ? std::string() : kv->second;
}

// --- Local Storage -----------------------------------------------------------------------------

namespace {

struct DbClose {
    void operator()(sqlite3* db) const { sqlite3_close(db); }
};
struct StmtFinalize {
    void operator()(sqlite3_stmt* stmt) const { sqlite3_finalize(stmt); }
};
using Db = std::unique_ptr<sqlite3, DbClose>;
using Stmt = std::unique_ptr<sqlite3_stmt, StmtFinalize>;

Db Open(const std::string& file, int flags) {
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(file.c_str(), &raw, flags, nullptr);
    Db db(raw);
    if (rc != SQLITE_OK)
        throw std::runtime_error("cannot open " + file + ": " + sqlite3_errstr(rc));
    return db;
}

Stmt Prepare(sqlite3* db, const char* sql) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &raw, nullptr) != SQLITE_OK)
        throw std::runtime_error(std::string("SQL failed: ") + sqlite3_errmsg(db));
    return Stmt(raw);
}

}  // namespace

std::map<std::string, std::string> ReadLocalStorage(const std::string& file) {
    Db db = Open(file, SQLITE_OPEN_READONLY);
    Stmt stmt = Prepare(db.get(), "SELECT key, value FROM ItemTable");
    std::map<std::string, std::string> rows;
    while (sqlite3_step(stmt.get()) == SQLITE_ROW) {
        const auto* key = reinterpret_cast<const char*>(sqlite3_column_text(stmt.get(), 0));
        const auto* value = static_cast<const char*>(sqlite3_column_blob(stmt.get(), 1));
        const int size = sqlite3_column_bytes(stmt.get(), 1);
        rows[key ? key : ""] =
            value ? std::string(value, static_cast<size_t>(size)) : std::string();
    }
    return rows;
}

void WriteLocalStorage(const std::string& file, const std::map<std::string, std::string>& rows) {
    Db db = Open(file, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    sqlite3_exec(db.get(),
                 "CREATE TABLE IF NOT EXISTS ItemTable (key TEXT UNIQUE ON CONFLICT REPLACE, "
                 "value BLOB NOT NULL ON CONFLICT FAIL)",
                 nullptr, nullptr, nullptr);
    for (const auto& [key, value] : rows) {
        Stmt stmt = Prepare(db.get(), "INSERT INTO ItemTable (key, value) VALUES (?, ?)");
        sqlite3_bind_text(stmt.get(), 1, key.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_blob(stmt.get(), 2, value.data(), static_cast<int>(value.size()),
                          SQLITE_TRANSIENT);
        if (sqlite3_step(stmt.get()) != SQLITE_DONE)
            throw std::runtime_error(std::string("insert failed: ") + sqlite3_errmsg(db.get()));
    }
}

std::string Utf16Port(int port) {
    std::string bytes;
    for (char c : std::to_string(port)) {
        bytes += c;
        bytes += '\0';
    }
    return bytes;
}

}  // namespace e2e

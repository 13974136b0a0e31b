// Small owners of SQLite handles: a connection to one database file, a transaction on it and a
// prepared statement. Failures raise ESQLiteError with SQLite's own message; destructors never
// raise, and a transaction still open when its owner goes is rolled back.
#pragma once

#include <sqlite3.h>

#include <stdexcept>
#include <string>

namespace nelvo {

class ESQLiteError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TSQLiteConnection {
public:
    TSQLiteConnection() = default;
    ~TSQLiteConnection() { Close(); }
    TSQLiteConnection(const TSQLiteConnection&) = delete;
    TSQLiteConnection& operator=(const TSQLiteConnection&) = delete;

    // Opens the file for reading and writing, creating it when missing; closes the previous one.
    void Open(const std::string& fileName) {
        Close();
        sqlite3* db = nullptr;
        const int rc = sqlite3_open_v2(fileName.c_str(), &db,
                                       SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
        if (rc != SQLITE_OK) {
            const std::string message = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
            sqlite3_close_v2(db);
            throw ESQLiteError("cannot open " + fileName + ": " + message);
        }
        Db_ = db;
    }
    void Close() {
        if (Db_) sqlite3_close_v2(Db_);
        Db_ = nullptr;
    }
    bool Connected() const { return Db_ != nullptr; }
    sqlite3* Handle() const { return Db_; }

    void ExecuteDirect(const std::string& sql) {
        if (!Db_) throw ESQLiteError("no database open");
        char* error = nullptr;
        if (sqlite3_exec(Db_, sql.c_str(), nullptr, nullptr, &error) == SQLITE_OK) return;
        const std::string message = error ? error : sqlite3_errmsg(Db_);
        sqlite3_free(error);
        throw ESQLiteError(message);
    }

private:
    sqlite3* Db_ = nullptr;
};

class TSQLiteTransaction {
public:
    explicit TSQLiteTransaction(TSQLiteConnection& connection) : Connection_(connection) {}
    ~TSQLiteTransaction() {
        try {
            Rollback();
        } catch (...) {
            // The connection is closing or gone; SQLite undoes an open transaction on close.
        }
    }
    TSQLiteTransaction(const TSQLiteTransaction&) = delete;
    TSQLiteTransaction& operator=(const TSQLiteTransaction&) = delete;

    void Start() {
        Connection_.ExecuteDirect("BEGIN");
        Active_ = true;
    }
    void Commit() {
        Connection_.ExecuteDirect("COMMIT");
        Active_ = false;
    }
    void Rollback() {
        if (!Active_) return;
        Active_ = false;
        // A failed statement may already have ended the transaction.
        if (Connection_.Connected() && !sqlite3_get_autocommit(Connection_.Handle()))
            Connection_.ExecuteDirect("ROLLBACK");
    }
    bool Active() const { return Active_; }

private:
    TSQLiteConnection& Connection_;
    bool Active_ = false;
};

class TSQLiteStatement {
public:
    TSQLiteStatement(const TSQLiteConnection& connection, const std::string& sql) {
        if (sqlite3_prepare_v2(connection.Handle(), sql.c_str(), -1, &Stmt_, nullptr) != SQLITE_OK)
            throw ESQLiteError(sqlite3_errmsg(connection.Handle()));
    }
    ~TSQLiteStatement() { sqlite3_finalize(Stmt_); }
    TSQLiteStatement(const TSQLiteStatement&) = delete;
    TSQLiteStatement& operator=(const TSQLiteStatement&) = delete;

    // True while a row is there to read.
    bool Step() {
        const int rc = sqlite3_step(Stmt_);
        if (rc == SQLITE_ROW) return true;
        if (rc == SQLITE_DONE) return false;
        throw ESQLiteError(sqlite3_errmsg(sqlite3_db_handle(Stmt_)));
    }
    std::string Text(int column) const {
        const auto* text = sqlite3_column_text(Stmt_, column);
        return text ? reinterpret_cast<const char*>(text) : std::string();
    }
    std::string Bytes(int column) const {
        const void* data = sqlite3_column_blob(Stmt_, column);
        const int size = sqlite3_column_bytes(Stmt_, column);
        return data ? std::string(static_cast<const char*>(data), size) : std::string();
    }

private:
    sqlite3_stmt* Stmt_ = nullptr;
};

}  // namespace nelvo

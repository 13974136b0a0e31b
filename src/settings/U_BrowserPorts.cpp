#include "settings/U_BrowserPorts.h"

#include <exception>

#include "log/U_LogFile.h"
#include "platform/Platform.h"
#include "settings/U_SQLiteDb.h"
#include "tools/QxSysTools.h"

namespace nelvo {

namespace {

const std::string kTableStatement =
    "CREATE TABLE IF NOT EXISTS ItemTable (key TEXT UNIQUE ON CONFLICT REPLACE, value BLOB NOT "
    "NULL ON CONFLICT FAIL);";

std::string WriteStatement(std::int32_t port) {
    return "insert or replace into ItemTable (key, value) values ('" +
           std::string(LocalStoragePortKey) + "', cast(x'" + PortValueHex(port) + "' as BLOB));";
}

// The connection of one publication run, opened once per origin.
class TPublication {
public:
    explicit TPublication(const std::vector<std::int32_t>& ports) : Ports_(ports) {
        HostLoger->Log(nullptr, "Initializing SQLite...", llProgress);
        try {
            const int rc = sqlite3_initialize();
            if (rc != SQLITE_OK) throw ESQLiteError(sqlite3_errstr(rc));
            HostLoger->Log(nullptr, "SQLite initialized", llProgress);
        } catch (const std::exception& e) {
            HostLoger->LogException(nullptr, "Initializing SQLite", e);
        }
    }
    ~TPublication() {
        HostLoger->Log(nullptr, "Finalizing SQLite...", llProgress);
        Connection_.Close();
        HostLoger->Log(nullptr, "SQLite finalized", llProgress);
    }
    TPublication(const TPublication&) = delete;
    TPublication& operator=(const TPublication&) = delete;

    void WriteOrigin(const std::string& origin);

private:
    void WritePorts(const std::string& origin);

    const std::vector<std::int32_t>& Ports_;
    TSQLiteConnection Connection_;
};

void TPublication::WriteOrigin(const std::string& origin) {
    const std::string file = LocalStorageFolder() + LocalStorageFileName(origin);
    HostLoger->Log(nullptr, "LocalStorage for domain " + origin, llDetail, file);
    try {
        Connection_.Open(file);
    } catch (const std::exception& e) {
        HostLoger->LogException(nullptr, "SQLite DB open", e);
    }
    if (!Connection_.Connected()) return;
    WritePorts(origin);
    Connection_.Close();
}

// All ports of one origin go in together or not at all.
void TPublication::WritePorts(const std::string& origin) {
    TSQLiteTransaction transaction(Connection_);
    try {
        transaction.Start();
        for (std::int32_t port : Ports_) {
            Connection_.ExecuteDirect(kTableStatement);
            Connection_.ExecuteDirect(WriteStatement(port));
            HostLoger->Log(nullptr, "Port " + std::to_string(port) + " written for " + origin,
                           llProgress);
        }
        transaction.Commit();
    } catch (const std::exception& e) {
        HostLoger->LogException(nullptr, "SQLite execute", e);
        try {
            transaction.Rollback();
        } catch (const std::exception& rollbackError) {
            HostLoger->LogException(nullptr, "SQLite execute", rollbackError);
        }
    }
}

}  // namespace

std::string LocalStorageFolder() {
#ifdef _WIN32
    const std::string folder = "%LOCALAPPDATA%\\Google\\Chrome\\User Data\\Default\\Local Storage";
#else
    // Chrome on Linux keeps its profiles under $XDG_CONFIG_HOME (~/.config), which is where
    // %AppData% leads on this platform.
    const std::string folder = PathJoin({"%AppData%", "google-chrome", "Default", "Local Storage"});
#endif
    return IncludeTrailingPathDelimiter(ExpandEnvVars(folder));
}

bool LocalStorageFolderExists(bool logIfMissing) {
    const std::string folder = LocalStorageFolder();
    if (platform::DirectoryExists(folder)) return true;
    if (logIfMissing) HostLoger->Log(nullptr, "LocalStorage folder not found!", llWarning, folder);
    return false;
}

void PublishPorts(const std::string& domains, const std::vector<std::int32_t>& ports) {
    if (Trim(domains).empty()) return;
    if (!LocalStorageFolderExists(false)) return;
    TPublication publication(ports);
    try {
        for (const std::string& origin : BuildOriginList(domains))
            if (!origin.empty()) publication.WriteOrigin(origin);
    } catch (const std::exception& e) {
        // Only memory can run out here; the publication is over, the host goes on.
        HostLoger->LogException(nullptr, "PublishPorts", e);
    }
}

}  // namespace nelvo

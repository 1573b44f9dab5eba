// The SQLite settings store: opening the file, typed reads and transactional writes.
#include "platform/linux/linux_settings_store.h"

#include <pwd.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <utility>
#include <vector>

namespace duskpane {

namespace {

// Long enough to outlast a save of another instance holding the lock.
constexpr int kBusyTimeoutMs = 5000;

struct DatabaseCloser {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using Database = std::unique_ptr<sqlite3, DatabaseCloser>;

class Statement {
public:
    Statement(sqlite3* db, const char* sql) {
        if (sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr) != SQLITE_OK) {
            sqlite3_finalize(stmt_);
            stmt_ = nullptr;
        }
    }
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool Valid() const { return stmt_ != nullptr; }
    bool BindText(int index, const std::string& text) {
        return sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()),
                                 SQLITE_TRANSIENT) == SQLITE_OK;
    }
    bool BindInteger(int index, int64_t value) {
        return sqlite3_bind_int64(stmt_, index, value) == SQLITE_OK;
    }
    int Step() { return sqlite3_step(stmt_); }
    sqlite3_stmt* Get() const { return stmt_; }

private:
    sqlite3_stmt* stmt_ = nullptr;
};

bool Execute(sqlite3* db, const char* sql) {
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

bool HasTables(sqlite3* db) {
    Statement query(db,
                    "SELECT count(*) FROM sqlite_master"
                    " WHERE type = 'table' AND name IN ('section', 'value')");
    return query.Valid() && query.Step() == SQLITE_ROW &&
           sqlite3_column_int(query.Get(), 0) == 2;
}

bool EnsureTables(sqlite3* db) {
    // Checked first, so that a file that is only readable still opens.
    if (HasTables(db)) return true;
    const bool created = Execute(db,
                                 "BEGIN IMMEDIATE;"
                                 "CREATE TABLE IF NOT EXISTS section(name TEXT PRIMARY KEY);"
                                 "CREATE TABLE IF NOT EXISTS value(section TEXT NOT NULL,"
                                 " name TEXT NOT NULL, data, PRIMARY KEY(section, name));"
                                 "COMMIT;");
    if (!created && !sqlite3_get_autocommit(db)) Execute(db, "ROLLBACK");
    return created;
}

// Creates the folders above the file, each readable by the user only, as the
// configuration folders are meant to be.
void CreateParentFolders(const std::string& path) {
    const size_t last = path.rfind('/');
    if (last == std::string::npos || last == 0) return;
    for (size_t at = path.find('/', 1); at != std::string::npos && at <= last;
         at = path.find('/', at + 1)) {
        const std::string folder = path.substr(0, at);
        if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return;
    }
}

std::string HomeFolder() {
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] != '\0') return home;
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
        found != nullptr && found->pw_dir != nullptr) {
        return found->pw_dir;
    }
    return {};
}

// A value's kind from its storage class.
StoredValue ColumnValue(sqlite3_stmt* stmt, int column) {
    StoredValue value;
    switch (sqlite3_column_type(stmt, column)) {
        case SQLITE_INTEGER: {
            const int64_t number = sqlite3_column_int64(stmt, column);
            if (number >= INT32_MIN && number <= INT32_MAX) {
                value.kind = StoredKind::Integer;
                value.integer = static_cast<int32_t>(number);
            } else {
                value.kind = StoredKind::Other;
            }
            break;
        }
        case SQLITE_TEXT: {
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
            value.kind = StoredKind::Text;
            value.text.assign(text, static_cast<size_t>(sqlite3_column_bytes(stmt, column)));
            break;
        }
        default:
            value.kind = StoredKind::Other;
            break;
    }
    return value;
}

// The open key: one connection. Writes join a transaction begun by the first
// of them; Flush commits it. When the key is closed with writes not yet
// flushed (a save that stopped at a failed write), they are committed, as the
// registry keeps what was written before a failure; they are rolled back only
// when that commit fails. A crash before a commit leaves the previous save.
class LinuxSettingsKey : public SettingsKey {
public:
    explicit LinuxSettingsKey(Database db) : db_(std::move(db)) {}

    ~LinuxSettingsKey() override {
        if (InTransaction() && !Execute(db_.get(), "COMMIT") && InTransaction()) {
            Execute(db_.get(), "ROLLBACK");
        }
    }

    StoredValue Read(const std::string& section, const std::string& name) override {
        Statement query(db_.get(), "SELECT data FROM value WHERE section = ?1 AND name = ?2");
        if (!query.Valid() || !query.BindText(1, section) || !query.BindText(2, name) ||
            query.Step() != SQLITE_ROW) {
            return {};
        }
        return ColumnValue(query.Get(), 0);
    }

    bool CreateSection(const std::string& section) override {
        if (!BeginWriting()) return false;
        Statement insert(db_.get(), "INSERT OR IGNORE INTO section(name) VALUES(?1)");
        return insert.Valid() && insert.BindText(1, section) && insert.Step() == SQLITE_DONE;
    }

    bool WriteInteger(const std::string& section, const std::string& name,
                      int32_t value) override {
        Statement insert(db_.get(), kInsertValue);
        return BeginWriting() && insert.Valid() && BindKey(insert, section, name) &&
               insert.BindInteger(3, value) && insert.Step() == SQLITE_DONE;
    }

    bool WriteText(const std::string& section, const std::string& name,
                   const std::string& value) override {
        Statement insert(db_.get(), kInsertValue);
        return BeginWriting() && insert.Valid() && BindKey(insert, section, name) &&
               insert.BindText(3, value) && insert.Step() == SQLITE_DONE;
    }

    bool Flush() override {
        bool ok = !writesLost_;
        if (InTransaction()) {
            if (!Execute(db_.get(), "COMMIT")) {
                ok = false;
                if (InTransaction()) Execute(db_.get(), "ROLLBACK");
            }
        } else if (began_) {
            // An error rolled the transaction back on its own.
            ok = false;
        }
        began_ = false;
        writesLost_ = false;
        return ok;
    }

private:
    static constexpr const char* kInsertValue =
        "INSERT OR REPLACE INTO value(section, name, data) VALUES(?1, ?2, ?3)";

    bool InTransaction() const { return sqlite3_get_autocommit(db_.get()) == 0; }

    bool BeginWriting() {
        if (InTransaction()) return true;
        // Writes made since the last flush vanished with a rolled-back transaction.
        if (began_) writesLost_ = true;
        if (!Execute(db_.get(), "BEGIN IMMEDIATE")) return false;
        began_ = true;
        return true;
    }

    static bool BindKey(Statement& statement, const std::string& section,
                        const std::string& name) {
        return statement.BindText(1, section) && statement.BindText(2, name);
    }

    Database db_;
    bool began_ = false;
    bool writesLost_ = false;
};

}  // namespace

std::string SettingsDatabasePath(const char* xdgConfigHome, const char* home) {
    std::string base;
    if (xdgConfigHome != nullptr && xdgConfigHome[0] == '/') {
        base = xdgConfigHome;
    } else if (home != nullptr && home[0] != '\0') {
        base = std::string(home) + "/.config";
    } else {
        return {};
    }
    while (base.size() > 1 && base.back() == '/') base.pop_back();
    if (base == "/") base.clear();
    return base + "/Kirameda/Duskpane/settings.sqlite3";
}

LinuxSettingsStore::LinuxSettingsStore()
    : path_(SettingsDatabasePath(std::getenv("XDG_CONFIG_HOME"), HomeFolder().c_str())) {}

LinuxSettingsStore::LinuxSettingsStore(std::string databasePath)
    : path_(std::move(databasePath)) {}

std::unique_ptr<SettingsKey> LinuxSettingsStore::OpenProgramKey() {
    if (path_.empty()) return nullptr;
    CreateParentFolders(path_);
    // A relative name gets "./" so that it is never read as a URI.
    const std::string name = path_.front() == '/' ? path_ : "./" + path_;
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(name.c_str(), &raw,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    Database db(raw);
    if (rc != SQLITE_OK) return nullptr;
    sqlite3_busy_timeout(db.get(), kBusyTimeoutMs);
    if (!EnsureTables(db.get())) return nullptr;
    return std::make_unique<LinuxSettingsKey>(std::move(db));
}

}  // namespace duskpane

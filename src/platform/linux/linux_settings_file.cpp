// The settings file's shape, the check of a file against it, and the move of
// a damaged file aside with what can still be read from it carried over.
#include "platform/linux/linux_settings_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <set>
#include <utility>
#include <vector>

namespace duskpane {

namespace {

using sqlite::Database;
using sqlite::Execute;
using sqlite::Statement;
using Verdict = SettingsFileCheck::Verdict;

bool HasBothTables(sqlite3* db) {
    Statement query(db,
                    "SELECT count(*) FROM sqlite_master"
                    " WHERE type = 'table' AND lower(name) IN ('section', 'value')");
    return query.Step() == SQLITE_ROW && sqlite3_column_int(query.Get(), 0) == 2;
}

// Errors that say nothing about the file's contents: it may read well later.
bool IsPassing(int code) {
    switch (code & 0xFF) {
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
        case SQLITE_IOERR:
        case SQLITE_NOMEM:
        case SQLITE_CANTOPEN:
        case SQLITE_PERM:
        case SQLITE_AUTH:
        case SQLITE_INTERRUPT:
        case SQLITE_FULL:
        case SQLITE_READONLY:
            return true;
        default:
            return false;
    }
}

// Queries on a file under inspection; the first failure is kept.
class Inspector {
public:
    explicit Inspector(sqlite3* db) : db_(db) {}

    // Runs a query with an optional text argument and hands each row on.
    template <class OnRow>
    bool Query(const char* sql, const std::string& argument, OnRow onRow) {
        Statement query(db_, sql);
        if (!query.Valid() || (!argument.empty() && !query.BindText(1, argument))) return Fail();
        for (;;) {
            const int rc = query.Step();
            if (rc == SQLITE_DONE) return true;
            if (rc != SQLITE_ROW) return Fail();
            onRow(query);
        }
    }

    // The table's column names (lower case) and declared types (upper case).
    std::vector<std::pair<std::string, std::string>> Columns(const std::string& table) {
        std::vector<std::pair<std::string, std::string>> columns;
        Query("SELECT lower(name), upper(type) FROM pragma_table_info(?1) ORDER BY cid", table,
              [&](Statement& row) { columns.emplace_back(row.Text(0), row.Text(1)); });
        return columns;
    }

    // Whether a unique index over exactly these columns keeps one row per key.
    bool KeyedOn(const std::string& table, const std::set<std::string>& key) {
        std::vector<std::string> indexes;
        Query("SELECT name FROM pragma_index_list(?1) WHERE \"unique\" AND NOT partial", table,
              [&](Statement& row) { indexes.push_back(row.Text(0)); });
        for (const std::string& index : indexes) {
            std::set<std::string> columns;
            Query("SELECT lower(name) FROM pragma_index_info(?1)", index,
                  [&](Statement& row) { columns.insert(row.Text(0)); });
            if (columns == key) return true;
        }
        return false;
    }

    bool Failed() const { return code_ != SQLITE_OK; }
    SettingsFileCheck Result() const {
        return {IsPassing(code_) ? Verdict::Unknown : Verdict::Damaged, message_};
    }

private:
    bool Fail() {
        if (code_ == SQLITE_OK) {
            code_ = sqlite3_extended_errcode(db_);
            if (code_ == SQLITE_OK) code_ = SQLITE_ERROR;
            message_ = sqlite::ErrorText(db_);
        }
        return false;
    }

    sqlite3* db_;
    int code_ = SQLITE_OK;
    std::string message_;
};

// The column whose values must keep their own storage class has no type
// affinity: no declared type, or one that SQLite reads as BLOB.
bool KeepsStorageClasses(const std::string& declared) {
    for (const char* word : {"INT", "CHAR", "CLOB", "TEXT"})
        if (declared.find(word) != std::string::npos) return false;
    return declared.empty() || declared.find("BLOB") != std::string::npos;
}

// Why a table present in the file is not of the store's shape; empty when it is.
std::string TableProblem(Inspector& look, const std::string& table) {
    const bool isValue = table == "value";
    const std::set<std::string> key = isValue ? std::set<std::string>{"section", "name"}
                                              : std::set<std::string>{"name"};
    std::set<std::string> expected = key;
    if (isValue) expected.insert("data");
    std::set<std::string> found;
    std::string dataType;
    for (const auto& [name, type] : look.Columns(table)) {
        found.insert(name);
        if (name == "data") dataType = type;
    }
    if (look.Failed()) return {};
    if (found != expected) return "its table " + table + " has other columns";
    if (isValue && !KeepsStorageClasses(dataType))
        return "its table value converts the values it is given to " + dataType;
    if (!look.KeyedOn(table, key)) return "its table " + table + " has no key";
    return {};
}

std::string UtcStamp() {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%dT%H%M%SZ", &utc);
    return text;
}

// Renames without replacing anything; 0 or the system's error.
int RenameNew(const std::string& from, const std::string& to) {
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return errno;
    // A file system without that kind of rename.
    if (access(to.c_str(), F_OK) == 0) return EEXIST;
    return rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

// Renames the file to its first free damaged name, its journals with it so
// that they stay paired; 0 or the system's error.
int MoveAside(const std::string& path, std::string& moved) {
    const std::string base = path + ".damaged-" + UtcStamp();
    for (int n = 1; n < 1000; ++n) {
        moved = n == 1 ? base : base + "-" + std::to_string(n);
        const int error = RenameNew(path, moved);
        if (error == EEXIST) continue;
        if (error != 0) return error;
        for (const char* journal : {"-journal", "-wal", "-shm"})
            RenameNew(path + journal, moved + journal);
        return 0;
    }
    return EEXIST;
}

bool HasColumns(Inspector& look, const std::string& table, const std::set<std::string>& wanted) {
    std::set<std::string> found;
    for (const auto& column : look.Columns(table)) found.insert(column.first);
    for (const std::string& name : wanted)
        if (found.count(name) == 0) return false;
    return true;
}

// Copies the rows that can be read from the old file into the new one, each
// value of its own storage class; a later row of the same name wins, as the
// saves that added it meant. Stops at the first row that cannot be read.
void CopyRows(sqlite3* from, sqlite3* to) {
    Inspector look(from);
    Statement section(to, "INSERT OR IGNORE INTO section(name) SELECT ?1 WHERE ?1 IS NOT NULL");
    Statement value(to, "INSERT OR REPLACE INTO value(section, name, data) VALUES(?1, ?2, ?3)");
    const auto put = [](Statement& insert, sqlite3_stmt* row, int count) {
        for (int column = 0; column < count; ++column)
            sqlite3_bind_value(insert.Get(), column + 1, sqlite3_column_value(row, column));
        insert.Step();  // a row the new table refuses (a NULL name) is left out
        insert.Reset();
    };
    if (HasColumns(look, "section", {"name"})) {
        look.Query("SELECT name FROM section", "", [&](Statement& row) { put(section, row.Get(), 1); });
    }
    if (HasColumns(look, "value", {"section", "name", "data"})) {
        look.Query("SELECT section, name, data FROM value", "", [&](Statement& row) {
            put(section, row.Get(), 1);
            put(value, row.Get(), 3);
        });
    }
}

// Makes a new file of the store's shape at path with what can be read from
// the moved one; the count of values carried, or -1 with the cause.
int CarryOver(const std::string& moved, const std::string& path, sqlite::WaitBudget& budget,
              std::string& cause) {
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(path.c_str(), &raw,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    Database fresh(raw);
    if (rc == SQLITE_OK) sqlite::LimitWaits(fresh.get(), budget);
    if (rc != SQLITE_OK || !EnsureSettingsTables(fresh.get()) ||
        !Execute(fresh.get(), "BEGIN IMMEDIATE")) {
        cause = sqlite::ErrorText(fresh.get());
        return -1;
    }
    raw = nullptr;
    if (sqlite3_open_v2(moved.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        Database old(raw);
        sqlite::LimitWaits(old.get(), budget);
        CopyRows(old.get(), fresh.get());
    } else {
        sqlite3_close_v2(raw);
    }
    if (!Execute(fresh.get(), "COMMIT")) {
        cause = sqlite::ErrorText(fresh.get());
        Execute(fresh.get(), "ROLLBACK");
        return -1;
    }
    Statement count(fresh.get(), "SELECT count(*) FROM value");
    return count.Step() == SQLITE_ROW ? sqlite3_column_int(count.Get(), 0) : 0;
}

}  // namespace

bool EnsureSettingsTables(sqlite3* db) {
    if (HasBothTables(db)) return true;
    const bool created = Execute(db,
                                 "BEGIN IMMEDIATE;"
                                 "CREATE TABLE IF NOT EXISTS section(name TEXT PRIMARY KEY);"
                                 "CREATE TABLE IF NOT EXISTS value(section TEXT NOT NULL,"
                                 " name TEXT NOT NULL, data, PRIMARY KEY(section, name));"
                                 "COMMIT;");
    if (!created && sqlite3_get_autocommit(db) == 0) Execute(db, "ROLLBACK");
    return created;
}

SettingsFileCheck CheckSettingsFile(const std::string& path, sqlite::WaitBudget& budget) {
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr);
    Database db(raw);
    if (rc != SQLITE_OK) return {Verdict::Unknown, sqlite::ErrorText(db.get())};
    sqlite::LimitWaits(db.get(), budget);

    Inspector look(db.get());
    std::vector<std::pair<std::string, std::string>> objects;  // type, name
    look.Query("SELECT type, lower(name) FROM sqlite_master", "",
               [&](Statement& row) { objects.emplace_back(row.Text(0), row.Text(1)); });
    if (look.Failed()) return look.Result();
    std::vector<std::string> tables;
    for (const auto& [type, name] : objects) {
        const bool ours = name == "section" || name == "value";
        if (ours && type != "table") return {Verdict::Damaged, "it has a " + type + " named " + name};
        if (type != "table" || name.rfind("sqlite_", 0) == 0) continue;
        if (!ours) return {Verdict::Damaged, "it has a table " + name + " of another kind"};
        tables.push_back(name);
    }
    for (const std::string& table : tables) {
        const std::string problem = TableProblem(look, table);
        if (look.Failed()) return look.Result();
        if (!problem.empty()) return {Verdict::Damaged, problem};
    }
    std::string integrity;
    look.Query("PRAGMA quick_check(1)", "", [&](Statement& row) { integrity = row.Text(0); });
    if (look.Failed()) return look.Result();
    if (integrity != "ok") {
        // The first finding, without the name of the database it is in.
        const std::string heading = "*** in database main ***\n";
        if (integrity.rfind(heading, 0) == 0) integrity.erase(0, heading.size());
        return {Verdict::Damaged, "it is corrupt: " + integrity};
    }
    return {Verdict::Sound, {}};
}

bool RepairSettingsFile(const std::string& path, sqlite::WaitBudget& budget) {
    struct stat examined {};
    if (stat(path.c_str(), &examined) != 0) return errno == ENOENT;
    if (!S_ISREG(examined.st_mode)) return true;
    const SettingsFileCheck check = CheckSettingsFile(path, budget);
    if (check.verdict != Verdict::Damaged) return check.verdict == Verdict::Sound;

    // Another instance may have put a new file there meanwhile.
    struct stat now {};
    if (stat(path.c_str(), &now) != 0 || now.st_dev != examined.st_dev || now.st_ino != examined.st_ino)
        return false;
    const std::string what = "the settings file " + path + " is damaged (" + check.cause + ")";
    std::string moved;
    if (const int error = MoveAside(path, moved); error != 0) {
        sqlite::Report(what + " and could not be moved aside: " + std::strerror(error) +
                       "; it is left as it is");
        return true;
    }
    std::string cause;
    const int carried = CarryOver(moved, path, budget, cause);
    if (carried < 0) {
        sqlite::Report(what + ": moved it aside to " + moved + ", but no new one could be made: " +
                       cause);
    } else {
        sqlite::Report(what + ": moved it aside to " + moved + " and carried " + std::to_string(carried) +
                       (carried == 1 ? " value" : " values") + " that could still be read into a new one");
    }
    return true;
}

}  // namespace duskpane

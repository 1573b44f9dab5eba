// The SQLite settings store: opening the file, typed reads, transactional
// writes, and failures told on standard error.
#include "platform/linux/linux_settings_store.h"

#include <pwd.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "platform/linux/linux_settings_file.h"
#include "platform/linux/linux_sqlite.h"

namespace duskpane {

namespace {

using sqlite::Database;
using sqlite::Execute;
using sqlite::Statement;

// How long one load or save may wait in all for another program's lock
// before it gives up and reports the failure.
constexpr std::chrono::milliseconds kLockWait{750};

// Creates the folders above the file, each readable by the user only, as the
// configuration folders are meant to be. Empty, or what stood in the way.
std::string CreateParentFolders(const std::string& path) {
    const size_t last = path.rfind('/');
    if (last == std::string::npos || last == 0) return {};
    for (size_t at = path.find('/', 1); at != std::string::npos && at <= last;
         at = path.find('/', at + 1)) {
        const std::string folder = path.substr(0, at);
        if (mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST) continue;
        std::string problem = "cannot make the settings folder " + folder + ": " + std::strerror(errno);
        // Name what stands where a folder should be.
        const std::string above = folder.substr(0, folder.rfind('/'));
        struct stat info {};
        if (errno == ENOTDIR && stat(above.c_str(), &info) == 0 && !S_ISDIR(info.st_mode))
            problem += " (" + above + " is a file)";
        return problem;
    }
    return {};
}

// What a path holds when it is not a plain file.
const char* KindOfNonFile(mode_t mode) {
    if (S_ISDIR(mode)) return "a folder";
    if (S_ISFIFO(mode)) return "a named pipe";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
    if (S_ISSOCK(mode)) return "a socket";
    return "not a file";
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
// The first failed write says on standard error which file and why.
class LinuxSettingsKey : public SettingsKey {
public:
    LinuxSettingsKey(Database db, std::unique_ptr<sqlite::WaitBudget> budget, const std::string& path)
        : budget_(std::move(budget)), db_(std::move(db)), path_(path) {}

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
        Statement insert(db_.get(), "INSERT OR IGNORE INTO section(name) VALUES(?1)");
        return Done(BeginWriting() && insert.Valid() && insert.BindText(1, section) &&
                    insert.Step() == SQLITE_DONE);
    }

    bool WriteInteger(const std::string& section, const std::string& name,
                      int32_t value) override {
        Statement insert(db_.get(), kInsertValue);
        return Done(BeginWriting() && insert.Valid() && BindKey(insert, section, name) &&
                    insert.BindInteger(3, value) && insert.Step() == SQLITE_DONE);
    }

    bool WriteText(const std::string& section, const std::string& name,
                   const std::string& value) override {
        Statement insert(db_.get(), kInsertValue);
        return Done(BeginWriting() && insert.Valid() && BindKey(insert, section, name) &&
                    insert.BindText(3, value) && insert.Step() == SQLITE_DONE);
    }

    bool Flush() override {
        bool ok = !writesLost_;
        if (InTransaction()) {
            if (!Execute(db_.get(), "COMMIT")) {
                ok = Done(false);
                if (InTransaction()) Execute(db_.get(), "ROLLBACK");
            }
        } else if (began_) {
            // An error rolled the transaction back on its own.
            ok = false;
        }
        began_ = false;
        writesLost_ = false;
        return Done(ok);
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

    // Passes a write's result on, telling the first failure.
    bool Done(bool ok) {
        if (!ok && !reported_) {
            reported_ = true;
            sqlite::Report("cannot save the settings to " + path_ + ": " + sqlite::ErrorText(db_.get()));
        }
        return ok;
    }

    static bool BindKey(Statement& statement, const std::string& section,
                        const std::string& name) {
        return statement.BindText(1, section) && statement.BindText(2, name);
    }

    // Declared before the connection, which refers to it until it closes.
    std::unique_ptr<sqlite::WaitBudget> budget_;
    Database db_;
    std::string path_;
    bool began_ = false;
    bool writesLost_ = false;
    bool reported_ = false;
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
    if (path_.empty()) {
        sqlite::Report("no folder for the settings file: neither XDG_CONFIG_HOME nor HOME is set");
        return nullptr;
    }
    if (const std::string problem = CreateParentFolders(path_); !problem.empty()) {
        sqlite::Report(problem);
        return nullptr;
    }
    // A folder, a pipe or a device is never opened as the file, nor moved.
    struct stat info {};
    if (stat(path_.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
        sqlite::Report("the settings file " + path_ + " is " + KindOfNonFile(info.st_mode) +
                       ": it is left as it is, and the settings cannot be saved");
        return nullptr;
    }
    auto budget = std::make_unique<sqlite::WaitBudget>();
    budget->deadline = sqlite::Clock::now() + kLockWait;
    // A relative name gets "./" so that it is never read as a URI.
    const std::string name = path_.front() == '/' ? path_ : "./" + path_;
    if (!checked_) checked_ = RepairSettingsFile(name, *budget);
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(name.c_str(), &raw,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    Database db(raw);
    if (rc == SQLITE_OK) sqlite::LimitWaits(db.get(), *budget);
    if (rc != SQLITE_OK || !EnsureSettingsTables(db.get())) {
        sqlite::Report("cannot open the settings file " + path_ + ": " + sqlite::ErrorText(db.get()));
        return nullptr;
    }
    return std::make_unique<LinuxSettingsKey>(std::move(db), std::move(budget), path_);
}

}  // namespace duskpane

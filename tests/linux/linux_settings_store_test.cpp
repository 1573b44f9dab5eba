// The SQLite settings store: the shared scenarios plus files, kinds, failures and crashes.
#include <gtest/gtest.h>
#include <grp.h>
#include <signal.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <random>
#include <regex>
#include <thread>

#include "../settings_scenarios.h"
#include "platform/linux/linux_settings_store.h"

namespace duskpane::settings_test {
namespace {

namespace fs = std::filesystem;

class TempDir {
public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "duskpane-settings-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
        chmod(path_.c_str(), 0755);
    }
    ~TempDir() {
        std::error_code ignored;
        for (const auto& entry : fs::recursive_directory_iterator(path_, ignored)) {
            if (entry.is_directory(ignored)) chmod(entry.path().c_str(), 0700);
        }
        fs::remove_all(path_, ignored);
    }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

// An outside connection to the settings file, as another program would open it.
class OutsideDb {
public:
    explicit OutsideDb(const std::string& path) {
        EXPECT_EQ(sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
        sqlite3_busy_timeout(db_, 5000);
    }
    ~OutsideDb() { sqlite3_close_v2(db_); }
    void Exec(const std::string& sql) {
        EXPECT_EQ(sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK)
            << sql << ": " << sqlite3_errmsg(db_);
    }
    // The first column of each row, as text.
    std::string Column(const std::string& sql, const std::string& a = "", const std::string& b = "") {
        sqlite3_stmt* stmt = nullptr;
        std::string result;
        if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK) {
            sqlite3_bind_text(stmt, 1, a.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(stmt, 2, b.c_str(), -1, SQLITE_TRANSIENT);
            while (sqlite3_step(stmt) == SQLITE_ROW) {
                const auto* text = sqlite3_column_text(stmt, 0);
                if (!result.empty()) result += ',';
                result += text == nullptr ? "" : reinterpret_cast<const char*>(text);
            }
        }
        sqlite3_finalize(stmt);
        return result;
    }
    // Stores a value given as an SQL literal (or ?3 with the text bound).
    void Plant(const std::string& section, const std::string& name, const std::string& literal,
               const std::string& text = "") {
        Exec("INSERT OR IGNORE INTO section(name) VALUES('" + section + "')");
        sqlite3_stmt* stmt = nullptr;
        const std::string sql = "INSERT OR REPLACE INTO value VALUES(?1, ?2, " + literal + ")";
        ASSERT_EQ(sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt, nullptr), SQLITE_OK);
        sqlite3_bind_text(stmt, 1, section.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(stmt, 2, name.c_str(), -1, SQLITE_TRANSIENT);
        if (literal == "?3") sqlite3_bind_text(stmt, 3, text.c_str(), -1, SQLITE_TRANSIENT);
        EXPECT_EQ(sqlite3_step(stmt), SQLITE_DONE);
        sqlite3_finalize(stmt);
    }

private:
    sqlite3* db_ = nullptr;
};

struct SqliteHarness {
    TempDir dir;
    std::string path = dir.Path() + "/config/Kirameda/Duskpane/settings.sqlite3";
    LinuxSettingsStore store{path};

    SettingsStore& Store() { return store; }
    bool KeyExists() {
        return fs::exists(path) && OutsideDb(path).Column(
                                       "SELECT name FROM sqlite_master WHERE type = 'table'"
                                       " ORDER BY name") == "section,value";
    }
    size_t ValueCount() {
        return fs::exists(path) ? std::stoul(OutsideDb(path).Column("SELECT count(*) FROM value"))
                                : 0;
    }
    StoredValue Stored(const std::string& section, const std::string& name) {
        OutsideDb db(path);
        const char* where = " FROM value WHERE section = ?1 AND name = ?2";
        const std::string type = db.Column(std::string("SELECT typeof(data)") + where, section, name);
        StoredValue value;
        value.text = db.Column(std::string("SELECT data") + where, section, name);
        if (type == "integer") {
            value.kind = StoredKind::Integer;
            value.integer = static_cast<int32_t>(std::stol(value.text));
            value.text.clear();
        } else if (type == "text") {
            value.kind = StoredKind::Text;
        } else if (!type.empty()) {
            value.kind = StoredKind::Other;
        }
        return value;
    }
    OutsideDb Outside() {
        store.OpenProgramKey();  // creates the file and its tables
        return OutsideDb(path);
    }
    void PutInteger(const std::string& section, const std::string& name, int32_t value) {
        Outside().Plant(section, name, std::to_string(value));
    }
    void PutText(const std::string& section, const std::string& name, const std::string& value) {
        Outside().Plant(section, name, "?3", value);
    }
    // A REAL, a BLOB, a NULL or an INTEGER beyond 32 bits.
    void PutOther(const std::string& section, const std::string& name, size_t which) {
        const char* const literals[] = {"2.5", "X'0100FF'", "NULL", "1099511627776"};
        Outside().Plant(section, name, literals[which % 4]);
    }
    // Another program's trigger refuses the section.
    void FailSection(const std::string& section) {
        Outside().Exec("CREATE TRIGGER refuse BEFORE INSERT ON section WHEN NEW.name = '" +
                       section + "' BEGIN SELECT RAISE(ABORT, 'refused'); END");
    }
};

INSTANTIATE_TYPED_TEST_SUITE_P(Sqlite, SettingsScenarios, SqliteHarness);

// Runs a call in a child process that cannot bypass file permissions (root
// drops to nobody) and gives back the text it returned.
std::string RunUnprivileged(const std::function<std::string()>& call) {
    int fds[2];
    if (pipe(fds) != 0) return "pipe failed";
    const pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        if (geteuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(65534) != 0 ||
                               setuid(65534) != 0)) {
            _exit(2);
        }
        const std::string out = call();
        const bool written = write(fds[1], out.data(), out.size()) == ssize_t(out.size());
        _exit(written ? 0 : 3);
    }
    close(fds[1]);
    std::string out;
    char buffer[512];
    for (ssize_t n; (n = read(fds[0], buffer, sizeof buffer)) > 0;) out.append(buffer, size_t(n));
    close(fds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    return out;
}

TEST(LinuxSettingsStoreTest, OpeningCreatesFoldersFileAndTables) {
    TempDir dir;
    const std::string folder = dir.Path() + "/設定 ?#%'\"/file:x";
    const std::string path = folder + "/settings.sqlite3";
    LinuxSettingsStore store(path);
    EXPECT_NE(store.OpenProgramKey(), nullptr);
    ASSERT_TRUE(fs::is_regular_file(path));
    struct stat info {};
    ASSERT_EQ(stat(folder.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    OutsideDb db(path);
    EXPECT_EQ(db.Column("SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name"),
              "section,value");
    EXPECT_EQ(db.Column("SELECT name FROM pragma_table_info('value') ORDER BY cid"),
              "section,name,data");
    TestHost host;
    SaveSettings(store, host);
    EXPECT_EQ(db.Column("SELECT name FROM section ORDER BY name"), "MAIN,WALLPAPER,WAVE_SPECTRUM");
}

TEST(LinuxSettingsStoreTest, FileLocationFollowsTheEnvironment) {
    const std::string tail = "/Kirameda/Duskpane/settings.sqlite3";
    EXPECT_EQ(SettingsDatabasePath("/x/cfg", "/home/u"), "/x/cfg" + tail);
    EXPECT_EQ(SettingsDatabasePath("/x/cfg/", "/home/u"), "/x/cfg" + tail);
    EXPECT_EQ(SettingsDatabasePath(nullptr, "/home/u"), "/home/u/.config" + tail);
    EXPECT_EQ(SettingsDatabasePath("", "/home/u"), "/home/u/.config" + tail);
    EXPECT_EQ(SettingsDatabasePath("relative", "/home/u"), "/home/u/.config" + tail);
    EXPECT_EQ(SettingsDatabasePath(nullptr, nullptr), "");

    const char* savedXdg = std::getenv("XDG_CONFIG_HOME");
    const char* savedHome = std::getenv("HOME");
    const std::string xdgBefore = savedXdg ? savedXdg : "", homeBefore = savedHome ? savedHome : "";
    TempDir dir;
    setenv("XDG_CONFIG_HOME", (dir.Path() + "/xdg").c_str(), 1);
    setenv("HOME", (dir.Path() + "/home").c_str(), 1);
    TestHost host;
    {
        LinuxSettingsStore store;
        EXPECT_EQ(store.DatabasePath(), dir.Path() + "/xdg" + tail);
        SaveSettings(store, host);
    }
    setenv("XDG_CONFIG_HOME", "", 1);
    {
        LinuxSettingsStore store;
        EXPECT_EQ(store.DatabasePath(), dir.Path() + "/home/.config" + tail);
        EXPECT_TRUE(LoadSettings(store, host).empty());
    }
    savedXdg ? setenv("XDG_CONFIG_HOME", xdgBefore.c_str(), 1) : unsetenv("XDG_CONFIG_HOME");
    savedHome ? setenv("HOME", homeBefore.c_str(), 1) : unsetenv("HOME");
    EXPECT_TRUE(fs::exists(dir.Path() + "/xdg" + tail));
    EXPECT_TRUE(fs::exists(dir.Path() + "/home/.config" + tail));
}

TEST(LinuxSettingsStoreTest, StorageClassesDecideTheKind) {
    SqliteHarness h;
    const std::pair<const char*, const char*> others[] = {
        {"X'00'", "BLOB"}, {"1.5", "REAL"}, {"NULL", "NULL"}, {"4294967296", "33 bits"},
        {"-2147483649", "33 bits"}};
    for (const auto& [literal, what] : others) {
        h.Outside().Plant("WALLPAPER", "ALPHA_VALUE", literal);
        TestHost host;
        EXPECT_EQ(LoadSettings(h.store, host), std::vector<std::string>{"ALPHA_VALUE"}) << what;
        EXPECT_EQ(host.main.WPAlphaValue, 128) << what;
    }
    h.Outside().Plant("WALLPAPER", "WP_FILE", "2.5");
    h.Outside().Plant("WALLPAPER", "ALPHA_VALUE", "-2147483648");
    TestHost host;
    EXPECT_EQ(LoadSettings(h.store, host), std::vector<std::string>{"WP_FILE"});
    EXPECT_EQ(host.main.WPAlphaValue, INT32_MIN);
    h.Outside().Plant("WALLPAPER", "WP_FILE", "7");
    EXPECT_TRUE(LoadSettings(h.store, host).empty());
    EXPECT_EQ(host.main.WPFile, "7");
}

TEST(LinuxSettingsStoreTest, UnwritableStoreRaisesTheKeyErrorAndKeepsItsValues) {
    SqliteHarness h;
    TestHost old;
    old.main.WPFile = "/old.jpg";
    SaveSettings(h.store, old);
    const std::string folder = fs::path(h.path).parent_path().string();
    const auto attempt = [&] {
        TestHost host;
        if (!LoadSettings(h.store, host).empty()) return std::string("unexpected");
        host.main.WPFile = "/new.jpg";
        return host.main.WPFile == "/new.jpg" ? ErrorOf([&] { SaveSettings(h.store, host); })
                                              : std::string("unexpected");
    };
    const auto loadedFile = [&] {
        TestHost host;
        return LoadSettings(h.store, host).empty() ? host.main.WPFile : "unexpected";
    };
    // Folders the unprivileged child has to pass through.
    for (const char* parent : {"/config", "/config/Kirameda"}) {
        chmod((h.dir.Path() + parent).c_str(), 0755);
    }

    // Read-only file in a writable folder, then a writable file in a read-only folder.
    chmod(folder.c_str(), 0777);
    chmod(h.path.c_str(), 0444);
    testing::internal::CaptureStderr();
    EXPECT_EQ(RunUnprivileged([&] { return loadedFile() + "|" + attempt(); }),
              "/old.jpg|キー WALLPAPER の作成に失敗しました");
    // Standard error names the file and the cause.
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "duskpane: cannot save the settings to " + h.path +
                  ": attempt to write a readonly database\n");
    chmod(h.path.c_str(), 0666);
    chmod(folder.c_str(), 0555);
    EXPECT_EQ(RunUnprivileged([&] { return loadedFile() + "|" + attempt(); }),
              "/old.jpg|キー WALLPAPER の作成に失敗しました");
    chmod(folder.c_str(), 0700);
    EXPECT_EQ(loadedFile(), "/old.jpg");
    EXPECT_EQ(OutsideDb(h.path).Column("PRAGMA integrity_check"), "ok");
}

std::string ReadBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

void MakeDatabase(const std::string& path, const std::string& sql) {
    fs::create_directories(fs::path(path).parent_path());
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    sqlite3_close(db);
}

// The files beside the settings file that a damaged one was moved to.
std::vector<std::string> MovedAside(const std::string& path) {
    std::vector<std::string> moved;
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(fs::path(path).parent_path(), ignored)) {
        if (entry.path().filename().string().rfind("settings.sqlite3.damaged-", 0) == 0)
            moved.push_back(entry.path().string());
    }
    std::sort(moved.begin(), moved.end());
    return moved;
}

std::string Join(const std::vector<std::string>& rows) {
    std::string joined;
    for (const std::string& row : rows) joined += (joined.empty() ? "" : ",") + row;
    return joined;
}

constexpr const char* kProgramTables =
    "CREATE TABLE section(name TEXT PRIMARY KEY);"
    "CREATE TABLE value(section TEXT NOT NULL, name TEXT NOT NULL, data, PRIMARY KEY(section, name));";

// Each shape of damage found in the wild: a file that is no database of the
// store's shape is moved aside byte for byte, with the values that can still
// be read carried over into a new store that then saves normally; a path
// that cannot be a file is left as it is and no save goes there. Standard
// error says so, naming the paths.
TEST(LinuxSettingsStoreTest, DamagedFilesAreMovedAsideAndTheirValuesCarriedOver) {
    struct Case {
        const char* what;
        std::function<void(const std::string& path)> make;
        const char* said;  // a part of the line on standard error
        bool movedAside;
        // Carried over: "SECTION NAME typeof(data) data", in that order.
        std::vector<std::string> carried;
    };
    const auto write = [](const std::string& path, const std::string& bytes) {
        fs::create_directories(fs::path(path).parent_path());
        std::ofstream(path, std::ios::binary) << bytes;
    };
    std::string noise(4096, '\0');
    std::mt19937 random(7);
    for (char& c : noise) c = char(random());
    const Case cases[] = {
        {"random bytes", [&](const std::string& p) { write(p, noise); }, "(file is not a database)", true, {}},
        {"a text file", [&](const std::string& p) { write(p, "[MAIN]\nTRANSPARENCY=150\n"); },
         "(file is not a database)", true, {}},
        {"a value table without its data column",
         [](const std::string& p) {
             MakeDatabase(p, "CREATE TABLE section(name TEXT PRIMARY KEY);"
                             "CREATE TABLE value(section TEXT, name TEXT, PRIMARY KEY(section, name));"
                             "INSERT INTO value VALUES('MAIN', 'TRANSPARENCY');");
         },
         "(its table value has other columns)", true, {}},
        {"tables without their keys",
         [](const std::string& p) {
             MakeDatabase(p, "CREATE TABLE section(name TEXT); CREATE TABLE value(section, name, data);"
                             "INSERT INTO value VALUES('MAIN', 'TRANSPARENCY', 100),"
                             " ('WALLPAPER', 'WP_FOLDER', '/写真'), ('MAIN', 'TRANSPARENCY', 150),"
                             " ('WALLPAPER', 'ALPHA_VALUE', 2.5), (NULL, 'X', 1);");
         },
         "(its table section has no key)", true,
         {"MAIN TRANSPARENCY integer 150", "WALLPAPER ALPHA_VALUE real 2.5",
          "WALLPAPER WP_FOLDER text /写真"}},
        {"a data column that converts its values",
         [](const std::string& p) {
             MakeDatabase(p, "CREATE TABLE section(name TEXT PRIMARY KEY);"
                             "CREATE TABLE value(section TEXT, name TEXT, data INTEGER,"
                             " PRIMARY KEY(section, name));"
                             "INSERT INTO value VALUES('WALLPAPER', 'WP_FILE', '12');");
         },
         "(its table value converts the values it is given to INTEGER)", true,
         {"WALLPAPER WP_FILE integer 12"}},
        {"another program's table beside the store's",
         [](const std::string& p) {
             MakeDatabase(p, std::string(kProgramTables) +
                                 "CREATE TABLE prefs(key TEXT PRIMARY KEY, val);"
                                 "INSERT INTO value VALUES('WALLPAPER', 'WP_DISP_MODE', '1');");
         },
         "(it has a table prefs of another kind)", true, {"WALLPAPER WP_DISP_MODE text 1"}},
        {"a folder", [](const std::string& p) { fs::create_directories(p); },
         "is a folder: it is left as it is, and the settings cannot be saved", false, {}},
        {"a named pipe",
         [](const std::string& p) {
             fs::create_directories(fs::path(p).parent_path());
             mkfifo(p.c_str(), 0600);
         },
         "is a named pipe: it is left as it is", false, {}},
        {"a link to /dev/null",
         [](const std::string& p) {
             fs::create_directories(fs::path(p).parent_path());
             fs::create_symlink("/dev/null", p);
         },
         "is a device: it is left as it is", false, {}},
        {"a configuration folder that is a file",
         [&](const std::string& p) { write(p.substr(0, p.find("/Kirameda/")), "x"); },
         "/config/Kirameda: Not a directory (", false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        const std::string path = dir.Path() + "/config/Kirameda/Duskpane/settings.sqlite3";
        c.make(path);
        const fs::file_status before = fs::symlink_status(path);
        const std::string bytes = fs::is_regular_file(before) ? ReadBytes(path) : "";

        LinuxSettingsStore store(path);
        TestHost host;
        testing::internal::CaptureStderr();
        const std::vector<std::string> unreadable = LoadSettings(store, host);
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
        EXPECT_NE(said.find(c.said), std::string::npos) << said;

        const std::vector<std::string> moved = MovedAside(path);
        if (!c.movedAside) {
            EXPECT_TRUE(moved.empty());
            EXPECT_EQ(fs::symlink_status(path).type(), before.type());
            EXPECT_EQ(host.subAlpha, 200);
            testing::internal::CaptureStderr();
            EXPECT_EQ(ErrorOf([&] { SaveSettings(store, host); }),
                      "キー WALLPAPER の作成に失敗しました");
            EXPECT_NE(testing::internal::GetCapturedStderr().find(c.said), std::string::npos);
            EXPECT_EQ(fs::symlink_status(path).type(), before.type());
            continue;
        }
        ASSERT_EQ(moved.size(), 1u);
        EXPECT_TRUE(std::regex_match(moved[0], std::regex(".*/settings\\.sqlite3\\.damaged-[0-9]{8}T[0-9]{6}Z")))
            << moved[0];
        EXPECT_EQ(ReadBytes(moved[0]), bytes);
        EXPECT_NE(said.find("the settings file " + path + " is damaged"), std::string::npos) << said;
        EXPECT_NE(said.find("moved it aside to " + moved[0] + " and carried " +
                            std::to_string(c.carried.size())),
                  std::string::npos)
            << said;
        OutsideDb db(path);
        EXPECT_EQ(db.Column("SELECT section || ' ' || name || ' ' || typeof(data) || ' ' || data"
                            " FROM value ORDER BY section, name"),
                  Join(c.carried));
        EXPECT_EQ(db.Column("SELECT name FROM pragma_table_info('value') ORDER BY cid"), "section,name,data");
        EXPECT_EQ(ErrorOf([&] { SaveSettings(store, host); }), "");
        EXPECT_EQ(db.Column("SELECT count(*) FROM value"), "8");
        EXPECT_EQ(db.Column("SELECT count(*) FROM section"), "3");
        EXPECT_EQ(MovedAside(path), moved);
    }
}

// A file damaged again in the same second never replaces the first one.
TEST(LinuxSettingsStoreTest, EveryDamagedFileIsKept) {
    TempDir dir;
    const std::string path = dir.Path() + "/settings.sqlite3";
    testing::internal::CaptureStderr();
    for (const char* bytes : {"first damage", "second damage", "third damage"}) {
        std::ofstream(path) << bytes;
        LinuxSettingsStore store(path);
        EXPECT_NE(store.OpenProgramKey(), nullptr);
    }
    testing::internal::GetCapturedStderr();
    std::vector<std::string> kept;
    for (const std::string& moved : MovedAside(path)) kept.push_back(ReadBytes(moved));
    std::sort(kept.begin(), kept.end());
    EXPECT_EQ(kept, (std::vector<std::string>{"first damage", "second damage", "third damage"}));
}

// Another program's write lock is waited for briefly: a short one delays the
// save, a long one fails it (with the key error and the cause on standard
// error) well before the other program lets go.
TEST(LinuxSettingsStoreTest, AnotherWritersLockIsWaitedForBriefly) {
    for (const bool longHold : {false, true}) {
        SCOPED_TRACE(longHold ? "long" : "short");
        SqliteHarness h;
        h.Outside();  // the file and its tables exist before the other writer opens it
        std::promise<void> locked;
        std::promise<void> saved;
        std::atomic<bool> released{false};
        std::thread other([&] {
            OutsideDb db(h.path);
            db.Exec("BEGIN IMMEDIATE; INSERT INTO section VALUES('OTHER')");
            locked.set_value();
            if (longHold)
                saved.get_future().wait_for(std::chrono::seconds(20));
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            released = true;
            db.Exec("COMMIT");
        });
        locked.get_future().wait();
        TestHost host;
        host.subAlpha = 17;
        testing::internal::CaptureStderr();
        const std::string error = ErrorOf([&] { SaveSettings(h.store, host); });
        const bool whileHeld = !released;
        const std::string said = testing::internal::GetCapturedStderr();
        if (longHold) saved.set_value();
        other.join();
        if (longHold) {
            EXPECT_EQ(error, "キー WALLPAPER の作成に失敗しました");
            EXPECT_TRUE(whileHeld);
            EXPECT_EQ(said, "duskpane: cannot save the settings to " + h.path + ": database is locked\n");
            EXPECT_EQ(h.Stored("MAIN", "TRANSPARENCY").kind, StoredKind::None);
        } else {
            EXPECT_EQ(error, "");
            EXPECT_EQ(said, "");
            EXPECT_TRUE(IsInteger(h.Stored("MAIN", "TRANSPARENCY"), 17));
        }
    }
}

// Settings that all derive from one number, so that a mix of two saves shows.
TestHost HostFor(uint32_t n) {
    TestHost host;
    host.main.IsWPTransparency = n % 2;
    host.main.WPAlphaValue = static_cast<int32_t>(n);
    host.main.WPFile = std::string(2000 + n % 700, char('a' + n % 26)) + std::to_string(n);
    host.main.WPDispMode = (n / 2) % 2;
    host.main.WPFolder = "folder " + std::to_string(n) + std::string(n % 300, 'x');
    host.main.IsDispWaveSpectrum = n % 3 == 0 ? 1 : 0;
    host.subAlpha = static_cast<uint8_t>(n % 256);
    host.interval = n % 100000 * 1000;
    return host;
}

// The saves a child finished before it was killed: one byte each on the pipe.
uint32_t CountReported(int fd) {
    uint32_t count = 0;
    char buffer[256];
    for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) count += uint32_t(n);
    return count;
}

// A child runs 200 saves and is killed at a random moment of them, many times
// over the same file: the store always opens with the values of one whole
// save, and every save the child had finished is there.
TEST(LinuxSettingsStoreTest, AKilledSaveLeavesWholeValues) {
    TempDir dir;
    const std::string path = dir.Path() + "/settings.sqlite3";
    constexpr uint32_t kSaves = 200;
    std::mt19937 random(std::random_device{}());
    std::chrono::microseconds fullRun{0};
    for (uint32_t round = 0; round <= 24; ++round) {
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        const auto started = std::chrono::steady_clock::now();
        const pid_t child = fork();
        if (child == 0) {
            close(fds[0]);
            LinuxSettingsStore store(path);
            for (uint32_t n = round * 1000; n < round * 1000 + kSaves; ++n) {
                TestHost host = HostFor(n);
                if (!ErrorOf([&] { SaveSettings(store, host); }).empty()) _exit(3);
                if (write(fds[1], "s", 1) != 1) _exit(4);
            }
            _exit(0);
        }
        close(fds[1]);
        int status = 0;
        if (round == 0) {
            // The first round runs to the end and times the 200 saves.
            const uint32_t reported = CountReported(fds[0]);
            waitpid(child, &status, 0);
            fullRun = std::chrono::duration_cast<std::chrono::microseconds>(
                std::chrono::steady_clock::now() - started);
            ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
            ASSERT_EQ(reported, kSaves);
        } else {
            const auto moment = std::chrono::microseconds(random() % uint64_t(fullRun.count() + 1));
            std::this_thread::sleep_until(started + moment);
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            ASSERT_TRUE(WIFSIGNALED(status) || (WIFEXITED(status) && WEXITSTATUS(status) == 0))
                << status;
        }
        const uint32_t reported = round == 0 ? kSaves : CountReported(fds[0]);
        close(fds[0]);

        EXPECT_EQ(OutsideDb(path).Column("PRAGMA integrity_check"), "ok");
        LinuxSettingsStore store(path);
        TestHost loaded;
        ASSERT_EQ(LoadSettings(store, loaded), std::vector<std::string>());
        const uint32_t n = static_cast<uint32_t>(loaded.main.WPAlphaValue);
        // A finished save is durable; the one under way may have landed.
        if (reported > 0) {
            EXPECT_GE(n, round * 1000 + reported - 1) << "round " << round;
            EXPECT_LE(n, std::min(round * 1000 + reported, round * 1000 + kSaves - 1));
        }
        const TestHost expected = HostFor(n);
        EXPECT_EQ(loaded.main.IsWPTransparency, expected.main.IsWPTransparency);
        EXPECT_EQ(loaded.main.WPFile, expected.main.WPFile);
        EXPECT_EQ(loaded.main.WPDispMode, expected.main.WPDispMode);
        EXPECT_EQ(loaded.main.WPFolder, expected.main.WPFolder);
        EXPECT_EQ(loaded.main.IsDispWaveSpectrum, expected.main.IsDispWaveSpectrum);
        EXPECT_EQ(loaded.subAlpha, expected.subAlpha);
        EXPECT_EQ(loaded.interval, expected.interval);
    }
}

}  // namespace
}  // namespace duskpane::settings_test

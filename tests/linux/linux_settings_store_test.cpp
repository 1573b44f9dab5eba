// The SQLite settings store: the shared scenarios plus files, kinds, failures and crashes.
#include <gtest/gtest.h>
#include <grp.h>
#include <signal.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <random>
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
    void PutOther(const std::string& section, const std::string& name) {
        Outside().Plant(section, name, "X'0100FF'");
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
        LoadSettings(store, host);
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
        EXPECT_EQ(ErrorOf([&] { LoadSettings(h.store, host); }), "'ALPHA_VALUE' のデータ型が不正です")
            << what;
    }
    h.Outside().Plant("WALLPAPER", "WP_FILE", "2.5");
    h.Outside().Plant("WALLPAPER", "ALPHA_VALUE", "-2147483648");
    TestHost host;
    EXPECT_EQ(ErrorOf([&] { LoadSettings(h.store, host); }), "'WP_FILE' のデータ型が不正です");
    EXPECT_EQ(host.main.WPAlphaValue, INT32_MIN);
}

TEST(LinuxSettingsStoreTest, UnwritableStoreRaisesTheKeyErrorAndKeepsItsValues) {
    SqliteHarness h;
    TestHost old;
    old.main.WPFile = "/old.jpg";
    SaveSettings(h.store, old);
    const std::string folder = fs::path(h.path).parent_path().string();
    const auto attempt = [&] {
        TestHost host;
        LoadSettings(h.store, host);
        host.main.WPFile = "/new.jpg";
        return host.main.WPFile == "/new.jpg" ? ErrorOf([&] { SaveSettings(h.store, host); })
                                              : std::string("unexpected");
    };
    const auto loadedFile = [&] {
        TestHost host;
        LoadSettings(h.store, host);
        return host.main.WPFile;
    };
    // Folders the unprivileged child has to pass through.
    for (const char* parent : {"/config", "/config/Kirameda"}) {
        chmod((h.dir.Path() + parent).c_str(), 0755);
    }

    // Read-only file in a writable folder, then a writable file in a read-only folder.
    chmod(folder.c_str(), 0777);
    chmod(h.path.c_str(), 0444);
    EXPECT_EQ(RunUnprivileged([&] { return loadedFile() + "|" + attempt(); }),
              "/old.jpg|キー WALLPAPER の作成に失敗しました");
    chmod(h.path.c_str(), 0666);
    chmod(folder.c_str(), 0555);
    EXPECT_EQ(RunUnprivileged([&] { return loadedFile() + "|" + attempt(); }),
              "/old.jpg|キー WALLPAPER の作成に失敗しました");
    chmod(folder.c_str(), 0700);
    EXPECT_EQ(loadedFile(), "/old.jpg");
    EXPECT_EQ(OutsideDb(h.path).Column("PRAGMA integrity_check"), "ok");

    // A parent that is a file: nothing can be opened at all.
    const std::string blocked = h.dir.Path() + "/plain";
    std::ofstream(blocked) << "x";
    LinuxSettingsStore nowhere(blocked + "/settings.sqlite3");
    TestHost host = MarkedHost();
    EXPECT_EQ(ErrorOf([&] { LoadSettings(nowhere, host); }), "");
    EXPECT_EQ(host.subAlpha, 200);
    EXPECT_EQ(ErrorOf([&] { SaveSettings(nowhere, host); }), "キー WALLPAPER の作成に失敗しました");
}

TEST(LinuxSettingsStoreTest, AFileThatIsNoDatabaseIsLeftAlone) {
    TempDir dir;
    const std::string path = dir.Path() + "/settings.sqlite3";
    std::ofstream(path) << std::string(4096, 'z');
    LinuxSettingsStore store(path);
    TestHost host;
    EXPECT_EQ(ErrorOf([&] { LoadSettings(store, host); }), "");
    EXPECT_EQ(host.main.WPAlphaValue, 128);
    EXPECT_EQ(ErrorOf([&] { SaveSettings(store, host); }), "キー WALLPAPER の作成に失敗しました");
    EXPECT_EQ(fs::file_size(path), 4096u);
}

TEST(LinuxSettingsStoreTest, ASaveWaitsForAnotherWriter) {
    SqliteHarness h;
    h.Outside();  // the file and its tables exist before the other writer opens it
    std::promise<void> locked;
    std::thread other([&] {
        OutsideDb db(h.path);
        db.Exec("BEGIN IMMEDIATE; INSERT INTO section VALUES('OTHER')");
        locked.set_value();
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        db.Exec("COMMIT");
    });
    locked.get_future().wait();
    TestHost host;
    host.subAlpha = 17;
    EXPECT_EQ(ErrorOf([&] { SaveSettings(h.store, host); }), "");
    other.join();
    EXPECT_TRUE(IsInteger(h.Stored("MAIN", "TRANSPARENCY"), 17));
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
        ASSERT_EQ(ErrorOf([&] { LoadSettings(store, loaded); }), "");
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

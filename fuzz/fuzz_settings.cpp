// Reads the settings store with values of every kind. The first byte picks
// how the rest is used:
//   even: a list of rows (section, name and a value that is an INTEGER of any
//         64 bits, a REAL, TEXT of arbitrary bytes, a BLOB or NULL) put into a
//         fresh store; every row is then read back through the key, the
//         settings are loaded and compared with what the rows say they must
//         be, saved, and loaded again;
//   odd:  the bytes are the database file itself. It reads, or it is moved
//         aside (kept byte for byte) for a new store of the store's shape;
//         either way the settings then save and load back whole.
// Each process keeps its files in a folder of its own, emptied after every
// input and removed at exit.
//
// Run with --write-seeds=FOLDER, the target writes its seed inputs there and
// ends: a store as the program saves it, and a few lists of rows.
#include <dirent.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/linux/linux_settings_store.h"
#include "settings/fbregini.h"
#include "settings/settings.h"
#include "util/errors.h"

using namespace duskpane;

namespace {

std::string g_folder;
std::string g_database;

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "fuzz_settings: %s\n", what.c_str());
    std::abort();
}

void RemoveDatabase() {
    for (const char* suffix : {"", "-journal", "-wal", "-shm"}) unlink((g_database + suffix).c_str());
}

// The damaged files the store moved aside, with their journals.
std::vector<std::string> MovedAside() {
    std::vector<std::string> moved;
    if (DIR* folder = opendir(g_folder.c_str())) {
        while (const dirent* entry = readdir(folder)) {
            const std::string name = entry->d_name;
            if (name.rfind("settings.sqlite3.damaged-", 0) == 0) moved.push_back(g_folder + "/" + name);
        }
        closedir(folder);
    }
    return moved;
}

void RemoveFiles() {
    RemoveDatabase();
    for (const std::string& moved : MovedAside()) unlink(moved.c_str());
}

void RemoveFolder() {
    if (g_folder.empty()) return;
    RemoveFiles();
    rmdir(g_folder.c_str());
}

std::string ReadAll(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

// ------------------------------------------------------------------ the host

class Host : public SettingsHost {
public:
    Host() {
        // Values no load gives, so that an untouched field shows.
        main_.IsWPTransparency = 0xA5;
        main_.WPAlphaValue = -0x5A5A5A5A;
        main_.WPFile = "(untouched file)";
        main_.WPDispMode = 0xA5;
        main_.WPFolder = "(untouched folder)";
        main_.IsDispWaveSpectrum = 0xA5;
    }
    MainSettings& Settings() override { return main_; }
    uint8_t SubAlphaBlendValue() const override { return subAlpha_; }
    void SetSubAlphaBlendValue(uint8_t value) override {
        subAlpha_ = value;
        subAlphaSet_ = true;
    }
    uint32_t WPTimerInterval() const override { return interval_; }
    void SetWPTimerInterval(uint32_t ms) override {
        interval_ = ms;
        intervalSet_ = true;
    }

    MainSettings main_;
    uint8_t subAlpha_ = 0x5A;
    bool subAlphaSet_ = false;
    uint32_t interval_ = 0xDEADBEEF;
    bool intervalSet_ = false;
};

// ------------------------------------------------------------------ the rows

enum class Kind : uint8_t { Integer, Real, Text, Blob, Null };

struct Row {
    Kind kind = Kind::Null;
    int64_t integer = 0;
    double real = 0;
    std::string bytes;  // TEXT or BLOB
};

const char* const kSections[] = {"WALLPAPER", "MAIN", "WAVE_SPECTRUM"};
const char* const kNames[] = {"TRANSPARENCY", "ALPHA_VALUE", "WP_FILE",      "WP_DISP_MODE",
                              "WP_FOLDER",    "WP_CHG_TIME", "WAVE_SPECTRUM"};
const int64_t kEdgeIntegers[] = {0,          1,          -1,         2,          128,
                                 180,        200,        255,        256,        4294967,
                                 4294968,    INT32_MAX,  INT32_MIN,  int64_t(INT32_MAX) + 1,
                                 int64_t(INT32_MIN) - 1, INT64_MAX, INT64_MIN, UINT32_MAX};

class Reader {
public:
    Reader(const uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool Empty() const { return at_ >= size_; }
    uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
    uint64_t Word() {
        uint64_t value = 0;
        for (int i = 0; i < 8; ++i) value |= uint64_t(Byte()) << (8 * i);
        return value;
    }
    std::string Bytes() {
        const std::size_t length = std::min<std::size_t>(Byte(), size_ - std::min(at_, size_));
        std::string text(reinterpret_cast<const char*>(data_ + at_), length);
        at_ += length;
        return text;
    }

private:
    const uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

using Key = std::pair<std::string, std::string>;
using Rows = std::map<Key, Row>;

// A section or a name: one the program uses for most selector bytes, any
// bytes otherwise.
std::string Pick(Reader& in, const char* const* known, std::size_t count) {
    const uint8_t selector = in.Byte();
    return selector < 0xF0 ? known[selector % count] : in.Bytes();
}

Rows ParseRows(Reader& in) {
    Rows rows;
    for (int n = 0; n < 64 && !in.Empty(); ++n) {
        std::string section = Pick(in, kSections, std::size(kSections));
        std::string name = Pick(in, kNames, std::size(kNames));
        const uint8_t type = in.Byte();
        Row row;
        row.kind = Kind(type % 5);
        switch (row.kind) {
        case Kind::Integer:
            row.integer = type & 0x80 ? kEdgeIntegers[in.Byte() % std::size(kEdgeIntegers)]
                                      : int64_t(in.Word());
            break;
        case Kind::Real: {
            const uint64_t bits = in.Word();
            std::memcpy(&row.real, &bits, sizeof row.real);
            break;
        }
        case Kind::Text:
        case Kind::Blob:
            row.bytes = in.Bytes();
            break;
        case Kind::Null:
            break;
        }
        rows[{std::move(section), std::move(name)}] = std::move(row);
    }
    return rows;
}

void Encode(std::string& out, const std::string& section, const std::string& name, Kind kind,
            const std::string& payload) {
    auto pick = [&out](const char* const* known, std::size_t count, const std::string& text) {
        for (std::size_t i = 0; i < count; ++i)
            if (text == known[i]) return void(out += char(i));
        out += char(0xFF);
        out += char(text.size());
        out += text;
    };
    pick(kSections, std::size(kSections), section);
    pick(kNames, std::size(kNames), name);
    out += char(kind);
    if (kind == Kind::Text || kind == Kind::Blob) out += char(payload.size());
    out += payload;
}

bool Exec(sqlite3* db, const char* sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK; }

// Puts the rows into the store's tables, as another writer of the file might.
void InsertRows(const Rows& rows) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(g_database.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        sqlite3_close_v2(db);
        Fail("the store's new file does not open");
    }
    sqlite3_stmt* section = nullptr;
    sqlite3_stmt* value = nullptr;
    if (!Exec(db, "BEGIN") ||
        sqlite3_prepare_v2(db, "INSERT OR IGNORE INTO section(name) VALUES(?1)", -1, &section, nullptr) !=
            SQLITE_OK ||
        sqlite3_prepare_v2(db, "INSERT OR REPLACE INTO value(section, name, data) VALUES(?1, ?2, ?3)", -1,
                           &value, nullptr) != SQLITE_OK)
        Fail(std::string("the store's tables do not take rows: ") + sqlite3_errmsg(db));
    for (const auto& [key, row] : rows) {
        sqlite3_bind_text(section, 1, key.first.data(), int(key.first.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(value, 1, key.first.data(), int(key.first.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(value, 2, key.second.data(), int(key.second.size()), SQLITE_TRANSIENT);
        switch (row.kind) {
        case Kind::Integer:
            sqlite3_bind_int64(value, 3, row.integer);
            break;
        case Kind::Real:
            sqlite3_bind_double(value, 3, row.real);
            break;
        case Kind::Text:
            sqlite3_bind_text(value, 3, row.bytes.data(), int(row.bytes.size()), SQLITE_TRANSIENT);
            break;
        case Kind::Blob:
            sqlite3_bind_blob(value, 3, row.bytes.data(), int(row.bytes.size()), SQLITE_TRANSIENT);
            break;
        case Kind::Null:
            sqlite3_bind_null(value, 3);
            break;
        }
        if (sqlite3_step(section) != SQLITE_DONE || sqlite3_step(value) != SQLITE_DONE)
            Fail(std::string("a row was not inserted: ") + sqlite3_errmsg(db));
        sqlite3_reset(section);
        sqlite3_reset(value);
    }
    sqlite3_finalize(section);
    sqlite3_finalize(value);
    if (!Exec(db, "COMMIT")) Fail("the rows were not committed");
    sqlite3_close_v2(db);
}

// ------------------------------------------------------------------ what a read must give

// What the key must read for a row: an INTEGER within 32 bits is an integer,
// TEXT is text, anything else is of another kind.
StoredValue Expected(const Row* row) {
    StoredValue value;
    if (row == nullptr) return value;
    switch (row->kind) {
    case Kind::Integer:
        if (row->integer >= INT32_MIN && row->integer <= INT32_MAX) {
            value.kind = StoredKind::Integer;
            value.integer = int32_t(row->integer);
        } else {
            value.kind = StoredKind::Other;
        }
        break;
    case Kind::Text:
        value.kind = StoredKind::Text;
        value.text = row->bytes;
        break;
    default:
        value.kind = StoredKind::Other;
        break;
    }
    return value;
}

// Blanks, a sign, then only digits, within 32 bits.
bool Decimal(const std::string& text, int32_t& result) {
    std::size_t at = text.find_first_not_of(" \t");
    if (at == std::string::npos) return false;
    bool negative = false;
    if (text[at] == '+' || text[at] == '-') negative = text[at++] == '-';
    if (at == text.size()) return false;
    for (std::size_t i = at; i < text.size(); ++i)
        if (text[i] < '0' || text[i] > '9') return false;
    uint64_t magnitude = 0;
    const auto [end, error] = std::from_chars(text.data() + at, text.data() + text.size(), magnitude);
    if (error != std::errc() || end != text.data() + text.size()) return false;
    if (magnitude > (negative ? uint64_t(1) << 31 : (uint64_t(1) << 31) - 1)) return false;
    result = int32_t(negative ? -int64_t(magnitude) : int64_t(magnitude));
    return true;
}

struct Model {
    MainSettings main;
    uint8_t subAlpha = 0;
    uint32_t interval = 0;
    std::vector<std::string> unreadable;  // the values that took their defaults, in order
};

// The eight settings as the documented load gives them for these rows: each
// value read on its own, one of a kind that cannot be read taking its default.
Model ExpectedLoad(const Rows& rows) {
    Model model;
    auto row = [&rows](const char* section, const char* name) -> const Row* {
        const auto found = rows.find({section, name});
        return found == rows.end() ? nullptr : &found->second;
    };
    auto integer = [&](const char* section, const char* name, int32_t fallback) {
        const StoredValue stored = Expected(row(section, name));
        int32_t out = fallback;
        switch (stored.kind) {
        case StoredKind::None:
            break;
        case StoredKind::Integer:
            out = stored.integer;
            break;
        case StoredKind::Text:
            if (!Decimal(stored.text, out)) out = fallback;
            break;
        case StoredKind::Other:
            model.unreadable.emplace_back(name);
            break;
        }
        return out;
    };
    auto text = [&](const char* section, const char* name) {
        const StoredValue stored = Expected(row(section, name));
        switch (stored.kind) {
        case StoredKind::Text:
            return stored.text;
        case StoredKind::Integer:
            return std::to_string(stored.integer);
        case StoredKind::Other:
            model.unreadable.emplace_back(name);
            break;
        case StoredKind::None:
            break;
        }
        return std::string();
    };
    model.main.IsWPTransparency = integer("WALLPAPER", "TRANSPARENCY", 1) != 0;
    model.main.WPAlphaValue = integer("WALLPAPER", "ALPHA_VALUE", 128);
    model.main.WPFile = text("WALLPAPER", "WP_FILE");
    model.main.WPDispMode = integer("WALLPAPER", "WP_DISP_MODE", 0) != 0;
    model.main.WPFolder = text("WALLPAPER", "WP_FOLDER");
    model.subAlpha = uint8_t(integer("MAIN", "TRANSPARENCY", 200) & 0xFF);
    model.interval = uint32_t(integer("WALLPAPER", "WP_CHG_TIME", 180)) * 1000u;
    model.main.IsDispWaveSpectrum = integer("WAVE_SPECTRUM", "WAVE_SPECTRUM", 1) != 0;
    return model;
}

void CompareLoad(const Host& host, const std::vector<std::string>& unreadable, const Model& model) {
    const MainSettings& got = host.main_;
    const MainSettings& want = model.main;
    const std::pair<bool, const char*> checks[] = {
        {got.IsWPTransparency == want.IsWPTransparency, "TRANSPARENCY"},
        {got.WPAlphaValue == want.WPAlphaValue, "ALPHA_VALUE"},
        {got.WPFile == want.WPFile, "WP_FILE"},
        {got.WPDispMode == want.WPDispMode, "WP_DISP_MODE"},
        {got.WPFolder == want.WPFolder, "WP_FOLDER"},
        {host.subAlphaSet_ && host.subAlpha_ == model.subAlpha, "MAIN TRANSPARENCY"},
        {host.intervalSet_ && host.interval_ == model.interval, "WP_CHG_TIME"},
        {got.IsDispWaveSpectrum == want.IsDispWaveSpectrum, "WAVE_SPECTRUM"},
    };
    for (const auto& [same, field] : checks)
        if (!same) Fail(std::string(field) + " was not loaded as stored");
    if (unreadable != model.unreadable) Fail("the values named unreadable are not the odd ones");
}

std::vector<std::string> Load(SettingsStore& store, Host& host) {
    try {
        return LoadSettings(store, host);
    } catch (const AppError& error) {
        Fail(std::string("a load raised: ") + error.what());
    }
}

// Whatever was loaded is saved and must load back whole: the period in whole
// seconds, everything else exactly.
void SaveAndLoadBack(SettingsStore& store, Host& host) {
    try {
        SaveSettings(store, host);
    } catch (const AppError& error) {
        Fail(std::string("a save into a good store failed: ") + error.what());
    }
    Host again;
    if (!Load(store, again).empty()) Fail("a store just saved has values that cannot be read");
    if (again.main_.IsWPTransparency != (host.main_.IsWPTransparency != 0) ||
        again.main_.WPAlphaValue != host.main_.WPAlphaValue || again.main_.WPFile != host.main_.WPFile ||
        again.main_.WPDispMode != (host.main_.WPDispMode != 0) || again.main_.WPFolder != host.main_.WPFolder ||
        again.main_.IsDispWaveSpectrum != (host.main_.IsDispWaveSpectrum == 1) ||
        again.subAlpha_ != host.subAlpha_ || again.interval_ != host.interval_ / 1000u * 1000u)
        Fail("a saved setting loads back different");
}

void FuzzRows(Reader& in) {
    const Rows rows = ParseRows(in);
    LinuxSettingsStore store(g_database);
    // The store makes its file and tables itself; the rows go in afterwards.
    if (!store.OpenProgramKey()) Fail("a new store does not open");
    InsertRows(rows);

    {
        const std::unique_ptr<SettingsKey> key = store.OpenProgramKey();
        if (!key) Fail("a store with rows does not open");
        for (const auto& [name, row] : rows) {
            const StoredValue got = key->Read(name.first, name.second);
            const StoredValue want = Expected(&row);
            if (got.kind != want.kind || got.integer != want.integer || got.text != want.text)
                Fail("a value read back differs from its row");
        }
        if (rows.find({"WALLPAPER", "(absent)"}) == rows.end() &&
            key->Read("WALLPAPER", "(absent)").kind != StoredKind::None)
            Fail("a missing value was read as present");
    }

    Host host;
    const std::vector<std::string> unreadable = Load(store, host);
    CompareLoad(host, unreadable, ExpectedLoad(rows));
    SaveAndLoadBack(store, host);
}

void FuzzFile(const uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    {
        std::ofstream file(g_database, std::ios::binary | std::ios::trunc);
        file << bytes;
        if (!file) Fail("the database file could not be written");
    }
    LinuxSettingsStore store(g_database);
    Host host;
    Load(store, host);
    const std::vector<std::string> moved = MovedAside();
    if (moved.size() > 1) Fail("a file was moved aside more than once");
    if (moved.size() == 1 && ReadAll(moved[0]) != bytes) Fail("the file moved aside is not the file found");
    if (const std::unique_ptr<SettingsKey> key = store.OpenProgramKey()) {
        for (const char* section : kSections)
            for (const char* name : kNames) key->Read(section, name);
    } else {
        Fail("the store does not open after its first look at the file");
    }
    SaveAndLoadBack(store, host);
}

// ------------------------------------------------------------------ seeds

class SeedHost : public Host {
public:
    SeedHost() {
        main_.IsWPTransparency = 1;
        main_.WPAlphaValue = 96;
        main_.WPFile = "/media/photos/sunset.jpg";
        main_.WPDispMode = 1;
        main_.WPFolder = "/media/photos";
        main_.IsDispWaveSpectrum = 1;
        subAlpha_ = 200;
        interval_ = 300000;
    }
};

void WriteSeed(const std::string& path, const std::string& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << bytes;
    if (!file) Fail("cannot write " + path);
}

void WriteSeeds(const std::string& folder) {
    // A store as the program saves it, as the file itself.
    {
        LinuxSettingsStore store(g_database);
        SeedHost host;
        SaveSettings(store, host);
    }
    WriteSeed(folder + "/saved_store.sqlite3", std::string(1, '\x01') + ReadAll(g_database));
    RemoveDatabase();

    // A store whose tables lost their keys, with a value saved twice and one
    // of another kind: moved aside, what it holds carried over.
    {
        sqlite3* db = nullptr;
        if (sqlite3_open(g_database.c_str(), &db) != SQLITE_OK ||
            !Exec(db, "CREATE TABLE section(name TEXT); CREATE TABLE value(section, name, data);"
                      "INSERT INTO section VALUES('MAIN'), ('MAIN'), ('WALLPAPER');"
                      "INSERT INTO value VALUES('MAIN', 'TRANSPARENCY', 100), ('MAIN', 'TRANSPARENCY', 150),"
                      " ('WALLPAPER', 'WP_FOLDER', '/media/photos'), ('WALLPAPER', 'ALPHA_VALUE', 2.5)"))
            Fail("cannot make the keyless seed");
        sqlite3_close(db);
    }
    WriteSeed(folder + "/keyless_store.sqlite3", std::string(1, '\x01') + ReadAll(g_database));
    RemoveDatabase();

    // Rows: the saved settings, then values of every kind and the edges.
    auto int64Bytes = [](int64_t value) {
        std::string out;
        for (int i = 0; i < 8; ++i) out += char(uint64_t(value) >> (8 * i));
        return out;
    };
    std::string saved(1, '\0');
    Encode(saved, "WALLPAPER", "TRANSPARENCY", Kind::Text, "1");
    Encode(saved, "WALLPAPER", "ALPHA_VALUE", Kind::Integer, int64Bytes(96));
    Encode(saved, "WALLPAPER", "WP_FILE", Kind::Text, "/media/photos/sunset.jpg");
    Encode(saved, "WALLPAPER", "WP_DISP_MODE", Kind::Text, "0");
    Encode(saved, "WALLPAPER", "WP_FOLDER", Kind::Text, "/media/photos");
    Encode(saved, "WALLPAPER", "WP_CHG_TIME", Kind::Integer, int64Bytes(300));
    Encode(saved, "WAVE_SPECTRUM", "WAVE_SPECTRUM", Kind::Text, "1");
    Encode(saved, "MAIN", "TRANSPARENCY", Kind::Integer, int64Bytes(200));
    WriteSeed(folder + "/rows_saved", saved);

    std::string texts(1, '\0');
    Encode(texts, "WALLPAPER", "ALPHA_VALUE", Kind::Text, "  -2147483648");
    Encode(texts, "WALLPAPER", "WP_CHG_TIME", Kind::Text, "+4294968");
    Encode(texts, "MAIN", "TRANSPARENCY", Kind::Text, "2147483648");
    Encode(texts, "WALLPAPER", "WP_FILE", Kind::Text, std::string("a\0b\xff\xfe\xc3(", 7));
    Encode(texts, "WALLPAPER", "WP_FOLDER", Kind::Text, "\xe5\xa3\x81\xe7\xb4\x99");
    Encode(texts, "other section", "WP_FILE", Kind::Blob, "blob");
    WriteSeed(folder + "/rows_texts", texts);

    std::string kinds(1, '\0');
    Encode(kinds, "MAIN", "TRANSPARENCY", Kind::Integer, int64Bytes(int64_t(INT32_MAX) + 1));
    Encode(kinds, "WALLPAPER", "WP_CHG_TIME", Kind::Real, int64Bytes(0x4066800000000000));  // 180.0
    Encode(kinds, "WALLPAPER", "WP_FILE", Kind::Blob, std::string("\0\1\2", 3));
    Encode(kinds, "WAVE_SPECTRUM", "WAVE_SPECTRUM", Kind::Null, "");
    WriteSeed(folder + "/rows_kinds", kinds);

    std::string wrongFile(1, '\0');
    Encode(wrongFile, "WALLPAPER", "TRANSPARENCY", Kind::Integer, int64Bytes(0));
    Encode(wrongFile, "WALLPAPER", "WP_FILE", Kind::Integer, int64Bytes(7));
    WriteSeed(folder + "/rows_wrong_type", wrongFile);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && base[0] == '/' ? base : P_tmpdir) + "/duskpane-fuzz-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) Fail("no temporary folder");
    g_folder = pattern;
    g_database = g_folder + "/settings.sqlite3";
    std::atexit(RemoveFolder);

    for (int i = 1; i < *argc; ++i) {
        const std::string argument = (*argv)[i];
        const std::string flag = "--write-seeds=";
        if (argument.rfind(flag, 0) == 0) {
            const std::string folder = argument.substr(flag.size());
            mkdir(folder.c_str(), 0755);
            WriteSeeds(folder);
            std::exit(0);
        }
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    if (data[0] & 1) {
        FuzzFile(data + 1, size - 1);
    } else {
        Reader in(data + 1, size - 1);
        FuzzRows(in);
    }
    RemoveFiles();
    return 0;
}

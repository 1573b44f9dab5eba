// Small SQLite helpers of the settings store: owned connections and
// statements, a bounded wait for another writer's lock, and error texts.
#pragma once

#include <sqlite3.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace duskpane::sqlite {

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
    // SQLITE_MISUSE when the statement did not compile.
    int Step() { return stmt_ != nullptr ? sqlite3_step(stmt_) : SQLITE_MISUSE; }
    void Reset() { sqlite3_reset(stmt_); }
    sqlite3_stmt* Get() const { return stmt_; }
    // A column as text; empty for NULL.
    std::string Text(int column) const {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
        return text != nullptr ? std::string(text, size_t(sqlite3_column_bytes(stmt_, column)))
                               : std::string();
    }

private:
    sqlite3_stmt* stmt_ = nullptr;
};

inline bool Execute(sqlite3* db, const char* sql) {
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

// The time a connection may wait in all for locks other connections hold,
// whatever it does meanwhile. A save waits at most this long for another
// program's write and then fails, so that the window never freezes for long.
using Clock = std::chrono::steady_clock;
struct WaitBudget {
    Clock::time_point deadline;
};
void LimitWaits(sqlite3* db, WaitBudget& budget);

// SQLite's last error on a connection with the system's cause where there
// is one: "attempt to write a readonly database (Permission denied)".
std::string ErrorText(sqlite3* db);

// One line on standard error, prefixed with the program's name; line breaks
// in what it quotes (a path, SQLite's findings) become spaces.
inline void Report(std::string line) {
    for (char& c : line)
        if (c == '\n' || c == '\r') c = ' ';
    std::fputs(("duskpane: " + line + "\n").c_str(), stderr);
}

}  // namespace duskpane::sqlite

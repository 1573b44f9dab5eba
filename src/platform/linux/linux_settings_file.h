// The settings file's shape: its tables, the check that a file has that
// shape, and the move of a damaged file out of the way.
#pragma once

#include <string>

#include "platform/linux/linux_sqlite.h"

namespace duskpane {

// Creates the two tables where they are missing: section(name) and
// value(section, name, data), each keyed by its names; data has no type, so
// that every value keeps its own storage class. A file that already has both
// is left untouched, so that one that is only readable still opens.
bool EnsureSettingsTables(sqlite3* db);

// What a look at the file at a path found.
struct SettingsFileCheck {
    enum class Verdict {
        Sound,    // missing, empty, or a database of the store's shape
        Damaged,  // no database, or not of the store's shape: cause says how
        Unknown,  // could not be told now (locked, unreadable)
    };
    Verdict verdict = Verdict::Unknown;
    std::string cause;
};
SettingsFileCheck CheckSettingsFile(const std::string& path, sqlite::WaitBudget& budget);

// Looks at the settings file once and, when it is damaged, renames it to
// "<path>.damaged-<UTC time>" (never over an earlier one) and makes a new
// file of the store's shape in its place, with every value that can still be
// read from the old one, each of its own storage class. Says on standard
// error what it did. False when the file could not be told sound or damaged
// (locked, unreadable), so that a later open looks again.
bool RepairSettingsFile(const std::string& path, sqlite::WaitBudget& budget);

}  // namespace duskpane

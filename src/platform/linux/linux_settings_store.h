// The per-user settings store on Linux: one SQLite file of sections and typed values.
#pragma once

#include <memory>
#include <string>

#include "platform/platform.h"

namespace duskpane {

// Keeps the program's key in settings.sqlite3 under the user's configuration
// folder. Each value keeps SQLite's storage class: an INTEGER within 32 bits
// is an integer, TEXT is text, anything else is of another kind. The writes of
// one key form one transaction, begun at the first write and committed at
// Flush, so a save is whole or absent after a crash. One load or save waits
// for other programs' locks for less than a second in all, then fails.
//
// The first open looks at the file: one that is not a database of the
// store's shape is moved aside (see RepairSettingsFile) and a new one made
// with what could still be read from it. A path that is no file at all (a
// folder, a pipe, a device) is never opened: the key cannot be opened, and
// the settings read as their defaults. Every failure to open or to save
// says on standard error which file and why.
class LinuxSettingsStore : public SettingsStore {
public:
    // The file under $XDG_CONFIG_HOME (or $HOME/.config).
    LinuxSettingsStore();
    explicit LinuxSettingsStore(std::string databasePath);

    // Opens the database, creating its folders, the file and the tables when
    // missing; null when the file cannot be opened or has no tables and
    // cannot get them.
    std::unique_ptr<SettingsKey> OpenProgramKey() override;

    const std::string& DatabasePath() const { return path_; }

private:
    std::string path_;
    bool checked_ = false;  // the file was looked at (and mended when damaged)
};

// Where the settings file lives for these environment values (null when
// unset): $XDG_CONFIG_HOME/Kirameda/Duskpane/settings.sqlite3, with
// $HOME/.config when XDG_CONFIG_HOME is unset, empty or not absolute. Empty
// when neither gives a folder.
std::string SettingsDatabasePath(const char* xdgConfigHome, const char* home);

}  // namespace duskpane

// The per-user settings store on Windows: the program's key in the registry.
#pragma once

#include <memory>
#include <string>

#include "platform/platform.h"

namespace duskpane {

// The program's key under HKEY_CURRENT_USER, one subkey per section.
//
// Kinds: REG_DWORD of four bytes is an integer; REG_SZ and REG_EXPAND_SZ are
// text (the latter as stored, its %variables% not expanded); every other
// type (and a REG_DWORD of another length) is of another kind. Text is UTF-16
// in the registry and UTF-8 here. Text written by other tools reads back
// safely: it ends at its first NUL or at the end of the data, whichever comes
// first, and an odd trailing byte is dropped. Integers are written as
// REG_DWORD, text as REG_SZ with its terminating NUL.
//
// Each call opens the section's subkey and closes it again, so that the key
// always shows what another instance or tool last wrote. Every write reaches
// the registry at once; Flush asks the system (RegFlushKey) to put the key
// on disk and reports whether that worked.
class Win32SettingsStore : public SettingsStore {
public:
    // The key path below HKEY_CURRENT_USER.
    static constexpr const char* kProgramKeyPath = "Software\\Kirameda\\Duskpane";

    Win32SettingsStore();
    // Another key path below HKEY_CURRENT_USER, in UTF-8 (tests use their own).
    explicit Win32SettingsStore(std::string keyPath);

    // Opens the key with full access, creating it when missing; null when it
    // can be neither opened nor created.
    std::unique_ptr<SettingsKey> OpenProgramKey() override;

    const std::string& KeyPath() const { return keyPath_; }

private:
    std::string keyPath_;
};

}  // namespace duskpane

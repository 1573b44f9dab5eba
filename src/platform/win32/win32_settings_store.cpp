// The registry settings store: the program's key, typed reads and writes per section.
#include "platform/win32/win32_settings_store.h"

#include <windows.h>

#include <cstring>
#include <utility>
#include <vector>

#include "platform/win32/win32_text.h"

namespace duskpane {

namespace {

// An open registry key, closed when it goes out of scope.
class RegistryKey {
public:
    RegistryKey() = default;
    explicit RegistryKey(HKEY key) : key_(key) {}
    ~RegistryKey() {
        if (key_ != nullptr) RegCloseKey(key_);
    }
    RegistryKey(RegistryKey&& other) noexcept : key_(std::exchange(other.key_, nullptr)) {}
    RegistryKey& operator=(RegistryKey&& other) noexcept {
        std::swap(key_, other.key_);
        return *this;
    }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    HKEY Get() const { return key_; }
    explicit operator bool() const { return key_ != nullptr; }

    // Opens an existing subkey; empty when it is missing or cannot be opened.
    static RegistryKey Open(HKEY parent, const std::wstring& path, REGSAM access) {
        HKEY key = nullptr;
        if (RegOpenKeyExW(parent, path.c_str(), 0, access, &key) != ERROR_SUCCESS) return {};
        return RegistryKey(key);
    }

    // Opens a subkey, creating it (and missing keys above it) when needed.
    static RegistryKey Create(HKEY parent, const std::wstring& path, REGSAM access) {
        HKEY key = nullptr;
        if (RegCreateKeyExW(parent, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access,
                            nullptr, &key, nullptr) != ERROR_SUCCESS) {
            return {};
        }
        return RegistryKey(key);
    }

private:
    HKEY key_ = nullptr;
};

// Text data as another tool may have left it: the characters up to the first
// NUL or the end, whichever comes first; an odd last byte is no character.
std::string TextFromData(const std::vector<BYTE>& data, DWORD size) {
    const size_t units = size / sizeof(wchar_t);
    std::wstring text(units, L'\0');
    if (units > 0) std::memcpy(text.data(), data.data(), units * sizeof(wchar_t));
    const size_t end = text.find(L'\0');
    if (end != std::wstring::npos) text.resize(end);
    return Narrow(text);
}

// Reads a value's type and data. The size is asked again when the value grew
// between the two calls (another program writing it).
bool QueryValue(HKEY key, const std::wstring& name, DWORD& type, std::vector<BYTE>& data,
                DWORD& size) {
    data.assign(256, 0);
    for (int attempt = 0; attempt < 8; ++attempt) {
        size = DWORD(data.size());
        const LONG result = RegQueryValueExW(key, name.c_str(), nullptr, &type, data.data(), &size);
        if (result == ERROR_SUCCESS) return true;
        if (result != ERROR_MORE_DATA) return false;
        data.assign(size_t(size) + sizeof(wchar_t), 0);
    }
    return false;
}

class Win32SettingsKey : public SettingsKey {
public:
    explicit Win32SettingsKey(RegistryKey root) : root_(std::move(root)) {}

    StoredValue Read(const std::string& section, const std::string& name) override {
        StoredValue value;
        const RegistryKey key = RegistryKey::Open(root_.Get(), Widen(section), KEY_QUERY_VALUE);
        if (!key) return value;
        DWORD type = REG_NONE;
        DWORD size = 0;
        std::vector<BYTE> data;
        if (!QueryValue(key.Get(), Widen(name), type, data, size)) return value;
        switch (type) {
            case REG_DWORD:
                if (size == sizeof(DWORD)) {
                    DWORD number = 0;
                    std::memcpy(&number, data.data(), sizeof number);
                    value.kind = StoredKind::Integer;
                    value.integer = int32_t(number);
                } else {
                    value.kind = StoredKind::Other;
                }
                break;
            case REG_SZ:
            case REG_EXPAND_SZ:
                value.kind = StoredKind::Text;
                value.text = TextFromData(data, size);
                break;
            default:
                value.kind = StoredKind::Other;
                break;
        }
        return value;
    }

    bool CreateSection(const std::string& section) override {
        const REGSAM access = KEY_QUERY_VALUE | KEY_SET_VALUE;
        return bool(RegistryKey::Create(root_.Get(), Widen(section), access));
    }

    bool WriteInteger(const std::string& section, const std::string& name,
                      int32_t value) override {
        const DWORD number = DWORD(value);
        return SetValue(section, name, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                        sizeof number);
    }

    bool WriteText(const std::string& section, const std::string& name,
                   const std::string& value) override {
        const std::wstring text = Widen(value);
        const size_t bytes = (text.size() + 1) * sizeof(wchar_t);  // with the NUL
        if (bytes > MAXDWORD) return false;
        return SetValue(section, name, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                        DWORD(bytes));
    }

    bool Flush() override { return RegFlushKey(root_.Get()) == ERROR_SUCCESS; }

private:
    bool SetValue(const std::string& section, const std::string& name, DWORD type,
                  const BYTE* data, DWORD size) {
        const RegistryKey key = RegistryKey::Create(root_.Get(), Widen(section), KEY_SET_VALUE);
        return key && RegSetValueExW(key.Get(), Widen(name).c_str(), 0, type, data, size) ==
                          ERROR_SUCCESS;
    }

    RegistryKey root_;
};

}  // namespace

Win32SettingsStore::Win32SettingsStore() : keyPath_(kProgramKeyPath) {}

Win32SettingsStore::Win32SettingsStore(std::string keyPath) : keyPath_(std::move(keyPath)) {}

std::unique_ptr<SettingsKey> Win32SettingsStore::OpenProgramKey() {
    if (keyPath_.empty()) return nullptr;
    RegistryKey root = RegistryKey::Create(HKEY_CURRENT_USER, Widen(keyPath_), KEY_ALL_ACCESS);
    if (!root) return nullptr;
    return std::make_unique<Win32SettingsKey>(std::move(root));
}

}  // namespace duskpane

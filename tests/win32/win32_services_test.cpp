// The registry settings store and the clocks on Windows: the shared settings
// scenarios, value kinds as other tools leave them, sections that cannot be
// created, and the time services against the system's own answers.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "../settings_scenarios.h"
#include "platform/win32/win32_settings_store.h"
#include "platform/win32/win32_text.h"
#include "platform/win32/win32_time.h"

namespace duskpane::settings_test {
namespace {

// Every test key lives below this one and is deleted afterwards.
constexpr const wchar_t* kTestParent = L"Software\\Kirameda\\DuskpaneTest";
// The sections the program saves into.
constexpr const char* kProgramSections[] = {"WALLPAPER", "MAIN", "WAVE_SPECTRUM"};

// A key of its own for each test, removed with everything in it at the end.
class TestKey {
public:
    TestKey() {
        static int counter = 0;
        HKEY parent = nullptr;
        RegCreateKeyExW(HKEY_CURRENT_USER, kTestParent, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, &parent, nullptr);
        RegCloseKey(parent);
        path_ = std::wstring(kTestParent) + L"\\" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                std::to_wstring(++counter);
        RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
    }
    ~TestKey() {
        RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
        RegDeleteKeyW(HKEY_CURRENT_USER, kTestParent);  // only when no other test key is left
    }
    TestKey(const TestKey&) = delete;
    TestKey& operator=(const TestKey&) = delete;

    const std::wstring& Path() const { return path_; }
    std::string Utf8Path() const { return Narrow(path_); }
    std::wstring Section(const std::string& section) const {
        return path_ + L"\\" + Widen(section);
    }

    bool Exists() const {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, path_.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
            return false;
        }
        RegCloseKey(key);
        return true;
    }

    // Stores raw data as another program would.
    void Plant(const std::string& section, const std::wstring& name, DWORD type, const void* data,
               DWORD size) const {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, Section(section).c_str(), 0, nullptr,
                                  REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        EXPECT_EQ(RegSetValueExW(key, name.c_str(), 0, type, static_cast<const BYTE*>(data), size),
                  ERROR_SUCCESS);
        RegCloseKey(key);
    }

    // The type and bytes of a value as another program reads them.
    bool Raw(const std::string& section, const std::wstring& name, DWORD& type,
             std::vector<BYTE>& data) const {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, Section(section).c_str(), 0, KEY_READ, &key) !=
            ERROR_SUCCESS) {
            return false;
        }
        DWORD size = 0;
        LONG result = RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &size);
        data.assign(size, 0);
        if (result == ERROR_SUCCESS && size > 0) {
            result = RegQueryValueExW(key, name.c_str(), nullptr, &type, data.data(), &size);
        }
        RegCloseKey(key);
        return result == ERROR_SUCCESS;
    }

    // Makes the key volatile: no lasting subkey can be created below it
    // (ERROR_CHILD_MUST_BE_VOLATILE), while the subkeys made here as volatile
    // ones open as usual.
    void MakeVolatile(const std::vector<std::string>& openableSections) const {
        RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, REG_OPTION_VOLATILE,
                                  KEY_ALL_ACCESS, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        for (const std::string& section : openableSections) {
            HKEY sub = nullptr;
            EXPECT_EQ(RegCreateKeyExW(key, Widen(section).c_str(), 0, nullptr, REG_OPTION_VOLATILE,
                                      KEY_ALL_ACCESS, nullptr, &sub, nullptr),
                      ERROR_SUCCESS);
            RegCloseKey(sub);
        }
        RegCloseKey(key);
    }

private:
    std::wstring path_;
};

// The shared scenarios over the registry, seen from outside with the raw API.
class RegistryHarness {
public:
    RegistryHarness() : store_(key_.Utf8Path()) {}

    SettingsStore& Store() { return store_; }
    bool KeyExists() { return key_.Exists(); }

    size_t ValueCount() {
        HKEY root = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, key_.Path().c_str(), 0, KEY_READ, &root) !=
            ERROR_SUCCESS) {
            return 0;
        }
        size_t count = 0;
        DWORD values = 0;
        if (RegQueryInfoKeyW(root, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values,
                             nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
            count += values;
        }
        wchar_t name[256];
        for (DWORD index = 0;; ++index) {
            DWORD length = 256;
            if (RegEnumKeyExW(root, index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
                ERROR_SUCCESS) {
                break;
            }
            HKEY section = nullptr;
            if (RegOpenKeyExW(root, name, 0, KEY_READ, &section) == ERROR_SUCCESS) {
                if (RegQueryInfoKeyW(section, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                     &values, nullptr, nullptr, nullptr,
                                     nullptr) == ERROR_SUCCESS) {
                    count += values;
                }
                RegCloseKey(section);
            }
        }
        RegCloseKey(root);
        return count;
    }

    StoredValue Stored(const std::string& section, const std::string& name) {
        StoredValue value;
        DWORD type = REG_NONE;
        std::vector<BYTE> data;
        if (!key_.Raw(section, Widen(name), type, data)) return value;
        if (type == REG_DWORD && data.size() == 4) {
            value.kind = StoredKind::Integer;
            value.integer = int32_t(*reinterpret_cast<const DWORD*>(data.data()));
        } else if (type == REG_SZ) {
            value.kind = StoredKind::Text;
            value.text = Narrow(reinterpret_cast<const wchar_t*>(data.data()),
                                wcsnlen(reinterpret_cast<const wchar_t*>(data.data()),
                                        data.size() / sizeof(wchar_t)));
        } else {
            value.kind = StoredKind::Other;
        }
        return value;
    }

    void PutInteger(const std::string& section, const std::string& name, int32_t value) {
        const DWORD number = DWORD(value);
        key_.Plant(section, Widen(name), REG_DWORD, &number, sizeof number);
    }
    void PutText(const std::string& section, const std::string& name, const std::string& value) {
        const std::wstring text = Widen(value);
        key_.Plant(section, Widen(name), REG_SZ, text.c_str(),
                   DWORD((text.size() + 1) * sizeof(wchar_t)));
    }
    // Raw bytes, a 64-bit number, a list of texts, or a value of no type.
    void PutOther(const std::string& section, const std::string& name, size_t which) {
        const BYTE bytes[] = {0x01, 0x00, 0xFF};
        const uint64_t quad = uint64_t(1) << 40;
        const wchar_t texts[] = L"a\0b\0";
        switch (which % 4) {
            case 0: return key_.Plant(section, Widen(name), REG_BINARY, bytes, sizeof bytes);
            case 1: return key_.Plant(section, Widen(name), REG_QWORD, &quad, sizeof quad);
            case 2: return key_.Plant(section, Widen(name), REG_MULTI_SZ, texts, sizeof texts);
            default: return key_.Plant(section, Widen(name), REG_NONE, nullptr, 0);
        }
    }
    // The program's other sections exist; this one cannot be created.
    void FailSection(const std::string& section) {
        std::vector<std::string> others;
        for (const char* name : kProgramSections) {
            if (section != name) others.push_back(name);
        }
        key_.MakeVolatile(others);
    }

private:
    TestKey key_;
    Win32SettingsStore store_;
};

INSTANTIATE_TYPED_TEST_SUITE_P(Registry, SettingsScenarios, RegistryHarness);

std::vector<BYTE> BytesOf(const void* data, size_t size) {
    const auto* bytes = static_cast<const BYTE*>(data);
    return std::vector<BYTE>(bytes, bytes + size);
}

// The first bytes of a text's UTF-16 form with its NUL: other tools may store
// text cut anywhere, without its NUL or with an odd length.
std::vector<BYTE> Utf16(const std::wstring& text, size_t bytes) {
    return BytesOf(text.c_str(), std::min(bytes, (text.size() + 1) * sizeof(wchar_t)));
}

TEST(Win32SettingsStoreTest, ValuesOtherToolsStoredReadBackByKind) {
    const DWORD minusOne = 0xFFFFFFFF;
    const ULONGLONG quad = 7;
    const std::wstring longText(5000, L'字');
    const wchar_t lone[] = {L'a', wchar_t(0xD800), L'b', 0};
    struct Planted {
        const wchar_t* name;
        DWORD type;
        std::vector<BYTE> data;
        StoredKind kind;
        int32_t integer;
        std::string text;
    };
    const Planted planted[] = {
        {L"dword", REG_DWORD, BytesOf(&minusOne, 4), StoredKind::Integer, -1, ""},
        {L"sz", REG_SZ, Utf16(L"12", 6), StoredKind::Text, 0, "12"},
        {L"expand", REG_EXPAND_SZ, Utf16(L"%TEMP%\\a.jpg", 99), StoredKind::Text, 0,
         "%TEMP%\\a.jpg"},  // left unexpanded
        {L"noNul", REG_SZ, Utf16(L"abc", 6), StoredKind::Text, 0, "abc"},
        {L"oddLength", REG_SZ, Utf16(L"abc", 7), StoredKind::Text, 0, "abc"},
        {L"oneByte", REG_SZ, Utf16(L"abc", 1), StoredKind::Text, 0, ""},
        {L"empty", REG_SZ, {}, StoredKind::Text, 0, ""},
        {L"embedded", REG_SZ, Utf16(std::wstring(L"ab\0cd", 5), 12), StoredKind::Text, 0, "ab"},
        {L"long", REG_SZ, Utf16(longText, 99999), StoredKind::Text, 0, Narrow(longText)},
        {L"loneSurrogate", REG_SZ, BytesOf(lone, sizeof lone), StoredKind::Text, 0,
         "a\xEF\xBF\xBD" "b"},
        {L"binary", REG_BINARY, BytesOf(&minusOne, 4), StoredKind::Other, 0, ""},
        {L"qword", REG_QWORD, BytesOf(&quad, 8), StoredKind::Other, 0, ""},
        {L"multi", REG_MULTI_SZ, Utf16(std::wstring(L"a\0b\0", 4), 10), StoredKind::Other, 0, ""},
        {L"bigEndian", REG_DWORD_BIG_ENDIAN, BytesOf(&minusOne, 4), StoredKind::Other, 0, ""},
        {L"none", REG_NONE, {}, StoredKind::Other, 0, ""},
        {L"shortDword", REG_DWORD, BytesOf(&minusOne, 2), StoredKind::Other, 0, ""},
    };
    TestKey key;
    for (const Planted& p : planted) {
        key.Plant("S", p.name, p.type, p.data.data(), DWORD(p.data.size()));
    }
    const auto open = Win32SettingsStore(key.Utf8Path()).OpenProgramKey();
    ASSERT_TRUE(open);
    for (const Planted& p : planted) {
        const StoredValue value = open->Read("S", Narrow(p.name));
        EXPECT_EQ(value.kind, p.kind) << Narrow(p.name);
        EXPECT_EQ(value.integer, p.integer) << Narrow(p.name);
        EXPECT_EQ(value.text, p.text) << Narrow(p.name);
    }
    EXPECT_EQ(open->Read("S", "missing").kind, StoredKind::None);
    EXPECT_EQ(open->Read("Missing", "dword").kind, StoredKind::None);
}

TEST(Win32SettingsStoreTest, WritesStoreDwordsAndTerminatedUtf16Text) {
    TestKey key;
    Win32SettingsStore store(key.Utf8Path());
    const std::string path = "C:\\ユーザー\\写真\\夜景 🌃.jpg";
    {
        const auto open = store.OpenProgramKey();
        ASSERT_TRUE(open);
        EXPECT_TRUE(open->CreateSection("壁紙"));
        EXPECT_TRUE(open->WriteText("壁紙", "ファイル", path));
        EXPECT_TRUE(open->WriteInteger("壁紙", "数", -5));
        EXPECT_TRUE(open->WriteText("壁紙", "空", ""));
        // A write creates its section when nobody created it before.
        EXPECT_TRUE(open->WriteInteger("NEW", "N", 2147483647));
        EXPECT_TRUE(open->Flush());
    }
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
    ASSERT_TRUE(key.Raw("壁紙", L"ファイル", type, data));
    const std::wstring wide = L"C:\\ユーザー\\写真\\夜景 \U0001F303.jpg";
    EXPECT_EQ(type, DWORD(REG_SZ));
    ASSERT_EQ(data.size(), (wide.size() + 1) * sizeof(wchar_t));
    EXPECT_EQ(std::wstring(reinterpret_cast<const wchar_t*>(data.data())), wide);
    ASSERT_TRUE(key.Raw("壁紙", L"数", type, data));
    EXPECT_EQ(type, DWORD(REG_DWORD));
    ASSERT_EQ(data.size(), 4u);
    EXPECT_EQ(*reinterpret_cast<const DWORD*>(data.data()), 0xFFFFFFFBu);
    ASSERT_TRUE(key.Raw("壁紙", L"空", type, data));
    EXPECT_EQ(data.size(), sizeof(wchar_t));

    // A fresh key reads everything back; a write replaces the kind too.
    const auto again = store.OpenProgramKey();
    ASSERT_TRUE(again);
    EXPECT_TRUE(IsText(again->Read("壁紙", "ファイル"), path));
    EXPECT_TRUE(IsInteger(again->Read("壁紙", "数"), -5));
    EXPECT_TRUE(IsText(again->Read("壁紙", "空"), ""));
    EXPECT_TRUE(IsInteger(again->Read("NEW", "N"), 2147483647));
    EXPECT_TRUE(again->WriteText("壁紙", "数", "7"));
    EXPECT_TRUE(IsText(again->Read("壁紙", "数"), "7"));
}

TEST(Win32SettingsStoreTest, KeysThatCannotBeCreatedFailTheirWrites) {
    TestKey key;
    Win32SettingsStore store(key.Utf8Path());
    key.MakeVolatile({"OPEN"});
    const auto open = store.OpenProgramKey();
    ASSERT_TRUE(open);
    EXPECT_FALSE(open->CreateSection("WALLPAPER"));
    EXPECT_FALSE(open->WriteInteger("WALLPAPER", "A", 1));
    EXPECT_FALSE(open->WriteText("WALLPAPER", "B", "x"));
    EXPECT_EQ(open->Read("WALLPAPER", "A").kind, StoredKind::None);
    // An existing section still takes values.
    EXPECT_TRUE(open->CreateSection("OPEN"));
    EXPECT_TRUE(open->WriteInteger("OPEN", "A", 1));
    EXPECT_TRUE(IsInteger(open->Read("OPEN", "A"), 1));

    // A key name the registry does not allow (longer than 255 characters).
    TestKey plain;
    const auto other = Win32SettingsStore(plain.Utf8Path()).OpenProgramKey();
    ASSERT_TRUE(other);
    EXPECT_FALSE(other->CreateSection(std::string(300, 'S')));
    EXPECT_FALSE(other->WriteText(std::string(300, 'S'), "B", "x"));

    // A lasting key cannot live below a volatile one, so the program's key
    // cannot be had there; an empty path would be HKEY_CURRENT_USER itself.
    EXPECT_EQ(Win32SettingsStore(key.Utf8Path() + "\\Program").OpenProgramKey(), nullptr);
    EXPECT_EQ(Win32SettingsStore(std::string()).OpenProgramKey(), nullptr);
}

TEST(Win32TimeServiceTest, ClocksAgreeWithTheSystem) {
    Win32TimeService time;

    const uint32_t before = uint32_t(GetTickCount64());
    const uint32_t tick = time.TickCount();
    const uint32_t after = uint32_t(GetTickCount64());
    EXPECT_LE(uint32_t(tick - before), uint32_t(after - before));

    SYSTEMTIME local{};
    GetLocalTime(&local);
    const LocalTimeOfDay now = time.LocalTime();
    const int expected = local.wHour * 3600 + local.wMinute * 60 + local.wSecond;
    const int got = now.hour * 3600 + now.minute * 60 + now.second;
    EXPECT_LE((got - expected + 86400) % 86400, 2);
    EXPECT_TRUE(now.hour >= 0 && now.hour < 24 && now.minute >= 0 && now.minute < 60 &&
                now.second >= 0 && now.second < 60);

    // FILETIME counts 100 ns steps from 1601; 1970 lies 11644473600 s later.
    FILETIME system{};
    GetSystemTimeAsFileTime(&system);
    const int64_t unixSeconds =
        int64_t((ULARGE_INTEGER{{system.dwLowDateTime, system.dwHighDateTime}}.QuadPart) /
                10000000ull) -
        11644473600ll;
    EXPECT_LE(std::llabs(time.CalendarSeconds() - unixSeconds), 2);
}

}  // namespace
}  // namespace duskpane::settings_test

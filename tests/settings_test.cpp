// Settings load and save on the in-memory store, and the settings file's own rules.
#include <gtest/gtest.h>

#include "platform/headless/headless_store.h"
#include "settings/fbregini.h"
#include "settings_scenarios.h"

namespace duskpane::settings_test {
namespace {

struct HeadlessHarness {
    HeadlessSettingsStore store;

    SettingsStore& Store() { return store; }
    bool KeyExists() { return store.KeyExists(); }
    size_t ValueCount() { return store.ValueCount(); }
    StoredValue Stored(const std::string& section, const std::string& name) {
        return store.Value(section, name);
    }
    void PutInteger(const std::string& section, const std::string& name, int32_t value) {
        store.PutInteger(section, name, value);
    }
    void PutText(const std::string& section, const std::string& name, const std::string& value) {
        store.PutText(section, name, value);
    }
    void PutOther(const std::string& section, const std::string& name, size_t) {
        store.PutOther(section, name, std::string("\x01\x00\xff", 3));
    }
    void FailSection(const std::string& section) { store.FailSectionCreation(section); }
};

INSTANTIATE_TYPED_TEST_SUITE_P(Headless, SettingsScenarios, HeadlessHarness);

TEST(FBRegIniTest, DecimalTextRules) {
    const std::pair<const char*, int32_t> numbers[] = {
        {"42", 42},          {"  42", 42},   {"\t-7", -7}, {"+0", 0}, {"-0", 0},
        {"2147483647", 2147483647}, {"-2147483648", INT32_MIN}, {"000123", 123},
    };
    for (const auto& [text, expected] : numbers) {
        int32_t value = 99;
        EXPECT_TRUE(ParseDecimalInt32(text, value)) << text;
        EXPECT_EQ(value, expected) << text;
    }
    for (const char* text : {"", " ", "-", "+", "12 ", "1e3", "0x10", "$10", "2147483648",
                             "-2147483649", "99999999999999999999", "1 2", "--1", "١٢"}) {
        int32_t value = 99;
        EXPECT_FALSE(ParseDecimalInt32(text, value)) << text;
        EXPECT_EQ(value, 99) << text;
    }
}

TEST(FBRegIniTest, UnopenableStoreReadsDefaultsAndCannotBeWritten) {
    HeadlessSettingsStore store;
    store.SetUnopenable(true);
    TestHost host = MarkedHost();
    EXPECT_TRUE(LoadSettings(store, host).empty());
    EXPECT_EQ(host.main.WPAlphaValue, 128);
    EXPECT_EQ(host.subAlpha, 200);
    EXPECT_EQ(host.interval, 180000u);
    EXPECT_EQ(ErrorOf([&] { SaveSettings(store, host); }), "キー WALLPAPER の作成に失敗しました");
    EXPECT_FALSE(store.KeyExists());
    EXPECT_EQ(store.WriteCount(), 0);
}

TEST(FBRegIniTest, FailedWritesAndFlushAreReported) {
    TestHost host;
    {
        HeadlessSettingsStore store;
        store.FailValueWrite("WALLPAPER", "WP_FILE");
        EXPECT_EQ(ErrorOf([&] { SaveSettings(store, host); }),
                  "キー WALLPAPER の作成に失敗しました");
        EXPECT_EQ(store.ValueCount(), 2u);  // the values before WP_FILE
        EXPECT_EQ(store.FlushCount(), 0);
    }
    {
        HeadlessSettingsStore store;
        store.SetFlushFails(true);
        EXPECT_EQ(ErrorOf([&] { SaveSettings(store, host); }), "キー MAIN の作成に失敗しました");
        EXPECT_EQ(store.FlushCount(), 1);
    }
    {
        HeadlessSettingsStore store;
        EXPECT_EQ(ErrorOf([&] { SaveSettings(store, host); }), "");
        EXPECT_EQ(store.FlushCount(), 1);
        EXPECT_EQ(store.Sections(), (std::vector<std::string>{"MAIN", "WALLPAPER", "WAVE_SPECTRUM"}));
    }
}

TEST(FBRegIniTest, ReadsByKind) {
    HeadlessSettingsStore store;
    store.PutInteger("S", "int", -12);
    store.PutText("S", "text", " 34");
    store.PutOther("S", "raw", "xy");
    FBRegIni ini(store);
    EXPECT_EQ(ini.ReadInteger("S", "int", 5), -12);
    EXPECT_EQ(ini.ReadInteger("S", "text", 5), 34);
    EXPECT_EQ(ini.ReadInteger("S", "missing", 5), 5);
    EXPECT_EQ(ini.ReadInteger("T", "int", 5), 5);
    EXPECT_EQ(ini.ReadString("S", "text", "d"), " 34");
    EXPECT_EQ(ini.ReadString("S", "missing", "d"), "d");
    EXPECT_EQ(ini.ReadString("S", "int", "d"), "-12");
    EXPECT_EQ(ErrorOf([&] { ini.ReadInteger("S", "raw", 0); }), "'raw' のデータ型が不正です");
    EXPECT_EQ(ErrorOf([&] { ini.ReadBool("S", "raw", true); }), "'raw' のデータ型が不正です");
    EXPECT_EQ(ErrorOf([&] { ini.ReadString("S", "raw", ""); }), "'raw' のデータ型が不正です");
}

TEST(WPIntervalTest, HelpersAreExactForWholeSeconds) {
    TestHost host;
    for (uint32_t seconds = 0; seconds <= 4294967u; seconds += seconds < 4000 ? 1 : 997) {
        host.interval = seconds * 1000u;
        const uint32_t minutes = GetWPIntervalMin(host);
        const uint32_t rest = GetWPIntervalSec(host);
        ASSERT_LT(rest, 60u);
        SetWPInterval(host, minutes, rest);
        ASSERT_EQ(host.interval, seconds * 1000u) << seconds;
    }
    host.interval = 3599999;
    EXPECT_EQ(GetWPIntervalMin(host), 59u);
    EXPECT_EQ(GetWPIntervalSec(host), 59u);
    SetWPInterval(host, 71583, 0);  // 4294980000 - 2^32
    EXPECT_EQ(host.interval, 12704u);
    SetWPInterval(host, 1, 75);
    EXPECT_EQ(host.interval, 135000u);
}

}  // namespace
}  // namespace duskpane::settings_test

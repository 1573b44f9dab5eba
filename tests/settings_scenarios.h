// Settings scenarios run against every settings store through a small harness.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "settings/settings.h"
#include "util/errors.h"

namespace duskpane::settings_test {

// The places the settings live in while the program runs.
class TestHost : public SettingsHost {
public:
    MainSettings main;
    uint8_t subAlpha = 255;
    uint32_t interval = 600000;

    MainSettings& Settings() override { return main; }
    uint8_t SubAlphaBlendValue() const override { return subAlpha; }
    void SetSubAlphaBlendValue(uint8_t value) override { subAlpha = value; }
    uint32_t WPTimerInterval() const override { return interval; }
    void SetWPTimerInterval(uint32_t ms) override { interval = ms; }
};

// Values that no setting has by default, to see what a load left alone.
inline TestHost MarkedHost() {
    TestHost host;
    host.main.IsWPTransparency = 7;
    host.main.WPAlphaValue = -5;
    host.main.WPFile = "old file";
    host.main.WPDispMode = 7;
    host.main.WPFolder = "old folder";
    host.main.IsDispWaveSpectrum = 7;
    host.subAlpha = 9;
    host.interval = 1234;
    return host;
}

// The message of the AppError the call raises; empty when it raises none.
template <typename Call>
std::string ErrorOf(Call&& call) {
    try {
        call();
    } catch (const AppError& error) {
        return error.what();
    }
    return {};
}

inline bool IsText(const StoredValue& value, const std::string& text) {
    return value.kind == StoredKind::Text && value.text == text;
}

inline bool IsInteger(const StoredValue& value, int32_t number) {
    return value.kind == StoredKind::Integer && value.integer == number;
}

// The eight values as a save leaves them: flags and texts as text, numbers
// as integers.
struct SavedValues {
    const char* transparency;
    int32_t alphaValue;
    std::string file;
    const char* dispMode;
    std::string folder;
    int32_t changeSeconds;
    const char* spectrum;
    int32_t subAlpha;
};

template <typename Harness>
void ExpectSaved(Harness& h, const SavedValues& v) {
    EXPECT_TRUE(IsText(h.Stored("WALLPAPER", "TRANSPARENCY"), v.transparency));
    EXPECT_TRUE(IsInteger(h.Stored("WALLPAPER", "ALPHA_VALUE"), v.alphaValue));
    EXPECT_TRUE(IsText(h.Stored("WALLPAPER", "WP_FILE"), v.file));
    EXPECT_TRUE(IsText(h.Stored("WALLPAPER", "WP_DISP_MODE"), v.dispMode));
    EXPECT_TRUE(IsText(h.Stored("WALLPAPER", "WP_FOLDER"), v.folder));
    EXPECT_TRUE(IsInteger(h.Stored("WALLPAPER", "WP_CHG_TIME"), v.changeSeconds));
    EXPECT_TRUE(IsText(h.Stored("WAVE_SPECTRUM", "WAVE_SPECTRUM"), v.spectrum));
    EXPECT_TRUE(IsInteger(h.Stored("MAIN", "TRANSPARENCY"), v.subAlpha));
}

// A harness offers: SettingsStore& Store(); bool KeyExists(); size_t
// ValueCount(); StoredValue Stored(section, name); PutInteger, PutText and
// PutOther (section, name, which) as another program would store them, the
// last one a value of the which-th kind that cannot be read (modulo how many
// the store knows); and
// FailSection(section), after which creating that section fails.
template <typename Harness>
class SettingsScenarios : public ::testing::Test {
protected:
    // Every value of these scenarios is of a readable kind unless it says so.
    void Load(TestHost& target) {
        EXPECT_EQ(LoadSettings(harness.Store(), target), std::vector<std::string>());
    }
    void Save(TestHost& source) { SaveSettings(harness.Store(), source); }

    Harness harness;
};

TYPED_TEST_SUITE_P(SettingsScenarios);

TYPED_TEST_P(SettingsScenarios, FirstStartGivesDefaultsAndAnEmptyKey) {
    TestHost host = MarkedHost();
    EXPECT_FALSE(this->harness.KeyExists());
    this->Load(host);
    EXPECT_EQ(host.main.IsWPTransparency, 1);
    EXPECT_EQ(host.main.WPAlphaValue, 128);
    EXPECT_EQ(host.main.WPFile, "");
    EXPECT_EQ(host.main.WPDispMode, 0);
    EXPECT_EQ(host.main.WPFolder, "");
    EXPECT_EQ(host.subAlpha, 200);
    EXPECT_EQ(host.interval, 180000u);
    EXPECT_EQ(GetWPIntervalMin(host), 3u);
    EXPECT_EQ(GetWPIntervalSec(host), 0u);
    EXPECT_EQ(host.main.IsDispWaveSpectrum, 1);
    EXPECT_TRUE(this->harness.KeyExists());
    EXPECT_EQ(this->harness.ValueCount(), 0u);
}

TYPED_TEST_P(SettingsScenarios, SaveThenLoadKeepsValuesAndKinds) {
    TestHost host;
    host.main = {0, 77, "/home/ユーザー/壁紙/夜 景.jpg", 1, "/pictures/写真", 1};
    host.subAlpha = 31;
    SetWPInterval(host, 59, 59);
    this->Save(host);

    auto& h = this->harness;
    ExpectSaved(h, {"0", 77, "/home/ユーザー/壁紙/夜 景.jpg", "1", "/pictures/写真", 3599, "1", 31});
    EXPECT_EQ(h.ValueCount(), 8u);

    TestHost loaded = MarkedHost();
    this->Load(loaded);
    EXPECT_EQ(loaded.main.IsWPTransparency, 0);
    EXPECT_EQ(loaded.main.WPAlphaValue, 77);
    EXPECT_EQ(loaded.main.WPFile, host.main.WPFile);
    EXPECT_EQ(loaded.main.WPDispMode, 1);
    EXPECT_EQ(loaded.main.WPFolder, host.main.WPFolder);
    EXPECT_EQ(loaded.subAlpha, 31);
    EXPECT_EQ(loaded.interval, 3599000u);
    EXPECT_EQ(GetWPIntervalMin(loaded), 59u);
    EXPECT_EQ(GetWPIntervalSec(loaded), 59u);
    EXPECT_EQ(loaded.main.IsDispWaveSpectrum, 1);

    // Any non-zero flag is true, but the spectrum is on only for exactly 1;
    // the period is saved in whole seconds.
    host.main.IsWPTransparency = 2;
    host.main.IsDispWaveSpectrum = 2;
    SetWPInterval(host, 3, 0);
    host.interval += 999;
    this->Save(host);
    EXPECT_TRUE(IsText(h.Stored("WALLPAPER", "TRANSPARENCY"), "1"));
    EXPECT_TRUE(IsText(h.Stored("WAVE_SPECTRUM", "WAVE_SPECTRUM"), "0"));
    EXPECT_TRUE(IsInteger(h.Stored("WALLPAPER", "WP_CHG_TIME"), 180));
    EXPECT_EQ(h.ValueCount(), 8u);
}

TYPED_TEST_P(SettingsScenarios, IntegerKeepsTheTextKindItFinds) {
    this->harness.PutText("WALLPAPER", "ALPHA_VALUE", "12");
    this->harness.PutText("MAIN", "TRANSPARENCY", "abc");
    TestHost host;
    host.main.WPAlphaValue = -40;
    host.subAlpha = 250;
    host.interval = 42000;
    this->Save(host);
    EXPECT_TRUE(IsText(this->harness.Stored("WALLPAPER", "ALPHA_VALUE"), "-40"));
    EXPECT_TRUE(IsText(this->harness.Stored("MAIN", "TRANSPARENCY"), "250"));
    EXPECT_TRUE(IsInteger(this->harness.Stored("WALLPAPER", "WP_CHG_TIME"), 42));
}

TYPED_TEST_P(SettingsScenarios, BooleansReadAsIntegersWithTheirDefault) {
    struct Case {
        bool asText;
        int32_t number;
        const char* text;
        uint8_t dispMode;  // default false
        uint8_t spectrum;  // default true
    };
    const Case cases[] = {
        {false, 1, "", 1, 1},     {true, 0, "1", 1, 1},    {true, 0, "0", 0, 0},
        {false, 0, "", 0, 0},     {true, 0, "yes", 0, 1},  {false, -3, "", 1, 1},
        {true, 0, "  +12", 1, 1}, {true, 0, "", 0, 1},      {true, 0, "1.0", 0, 1},
    };
    for (const Case& c : cases) {
        const std::pair<const char*, const char*> keys[] = {{"WALLPAPER", "WP_DISP_MODE"},
                                                            {"WAVE_SPECTRUM", "WAVE_SPECTRUM"}};
        for (const auto& [section, name] : keys) {
            if (c.asText) {
                this->harness.PutText(section, name, c.text);
            } else {
                this->harness.PutInteger(section, name, c.number);
            }
        }
        TestHost host = MarkedHost();
        this->Load(host);
        EXPECT_EQ(host.main.WPDispMode, c.dispMode) << c.number << " '" << c.text << "'";
        EXPECT_EQ(host.main.IsDispWaveSpectrum, c.spectrum) << c.number << " '" << c.text << "'";
    }
}

TYPED_TEST_P(SettingsScenarios, IntegersAreUsedAsStored) {
    auto& h = this->harness;
    h.PutText("WALLPAPER", "ALPHA_VALUE", "half");
    h.PutInteger("MAIN", "TRANSPARENCY", 300);
    h.PutInteger("WALLPAPER", "WP_CHG_TIME", 0);
    TestHost host = MarkedHost();
    this->Load(host);
    EXPECT_EQ(host.main.WPAlphaValue, 128);
    EXPECT_EQ(host.subAlpha, 44);
    EXPECT_EQ(host.interval, 0u);

    h.PutInteger("WALLPAPER", "ALPHA_VALUE", 1000);
    h.PutInteger("MAIN", "TRANSPARENCY", -1);
    h.PutText("WALLPAPER", "WP_CHG_TIME", " -1");
    this->Load(host);
    EXPECT_EQ(host.main.WPAlphaValue, 1000);
    EXPECT_EQ(host.subAlpha, 255);
    EXPECT_EQ(host.interval, 4294966296u);  // -1 x 1000 in 32 bits

    h.PutText("WALLPAPER", "ALPHA_VALUE", "2147483648");
    h.PutText("MAIN", "TRANSPARENCY", "300");
    this->Load(host);
    EXPECT_EQ(host.main.WPAlphaValue, 128);
    EXPECT_EQ(host.subAlpha, 44);
}

// Values of kinds that cannot be read (the store's odd kinds in turn) take
// their defaults and are named once; every other value is read as stored, a
// text setting stored as an integer as its decimal text; a save then writes
// back what was read.
TYPED_TEST_P(SettingsScenarios, OddValuesTakeTheirDefaultsAndTheOthersAreRead) {
    auto& h = this->harness;
    h.PutOther("WALLPAPER", "TRANSPARENCY", 0);
    h.PutOther("WALLPAPER", "ALPHA_VALUE", 1);
    h.PutInteger("WALLPAPER", "WP_FILE", -2147483647 - 1);
    h.PutText("WALLPAPER", "WP_DISP_MODE", "1");
    h.PutText("WALLPAPER", "WP_FOLDER", "/pictures/写真");
    h.PutInteger("MAIN", "TRANSPARENCY", 120);
    h.PutOther("WALLPAPER", "WP_CHG_TIME", 2);
    h.PutOther("WAVE_SPECTRUM", "WAVE_SPECTRUM", 3);
    TestHost host = MarkedHost();
    std::vector<std::string> unreadable;
    EXPECT_EQ(ErrorOf([&] { unreadable = LoadSettings(h.Store(), host); }), "");
    EXPECT_EQ(unreadable, (std::vector<std::string>{"TRANSPARENCY", "ALPHA_VALUE", "WP_CHG_TIME",
                                                    "WAVE_SPECTRUM"}));
    EXPECT_EQ(UnreadableValuesText({"ALPHA_VALUE"}), "'ALPHA_VALUE' のデータ型が不正です");
    EXPECT_EQ(host.main.IsWPTransparency, 1);
    EXPECT_EQ(host.main.WPAlphaValue, 128);
    EXPECT_EQ(host.main.WPFile, "-2147483648");
    EXPECT_EQ(host.main.WPDispMode, 1);
    EXPECT_EQ(host.main.WPFolder, "/pictures/写真");
    EXPECT_EQ(host.subAlpha, 120);
    EXPECT_EQ(host.interval, 180000u);
    EXPECT_EQ(host.main.IsDispWaveSpectrum, 1);

    this->Save(host);
    ExpectSaved(h, {"1", 128, "-2147483648", "1", "/pictures/写真", 180, "1", 120});

    // The text settings the other way round: odd, and an ordinary integer.
    h.PutInteger("WALLPAPER", "WP_FILE", 42);
    h.PutOther("WALLPAPER", "WP_FOLDER", 0);
    host = MarkedHost();
    EXPECT_EQ(LoadSettings(h.Store(), host), std::vector<std::string>{"WP_FOLDER"});
    EXPECT_EQ(host.main.WPFile, "42");
    EXPECT_EQ(host.main.WPFolder, "");
    EXPECT_EQ(host.main.WPDispMode, 1);
    EXPECT_EQ(host.subAlpha, 120);
}

TYPED_TEST_P(SettingsScenarios, ASectionThatCannotBeCreatedStopsTheSave) {
    auto& h = this->harness;
    h.FailSection("WAVE_SPECTRUM");
    TestHost host;
    host.main = {1, 64, "/f.jpg", 0, "/d", 1};
    host.subAlpha = 100;
    EXPECT_EQ(ErrorOf([&] { this->Save(host); }), "キー WAVE_SPECTRUM の作成に失敗しました");
    // What was written before the failure stays, as in the registry.
    EXPECT_TRUE(IsText(h.Stored("WALLPAPER", "WP_FILE"), "/f.jpg"));
    EXPECT_TRUE(IsInteger(h.Stored("WALLPAPER", "WP_CHG_TIME"), 600));
    EXPECT_EQ(h.Stored("WAVE_SPECTRUM", "WAVE_SPECTRUM").kind, StoredKind::None);
    EXPECT_EQ(h.Stored("MAIN", "TRANSPARENCY").kind, StoredKind::None);
    EXPECT_EQ(h.ValueCount(), 6u);
}

REGISTER_TYPED_TEST_SUITE_P(SettingsScenarios, FirstStartGivesDefaultsAndAnEmptyKey,
                            SaveThenLoadKeepsValuesAndKinds, IntegerKeepsTheTextKindItFinds,
                            BooleansReadAsIntegersWithTheirDefault, IntegersAreUsedAsStored,
                            OddValuesTakeTheirDefaultsAndTheOthersAreRead,
                            ASectionThatCannotBeCreatedStopsTheSave);

}  // namespace duskpane::settings_test

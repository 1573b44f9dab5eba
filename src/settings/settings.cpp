// Moves the eight settings between the store and where the program keeps them.
#include "settings/settings.h"

#include "settings/fbregini.h"
#include "util/errors.h"

namespace duskpane {

namespace {

constexpr const char* kWallpaperSection = "WALLPAPER";
constexpr const char* kMainSection = "MAIN";
constexpr const char* kSpectrumSection = "WAVE_SPECTRUM";

constexpr const char* kTransparencyKey = "TRANSPARENCY";
constexpr const char* kAlphaValueKey = "ALPHA_VALUE";
constexpr const char* kFileKey = "WP_FILE";
constexpr const char* kDispModeKey = "WP_DISP_MODE";
constexpr const char* kFolderKey = "WP_FOLDER";
constexpr const char* kChangeTimeKey = "WP_CHG_TIME";
constexpr const char* kSpectrumKey = "WAVE_SPECTRUM";

constexpr int32_t kDefaultWPAlphaValue = 128;
constexpr int32_t kDefaultSubAlpha = 200;
constexpr int32_t kDefaultChangeSeconds = 180;

}  // namespace

std::vector<std::string> LoadSettings(SettingsStore& store, SettingsHost& host) {
    FBRegIni ini(store);
    std::vector<std::string> unreadable;
    // Each value is read on its own: one that cannot be read takes its
    // default and is named, and the others are read as stored.
    const auto orDefault = [&unreadable](const char* key, auto read, auto fallback) {
        try {
            return read();
        } catch (const AppError&) {
            unreadable.emplace_back(key);
            return fallback;
        }
    };
    const auto readBool = [&](const char* section, const char* key, bool fallback) -> uint8_t {
        return orDefault(key, [&] { return ini.ReadBool(section, key, fallback); }, fallback) ? 1 : 0;
    };
    const auto readInteger = [&](const char* section, const char* key, int32_t fallback) {
        return orDefault(key, [&] { return ini.ReadInteger(section, key, fallback); }, fallback);
    };
    const auto readString = [&](const char* section, const char* key) {
        return orDefault(key, [&] { return ini.ReadString(section, key, ""); }, std::string());
    };

    MainSettings& settings = host.Settings();
    settings.IsWPTransparency = readBool(kWallpaperSection, kTransparencyKey, true);
    settings.WPAlphaValue = readInteger(kWallpaperSection, kAlphaValueKey, kDefaultWPAlphaValue);
    settings.WPFile = readString(kWallpaperSection, kFileKey);
    settings.WPDispMode = readBool(kWallpaperSection, kDispModeKey, false);
    settings.WPFolder = readString(kWallpaperSection, kFolderKey);
    const int32_t subAlpha = readInteger(kMainSection, kTransparencyKey, kDefaultSubAlpha);
    host.SetSubAlphaBlendValue(static_cast<uint8_t>(subAlpha & 0xFF));
    const int32_t seconds = readInteger(kWallpaperSection, kChangeTimeKey, kDefaultChangeSeconds);
    SetWPInterval(host, 0, static_cast<uint32_t>(seconds));
    settings.IsDispWaveSpectrum = readBool(kSpectrumSection, kSpectrumKey, true);
    return unreadable;
}

std::string UnreadableValuesText(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) {
        if (!text.empty()) text += '\n';
        text += DataTypeErrorText(name);
    }
    return text;
}

void SaveSettings(SettingsStore& store, SettingsHost& host) {
    FBRegIni ini(store);
    const MainSettings& settings = host.Settings();
    ini.WriteBool(kWallpaperSection, kTransparencyKey, settings.IsWPTransparency != 0);
    ini.WriteInteger(kWallpaperSection, kAlphaValueKey, settings.WPAlphaValue);
    ini.WriteString(kWallpaperSection, kFileKey, settings.WPFile);
    ini.WriteBool(kWallpaperSection, kDispModeKey, settings.WPDispMode != 0);
    ini.WriteString(kWallpaperSection, kFolderKey, settings.WPFolder);
    // At most 4294967 seconds, so the whole seconds always fit.
    ini.WriteInteger(kWallpaperSection, kChangeTimeKey,
                     static_cast<int32_t>(host.WPTimerInterval() / 1000));
    ini.WriteBool(kSpectrumSection, kSpectrumKey, settings.IsDispWaveSpectrum == 1);
    ini.WriteInteger(kMainSection, kTransparencyKey, host.SubAlphaBlendValue());
    ini.UpdateFile();
}

void SetWPInterval(SettingsHost& host, uint32_t minutes, uint32_t seconds) {
    host.SetWPTimerInterval(minutes * 60000u + seconds * 1000u);
}

uint32_t GetWPIntervalMin(const SettingsHost& host) {
    return host.WPTimerInterval() / 60000u;
}

uint32_t GetWPIntervalSec(const SettingsHost& host) {
    return host.WPTimerInterval() / 1000u % 60u;
}

}  // namespace duskpane

// Moves the eight settings between the store and where the program keeps them.
#include "settings/settings.h"

#include "settings/fbregini.h"

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

void LoadSettings(SettingsStore& store, SettingsHost& host) {
    FBRegIni ini(store);
    MainSettings& settings = host.Settings();
    settings.IsWPTransparency = ini.ReadBool(kWallpaperSection, kTransparencyKey, true) ? 1 : 0;
    settings.WPAlphaValue = ini.ReadInteger(kWallpaperSection, kAlphaValueKey, kDefaultWPAlphaValue);
    settings.WPFile = ini.ReadString(kWallpaperSection, kFileKey, "");
    settings.WPDispMode = ini.ReadBool(kWallpaperSection, kDispModeKey, false) ? 1 : 0;
    settings.WPFolder = ini.ReadString(kWallpaperSection, kFolderKey, "");
    const int32_t subAlpha = ini.ReadInteger(kMainSection, kTransparencyKey, kDefaultSubAlpha);
    host.SetSubAlphaBlendValue(static_cast<uint8_t>(subAlpha & 0xFF));
    const int32_t seconds = ini.ReadInteger(kWallpaperSection, kChangeTimeKey, kDefaultChangeSeconds);
    SetWPInterval(host, 0, static_cast<uint32_t>(seconds));
    settings.IsDispWaveSpectrum = ini.ReadBool(kSpectrumSection, kSpectrumKey, true) ? 1 : 0;
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

// The eight persisted settings: their load and save, and the slideshow period helpers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace duskpane {

// The main window fields that the settings fill.
struct MainSettings {
    uint8_t IsWPTransparency = 0;
    int32_t WPAlphaValue = 0;
    std::string WPFile;
    uint8_t WPDispMode = 0;
    std::string WPFolder;
    uint8_t IsDispWaveSpectrum = 0;
};

// Where the settings live while the program runs: the main window state, the
// sub-window's alpha and the slideshow timer's interval.
class SettingsHost {
public:
    virtual ~SettingsHost() = default;
    virtual MainSettings& Settings() = 0;
    virtual uint8_t SubAlphaBlendValue() const = 0;
    // Takes effect on the sub-window at once.
    virtual void SetSubAlphaBlendValue(uint8_t value) = 0;
    virtual uint32_t WPTimerInterval() const = 0;
    // Changes the period only, not whether the timer runs.
    virtual void SetWPTimerInterval(uint32_t ms) = 0;
};

// Reads the eight settings in their fixed order, storing each as it is read.
// A value of a kind that cannot be read takes its default; the names of such
// values come back in the order read, for the caller to report.
[[nodiscard]] std::vector<std::string> LoadSettings(SettingsStore& store, SettingsHost& host);

// The data type error of each named value, one line each.
std::string UnreadableValuesText(const std::vector<std::string>& names);

// Writes all eight settings and makes them durable; a section that cannot be
// created raises AppError and the values after it are not written.
void SaveSettings(SettingsStore& store, SettingsHost& host);

// Sets the slideshow period to minutes x 60000 + seconds x 1000 ms (32-bit,
// wrapping).
void SetWPInterval(SettingsHost& host, uint32_t minutes, uint32_t seconds);
// The whole minutes of the slideshow period.
uint32_t GetWPIntervalMin(const SettingsHost& host);
// The whole seconds beyond the whole minutes of the slideshow period.
uint32_t GetWPIntervalSec(const SettingsHost& host);

}  // namespace duskpane

// The headless services the wallpaper scenarios run the program on.
#pragma once

#include "platform/headless/headless_platform.h"

namespace duskpane::wallpaper_test {

// One of each headless service, composed into the platform the program gets.
// The spectrum is stored as off, so that the capture stays out of the way.
struct WallpaperPlatform : HeadlessPlatform {
    WallpaperPlatform() { store.PutText("WAVE_SPECTRUM", "WAVE_SPECTRUM", "0"); }

    HeadlessSettingsStore& store = settings;
    Platform& services = platform;
};

}  // namespace duskpane::wallpaper_test

// The main window: the colour-keyed, always-on-top layer with the clock and
// the spectrum, the owner of the menu and of the state the other parts share.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "audio/spectrum.h"
#include "audio/volume.h"
#include "clock/digits.h"
#include "platform/platform.h"
#include "settings/settings.h"
#include "ui/controls.h"
#include "ui/form.h"
#include "ui/menu.h"
#include "util/random.h"
#include "wallpaper/nslist.h"
#include "wallpaper/picture.h"

namespace duskpane {

constexpr int32_t kWaveCopySize = 48000;

class TMainForm : public Form, public MainSettings, public SpectrumState, public SettingsHost {
public:
    TMainForm(Application& app, Platform& platform, VolumeControl& volume);
    ~TMainForm() override;

    Platform& platform;
    VolumeControl& volume;

    // ---- controls
    Image Img0{this, "Img0"};
    Image Img1{this, "Img1"};
    Image Image1{this, "Image1"};
    Image Img2{this, "Img2"};
    Image Img3{this, "Img3"};
    PaintBox SpectrumPaintBox{this, "SpectrumPaintBox"};
    duskpane::ImageList ImageList;
    duskpane::Timer Timer;
    duskpane::Timer WPTimer;
    duskpane::PopupMenu PopupMenu{"PopupMenu"};
    MenuItem* AboutMenu = nullptr;
    MenuItem* AlphaBlendMenu = nullptr;
    MenuItem* IsDispWaveSpectrumMenu = nullptr;
    MenuItem* WallPaperMenu = nullptr;
    MenuItem* N3 = nullptr;  // the volume submenu
    MenuItem* MuteMenu = nullptr;
    MenuItem* EndMenu = nullptr;

    // ---- state shared with the other windows
    std::array<int32_t, 4> ShownDigit{};
    std::array<Image*, 4> DigitImage{};
    std::unique_ptr<Picture> WPPicture;
    int32_t SavedMute = 0;
    uint32_t SavedVolume = 0;
    int32_t CurrentMute = 0;
    uint8_t RestoreAudioAtClose = 0;
    nsList<nsString> WPFileList;
    AnsiString WPCurrentFile;
    std::array<uint8_t, kWaveCopySize> WaveBuffer{};
    int32_t WaveBufferMs = 0;
    std::unique_ptr<CaptureDevice> WaveInHandle;
    uint32_t LastWaveTick = 0;
    int32_t WaveCopySize = 0;
    // The slideshow's generator.
    SlideRandom Random;

    // ---- handlers
    void FormCreate(Control& sender);
    void FormShow(Control& sender);
    void FormClose(Control& sender, CloseAction& action);
    void FormKeyDown(Control& sender, int& key, unsigned shift);
    void TimerTimer(duskpane::Timer& sender);
    void WPTimerTimer();
    void PopupMenuPopup(duskpane::PopupMenu& sender);
    void AboutMenuClick(MenuItem& sender);
    void AlphaBlendMenuClick(MenuItem& sender);
    void IsDispWaveSpectrumMenuClick(MenuItem& sender);
    void WallPaperMenuClick(MenuItem& sender);
    void MuteMenuClick(MenuItem& sender);
    void VolumeMenuClick(MenuItem& sender);
    void EndMenuClick(MenuItem& sender);
    void ApplicationEventsMessage(Message& message, bool& handled);

    // ---- settings
    void LoadSettings();
    void SaveSettings();
    void SetWPInterval(uint32_t minutes, uint32_t seconds);
    uint32_t GetWPIntervalMin() const;
    uint32_t GetWPIntervalSec() const;

    // ---- wallpaper
    void PrepareWallpaper();
    void LoadWallpaperPicture();
    void CompositeWallpaper();
    // Centres the composited picture on the primary screen.
    void PlaceWallpaper();
    // The primary screen changed size: places the picture again, decoding
    // it again when the new screen shows more of it than is held.
    void ScreenChanged();

    // ---- capture
    void InitWaveSpectrum();
    void StartWaveIn();
    void RequeueWaveIn();

    // SettingsHost
    MainSettings& Settings() override { return *this; }
    uint8_t SubAlphaBlendValue() const override;
    void SetSubAlphaBlendValue(uint8_t value) override;
    uint32_t WPTimerInterval() const override { return WPTimer.Interval(); }
    void SetWPTimerInterval(uint32_t ms) override { WPTimer.SetInterval(ms); }

private:
    void BuildMenu();
};

}  // namespace duskpane

// The main window: creation, show and close sequences, keys, the clock tick,
// the menu and its handlers, and the settings it carries.
#include "app/main_form.h"

#include "app/about_box.h"
#include "app/alpha_blend_form.h"
#include "app/forms.h"
#include "app/sub_form.h"
#include "clock/clock.h"
#include "ui/application.h"
#include "util/errors.h"
#include "wallpaper/wallpaper_form.h"

namespace duskpane {

TMainForm::TMainForm(Application& app, Platform& platformServices, VolumeControl& volumeControl)
    : Form(app, "MainForm"),
      platform(platformServices),
      volume(volumeControl),
      ImageList(MakeDigitImageList()),
      Timer(app, "Timer", 500, true),
      WPTimer(app, "WPTimer", 600000, false) {
    Border = BorderStyle::None;
    Style = FormStyle::StayOnTop;
    State = WindowState::Maximized;
    KeyPreview = true;
    SetBounds(160, 140, 766, 431);
    SetColour(kBlack);
    SetPopupMenu(&PopupMenu);

    Img0.SetBounds(8, 8, 36, 64);
    Img1.SetBounds(46, 8, 36, 64);
    Image1.SetBounds(86, 8, 10, 64);
    Img2.SetBounds(100, 8, 36, 64);
    Img3.SetBounds(138, 8, 36, 64);
    for (Image* image : {&Img0, &Img1, &Image1, &Img2, &Img3}) image->Transparent = true;
    Image1.SetPicture(MakeColonPicture());
    SpectrumPaintBox.SetBounds(460, 324, kSpectrumWidth, kSpectrumHeight);

    BuildMenu();

    OnCreate = [this](Control& sender) { FormCreate(sender); };
    OnShow = [this](Control& sender) { FormShow(sender); };
    OnClose = [this](Control& sender, CloseAction& action) { FormClose(sender, action); };
    OnKeyDown = [this](Control& sender, int& key, unsigned shift) { FormKeyDown(sender, key, shift); };
    Timer.OnTimer = [this](duskpane::Timer& sender) { TimerTimer(sender); };
    WPTimer.OnTimer = [this](duskpane::Timer&) { WPTimerTimer(); };
    // The application-wide message hook, active from the start.
    app.OnMessage = [this](Message& message, bool& handled) { ApplicationEventsMessage(message, handled); };
}

TMainForm::~TMainForm() {
    if (FormApp().OnMessage) FormApp().OnMessage = nullptr;
}

void TMainForm::BuildMenu() {
    auto add = [](MenuItem& parent, const char* name, const char* caption, int32_t tag = 0) {
        return &parent.Add(std::make_unique<MenuItem>(name, caption, tag));
    };
    AboutMenu = add(PopupMenu, "AboutMenu", "Duskpaneについて(&M)");
    add(PopupMenu, "N7", "-");
    AlphaBlendMenu = add(PopupMenu, "AlphaBlendMenu", "透明度の設定(&T)");
    add(PopupMenu, "N6", "-");
    IsDispWaveSpectrumMenu = add(PopupMenu, "IsDispWaveSpectrumMenu", "音声スペクトル表示を行う");
    IsDispWaveSpectrumMenu->Visible = false;
    add(PopupMenu, "N5", "-");
    WallPaperMenu = add(PopupMenu, "WallPaperMenu", "壁紙の設定(&W)");
    add(PopupMenu, "N2", "-");
    N3 = add(PopupMenu, "N3", "音量の設定(&V)");
    N3->Visible = false;
    add(PopupMenu, "N1", "-");
    EndMenu = add(PopupMenu, "EndMenu", "終了(&Z)");

    MuteMenu = add(*N3, "MuteMenu", "ミュート(&M)");
    add(*N3, "N4", "-");
    for (int percent = 0; percent <= 100; percent += 10) {
        const std::string caption = std::to_string(percent) + "%";
        MenuItem* item = add(*N3, ("V" + std::to_string(percent)).c_str(), caption.c_str(), percent);
        item->OnClick = [this](MenuItem& sender) { VolumeMenuClick(sender); };
    }

    PopupMenu.OnPopup = [this](duskpane::PopupMenu& sender) { PopupMenuPopup(sender); };
    AboutMenu->OnClick = [this](MenuItem& sender) { AboutMenuClick(sender); };
    AlphaBlendMenu->OnClick = [this](MenuItem& sender) { AlphaBlendMenuClick(sender); };
    IsDispWaveSpectrumMenu->OnClick = [this](MenuItem& sender) { IsDispWaveSpectrumMenuClick(sender); };
    WallPaperMenu->OnClick = [this](MenuItem& sender) { WallPaperMenuClick(sender); };
    MuteMenu->OnClick = [this](MenuItem& sender) { MuteMenuClick(sender); };
    EndMenu->OnClick = [this](MenuItem& sender) { EndMenuClick(sender); };
}

void TMainForm::FormCreate(Control&) {
    // Layered with black as the colour key and no constant alpha.
    SetColourKeyBlack(true);
    ShownDigit.fill(10);
    DigitImage = {&Img0, &Img1, &Img2, &Img3};
    for (Image* digit : DigitImage) digit->GetCanvas().brush.colour = kBlack;
    TimerTimer(Timer);
}

void TMainForm::FormShow(Control&) {
    WPPicture = std::make_unique<Picture>();
    LoadSettings();
    PrepareWallpaper();
    volume.FindVolumeControl();
    volume.GetVolumeRaw(SavedVolume);
    volume.FindMuteControl();
    volume.GetMuteState(SavedMute);
    CurrentMute = SavedMute;
    RestoreAudioAtClose = 0;
    InitWaveSpectrum();
    SubForm->Show();
    SubForm->BringToTop();
}

void TMainForm::FormClose(Control&, CloseAction&) {
    // From here on the wallpaper picture is gone; should the save below fail
    // and the program go on, the wallpaper code finds no picture and leaves
    // the screen as it is.
    WPPicture.reset();
    SaveSettings();
    if (RestoreAudioAtClose == 1) {
        volume.SetVolumeRaw(SavedVolume);
        volume.SetMuteState(SavedMute);
    }
}

void TMainForm::FormKeyDown(Control&, int& key, unsigned) {
    if (key == kKeyEscape) Close();
}

void TMainForm::TimerTimer(duskpane::Timer&) {
    if (WatchdogDue(platform.time.TickCount(), LastWaveTick)) StartWaveIn();
    const LocalTimeOfDay now = platform.time.LocalTime();
    UpdateClockDigits(now.hour, now.minute, ShownDigit, DigitImage, ImageList);
}

void TMainForm::PopupMenuPopup(duskpane::PopupMenu&) {
    MuteMenu->Checked = CurrentMute != 0;
    IsDispWaveSpectrumMenu->Checked = IsDispWaveSpectrum != 0;
}

void TMainForm::AboutMenuClick(MenuItem&) { AboutBox->ShowModal(); }

void TMainForm::AlphaBlendMenuClick(MenuItem&) { AlphaBlendForm->ShowModal(); }

void TMainForm::IsDispWaveSpectrumMenuClick(MenuItem&) {
    IsDispWaveSpectrum = IsDispWaveSpectrum ? 0 : 1;
    SpectrumPaintBox.SetVisible(IsDispWaveSpectrum != 0);
}

void TMainForm::WallPaperMenuClick(MenuItem&) { WallPaperForm->ShowModal(); }

void TMainForm::MuteMenuClick(MenuItem&) {
    if (CurrentMute != 0) {
        volume.SetMuteState(0);
        CurrentMute = 0;
    } else {
        volume.SetMuteState(1);
        CurrentMute = 1;
    }
    RestoreAudioAtClose = 1;
}

void TMainForm::VolumeMenuClick(MenuItem& sender) {
    volume.SetVolumeRaw(volume.PercentToRaw(uint32_t(sender.Tag)));
    RestoreAudioAtClose = 1;
}

void TMainForm::EndMenuClick(MenuItem&) { Close(); }

// A value that cannot be read takes its default; the standard error box
// names every such value at once and the show goes on.
void TMainForm::LoadSettings() {
    const std::vector<std::string> unreadable = duskpane::LoadSettings(platform.settings, *this);
    if (!unreadable.empty()) FormApp().ShowException(AppError(UnreadableValuesText(unreadable)));
}

void TMainForm::SaveSettings() { duskpane::SaveSettings(platform.settings, *this); }

void TMainForm::SetWPInterval(uint32_t minutes, uint32_t seconds) {
    duskpane::SetWPInterval(*this, minutes, seconds);
}

uint32_t TMainForm::GetWPIntervalMin() const { return duskpane::GetWPIntervalMin(*this); }

uint32_t TMainForm::GetWPIntervalSec() const { return duskpane::GetWPIntervalSec(*this); }

uint8_t TMainForm::SubAlphaBlendValue() const { return SubForm->AlphaBlendValue(); }

void TMainForm::SetSubAlphaBlendValue(uint8_t value) { SubForm->SetAlphaBlendValue(value); }

}  // namespace duskpane

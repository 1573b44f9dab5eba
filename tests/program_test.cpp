// The program as a whole on the headless backend: the first start, the ways
// it ends, the menu on both windows, the transparency dialog, the About box,
// and what a broken store does to the start and to the close.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/about_box.h"
#include "app/alpha_blend_form.h"
#include "app/forms.h"
#include "app/main_form.h"
#include "app/sub_form.h"
#include "platform/headless/headless_platform.h"

namespace duskpane {
namespace {

const std::vector<std::string> kShownMenu = {"Duskpaneについて(&M)", "-", "透明度の設定(&T)", "-",
                                             "壁紙の設定(&W)", "-", "終了(&Z)"};

class ProgramTest : public ::testing::Test {
protected:
    ProgramTest() : program(hp.platform) {}

    void Start() {
        program.Create();
        program.Show();
    }
    TMainForm& Main() { return *MainForm; }
    // Opens the menu on a window and picks an item; the steps run while the
    // dialog the item opens waits for the user.
    void Pick(Control& window, const std::string& item, std::vector<std::function<void()>> steps = {}) {
        hp.ui.Then([this, item] { hp.user.PickMenu(Main().PopupMenu, item); });
        for (auto& step : steps) hp.ui.Then(std::move(step));
        hp.user.RightClick(window);
        EXPECT_TRUE(hp.ui.ScriptDone());
    }
    void ExpectValue(const std::string& section, const std::string& name, StoredKind kind,
                     const std::string& text, int32_t integer = 0) {
        SCOPED_TRACE(section + "\\" + name);
        const StoredValue value = hp.settings.Value(section, name);
        ASSERT_EQ(value.kind, kind);
        if (kind == StoredKind::Integer)
            EXPECT_EQ(value.integer, integer);
        else
            EXPECT_EQ(value.text, text);
    }

    HeadlessPlatform hp;
    Program program;
};

TEST_F(ProgramTest, FirstStartDimsAt200AndEscapeStoresTheEightDefaults) {
    Start();
    EXPECT_TRUE(hp.settings.KeyExists());
    EXPECT_EQ(hp.settings.ValueCount(), 0u);
    EXPECT_TRUE(Main().Visible());
    EXPECT_TRUE(Main().ColourKeyBlack());
    EXPECT_TRUE(SubForm->Visible());
    EXPECT_EQ(hp.ui.formsShown, (std::vector<std::string>{"SubForm", "MainForm"}))
        << "the dimming window appears first, the clock over it";
    EXPECT_EQ(SubForm->AlphaBlendValue(), 200);
    EXPECT_FALSE(AboutBox->Visible());
    EXPECT_FALSE(AlphaBlendForm->Visible());

    hp.user.PressKey(Main(), kKeyEscape);
    EXPECT_TRUE(program.App().Terminated());
    EXPECT_EQ(hp.settings.ValueCount(), 8u);
    ExpectValue("WALLPAPER", "TRANSPARENCY", StoredKind::Text, "1");
    ExpectValue("WALLPAPER", "ALPHA_VALUE", StoredKind::Integer, "", 128);
    ExpectValue("WALLPAPER", "WP_FILE", StoredKind::Text, "");
    ExpectValue("WALLPAPER", "WP_DISP_MODE", StoredKind::Text, "0");
    ExpectValue("WALLPAPER", "WP_FOLDER", StoredKind::Text, "");
    ExpectValue("WALLPAPER", "WP_CHG_TIME", StoredKind::Integer, "", 180);
    ExpectValue("WAVE_SPECTRUM", "WAVE_SPECTRUM", StoredKind::Text, "1");
    ExpectValue("MAIN", "TRANSPARENCY", StoredKind::Integer, "", 200);
}

TEST_F(ProgramTest, EscapeInTheSubWindowWithShiftEndsThroughTheSameClose) {
    // An alpha stored out of range wraps into the 8-bit alpha: 300 is 44.
    hp.settings.PutInteger("MAIN", "TRANSPARENCY", 300);
    Start();
    EXPECT_EQ(SubForm->AlphaBlendValue(), 44);
    hp.user.PressKey(*SubForm, 'A');
    EXPECT_FALSE(program.App().Terminated());
    hp.user.PressKey(*SubForm, kKeyEscape, kShiftShift);
    EXPECT_TRUE(program.App().Terminated());
    ExpectValue("MAIN", "TRANSPARENCY", StoredKind::Integer, "", 44);
}

TEST_F(ProgramTest, BothWindowsOpenTheSameMenuWithItsFourVisibleItems) {
    Start();
    Pick(Main(), "EndMenu");
    EXPECT_TRUE(program.App().Terminated());
    ASSERT_EQ(hp.ui.menusShown.size(), 1u);
    EXPECT_EQ(hp.ui.menusShown[0], kShownMenu);
    EXPECT_EQ(hp.settings.ValueCount(), 8u);

    HeadlessPlatform other;
    Program second(other.platform);
    second.Create();
    second.Show();
    other.ui.Then([&] { other.user.PickMenu(MainForm->PopupMenu, "AboutMenu"); });
    other.ui.Then([&] { other.user.Click(AboutBox->OKButton); });
    other.user.RightClick(*SubForm);
    ASSERT_EQ(other.ui.menusShown.size(), 1u);
    EXPECT_EQ(other.ui.menusShown[0], kShownMenu);
    EXPECT_FALSE(second.App().Terminated());
}

TEST_F(ProgramTest, HiddenItemsKeepTheirHandlers) {
    Start();
    ASSERT_TRUE(Main().SpectrumPaintBox.Visible());
    // The spectrum switch hides the spectrum at once; the flag is stored only
    // with the next save.
    Main().IsDispWaveSpectrumMenuClick(*Main().IsDispWaveSpectrumMenu);
    EXPECT_FALSE(Main().SpectrumPaintBox.Visible());
    EXPECT_EQ(hp.settings.ValueCount(), 0u);
    Main().IsDispWaveSpectrumMenuClick(*Main().IsDispWaveSpectrumMenu);
    EXPECT_TRUE(Main().SpectrumPaintBox.Visible());
    Main().IsDispWaveSpectrumMenuClick(*Main().IsDispWaveSpectrumMenu);

    // The menu's check marks follow the state each time it opens.
    Main().MuteMenuClick(*Main().MuteMenu);
    Main().PopupMenuPopup(Main().PopupMenu);
    EXPECT_TRUE(Main().MuteMenu->Checked);
    EXPECT_FALSE(Main().IsDispWaveSpectrumMenu->Checked);
    Main().MuteMenuClick(*Main().MuteMenu);
    Main().PopupMenuPopup(Main().PopupMenu);
    EXPECT_FALSE(Main().MuteMenu->Checked);
    EXPECT_EQ(Main().RestoreAudioAtClose, 1);

    hp.user.PressKey(Main(), kKeyEscape);
    ExpectValue("WAVE_SPECTRUM", "WAVE_SPECTRUM", StoredKind::Text, "0");
}

TEST_F(ProgramTest, TransparencyDialogIsLiveAndOnlyOkKeepsAndSaves) {
    hp.settings.PutInteger("MAIN", "TRANSPARENCY", 120);
    Start();
    TAlphaBlendForm& dialog = *AlphaBlendForm;

    // Cancel and the close box both put back the value found at show.
    for (bool closeBox : {false, true}) {
        SCOPED_TRACE(closeBox ? "close box" : "Cancel");
        Pick(*SubForm, "AlphaBlendMenu",
             {[&] {
                  EXPECT_EQ(dialog.SavedAlpha, 120);
                  EXPECT_EQ(dialog.BlendTrackBar.Position(), 120);
                  hp.user.Drag(dialog.BlendTrackBar, 30);
                  EXPECT_EQ(SubForm->AlphaBlendValue(), 30);
                  hp.user.Drag(dialog.BlendTrackBar, 250);
                  EXPECT_EQ(SubForm->AlphaBlendValue(), 250);
              },
              [&] {
                  if (closeBox)
                      hp.user.CloseBox(dialog);
                  else
                      hp.user.Click(dialog.CancelBtn);
              }});
        EXPECT_EQ(SubForm->AlphaBlendValue(), 120);
        EXPECT_EQ(hp.settings.WriteCount(), 0);
    }

    // OK keeps the new value and saves every setting at once.
    Pick(Main(), "AlphaBlendMenu",
         {[&] { hp.user.Drag(dialog.BlendTrackBar, 77); }, [&] { hp.user.Click(dialog.OkBtn); }});
    EXPECT_EQ(SubForm->AlphaBlendValue(), 77);
    EXPECT_EQ(hp.settings.ValueCount(), 8u);
    ExpectValue("MAIN", "TRANSPARENCY", StoredKind::Integer, "", 77);

    // Enter is OK: unchanged, the value is saved again as it stands.
    hp.settings.Clear();
    Pick(Main(), "AlphaBlendMenu", {[&] { hp.user.PressKey(dialog, kKeyEnter); }});
    EXPECT_EQ(SubForm->AlphaBlendValue(), 77);
    ExpectValue("MAIN", "TRANSPARENCY", StoredKind::Integer, "", 77);
}

// The endings that do not come from the user's own close (a signal, the end
// of the session, the taskbar's close) first close an open dialog as its
// Cancel would, so a dragged transparency is never saved. A forced end ends
// the program even when the save fails, with exit code 1.
struct SystemEnd {
    bool forced;
    bool saveFails;
    bool ends;
    int exitCode;
    size_t boxes;
};

class SystemEndTest : public ProgramTest, public ::testing::WithParamInterface<SystemEnd> {};

TEST_P(SystemEndTest, OpenDialogClosesAsCancelBeforeTheMainWindowCloses) {
    const SystemEnd end = GetParam();
    hp.settings.PutInteger("MAIN", "TRANSPARENCY", 120);
    Start();
    TAlphaBlendForm& dialog = *AlphaBlendForm;
    Pick(Main(), "AlphaBlendMenu", {[&] {
             hp.user.Drag(dialog.BlendTrackBar, 30);
             if (end.saveFails) hp.settings.FailSectionCreation("WALLPAPER");
             program.App().RequestEnd(end.forced);
             // Asked again: an ended program ends once; a close that failed
             // without force is tried again, as a second Escape would.
             program.App().RequestEnd(end.forced);
         }});
    EXPECT_FALSE(dialog.Visible());
    EXPECT_EQ(SubForm->AlphaBlendValue(), 120);
    EXPECT_EQ(program.App().Terminated(), end.ends);
    EXPECT_EQ(program.App().ExitCode(), end.exitCode);
    EXPECT_EQ(hp.ui.messageBoxes.size(), end.boxes);
    ExpectValue("MAIN", "TRANSPARENCY", StoredKind::Integer, "", 120);
}

INSTANTIATE_TEST_SUITE_P(Endings, SystemEndTest,
                         ::testing::Values(SystemEnd{true, false, true, 0, 0}, SystemEnd{true, true, true, 1, 0},
                                           SystemEnd{false, false, true, 0, 0},
                                           SystemEnd{false, true, false, 0, 2}));

TEST_F(ProgramTest, AboutLinkOpensTheHomePageAndTheBoxStaysOpen) {
    Start();
    Pick(Main(), "AboutMenu", {[&] {
                                   hp.user.Click(AboutBox->Label9);
                                   EXPECT_TRUE(AboutBox->Visible());
                               },
                               [&] { hp.user.PressKey(*AboutBox, kKeyEnter); }});
    EXPECT_EQ(hp.ui.urlsOpened, std::vector<std::string>{kHomePageAddress});
    EXPECT_FALSE(AboutBox->Visible());
    EXPECT_FALSE(program.App().Terminated());
}

TEST_F(ProgramTest, OddValuesShowOneBoxAndTheStartGoesOnWithEverythingElse) {
    hp.settings.PutOther("WALLPAPER", "TRANSPARENCY", "\x01\x02");
    hp.settings.PutOther("WALLPAPER", "ALPHA_VALUE", std::string(8, '\0'));
    hp.settings.PutText("WALLPAPER", "WP_DISP_MODE", "1");
    hp.settings.PutText("WALLPAPER", "WP_FOLDER", "C:\\pics");
    hp.settings.PutInteger("WALLPAPER", "WP_CHG_TIME", 7);
    hp.settings.PutInteger("MAIN", "TRANSPARENCY", 120);
    ASSERT_TRUE(hp.files.AddFile("C:\\pics\\a.bmp", MakeBmpFile(Bitmap32(4, 4, MakeRgb(200, 0, 0)))));
    Start();
    ASSERT_EQ(hp.ui.messageBoxes.size(), 1u);
    EXPECT_EQ(hp.ui.messageBoxes[0].text,
              "'TRANSPARENCY' のデータ型が不正です\n'ALPHA_VALUE' のデータ型が不正です");
    EXPECT_EQ(hp.ui.messageBoxes[0].caption, "Duskpane");
    // The rest of the show ran: the dimming at the stored alpha, the
    // slideshow of the stored folder and the capture.
    EXPECT_TRUE(SubForm->Visible());
    EXPECT_EQ(SubForm->AlphaBlendValue(), 120);
    EXPECT_TRUE(Main().WPTimer.Enabled());
    EXPECT_EQ(Main().WPTimer.Interval(), 7000u);
    EXPECT_TRUE(SubForm->PhotoImage.Visible());
    EXPECT_TRUE(hp.capture.BufferQueued());

    // The close writes back what was read: the two odd values as their
    // defaults, the others as they were.
    hp.user.PressKey(Main(), kKeyEscape);
    EXPECT_TRUE(program.App().Terminated());
    EXPECT_EQ(hp.ui.messageBoxes.size(), 1u);
    ExpectValue("WALLPAPER", "TRANSPARENCY", StoredKind::Text, "1");
    ExpectValue("WALLPAPER", "ALPHA_VALUE", StoredKind::Integer, "", 128);
    ExpectValue("WALLPAPER", "WP_DISP_MODE", StoredKind::Text, "1");
    ExpectValue("WALLPAPER", "WP_FOLDER", StoredKind::Text, "C:\\pics");
    ExpectValue("WALLPAPER", "WP_CHG_TIME", StoredKind::Integer, "", 7);
    ExpectValue("MAIN", "TRANSPARENCY", StoredKind::Integer, "", 120);
}

TEST_F(ProgramTest, FailedSaveAtCloseKeepsTheProgramRunningWithoutItsPicture) {
    Start();
    Main().RestoreAudioAtClose = 1;
    const int volumeWrites = int(hp.audio.mixer.writes.size());
    hp.settings.FailSectionCreation("WAVE_SPECTRUM");
    hp.user.PressKey(Main(), kKeyEscape);
    EXPECT_FALSE(program.App().Terminated());
    ASSERT_EQ(hp.ui.messageBoxes.size(), 1u);
    EXPECT_EQ(hp.ui.messageBoxes[0].text, "キー WAVE_SPECTRUM の作成に失敗しました");
    // The audio is not restored and the values after the failing section are
    // not written.
    EXPECT_EQ(int(hp.audio.mixer.writes.size()), volumeWrites);
    EXPECT_EQ(hp.settings.Value("MAIN", "TRANSPARENCY").kind, StoredKind::None);

    // The wallpaper is gone for the rest of the run; its timer does nothing.
    EXPECT_EQ(Main().WPPicture, nullptr);
    Main().WPTimerTimer();
    hp.ui.Advance(2000);

    hp.settings.AllowSectionCreation("WAVE_SPECTRUM");
    hp.user.PressKey(Main(), kKeyEscape);
    EXPECT_TRUE(program.App().Terminated());
    EXPECT_EQ(hp.settings.ValueCount(), 8u);
}

TEST_F(ProgramTest, ScreenShowsTheDimmedDesktopAndTheClockAtFullStrength) {
    Start();
    const Bitmap32 screen = hp.ui.ComposeScreen(SubForm, MainForm, MakeRgb(255, 255, 255));
    ASSERT_EQ(screen.Width(), 1920);
    // White under black at alpha 200: 255 * 55 / 255.
    EXPECT_EQ(screen.At(1000, 600), MakeRgb(55, 55, 55));
    // Somewhere in the clock's digits the pixels are white, not dimmed.
    int white = 0;
    for (int y = 8; y < 72; ++y)
        for (int x = 8; x < 174; ++x) white += screen.At(x, y) == MakeRgb(255, 255, 255);
    EXPECT_GT(white, 200);
}

}  // namespace
}  // namespace duskpane

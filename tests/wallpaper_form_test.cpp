// The wallpaper settings dialog driven as a user drives it: the transparency
// box and its warnings, the period checks, choosing and removing pictures,
// and what OK, Cancel and Escape leave behind.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "app/forms.h"
#include "app/main_form.h"
#include "app/sub_form.h"
#include "wallpaper_scenarios.h"
#include "platform/headless/headless_user.h"
#include "wallpaper/wallpaper_form.h"

namespace duskpane {
namespace {

constexpr const char* kBlendRange = "透明度は０～２５５の間で設定して下さい。";
constexpr const char* kBlendFourth = "仏の顔も三度まで";
constexpr const char* kPartRange = "０～５９の間で設定して下さい";
constexpr const char* kPeriodInvalid =
    "壁紙切り替え時間の設定が不正です。１秒～５９分５９秒の間で設定して下さい。";

Bitmap32 Gradient(int width, int height) {
    Bitmap32 bitmap(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            bitmap.Set(x, y, MakeRgb(uint8_t(40 + x * 9), uint8_t(250 - y * 11), uint8_t(x * y + 5)));
    return bitmap;
}

Bitmap32 Blended(const Bitmap32& picture, unsigned alpha) {
    Bitmap32 out(picture.Width(), picture.Height());
    auto mix = [alpha](unsigned c) { return uint8_t((c * alpha + 127) / 255); };
    for (int y = 0; y < picture.Height(); ++y)
        for (int x = 0; x < picture.Width(); ++x) {
            const Pixel p = picture.At(x, y);
            out.Set(x, y, MakeRgb(mix(RedOf(p)), mix(GreenOf(p)), mix(BlueOf(p))));
        }
    return out;
}

class WallpaperFormTest : public ::testing::Test {
protected:
    WallpaperFormTest() : program(platform.services), user(platform.ui) {
        platform.files.AddFile("C:\\pics\\a.bmp", MakeBmpFile(pictureA));
        platform.files.AddFile("C:\\pics\\b.jpg", MakeHeadlessJpegFile(pictureB));
        platform.files.AddFile("D:\\show\\s1.bmp", MakeBmpFile(slide));
        platform.files.AddFile("D:\\show\\s2.jpeg", MakeHeadlessJpegFile(slide));
        platform.files.AddFile("D:\\text\\notes.txt", {'x'});
        platform.files.AddFolder("D:\\odd\\folder.jpg");
        platform.store.PutText("WALLPAPER", "WP_FILE", "C:\\pics\\a.bmp");
    }

    void Start() {
        program.Create();
        program.Show();
        platform.ui.messageBoxes.clear();
    }
    TWallPaperForm& Dialog() { return *WallPaperForm; }
    TMainForm& Main() { return *MainForm; }

    // Opens the dialog from the menu and runs the user's steps while it is
    // open; the last step must close it.
    void InDialog(std::vector<std::function<void()>> steps) {
        platform.ui.Then([this] { user.PickMenu(Main().PopupMenu, "WallPaperMenu"); });
        for (auto& step : steps) platform.ui.Then(std::move(step));
        user.RightClick(Main());
        EXPECT_TRUE(platform.ui.ScriptDone());
        EXPECT_FALSE(Dialog().Visible());
    }
    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const auto& box : platform.ui.messageBoxes) texts.push_back(box.text);
        return texts;
    }
    void Escape() { user.PressKey(Dialog(), kKeyEscape); }

    const Bitmap32 pictureA = Gradient(12, 9);
    const Bitmap32 pictureB = Gradient(7, 5);
    const Bitmap32 slide = Bitmap32(3, 3, MakeRgb(10, 200, 30));
    wallpaper_test::WallpaperPlatform platform;
    Program program;
    HeadlessUser user;
};

TEST_F(WallpaperFormTest, TheDialogShowsTheSettingsAndAPreviewWithTheBlend) {
    platform.store.PutInteger("WALLPAPER", "ALPHA_VALUE", 100);
    platform.store.PutInteger("WALLPAPER", "WP_CHG_TIME", 125);
    Start();
    InDialog({[&] {
        EXPECT_EQ(Dialog().Caption(), "壁紙の設定");
        EXPECT_EQ(Dialog().Width(), 491);
        EXPECT_EQ(Dialog().Height(), 386);
        EXPECT_TRUE(Dialog().WPDirectRBtn.Checked());
        EXPECT_TRUE(Dialog().FilePathEdit.Enabled());
        EXPECT_FALSE(Dialog().FolderSelectBtn.Enabled());
        EXPECT_TRUE(Dialog().YesRBtn.Checked());
        EXPECT_EQ(Dialog().BlendEdit.Text(), "155");
        EXPECT_EQ(Dialog().BlendTrackBar.Position(), 155);
        EXPECT_EQ(Dialog().WPIntervalEdit.Text(), "2");
        EXPECT_EQ(Dialog().WPIntervalSecEdit.Text(), "5");
        EXPECT_EQ(Dialog().FilePathEdit.Text(), "C:\\pics\\a.bmp");
        EXPECT_FALSE(Dialog().ImageUnSetupLabel.Visible());
        EXPECT_FALSE(Dialog().WarnLabel.Visible());
        EXPECT_EQ(Dialog().PhotoImage.Picture(), Blended(pictureA, 100));

        // The track bar writes the box and previews at once.
        user.Drag(Dialog().BlendTrackBar, 0);
        EXPECT_EQ(Dialog().BlendEdit.Text(), "0");
        EXPECT_EQ(Dialog().PhotoImage.Picture(), pictureA);
        user.Drag(Dialog().BlendTrackBar, 255);
        EXPECT_EQ(Dialog().BlendEdit.Text(), "255");
        EXPECT_EQ(Dialog().PhotoImage.Picture(), Bitmap32(12, 9, kBlack));
        // Without transparency the plain picture, whatever the track bar says.
        user.Click(Dialog().NoRBtn);
        EXPECT_EQ(Dialog().PhotoImage.Picture(), pictureA);
        user.Retype(Dialog().BlendEdit, "64");
        EXPECT_EQ(Dialog().BlendTrackBar.Position(), 64);
        user.Click(Dialog().YesRBtn);
        EXPECT_EQ(Dialog().PhotoImage.Picture(), Blended(pictureA, 191));
        Escape();
    }});
    EXPECT_TRUE(platform.ui.messageBoxes.empty());
    EXPECT_EQ(Main().WPAlphaValue, 100) << "Escape applies nothing";
}

TEST_F(WallpaperFormTest, APictureLargerThanThePreviewIsDecodedReducedToNoLessThanIt) {
    const Bitmap32 large = Gradient(1000, 600);
    platform.files.AddFile("C:\\pics\\large.bmp", MakeBmpFile(large));
    platform.store.PutText("WALLPAPER", "WP_FILE", "C:\\pics\\large.bmp");
    platform.store.PutText("WALLPAPER", "TRANSPARENCY", "0");
    Start();
    InDialog({[&] {
        // A quarter of each side: an eighth would be smaller than 128 x 128.
        const Bitmap32& shown = Dialog().PhotoImage.Picture();
        ASSERT_EQ(shown.Width(), 250);
        ASSERT_EQ(shown.Height(), 150);
        EXPECT_EQ(shown.At(10, 7), large.At(40, 28));
        EXPECT_EQ(shown.At(249, 149), large.At(996, 596));
        Escape();
    }});
    EXPECT_EQ(SubForm->PhotoImage.Width(), 1000) << "the screen still shows the whole picture";
}

TEST_F(WallpaperFormTest, InvalidTransparencyEntriesAreCountedAcrossShowings) {
    Start();
    InDialog({[&] {
                  user.Retype(Dialog().BlendEdit, "300");
                  EXPECT_EQ(Dialog().BlendEdit.Text(), "300");
                  EXPECT_EQ(Dialog().BlendTrackBar.Position(), 30) << "300 leaves the track bar at \"30\"";
                  user.Leave(Dialog().BlendEdit);
                  EXPECT_TRUE(Dialog().BlendEdit.Focused()) << "the focus comes back";
                  user.Retype(Dialog().BlendEdit, "");
                  user.Leave(Dialog().BlendEdit);
                  user.Retype(Dialog().BlendEdit, "12");  // valid: does not reset the count
                  user.Leave(Dialog().BlendEdit);
                  EXPECT_TRUE(Dialog().BlendTrackBar.Focused());
              },
              [&] { Escape(); }});
    EXPECT_EQ(Texts(), (std::vector<std::string>{kBlendRange, kBlendRange}));
    EXPECT_EQ(Dialog().BlendEdit.Tag, 2);

    InDialog({[&] {
                  for (const char* entry : {"abc", "999", "256", "1x"}) {
                      user.Retype(Dialog().BlendEdit, entry);
                      user.Leave(Dialog().BlendEdit);
                  }
              },
              [&] { user.Click(Dialog().CancelBtn); }});
    // "abc" is swallowed to an empty box, "1x" to "1" (valid).
    EXPECT_EQ(Texts(),
              (std::vector<std::string>{kBlendRange, kBlendRange, kBlendRange, kBlendFourth, kBlendRange}));
    for (const auto& box : platform.ui.messageBoxes) {
        EXPECT_EQ(box.owner, "WallPaperForm");
        EXPECT_EQ(box.flags, 0x10u);
        EXPECT_EQ(box.caption, "");
    }
}

TEST_F(WallpaperFormTest, ThePeriodBoxesTakeDigitsOnlyAndAreCheckedOnLeavingAndAtOk) {
    Start();
    InDialog({[&] {
        Edit& seconds = Dialog().WPIntervalSecEdit;
        user.Retype(seconds, "4a5");
        EXPECT_EQ(seconds.Text(), "45") << "letters are swallowed";
        user.Type(seconds, "\b");
        EXPECT_EQ(seconds.Text(), "4") << "Backspace works";
        user.Type(seconds, "\r");
        EXPECT_EQ(seconds.Text(), "4");
        user.Retype(Dialog().WPIntervalEdit, "");
        user.Leave(Dialog().WPIntervalEdit);
        EXPECT_TRUE(Dialog().WPIntervalEdit.Focused());
        EXPECT_EQ(Texts(), std::vector<std::string>{kPartRange});
        // 0:00 is refused at OK (Enter), nothing is stored.
        user.Retype(Dialog().WPIntervalEdit, "0");
        user.Retype(seconds, "0");
        const int writes = platform.store.WriteCount();
        user.PressKey(Dialog(), kKeyEnter);
        EXPECT_TRUE(Dialog().Visible());
        EXPECT_EQ(platform.store.WriteCount(), writes);
        EXPECT_EQ(platform.ui.messageBoxes.back().text, kPeriodInvalid);
        // Empty minutes and 30 seconds are 30 seconds (Enter in the
        // minutes box, which is then not left).
        user.Retype(seconds, "30");
        user.Retype(Dialog().WPIntervalEdit, "");
        user.PressKey(Dialog(), kKeyEnter);
    }});
    EXPECT_EQ(Main().WPTimer.Interval(), 30000u);
    EXPECT_EQ(platform.store.Value("WALLPAPER", "WP_CHG_TIME").integer, 30);

    InDialog({[&] {
        user.Retype(Dialog().WPIntervalEdit, "59");
        user.Retype(Dialog().WPIntervalSecEdit, "59");
        user.Click(Dialog().OkBtn);
    }});
    EXPECT_EQ(platform.store.Value("WALLPAPER", "WP_CHG_TIME").integer, 3599);
}

TEST_F(WallpaperFormTest, AStoredPeriodOfAnHourShowsSixtyMinutesWhichOkRefuses) {
    platform.store.PutInteger("WALLPAPER", "WP_CHG_TIME", 3600);
    Start();
    InDialog({[&] {
                  EXPECT_EQ(Dialog().WPIntervalEdit.Text(), "60");
                  EXPECT_EQ(Dialog().WPIntervalSecEdit.Text(), "0");
                  user.Click(Dialog().OkBtn);
                  EXPECT_TRUE(Dialog().Visible());
                  EXPECT_EQ(Texts(), std::vector<std::string>{kPeriodInvalid});
              },
              [&] {
                  // Two boxes failing their checks do not pass the focus
                  // back and forth: the one left first keeps it.
                  user.Retype(Dialog().BlendEdit, "999");
                  user.Focus(Dialog().WPIntervalEdit);
                  EXPECT_TRUE(Dialog().BlendEdit.Focused());
                  user.Retype(Dialog().BlendEdit, "10");
                  user.Retype(Dialog().WPIntervalEdit, "5");
                  user.Click(Dialog().OkBtn);
              }});
    EXPECT_EQ(Texts(), (std::vector<std::string>{kPeriodInvalid, kBlendRange}));
    EXPECT_EQ(Main().WPTimer.Interval(), 300000u);
    EXPECT_EQ(Main().WPAlphaValue, 245);
}

TEST_F(WallpaperFormTest, AChosenFileIsTakenOnlyAfterYes) {
    Start();
    platform.ui.ChoosePicture("C:\\pics\\b.jpg");
    platform.ui.AnswerMessageBox(kIdNo);
    platform.ui.ChoosePicture("C:\\pics\\b.jpg");
    platform.ui.AnswerMessageBox(kIdYes);
    platform.ui.ChoosePicture(std::nullopt);
    platform.ui.ChoosePicture("C:\\pics\\note.bmp");
    platform.ui.AnswerMessageBox(kIdYes);
    InDialog({[&] {
                  user.Click(Dialog().FileReadBtn);
                  EXPECT_EQ(Dialog().FilePathEdit.Text(), "C:\\pics\\a.bmp") << "No keeps the old file";
                  user.Click(Dialog().FileReadBtn);
                  EXPECT_EQ(Dialog().FilePathEdit.Text(), "C:\\pics\\b.jpg");
                  EXPECT_EQ(Dialog().PhotoImage.Picture(), Blended(pictureB, 128));
                  user.Click(Dialog().FileReadBtn);  // cancelled
                  user.Click(Dialog().FileReadBtn);  // a file that cannot be loaded
                  EXPECT_EQ(Dialog().FilePathEdit.Text(), "C:\\pics\\note.bmp");
                  EXPECT_EQ(Dialog().PhotoImage.Picture(), Blended(pictureB, 128)) << "the preview stays";
              },
              [&] { user.Click(Dialog().OkBtn); }});
    ASSERT_EQ(platform.ui.messageBoxes.size(), 5u);
    EXPECT_EQ(platform.ui.messageBoxes[0].text, "画像ファイル[C:\\pics\\b.jpg]を設定してもよろしいですか");
    EXPECT_EQ(platform.ui.messageBoxes[0].flags, 0x44u);
    EXPECT_EQ(platform.ui.messageBoxes[0].owner, "WallPaperForm");
    EXPECT_EQ(platform.ui.messageBoxes[2].text, "画像ファイル[C:\\pics\\note.bmp]を設定してもよろしいですか");
    EXPECT_EQ(platform.ui.messageBoxes[3].text, "画像ファイルの設定に失敗しました");
    EXPECT_EQ(platform.ui.messageBoxes[3].flags, 0x10u);
    // The missing file is then reported by the wallpaper, owned by the main window.
    EXPECT_EQ(platform.ui.messageBoxes[4].owner, "MainForm");
    EXPECT_NE(platform.ui.messageBoxes[4].text.find("C:\\pics\\note.bmp"), std::string::npos);
    EXPECT_EQ(platform.ui.pictureFilters.at(0),
              "画像ファイル (*.jpg;*.jpeg;*.bmp)|*.jpg;*.jpeg;*.bmp|JPEG イメージファイル (*.jpg)|*.jpg|"
              "JPEG イメージファイル (*.jpeg)|*.jpeg|ビットマップ (*.bmp)|*.bmp");
    EXPECT_EQ(Main().WPFile, "C:\\pics\\note.bmp");
}

TEST_F(WallpaperFormTest, AChosenFolderIsTakenOnlyWhenItListsAPicture) {
    platform.store.PutText("WALLPAPER", "WP_DISP_MODE", "1");
    platform.store.PutText("WALLPAPER", "WP_FOLDER", "D:\\show");
    Start();
    platform.ui.ChooseFolder("D:\\text");
    platform.ui.ChooseFolder(std::nullopt);
    platform.ui.ChooseFolder("D:\\odd");
    InDialog(
        {[&] {
             EXPECT_TRUE(Dialog().WPFolderRBtn.Checked());
             EXPECT_FALSE(Dialog().FileReadBtn.Enabled());
             EXPECT_EQ(Dialog().PhotoImage.Picture(), Blended(slide, 128)) << "the folder's first picture";
             user.Click(Dialog().FolderSelectBtn);
             EXPECT_EQ(Dialog().WPFolderEdit.Text(), "D:\\show");
             EXPECT_EQ(Texts(), std::vector<std::string>{"指定のフォルダには、画像ファイルが存在しません。"});
             user.Click(Dialog().FolderSelectBtn);
             EXPECT_EQ(Dialog().WPFolderEdit.Text(), "D:\\show");
             // Only a subfolder named like a picture: taken, preview unchanged.
             user.Click(Dialog().FolderSelectBtn);
             EXPECT_EQ(Dialog().WPFolderEdit.Text(), "D:\\odd");
             EXPECT_EQ(Dialog().PhotoImage.Picture(), Blended(slide, 128));
             EXPECT_EQ(InitialFolder, "D:\\show");
         },
         [&] { user.CloseBox(Dialog()); }});
    ASSERT_EQ(platform.ui.folderRequests.size(), 3u);
    EXPECT_EQ(platform.ui.folderRequests[0].title, "壁紙画像フォルダーの選択");
    EXPECT_EQ(platform.ui.folderRequests[0].initialFolder, "D:\\show");
    EXPECT_EQ(Main().WPFolder, "D:\\show") << "the close box applies nothing";
}

TEST_F(WallpaperFormTest, RemovingTheWallpaperInFolderModeEmptiesOnlyTheFolder) {
    platform.store.PutText("WALLPAPER", "WP_DISP_MODE", "1");
    platform.store.PutText("WALLPAPER", "WP_FOLDER", "D:\\show");
    Start();
    ASSERT_TRUE(SubForm->PhotoImage.HasPicture());
    platform.ui.AnswerMessageBox(kIdNo);
    platform.ui.AnswerMessageBox(kIdYes);
    InDialog({[&] {
                  user.Click(Dialog().UnLoadBtn);
                  EXPECT_EQ(Dialog().WPFolderEdit.Text(), "D:\\show");
                  user.Click(Dialog().UnLoadBtn);
                  EXPECT_EQ(Dialog().WPFolderEdit.Text(), "");
                  EXPECT_EQ(Dialog().FilePathEdit.Text(), "C:\\pics\\a.bmp");
                  EXPECT_FALSE(Dialog().PhotoImage.HasPicture());
                  EXPECT_TRUE(Dialog().ImageUnSetupLabel.Visible());
                  EXPECT_TRUE(SubForm->PhotoImage.HasPicture()) << "the screen changes only at OK";
                  user.Click(Dialog().UnLoadBtn);  // nothing shown: no question
              },
              [&] { user.Click(Dialog().OkBtn); }});
    EXPECT_EQ(Texts(), (std::vector<std::string>{"現在設定されている壁紙を解除してもよろしいですか",
                                                 "現在設定されている壁紙を解除してもよろしいですか"}));
    EXPECT_EQ(platform.ui.messageBoxes[0].flags, 0x44u);
    EXPECT_FALSE(SubForm->PhotoImage.HasPicture());
    EXPECT_FALSE(Main().WPTimer.Enabled());
    EXPECT_EQ(platform.store.Value("WALLPAPER", "WP_FOLDER").text, "");
    EXPECT_EQ(platform.store.Value("WALLPAPER", "WP_FILE").text, "C:\\pics\\a.bmp");
}

TEST_F(WallpaperFormTest, OkStoresSavesAndPreparesTheWallpaper) {
    Start();
    platform.ui.ChooseFolder("D:\\show");
    InDialog({[&] {
        user.Click(Dialog().WPFolderRBtn);
        user.Click(Dialog().FolderSelectBtn);
        user.Click(Dialog().NoRBtn);
        user.Drag(Dialog().BlendTrackBar, 55);
        user.Retype(Dialog().WPIntervalEdit, "1");
        user.Retype(Dialog().WPIntervalSecEdit, "15");
        user.Click(Dialog().OkBtn);
    }});
    EXPECT_TRUE(platform.ui.messageBoxes.empty());
    EXPECT_EQ(Main().WPDispMode, 1);
    EXPECT_EQ(Main().IsWPTransparency, 0);
    EXPECT_EQ(Main().WPAlphaValue, 200);
    EXPECT_EQ(Main().WPFolder, "D:\\show");
    const auto values = platform.store.Values("WALLPAPER");
    EXPECT_EQ(values.at("TRANSPARENCY").text, "0");
    EXPECT_EQ(values.at("ALPHA_VALUE").integer, 200);
    EXPECT_EQ(values.at("WP_DISP_MODE").text, "1");
    EXPECT_EQ(values.at("WP_FOLDER").text, "D:\\show");
    EXPECT_EQ(values.at("WP_FILE").text, "C:\\pics\\a.bmp");
    EXPECT_EQ(values.at("WP_CHG_TIME").integer, 75);
    EXPECT_TRUE(Main().WPTimer.Enabled());
    EXPECT_EQ(Main().WPTimer.Interval(), 75000u);
    EXPECT_EQ(SubForm->PhotoImage.Picture(), slide) << "transparency off shows the slide as it is";
}

TEST_F(WallpaperFormTest, ShowingReportsAStoredFileOrFolderThatGivesNoPicture) {
    platform.files.AddFile("C:\\pics\\bad.bmp", {'B', 'M'});
    platform.store.PutText("WALLPAPER", "WP_FILE", "C:\\pics\\bad.bmp");
    Start();
    EXPECT_TRUE(platform.ui.messageBoxes.empty()) << "the wallpaper skips it silently";
    InDialog({[&] {
                  EXPECT_TRUE(Dialog().ImageUnSetupLabel.Visible());
                  user.Click(Dialog().WPFolderRBtn);  // the folder setting is empty
                  EXPECT_FALSE(Dialog().PhotoImage.HasPicture());
              },
              [&] { user.Click(Dialog().OkBtn); }});
    InDialog({[&] { Escape(); }});
    EXPECT_EQ(Texts(), (std::vector<std::string>{
                           "現在設定されている壁紙用画像ファイルは読込めませんでした。",
                           "現在設定されている壁紙格納フォルダーに画像ファイルが存在しません。"}));
    EXPECT_EQ(platform.ui.messageBoxes[1].owner, "WallPaperForm");
    EXPECT_FALSE(Dialog().PreviewPicture) << "released at every close";
}

}  // namespace
}  // namespace duskpane
